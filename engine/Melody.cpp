// Writing a part's notes over a block's chords: rhythm, pitch, the shaping
// steps that follow the pitch method, and the per-block retry.
#include "engine/Melody.h"

#include "engine/ChordProgression.h"
#include "engine/EngineErrors.h"
#include "engine/MelodyDetail.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

namespace harmolin {

using namespace melody_detail;

namespace melody_detail {

int setting(const CompositionState& state, int part, int value) {
    if (part < 0 || part > 15 || value < 0 || value > 14) return 0;
    return state.style.melodySettings[static_cast<std::size_t>(part)][static_cast<std::size_t>(value)];
}

void setSetting(CompositionState& state, int part, int value, int v) {
    if (part < 0 || part > 15 || value < 0 || value > 14) return;
    state.style.melodySettings[static_cast<std::size_t>(part)][static_cast<std::size_t>(value)] = v;
}

NoteRange partRange(const CompositionState& state, int part) {
    int high = setting(state, part, kMelHighest);
    int low = setting(state, part, kMelLowest);
    if (high == 0 && low == 0 && part != kPartMelody) {
        high = setting(state, kPartMelody, kMelHighest);
        low = setting(state, kPartMelody, kMelLowest);
    }
    if (high == 0 && low == 0) {
        high = 80;
        low = 50;
    }
    if (low > high) std::swap(low, high);
    return {std::clamp(low, 0, 127), std::clamp(high, 0, 127)};
}

int densityValue(const CompositionState& state, int part) {
    if (part < 0 || part >= static_cast<int>(state.style.patternParams.size())) return 100;
    return state.style.patternParams[static_cast<std::size_t>(part)];
}

int densityClass(int value) {
    if (value < 30) return 8;
    if (value < 50) return 7;
    if (value < 70) return 6;
    if (value < 90) return 5;
    if (value < 110) return 4;
    if (value < 130) return 3;
    if (value < 150) return 2;
    if (value < 170) return 1;
    return 4;
}

bool isChordTone(const ChordRecord& chord, int note, bool withSeventh) {
    if (note <= 0 || chord.root == 0) return false;
    const int pc = pitchClass(note);
    if (pitchClass(chord.root) == pc) return true;
    if (chord.third != 0 && pitchClass(chord.third) == pc) return true;
    if (chord.fifth != 0 && pitchClass(chord.fifth) == pc) return true;
    return withSeventh && chord.seventh != 0 && pitchClass(chord.seventh) == pc;
}

int stepToChordTone(const ChordRecord& chord, int from, int dir, int fallback) {
    for (int s = 0; s <= 12; ++s) {
        const int c = from + dir * s;
        if (c < 0 || c > 127) break;
        if (isChordTone(chord, c)) return c;
    }
    return fallback;
}

int customScaleDigit(const CompositionState& state, int note) {
    const char c = state.style.customScale[static_cast<std::size_t>(4 + pitchClass(note))];
    if (c >= '0' && c <= '9') return c - '0';
    return styleScaleWeights(state)[static_cast<std::size_t>(pitchClass(note))];
}

} // namespace melody_detail

int foldIntoRange(CompositionState& state, int part, int note) {
    if (note == 0) return 0;
    const NoteRange r = partRange(state, part);
    if (r.high - r.low >= 20) {
        for (int i = 0; i < 20 && note < r.low; ++i)
            note += 12;
        for (int i = 0; i < 20 && note > r.high; ++i)
            note -= 12;
        return note;
    }
    for (int i = 0; i < 1000 && note < r.low; ++i)
        note += state.rng.randRange(1, 3);
    for (int i = 0; i < 1000 && note > r.high; ++i)
        note -= state.rng.randRange(1, 3);
    // A range narrower than the step cannot always be hit by the random
    // steps; the note is then put at the nearer end.
    return std::clamp(note, r.low, r.high);
}

namespace {

constexpr int kNoPredecessor = 256;
constexpr int kRestInterval = 257;
constexpr int kTableSize = 256;

// Moves a note to the nearer chord tone (root, third, fifth), preferring
// dir on a tie; the note itself when the chord has none.
int nearerChordTone(const ChordRecord& chord, int x, int dir) {
    const int up = stepToChordTone(chord, x, 1, -1);
    const int down = stepToChordTone(chord, x, -1, -1);
    if (up < 0 && down < 0) return x;
    if (up < 0) return down;
    if (down < 0) return up;
    if (up - x != x - down) return up - x < x - down ? up : down;
    return dir > 0 ? up : down;
}

// Splits n into count positive multiples of unit, drawn one after another.
bool splitLength(EngineRandom& rng, int n, int count, int unit, std::vector<int>& parts) {
    if (unit <= 0 || n % unit != 0 || n / unit < count) return false;
    const int units = n / unit;
    for (int attempt = 0; attempt < 101; ++attempt) {
        parts.clear();
        int left = units;
        for (int i = 0; i < count; ++i) {
            const int most = left - (count - 1 - i);
            const int u = rng.randRange(1, std::max(most, 1));
            parts.push_back(u * unit);
            left -= u;
        }
        if (left == 0) return true;
    }
    return false;
}

using Notes = std::vector<std::pair<int, int>>; // pitch, length

Notes splitInto(EngineRandom& rng, int n, int unit, std::initializer_list<int> pitches) {
    std::vector<int> lengths;
    if (!splitLength(rng, n, static_cast<int>(pitches.size()), unit, lengths)) return {};
    Notes out;
    std::size_t i = 0;
    for (int p : pitches)
        out.emplace_back(p, lengths[i++]);
    return out;
}

} // namespace

// Neighbour and passing-note figures that replace one long note.
Notes melody_detail::ornamentNotes(CompositionState& state, int part, int method, int x, int n, int q) {
    if (x <= 11 || n <= 95) return {};
    const StyleRecord& style = state.style;
    EngineRandom& rng = state.rng;
    const auto& w = style.melodyJumpWeights;
    const int level = setting(state, part, kMelDissonance);
    const int density = densityValue(state, part);
    if (n > 191 && q < 12) {
        if (rng.oneIn(3) || rng.randRange(0, level) == 1) {
            if (style.keyVariant == 1 && rng.oneIn(2)) return {};
            return splitInto(rng, n, 48, {x, x - 1, x});
        }
        return {};
    }
    if (n > 191 && std::abs(q - x) == 4 && method == 6) {
        if (rng.randRange(0, 200 - w[1] - w[2]) < 100 - w[1]) return splitInto(rng, n, 48, {(x + q) / 2, x});
        return {};
    }
    if (n < 96 || n > 191 || q < 12) return {};
    const bool straightBusy = n == 96 && style.feel != 3 && density >= 80;
    if (std::abs(q - x) == 4 && method == 6) {
        const int e = (100 - w[1]) / 2;
        if (rng.randRange(0, e - w[2] + 100) < e) {
            Notes passing = splitInto(rng, n, straightBusy ? 24 : 48, {(x + q) / 2, x});
            if (!passing.empty()) return passing;
        }
    }
    if (!straightBusy) return {};
    const int draw = rng.randRange(1, 9);
    if (draw <= 2) return splitInto(rng, n, 24, {x, x});
    if (draw == 3) return splitInto(rng, n, 24, {x, x, x});
    return {};
}

namespace {

// Tension and blue notes against the chord (value 10 of the part).
int tensionStep(CompositionState& state, int part, int x, int prev, int n, bool chordFirst,
                const ChordRecord& chord, const std::array<int, 12>& weights) {
    const int kind = setting(state, part, kMelTension);
    if (x < 12 || chord.root == 0) return x;
    EngineRandom& rng = state.rng;
    const NoteRange range = partRange(state, part);
    const int octave = x / 12 * 12;
    if (kind == 2) {
        if (chordFirst || rng.randRange(1, 5) == 5) return x;
        const int seventh = chord.seventh != 0 ? chord.seventh : chord.root + 10;
        const int fifth = chord.fifth != 0 ? chord.fifth : chord.root + 7;
        const int choices[3] = {chord.root + 2, seventh, fifth + 2};
        const int c = octave + pitchClass(choices[rng.randRange(0, 2)]);
        // A tension must sound in the range, be no avoid note, and stay
        // close to the line it decorates.
        const bool admitted = range.contains(c) && weights[static_cast<std::size_t>(pitchClass(c))] >= 1 &&
                              std::abs(c - x) <= 4 && (prev < 12 || std::abs(c - prev) <= 7);
        return admitted ? c : x;
    }
    if (kind == 1 && n <= 96) {
        const int pc = pitchClass(x);
        if ((pc == 4 || pc == 11) && rng.oneIn(2)) return x - 1; // blue third, blue seventh
        const int level = std::max(setting(state, part, kMelDissonance), 2);
        if (rng.oneIn(level)) {
            constexpr int kBlue[3] = {10, 8, 3};
            const int c = octave + kBlue[rng.randRange(0, 2)];
            if (prev >= 12 && std::abs(prev - c) <= 3) return c;
        }
    }
    return x;
}

// A pitch-class pull towards E, G and A flat for the scale that leans on them.
int scale21Correction(EngineRandom& rng, int x) {
    if (x < 12 || !rng.oneIn(2)) return x;
    switch (pitchClass(x)) {
    case 3:
        return x + 1; // D sharp up to E
    case 5:
        return x - 1; // F down to E
    case 6:
        return x + 1; // F sharp up to G
    case 9:
        return x - 1; // A down to A flat
    default:
        return x;
    }
}

struct BlockTables {
    std::vector<std::array<int, kTableSize>> interval;
    std::vector<std::array<int, kTableSize>> length;
    explicit BlockTables(std::size_t chords) : interval(chords), length(chords) {
        for (auto& row : interval)
            row.fill(kNoPredecessor);
        for (auto& row : length)
            row.fill(0);
    }
};

// The chord-tone steps land on root, third or fifth whatever the style's
// scale says; a pentatonic or court scale over diatonic chords would then
// sound its forbidden notes (weight 0). Such a note moves to the nearest
// note the chord and scale weigh 5 or more (9, a chord tone of the scale,
// first within a whole tone), keeping the line's direction on a tie.
int nearestScaleNote(const std::array<int, 12>& weights, const std::array<int, 12>& scale, NoteRange range,
                     int x, int prev) {
    const int towards = prev != 0 && prev > x ? -1 : 1;
    const auto weight = [&](int n) { return weights[static_cast<std::size_t>(pitchClass(n))]; };
    const auto find = [&](int maxDistance, auto accepts) {
        for (int d = 1; d <= maxDistance; ++d)
            for (int dir : {towards, -towards})
                if (range.contains(x + dir * d) && accepts(x + dir * d)) return x + dir * d;
        return 0;
    };
    if (int n = find(2, [&](int c) { return weight(c) == 9; })) return n;
    if (int n = find(6, [&](int c) { return weight(c) >= 5; })) return n;
    if (int n = find(6, [&](int c) { return scale[static_cast<std::size_t>(pitchClass(c))] > 0; })) return n;
    return x;
}

bool repeatSwitchOn(EngineRandom& rng, int value) {
    return value == 2 || (value == 1 && rng.oneIn(2));
}

} // namespace

bool writeBlockMelody(CompositionState& state, int blockIndex, int part, const EventList& chords,
                      EventList& melody) {
    (void)blockIndex;
    const StyleRecord& style = state.style;
    EngineRandom& rng = state.rng;
    const NoteRange range = partRange(state, part);
    const int mode = setting(state, part, kMelPartMode);
    const int method = setting(state, part, kMelPitchMethod);
    const int restSwitch = setting(state, part, kMelRestSwitch);
    const int dissonanceClass = densityClass(densityValue(state, part));
    const int mixByte =
        part >= 0 && part < 16 ? style.mixer[static_cast<std::size_t>(part)][kMixChordControl] : 0;
    const bool perChordRhythm = mode == 9 && style.meter == 0 && style.feel != 3;
    const std::array<int, 12> scale = styleScaleWeights(state);

    std::vector<const EngineEvent*> chordEvents;
    for (const EngineEvent& e : chords)
        if (e.kind == kEngineChord) chordEvents.push_back(&e);
    const std::size_t tableChords = std::min<std::size_t>(chordEvents.size(), kTableSize);
    BlockTables tables(tableChords);

    if (method < 1 || method > 7) reportEngineError(engine_error::kAlgorithmSelection);

    int prev = 0, prev2 = 0, prev3 = 0;
    int restRun = 0;
    int prevSixteenths = 0;
    bool lengthened = false;

    for (std::size_t j = 0; j < chordEvents.size(); ++j) {
        const EngineEvent& ev = *chordEvents[j];
        if (mixByte != 0) {
            if (j != 0) melody.appendControl(0, 0);
            melody.appendControl(0, mixByte);
        }
        const ChordRecord chord =
            buildChordRecord(state, ev.length, ev.code, std::string_view(ev.text.data(), 2));
        melody.appendChord(chord);
        if (style.chordMode != 8) {
            if (style.meter == 1 && ev.length != 288 && ev.length != 576)
                reportEngineError(engine_error::kThreeFour);
            else if (style.meter == 2 && ev.length != 336)
                reportEngineError(engine_error::kSevenEight);
        }

        // Notes may run half a beat into the next chord and give it back
        // there; never into a chord too short to give it back.
        int cover = ev.length;
        if (perChordRhythm) {
            const bool last = j + 1 == chordEvents.size();
            if (lengthened) {
                cover -= 48;
                lengthened = false;
            } else if (ev.length != 768 && !last && chordEvents[j + 1]->length > 48 &&
                       rng.randRange(1, 3) <= 2) {
                cover += 48;
                lengthened = true;
            }
        }

        const std::array<int, 12> weights = chordNoteWeights(state, ev.code);
        if (std::all_of(weights.begin(), weights.end(), [](int w) { return w == 0; }))
            reportEngineError(engine_error::kGeneral);

        // The first earlier chord of the same length lends its lengths and
        // intervals note by note.
        std::size_t same = j;
        for (std::size_t i = 0; i < j; ++i)
            if (chordEvents[i]->length == ev.length) {
                same = i;
                break;
            }

        int u = 0;
        int k = 0;
        while (u < cover) {
            const int barLength = mode == 9 ? cover : style.barLength();
            const int inBar = u % barLength;
            const int barStart = u - inBar;
            int n = nextNoteLength(state, part, inBar, barLength, cover - barStart, prevSixteenths);
            if (n <= 0) {
                // The chord must still fill its time, or the line drifts
                // against the chords.
                melody.appendNote(cover - u, 0);
                break;
            }

            int x = 0;
            const std::array<int, 3> history{prev, prev2, prev3};
            const bool strong = u == 0 || u + n >= cover || n >= 96;
            switch (method) {
            case 1:
                x = pitchByPoints(state, part, chord, weights, prev);
                break;
            case 2:
                x = pitchByWalk(state, part, weights, prev, strong);
                break;
            case 3:
            case 4:
                x = pitchByChordNotes(state, part, weights, prev, method);
                break;
            case 5:
                x = pitchByFigures(state, part, weights, prev);
                break;
            case 6:
                x = pitchByJumps(state, history, chord, u, n, cover, part);
                break;
            case 7:
                x = (range.high + range.low) / 2;
                break;
            default:
                x = 0;
                break;
            }
            if (method >= 1 && method <= 6) {
                if (method <= 4) x = foldIntoRange(state, part, x);
                x = tensionStep(state, part, x, prev, n, u == 0, chord, weights);
                x = foldIntoRange(state, part, x);
            }

            const bool inTable = same < j && same < tableChords && k < kTableSize;
            if (repeatSwitchOn(rng, setting(state, part, kMelLengthRepeat)) && inTable) {
                const int stored = tables.length[same][static_cast<std::size_t>(k)];
                n = stored > 0 ? stored : cover - u;
            }
            if (repeatSwitchOn(rng, setting(state, part, kMelIntervalRepeat)) && inTable) {
                const int v = tables.interval[same][static_cast<std::size_t>(k)];
                if (v == kRestInterval) {
                    x = 0;
                } else if (v != kNoPredecessor) {
                    int repeated = prev != 0 ? prev + v : 0;
                    if (repeated != 0) {
                        repeated = foldIntoRange(state, part, repeated);
                        if (!isChordTone(chord, prev, true) && !isChordTone(chord, repeated))
                            repeated = nearerChordTone(chord, repeated, signOf(v));
                    }
                    if (range.contains(x)) x = repeated;
                }
            }

            if (u + n > cover) n = cover - u;
            if (n <= 0) {
                reportEngineError(engine_error::kLengthDetermination);
                break;
            }
            prevSixteenths = n / 24;

            if (method != 5 && x != 0 && prev != 0) {
                if (x - prev > 12) x -= 12;
                if (prev - x > 12) x += 12;
            }

            if (restSwitch == 1 && rng.oneIn(2) && restRun < 4) {
                if (x == prev || rng.oneIn(4)) {
                    x = 0;
                    ++restRun;
                } else {
                    restRun = 0;
                }
            } else {
                restRun = 0;
            }

            if (x != 0 && (x < 12 || x > 127 || !range.contains(x))) x = 0;

            if (prev == 0 || prev2 != 0 || rng.oneIn(4)) {
                const int c = dissonanceClass;
                if (c != 1) {
                    if (method == 1 && rng.oneIn(2 * (10 - c))) x = 0;
                    if ((method == 3 || method == 4) && rng.randRange(1, 10 - c) <= 2) x = 0;
                }
                if (c == 6) {
                    if (rng.oneIn(7)) x = 0;
                } else if (c > 6 && rng.oneIn(3)) {
                    x = 0;
                }
                if (c == 8 && rng.oneIn(2)) x = 0;
            }

            if (style.scaleNumber == 21) x = scale21Correction(rng, x);
            if (method == 6 && x != 0 && scale[static_cast<std::size_t>(pitchClass(x))] == 0)
                x = nearestScaleNote(weights, scale, range, x, prev);

            Notes figure;
            if (method == 6 && (style.scaleNumber == 1 || style.scaleNumber == 7))
                figure = ornamentNotes(state, part, method, x, n, prev);
            if (figure.empty())
                melody.appendNote(n, x);
            else
                for (const auto& [pitch, length] : figure)
                    melody.appendNote(length, pitch);

            if (j < tableChords && k < kTableSize) {
                int interval = kNoPredecessor;
                if (prev != 0) interval = x != 0 ? x - prev : kRestInterval;
                tables.interval[j][static_cast<std::size_t>(k)] = interval;
                tables.length[j][static_cast<std::size_t>(k)] = n;
            }
            if (method != 5 || x != prev) {
                prev3 = prev2;
                prev2 = prev;
                prev = x;
            }

            u += n;
            ++k;
            if (u > cover) reportEngineError(engine_error::kChordLength);
        }
    }
    if (mixByte != 0) melody.appendControl(0, 0);
    return true;
}

namespace {

// The compose loop's retry: a block is tried until it succeeds, with a
// report after every thousand failures. The engine's own blocks always
// succeed; the bound keeps a failing custom method from hanging the program.
void writeWithRetry(CompositionState& state, int block, int part, const EventList& chords,
                    EventList& target) {
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            target.clear();
            if (writeBlockMelody(state, block, part, chords, target)) return;
        }
        reportEngineError(engine_error::kGeneral);
    }
}

template <typename TargetOf> void composeBlocks(CompositionState& state, int part, TargetOf targetOf) {
    const int savedMode = setting(state, part, kMelPartMode);
    const int blocks = state.tune.blockCount;
    for (int b = 1; b <= blocks; ++b) {
        // The second half of the tune settles into a calmer rhythm.
        if (b - 1 > blocks / 2 && setting(state, part, kMelPartMode) == 2)
            setSetting(state, part, kMelPartMode, 1);
        writeWithRetry(state, b, part, state.tune.block(b).chords, targetOf(b));
    }
    setSetting(state, part, kMelPartMode, savedMode);
}

} // namespace

void composeMelody(CompositionState& state, int part) {
    composeBlocks(state, part, [&](int b) -> EventList& { return state.tune.block(b).melody; });
}

void composeLine(CompositionState& state, int part, std::vector<EventList>& perBlock) {
    const int blocks = std::max(state.tune.blockCount, 0);
    perBlock.resize(static_cast<std::size_t>(blocks));
    composeBlocks(state, part,
                  [&](int b) -> EventList& { return perBlock[static_cast<std::size_t>(b - 1)]; });
}

} // namespace harmolin
