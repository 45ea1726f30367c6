// Phrase endings after the closing chord, and the harmony voice derived
// from the melody note by note.
#include "engine/ChordProgression.h"
#include "engine/Melody.h"
#include "engine/MelodyDetail.h"

#include <algorithm>
#include <string_view>

namespace harmolin {

using namespace melody_detail;

namespace {

constexpr int kFigureLength = 576;
constexpr int kHarmonyThreshold = 8;

struct EndingContext {
    CompositionState& state;
    int part;
    EventList& target;
    std::array<int, 12> tonicWeights;
    int tonic; // 12 (C) or 9 (A)

    int weight(int note) const { return tonicWeights[static_cast<std::size_t>(pitchClass(note))]; }
    // The last notes must stay in the key: moved by octaves, and where the
    // range is narrower than an octave onto the nearest closing-chord tone.
    // The melody's own range fold steps by random semitones, which would
    // leave the tune ending off the key.
    int fold(int note) const { return foldIntoKey(state, part, note, tonicWeights); }
    void note(int length, int pitch) const { target.appendNote(length, pitch); }
    void rest(int length) const { target.appendNote(length, 0); }
    int direction() const { return state.rng.oneIn(2) ? 1 : -1; }
};

void plainEnding(const EndingContext& e, int x) {
    e.note(192, e.fold(e.tonic + x / 12 * 12));
}

// A walk to the nearest tonic chord tone, sometimes closing a fourth up.
void figureA(const EndingContext& e, int x) {
    const int s = e.direction();
    for (int step = 0; step < 8; ++step) {
        const int w = e.weight(x);
        if (w > 1) e.note(w >= 5 ? 96 : 48, e.fold(x));
        if (w == 9) break;
        x += s;
    }
    int finalLength = 96;
    if (e.state.style.scaleNumber != 13 && e.state.rng.oneIn(2)) {
        x += 5;
        for (int i = 0; i < 8 && e.weight(x) != 9; ++i)
            ++x;
        finalLength = 192;
    }
    e.note(finalLength, e.fold(x));
}

// A cadential turn around the tonic; always 576 ticks.
void figureB(const EndingContext& e, int x) {
    const int s = e.direction();
    int remainder = 0;
    if (e.weight(x) != 9) {
        for (int i = 0; i < 12 && e.weight(x) < 5; ++i)
            x += s;
        e.note(24, e.fold(x));
        for (int i = 0; i < 12 && e.weight(x) != 9; ++i)
            x += s;
        e.note(48, e.fold(x));
        remainder = 504;
    } else {
        e.rest(48);
        remainder = 528;
    }
    e.rest(24);
    x = e.fold(x / 12 * 12);
    e.note(48, x);
    if (e.state.style.keyVariant == 1) {
        for (int i = 0; i < 3; ++i) {
            e.note(24, x - 1);
            e.note(24, x);
        }
        remainder -= 216;
    } else {
        e.rest(48);
        e.note(48, x / 12 * 12 + 4);
        remainder -= 168;
    }
    int y = (e.tonic - 12) + x / 12 * 12;
    const bool below = e.state.style.keyVariant == 1 || !e.state.rng.oneIn(2);
    e.note(48, below ? y - 1 : y + 2);
    y = e.fold(y);
    x = e.fold((e.tonic - 12) + y / 12 * 12);
    e.note(48, x);
    e.note(remainder - 96, x);
}

// A free run-out that settles on the tonic; 576 ticks.
void figureC(const EndingContext& e, int x, bool startWasNote) {
    EngineRandom& rng = e.state.rng;
    int s = e.direction();
    int sum = 0;
    for (int step = 0; step < 16; ++step) {
        if (startWasNote && sum < 288 && rng.oneIn(3)) {
            e.rest(48);
            sum += 48;
            continue;
        }
        const int w = e.weight(x);
        const int length = w >= 5 ? (rng.oneIn(3) ? 96 : 48) : 24;
        if ((w >= 3 && sum < 384) || w == 9) {
            if (length == 48 && rng.oneIn(4))
                e.rest(length);
            else
                e.note(length, e.fold(x));
            sum += length;
        }
        if (w == 9 && sum >= 384) break;
        if (rng.oneIn(4))
            x -= s * rng.randRange(3, 7);
        else
            x += s;
    }
    const int last = kFigureLength - sum;
    e.note(last > 0 ? last : 96, e.fold(e.tonic + x / 12 * 12 - 12));
}

std::array<int, 12> tonicWeights(const CompositionState& state) {
    return chordNoteWeights(state, state.patterns.tonic);
}

// The tonic's weights with only its triad marked 9: the figures stop on a
// 9, and a tune should come to rest on the tonic triad, not on the seventh
// of a major-seventh tonic.
std::array<int, 12> closingWeights(CompositionState& state) {
    std::array<int, 12> weights = tonicWeights(state);
    const ChordRecord tonic = buildChordRecord(state, 768, state.patterns.tonic);
    for (int pc = 0; pc < 12; ++pc) {
        auto& w = weights[static_cast<std::size_t>(pc)];
        if (w == 9 && !isChordTone(tonic, 60 + pc)) w = 5;
    }
    return weights;
}

} // namespace

int foldIntoKey(const CompositionState& state, int part, int note,
                const std::array<int, 12>& closingWeights) {
    if (note == 0) return 0;
    const NoteRange r = partRange(state, part);
    for (int i = 0; i < 20 && note < r.low; ++i)
        note += 12;
    for (int i = 0; i < 20 && note > r.high; ++i)
        note -= 12;
    if (r.contains(note)) return note;
    const auto closingTone = [&](int n) {
        return r.contains(n) && closingWeights[static_cast<std::size_t>(pitchClass(n))] == 9;
    };
    for (int d = 1; d <= 12; ++d) {
        if (closingTone(note - d)) return note - d;
        if (closingTone(note + d)) return note + d;
    }
    return std::clamp(note, r.low, r.high);
}

void writeMelodyEnding(CompositionState& state, int part, EventList& target, int lastNote) {
    if (state.style.chordMode == 8) return;
    const int tonic = state.style.keyVariant == 1 ? 12 : 9;
    const NoteRange range = partRange(state, part);
    const bool startWasNote = lastNote >= 24 && lastNote <= 127;
    const int x = startWasNote ? lastNote : tonic + (range.high + range.low) / 24 * 12 - 12;
    const EndingContext e{state, part, target, closingWeights(state), tonic};

    if (setting(state, part, kMelEndingKind) == 1) {
        if (part != kPartMelody) return;
        if (state.rng.oneIn(4))
            figureB(e, x);
        else
            figureC(e, x, startWasNote);
        return;
    }
    if (part == kPartMelody)
        figureA(e, x);
    else
        plainEnding(e, x);
}

int harmonyNote(CompositionState& state, int part, HarmonyState& harmony, int melodyNote,
                const std::array<int, 12>& weights) {
    EngineRandom& rng = state.rng;
    if (melodyNote <= 0) {
        if (harmony.lastHarmony == 0 || setting(state, part, kMelSecondMelody) != 2) {
            harmony.lastHarmony = 0;
            return 0;
        }
        // The harmony may echo its last note through the melody's rest.
        int echo = harmony.lastHarmony;
        if (rng.oneIn(7))
            echo = harmony.lastHarmony + 12;
        else if (rng.oneIn(4))
            echo = 0;
        if (++harmony.held > 4 && rng.oneIn(2)) harmony.lastHarmony = 0;
        return echo;
    }

    harmony.held = 0;
    const int n = melodyNote;
    if (harmony.reference == 0) harmony.reference = n - 2;
    int b = n - harmony.reference;
    if (b <= 0) {
        harmony.reference = n - 2;
        b = 3;
    }
    // The melody mirrored around the reference, down to a strong note.
    int h = harmony.reference - b;
    while (h > 1 && weights[static_cast<std::size_t>(pitchClass(h))] < kHarmonyThreshold)
        --h;
    if (h <= 1) h = n;
    if (n - h > 12) {
        while (n - h > 12)
            h += 12;
        harmony.reference += 2;
    }
    harmony.lastHarmony = h;
    return h;
}

void deriveSecondMelody(CompositionState& state, HarmonyState& harmony) {
    harmony = HarmonyState{};
    for (int b = 1; b <= state.tune.blockCount; ++b) {
        TuneBlock& block = state.tune.block(b);
        block.secondMelody.clear();
        // Before a block's first chord (the lists begin with one) the
        // tonic's weights stand in.
        std::array<int, 12> weights = tonicWeights(state);
        for (const EngineEvent& e : block.melody) {
            if (e.kind == kEngineChord) {
                const ChordRecord chord =
                    buildChordRecord(state, e.length, e.code, std::string_view(e.text.data(), 2));
                block.secondMelody.appendChord(chord);
                weights = chordNoteWeights(state, e.code);
            } else if (e.kind == kEngineNote) {
                block.secondMelody.appendNote(
                    e.length, harmonyNote(state, kPartSecondMelody, harmony, e.value, weights));
            }
        }
    }
}

void deriveSecondMelodyEnding(CompositionState& state, HarmonyState& harmony, const EventList& melodyEnding,
                              EventList& target) {
    if (setting(state, kPartSecondMelody, kMelEndingKind) != 1) {
        // The plain ending starts from where the harmony left off, else
        // from the melody's ending.
        int from = harmony.lastHarmony;
        for (const EngineEvent& e : melodyEnding)
            if (from == 0 && e.kind == kEngineNote && e.value != 0) from = e.value;
        writeMelodyEnding(state, kPartSecondMelody, target, from);
        return;
    }
    std::array<int, 12> weights = tonicWeights(state);
    for (const EngineEvent& e : melodyEnding) {
        if (e.kind == kEngineChord)
            weights = chordNoteWeights(state, e.code);
        else if (e.kind == kEngineNote)
            target.appendNote(e.length, harmonyNote(state, kPartSecondMelody, harmony, e.value, weights));
    }
}

} // namespace harmolin
