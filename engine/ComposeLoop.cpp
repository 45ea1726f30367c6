#include "engine/ComposeLoop.h"

#include "engine/ChordProgression.h"
#include "engine/EngineErrors.h"
#include "engine/Melody.h"
#include "engine/accompaniment/SongAssembly.h"
#include "engine/patterns/PatternDatabase.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace harmolin {
namespace {

// A structure that never fits is accepted after this many fresh draws rather
// than looping for ever.
constexpr int kMaxStructureDraws = 500;

bool lengthExempt(const StyleRecord& s) {
    return s.chordMode == 8 || s.fixedChordLength == 1 || s.chordLengthSource == 4;
}

int bars(CompositionState& state) {
    return measureTune(state) / state.style.beatsPerBar();
}

// Shortens the first qualifying chord of the blocks (4/4).
bool shortenChord44(CompositionState& state, int attempt) {
    for (int b = 1; b <= state.tune.blockCount; ++b) {
        EventList& chords = state.tune.block(b).chords;
        for (int i = 0; i < chords.count(); ++i) {
            EngineEvent& e = chords[i];
            if (e.kind != kEngineChord) continue;
            if (e.length >= 384) {
                if (state.rng.oneIn(3)) {
                    e.length = 192;
                    return true;
                }
            } else if (attempt > 3 && e.length >= 192 && state.rng.oneIn(2)) {
                e.length = 96;
                return true;
            }
        }
    }
    return false;
}

bool lengthenChord44(CompositionState& state, int attempt) {
    for (int b = 1; b <= state.tune.blockCount; ++b) {
        EventList& chords = state.tune.block(b).chords;
        for (int i = 0; i < chords.count(); ++i) {
            EngineEvent& e = chords[i];
            if (e.kind != kEngineChord) continue;
            if (e.length < 384) {
                if (state.rng.oneIn(3)) {
                    e.length = 384;
                    return true;
                }
            } else if (e.length < 768) {
                if (state.rng.oneIn(3)) {
                    e.length = 768;
                    return true;
                }
            } else if (attempt > 3 && e.length < 192 && state.rng.oneIn(2)) {
                e.length = 192;
                return true;
            }
        }
    }
    return false;
}

bool changeChord34(CompositionState& state, bool shorten) {
    for (int b = 1; b <= state.tune.blockCount; ++b) {
        EventList& chords = state.tune.block(b).chords;
        for (int i = 0; i < chords.count(); ++i) {
            EngineEvent& e = chords[i];
            if (e.kind != kEngineChord) continue;
            const bool candidate = shorten ? e.length > 575 : e.length < 288;
            if (candidate && state.rng.oneIn(3)) {
                e.length = shorten ? 288 : 576;
                return true;
            }
        }
    }
    return false;
}

// Brings the tune's length near the target by changing chord lengths.
int adjustLength(CompositionState& state, int length) {
    const StyleRecord& s = state.style;
    const int target = s.barCount;
    int attempt = 0;
    if (s.meter == 0) {
        while (length < target - 1 || length > target + 1) {
            if (lengthExempt(s)) break;
            const int before = length;
            const bool changed =
                length > target ? shortenChord44(state, attempt) : lengthenChord44(state, attempt);
            if (changed) length = bars(state);
            if (length == before && attempt >= 6) break;
            if (++attempt > 1000) break;
        }
    } else if (s.meter == 1) {
        while (length < target - 1 || length > target + 1) {
            if (lengthExempt(s)) break;
            if (length > target) {
                if (attempt > 500 && state.tune.blockCount > 2) --state.tune.blockCount;
                if (changeChord34(state, true)) length = bars(state);
            } else if (length < target) {
                if (changeChord34(state, false)) length = bars(state);
            }
            if (++attempt > 1000) break;
        }
    }
    return length;
}

// The tune's length in whole bars of its metre (the length check counts
// 7/8 bars as three beats, which overstates them).
double realBars(CompositionState& state) {
    return static_cast<double>(measureTune(state)) * engine::kDivision / state.style.barLength();
}

// Tunes whose chord lengths must stay as drawn (7/8, one chord a bar, random
// lengths, no fitting) are fitted by their form instead: repeats of the
// most repeated blocks are dropped while the tune is too long, and blocks
// played least are repeated while it is too short. The ending block stays
// last and every block is played at least once.
double fitByForm(CompositionState& state) {
    TuneStructure& tune = state.tune;
    const double target = state.style.barCount;
    const int ending = tune.blockCount;
    const auto occurrences = [&](int block) {
        return static_cast<int>(std::count(tune.sequence.begin(), tune.sequence.end(), block));
    };
    double length = realBars(state);
    for (int guard = 0; guard < engine::kMaxSequence && length > target * 1.1; ++guard) {
        int drop = 0;
        for (int b = 1; b <= tune.blockCount; ++b) {
            if (b == ending && tune.blockCount > 1) continue;
            if (occurrences(b) >= 2 && (drop == 0 || occurrences(b) > occurrences(drop))) drop = b;
        }
        if (drop == 0) break;
        const auto last = std::find(tune.sequence.rbegin(), tune.sequence.rend(), drop);
        tune.sequence.erase(std::next(last).base());
        length = realBars(state);
    }
    for (int guard = 0; guard < engine::kMaxSequence && length < target * 0.9; ++guard) {
        int repeat = 0;
        for (int b = 1; b <= tune.blockCount; ++b) {
            if (b == ending && tune.blockCount > 1) continue;
            if (occurrences(b) < 4 && (repeat == 0 || occurrences(b) < occurrences(repeat))) repeat = b;
        }
        if (repeat == 0 || static_cast<int>(tune.sequence.size()) >= engine::kMaxSequence) break;
        const auto last = std::find(tune.sequence.rbegin(), tune.sequence.rend(), repeat);
        tune.sequence.insert(last.base(), repeat);
        length = realBars(state);
    }
    return length;
}

int modulationShift(CompositionState& state) {
    const auto& chords = state.tune.songChords;
    if (!chords.empty()) {
        const ChordCode& last = chords.back().code;
        if (last.isDominantSeventh()) {
            const int shift = (rootPitchClass(last.root()) + 5) % 12;
            if (shift > 0) return shift;
        }
    }
    return state.rng.randRange(1, 11);
}

// Concatenates a list per block in sequence order; chords are rebuilt.
void assembleTrack(CompositionState& state, EventList& track, bool second, std::array<int, 2>& blockStarts) {
    blockStarts = {0, 0};
    const auto& sequence = state.tune.sequence;
    for (std::size_t p = 0; p < sequence.size(); ++p) {
        for (int k = 0; k < 2; ++k)
            if (static_cast<int>(p) == state.modulation[k].sequencePosition) blockStarts[k] = track.count();
        if (sequence[p] < 1) continue;
        const TuneBlock& block = state.tune.block(sequence[p]);
        const EventList& list = second ? block.secondMelody : block.melody;
        for (const EngineEvent& e : list) {
            if (e.kind == kEngineChord) {
                const std::string_view slash(e.text.data(), 2);
                track.appendChord(buildChordRecord(state, e.length, e.code, slash));
            } else if (e.kind == kEngineNote || e.kind == kEngineControl) {
                track.appendCopy(e);
            }
        }
    }
}

int lastNoteOf(const EventList& list) {
    for (int i = list.count() - 1; i >= 0; --i)
        if (list[i].kind == kEngineNote) return list[i].value;
    return 0;
}

int closingChordLength(const StyleRecord& s) {
    return s.meter == 0 ? 768 : 576;
}

void writeBlockMarkers(CompositionState& state) {
    EventList& markers = state.tune.markerTrack;
    char last[4] = {'A', 'E', 'X', 'X'};
    for (int number : state.tune.sequence) {
        if (number < 1) continue;
        const EventList& chords = state.tune.block(number).chords;
        for (int i = 0; i < chords.count(); ++i) {
            if (chords[i].kind != kEngineChord) continue;
            last[0] = static_cast<char>('A' + (number - 1) % 26);
            last[1] = i == chords.count() - 1 ? 'E' : 'X';
            markers.appendText(chords[i].length, std::string_view(last, 4));
        }
    }
    if (state.workMode != 3) {
        markers.appendText(state.style.barLength(), std::string_view(last, 4));
        markers.appendText(state.style.barLength(), std::string_view(last, 4));
    }
}

void shiftFrom(CompositionState& state, EventList& track, int chordIndex, int trackIndex, bool up,
               int times) {
    for (int t = 0; t < times; ++t) {
        for (std::size_t c = static_cast<std::size_t>(chordIndex); c < state.tune.songChords.size(); ++c)
            up ? state.tune.songChords[c].raise() : state.tune.songChords[c].lower();
        for (int i = trackIndex; i < track.count(); ++i)
            up ? raiseMelodyEvent(state, track[i]) : lowerMelodyEvent(state, track[i]);
    }
}

// Only the chords are shifted once; the lines follow with their own indexes.
void applyKeyChanges(CompositionState& state, const std::array<int, 2>& secondStarts) {
    const int s1 = state.modulation[0].shift;
    const int s2 = state.modulation[1].shift;
    EventList& melody = state.tune.melodyTrack;
    EventList& second = state.tune.secondMelodyTrack;
    Modulation& m1 = state.modulation[0];
    if (m1.trackIndex != 0 && m1.chordIndex != -1) {
        const bool down = s1 + s2 > 12 && s1 < s2;
        const int times = down ? 12 - s1 : s1;
        m1.applied = down ? -times : times;
        shiftFrom(state, melody, m1.chordIndex, m1.trackIndex, !down, times);
        if (secondStarts[0] != 0) {
            for (int t = 0; t < times; ++t)
                for (int i = secondStarts[0]; i < second.count(); ++i)
                    down ? lowerMelodyEvent(state, second[i]) : raiseMelodyEvent(state, second[i]);
        }
    }
    Modulation& m2 = state.modulation[1];
    if (m2.trackIndex != 0 && m2.chordIndex != -1) {
        m2.applied = s2;
        shiftFrom(state, melody, m2.chordIndex, m2.trackIndex, true, s2);
        if (secondStarts[1] != 0)
            for (int t = 0; t < s2; ++t)
                for (int i = secondStarts[1]; i < second.count(); ++i)
                    raiseMelodyEvent(state, second[i]);
    }
}

} // namespace

LengthBounds tuneLengthBounds(int targetBars) {
    const int half = engine::kLengthTolerance / 2;
    return {std::max(targetBars - half, 5), targetBars + half};
}

void raiseMelodyEvent(const CompositionState& state, EngineEvent& e) {
    if (e.kind == kEngineNote && e.value != 0) {
        int n = e.value + 1;
        if (n > 126) n = e.value - 11;
        if (n > state.style.sectionA()[kMelHighest] + 12) n -= 12;
        e.value = n;
    } else if (e.kind == kEngineChord) {
        e.code = transposeChord(e.code, 1);
    }
}

void lowerMelodyEvent(const CompositionState& state, EngineEvent& e) {
    if (e.kind == kEngineNote && e.value != 0) {
        int n = e.value - 1;
        if (n + 12 < state.style.sectionA()[kMelLowest]) n += 12;
        e.value = n;
    } else if (e.kind == kEngineChord) {
        e.code = transposeChord(e.code, -1);
    }
}

void buildStructure(CompositionState& state) {
    const StyleRecord& s = state.style;
    const int target = s.barCount;
    int blocks = 0;
    if (s.category == 7) {
        blocks = engine::kDefaultBlockCount - 2;
    } else if (s.fixedChordLength == 1) {
        if (s.chordLengthSource == 0)
            blocks = (target - 2) / state.rng.randRange(4, 6);
        else if (s.chordLengthSource == 4)
            blocks = ((target - 2) / 4) / engine::kFixedRepeats;
        else
            reportEngineError(engine_error::kBlockLength);
        if (blocks < 1) {
            reportEngineError(engine_error::kChordPattern);
            blocks = 1;
        }
    } else {
        do {
            blocks = target > 30 ? state.rng.pickOrDefault(5, 13) : state.rng.pickOrDefault(4, 12);
        } while (blocks < 2);
    }
    blocks = std::min(blocks, engine::kMaxBlocks);
    TuneStructure& tune = state.tune;
    tune.blockCount = blocks;
    tune.sequence.clear();
    for (int i = 1; i <= blocks; ++i) {
        int repeats = 2;
        if (s.category == 7)
            repeats = 2;
        else if (s.chordLengthSource == 0)
            repeats = target > 30 ? state.rng.pickOrDefault(2, 4) : state.rng.pickOrDefault(2, 3);
        for (int r = 0; r < repeats && static_cast<int>(tune.sequence.size()) < engine::kMaxSequence; ++r)
            tune.sequence.push_back(i);
    }
    for (auto& b : tune.blocks) {
        b.chords.clear();
        b.work.fill(0);
    }
    for (int i = 1; i < blocks; ++i)
        writeBlockChords(state, tune.block(i).chords, tune.block(i).work);
    if (blocks >= 2) {
        const EventList& before = tune.block(blocks - 1).chords;
        ChordCode previous("CMPS");
        for (int i = before.count() - 1; i >= 0; --i) {
            if (before[i].kind == kEngineChord) {
                previous = before[i].code;
                break;
            }
        }
        writeEndingBlock(state, tune.block(blocks).chords, previous, tune.block(blocks).work);
    }
}

int measureTune(CompositionState& state) {
    TuneStructure& tune = state.tune;
    tune.songChords.clear();
    state.modulation[0].sequencePosition = state.rng.randRange(2, 4);
    state.modulation[1].sequencePosition = state.rng.randRange(5, 8);
    state.modulation[0].chordIndex = -1;
    state.modulation[1].chordIndex = -1;
    for (std::size_t p = 0; p < tune.sequence.size(); ++p) {
        const int number = tune.sequence[p];
        if (number - 1 < 0) {
            reportEngineError(engine_error::kInvalidProgression);
            continue;
        }
        for (Modulation& m : state.modulation) {
            if (static_cast<int>(p) != m.sequencePosition) continue;
            m.shift = modulationShift(state);
            m.chordIndex = static_cast<int>(tune.songChords.size());
        }
        for (const EngineEvent& e : tune.block(number).chords) {
            if (e.kind != kEngineChord) continue;
            if (static_cast<int>(tune.songChords.size()) >= engine::kMaxSongChords) break;
            tune.songChords.push_back(
                buildChordRecord(state, e.length, e.code, std::string_view(e.text.data(), 2)));
        }
    }
    if (state.style.chordMode != 8 && static_cast<int>(tune.songChords.size()) < engine::kMaxSongChords) {
        tune.songChords.push_back(
            buildChordRecord(state, closingChordLength(state.style), state.patterns.tonic));
    }
    long long total = 0;
    for (const ChordRecord& c : tune.songChords)
        total += c.length;
    return static_cast<int>(total / engine::kDivision);
}

int composeTune(CompositionState& state, std::vector<std::uint8_t>& out) {
    StyleRecord& s = state.style;
    // The fixed bass note must be known before the first chords are built.
    if (s.fixedBassMode == 10) state.fixedBassNote = 43;
    // A missing file is reported; the tune is still made from the built-in
    // fall-backs, as before.
    (void)loadPatternFiles(state);
    LengthBounds bounds = tuneLengthBounds(s.barCount);
    int passes = 0;
    int draws = 0;
    HarmonyState harmony;
    for (;;) {
        if (s.meter == 2) {
            bounds.low = 5;
            bounds.high += 10;
        }
        state.tune.clear();
        buildStructure(state);
        for (Modulation& m : state.modulation) {
            m.trackIndex = 0;
            m.applied = 0;
        }
        int length = bars(state);
        state.tune.tuneBars = length;
        length = adjustLength(state, length);
        // Where chord lengths may not change, the form is fitted and a tune
        // within 15 % of the target passes; the widened 7/8 bounds and the
        // exemptions would otherwise let it run to several times the target.
        const bool byForm = s.meter == 2 || lengthExempt(s);
        bool fits = bounds.accepts(length);
        if (byForm) {
            const double real = fitByForm(state);
            length = bars(state);
            fits = std::abs(real - s.barCount) <= 0.15 * s.barCount;
        }
        state.tune.tuneBars = length;
        if (!fits && (byForm || !lengthExempt(s)) && ++draws < kMaxStructureDraws) continue;

        composeMelody(state, kPartMelody);
        const bool second = s.sectionA()[kMelSecondMelody] != 0;
        if (second) {
            harmony = HarmonyState{};
            deriveSecondMelody(state, harmony);
        }

        std::array<int, 2> starts{};
        assembleTrack(state, state.tune.melodyTrack, false, starts);
        state.modulation[0].trackIndex = starts[0];
        state.modulation[1].trackIndex = starts[1];
        // The melody closes on the chord the accompaniment ends on: the
        // style's tonic, a bar and more long by the metre; with no closing
        // chord in the song (chord mode 8) the melody has none either.
        EventList ending;
        if (s.chordMode != 8)
            ending.appendChord(buildChordRecord(state, closingChordLength(s), state.patterns.tonic));
        writeMelodyEnding(state, kPartMelody, ending, lastNoteOf(state.tune.melodyTrack));
        for (const EngineEvent& e : ending)
            state.tune.melodyTrack.appendCopy(e);

        std::array<int, 2> secondStarts{};
        if (second) {
            assembleTrack(state, state.tune.secondMelodyTrack, true, secondStarts);
            EventList secondEnding;
            deriveSecondMelodyEnding(state, harmony, ending, secondEnding);
            for (const EngineEvent& e : secondEnding)
                state.tune.secondMelodyTrack.appendCopy(e);
        }
        writeBlockMarkers(state);
        if (s.keyChange == 1) applyKeyChanges(state, secondStarts);

        if (passes > engine::kExtraPasses) break;
        ++passes;
        if (s.fixedChordLength == 1) break;
        if (fits) break;
    }
    assembleSong(state, out);
    return 1;
}

} // namespace harmolin
