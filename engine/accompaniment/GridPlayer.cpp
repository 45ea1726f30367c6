#include "engine/accompaniment/GridPlayer.h"

#include "engine/ChordProgression.h"
#include "engine/EngineErrors.h"
#include "engine/accompaniment/Accompaniment.h"

#include <algorithm>
#include <vector>

namespace harmolin {
namespace {

void copyStep(StyleRecord& style, int toBlock, int toStep, int fromBlock, int fromStep) {
    for (int row = 0; row < grid::kRows; ++row)
        style.cell(toBlock, row, toStep) = style.cell(fromBlock, row, fromStep);
}

void tieBlock(StyleRecord& style, int block) {
    for (int s = 0; s < grid::kSteps; ++s)
        if (style.tie(block, s) == 1) copyStep(style, block, s, block, s == 0 ? grid::kSteps - 1 : s - 1);
}

int floorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

void normaliseGrid(StyleRecord& style) {
    // Twice, so a tie on step 0 also sees the normalised step 15.
    for (int pass = 0; pass < 2; ++pass) {
        for (int block : {0, 1, 3})
            tieBlock(style, block);
        for (int block : {4, 5, 7})
            tieBlock(style, block);
        if (style.trailer(0) == 1) {
            if (style.tie(0, 0) == 1) copyStep(style, 0, 0, 4, grid::kSteps - 1);
            if (style.tie(4, 0) == 1) copyStep(style, 4, 0, 0, grid::kSteps - 1);
        }
    }
}

std::array<int, 14> voiceChord(const CompositionState& state, const ChordRecord& chord, int block) {
    std::array<int, 14> notes{};
    if (chord.root <= 0) return notes;
    const std::array<int, 12> weights = chordNoteWeights(state, chord.codeCopy);
    // A chord the weight table does not know says nothing against any note.
    const bool weighed = std::any_of(weights.begin(), weights.end(), [](int w) { return w != 0; });
    for (int row = 0; row < grid::kRows; ++row) {
        const int v = state.style.rowValue(block, row);
        const int degree = ((v % 7) + 7) % 7;
        int base = 0;
        switch (degree) {
        case 0:
            base = chord.root;
            break;
        case 1:
            base = chord.root + 2;
            break;
        case 2:
            base = chord.third;
            break;
        case 3:
            base = chord.fifth > 0 ? chord.fifth - 2 : 0;
            break;
        case 4:
            base = chord.fifth;
            break;
        case 5:
            base = chord.fifth > 0 ? chord.fifth + 2 : 0;
            break;
        default:
            base = chord.seventh;
            break;
        }
        // A chord without that tone leaves the row silent.
        if (base <= 0) continue;
        int note = base + floorDiv(v, 7) * 12 - 12;
        if (weighed && note >= 0 && weights[static_cast<std::size_t>(note % 12)] < state.voicingThreshold)
            --note;
        notes[static_cast<std::size_t>(row)] = (note >= 0 && note <= 127) ? note : 0;
    }
    return notes;
}

namespace accomp {

GridLayout harmonyGridLayout(const StyleRecord& style) {
    const bool triplet = style.triplet();
    const int stepTicks = triplet ? 32 : 24;
    const int sound = triplet ? 23 : 15;
    switch (style.meter) {
    case 0:
        return {triplet ? 12 : 16, stepTicks, sound};
    case 1:
        return {triplet ? 9 : 12, stepTicks, sound};
    default:
        if (triplet) {
            reportEngineError(engine_error::kBeatMismatch);
            return {9, 32, 23};
        }
        return {14, 24, 15};
    }
}

namespace {

bool blockHasCells(const StyleRecord& style, int block) {
    for (int row = 0; row < grid::kRows; ++row)
        for (int s = 0; s < grid::kSteps; ++s)
            if (style.cell(block, row, s) == 1) return true;
    return false;
}

} // namespace

void playGrid(CompositionState& state, NoteWriter& writer, int block, int variant, const GridLayout& layout,
              const GridVoices& voices) {
    const StyleRecord& style = state.style;
    const bool runOn = block < 4 && style.trailer(4 + block) == 1;
    const bool strum = block < 4 && style.trailer(8 + block) == 1;
    // The second bar lives four blocks on; without one the pattern is a bar long.
    const bool twoBars = variant == 1 && block + 4 < grid::kBlocks && blockHasCells(style, block + 4);
    const bool legato = variant == 2;
    const int stepsPerBeat = layout.stepTicks == 32 ? 3 : 4;

    auto blockOf = [&](int runningStep) {
        return twoBars && (runningStep / layout.stepsPerBar) % 2 == 1 ? block + 4 : block;
    };

    int j = 0;
    for (const ChordSpan& span : chordSpans(state)) {
        if (!runOn) j = 0;
        const int steps = span.length / layout.stepTicks;
        if (steps == 0) continue;
        const std::array<int, 14> notes = voices(*span.chord);
        int chainStart = -1;
        int chainSteps = 0;
        std::vector<int> chainNotes;
        int chainVelocity = 64;
        for (int k = 0; k < steps; ++k, ++j) {
            const int s = j % layout.stepsPerBar;
            const int b = blockOf(j);
            if (chainSteps == 0) {
                // A tied chain sounds the notes of its first step.
                chainStart = span.start + k * layout.stepTicks;
                chainNotes.clear();
                for (int row = 0; row < grid::kRows; ++row) {
                    const int n = notes[static_cast<std::size_t>(row)];
                    if (style.cell(b, row, s) == 1 && n >= 13 && n <= 127) chainNotes.push_back(n);
                }
                chainVelocity = 64;
                if (legato) chainVelocity = s == 0 ? 76 : (s % stepsPerBeat == 0 ? 70 : 58);
            }
            ++chainSteps;
            const int next = (j + 1) % layout.stepsPerBar;
            // A tie never runs into the next chord: its notes would be the old chord's.
            const bool tiedOn = k + 1 < steps && style.tie(blockOf(j + 1), next) == 1;
            if (tiedOn) continue;
            if (chainNotes.empty()) {
                writer.rest(chainStart);
            } else {
                const int length =
                    legato ? chainSteps * layout.stepTicks - 2 : chainSteps * layout.soundTicks;
                for (std::size_t i = 0; i < chainNotes.size(); ++i) {
                    const int offset = strum ? 2 * static_cast<int>(i) : 0;
                    writer.note(chainStart + offset, chainNotes[i], chainVelocity,
                                std::max(1, length - offset));
                }
            }
            chainSteps = 0;
        }
    }
}

void playHarmonyGrid(CompositionState& state, NoteWriter& writer, int part) {
    const GridLayout layout = harmonyGridLayout(state.style);
    const int block = part == kPartHarmony ? grid::kHarmonyBlock : grid::kOtherBlock;
    const int variant = part == kPartHarmony ? state.style.trailer(0) : 0;
    const CompositionState& constState = state;
    playGrid(state, writer, block, variant, layout, [&constState](const ChordRecord& chord) {
        return voiceChord(constState, chord, grid::kHarmonyBlock);
    });
}

std::array<int, 14> bassVoicing(const ChordRecord& chord, const StyleRecord& style, int block) {
    std::array<int, 14> notes{};
    if (chord.root <= 0) return notes;
    const int low = chord.root - 24; // the root in the bass register
    auto above = [&](int tone) { return tone > 0 ? low + (((tone - chord.root) % 12) + 12) % 12 : 0; };
    const int fifth = chord.fifth > 0 ? chord.fifth - chord.root : 7;
    for (int row = 0; row < grid::kRows; ++row) {
        const int v = style.rowValue(block, row);
        int base = 0;
        switch (((v % 7) + 7) % 7) {
        case 0:
            base = chord.bass > 0 ? chord.bass : low;
            break;
        case 1:
            base = low + 2;
            break;
        case 2:
            base = above(chord.third);
            break;
        case 3:
            base = low + fifth - 2;
            break;
        case 4:
            base = low + fifth;
            break;
        case 5:
            base = low + fifth + 2;
            break;
        default:
            base = above(chord.seventh);
            break;
        }
        if (base <= 0) continue;
        const int note = base + floorDiv(v, 7) * 12 - 12;
        notes[static_cast<std::size_t>(row)] = (note >= 13 && note <= 127) ? note : 0;
    }
    return notes;
}

} // namespace accomp
} // namespace harmolin
