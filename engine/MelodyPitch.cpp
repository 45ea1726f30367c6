// Pitch methods: interval probabilities (the song melody's), the random walk,
// melody points, chord-note choices and figures (the accompaniment lines').
#include "engine/ChordProgression.h"
#include "engine/EngineErrors.h"
#include "engine/Melody.h"
#include "engine/MelodyDetail.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

namespace harmolin {

using namespace melody_detail;

namespace {

constexpr int kJumpSize[8] = {0, 1, 3, 5, 6, 8, 10, 12};
// Semitones within an octave to diatonic steps.
constexpr int kDiatonicSteps[12] = {0, 1, 1, 2, 2, 3, 4, 4, 5, 5, 6, 6};
constexpr int kMaxTries = 1000;

int diatonicDistance(int semitones) {
    const int s = std::abs(semitones);
    return kDiatonicSteps[s % 12] + 7 * (s / 12);
}

// First note from `from` stepping by dir whose weight reaches minWeight.
int findWeighted(const std::array<int, 12>& weights, int from, int dir, int minWeight) {
    for (int s = 0; s <= 12; ++s) {
        const int c = from + dir * s;
        if (weights[static_cast<std::size_t>(pitchClass(c))] >= minWeight) return c;
    }
    return from;
}

// A chord tone in direction dir from x, else the other way, else x.
int chordToneToward(const ChordRecord& chord, const NoteRange& range, int x, int dir) {
    const int c = stepToChordTone(chord, x, dir, x);
    if (range.contains(c)) return c;
    const int other = stepToChordTone(chord, x, -dir, x);
    return range.contains(other) ? other : x;
}

} // namespace

namespace melody_detail {

bool jumpClassAccepts(const std::array<std::int32_t, 8>& weights, int k, int r) {
    return !(r > 100 - weights[static_cast<std::size_t>(k)]);
}

bool nearNoteAccepts(const std::array<std::int32_t, 8>& weights, int semitones, int r) {
    const int m = diatonicDistance(semitones);
    return m < 8 && r < 100 - weights[static_cast<std::size_t>(m)];
}

} // namespace melody_detail

int pitchByJumps(CompositionState& state, const std::array<int, 3>& previous, const ChordRecord& chord,
                 int position, int& length, int chordLength, int part) {
    const StyleRecord& style = state.style;
    EngineRandom& rng = state.rng;
    MelodyMemory& mem = state.melodyMemory;
    const NoteRange range = partRange(state, part);
    const int low = range.low, high = range.high;
    const auto& jumpWeights = style.melodyJumpWeights;
    const int level = setting(state, part, kMelDissonance);
    const std::array<int, 12> weights = chordNoteWeights(state, chord.codeCopy);
    const auto weightOf = [&](int note) { return weights[static_cast<std::size_t>(pitchClass(note))]; };
    const int prev = previous[0] < 12 ? 0 : previous[0];
    const int prev2 = previous[1] < 12 ? 0 : previous[1];
    const int prev3 = previous[2] < 12 ? 0 : previous[2];
    int& d = mem.direction;
    if (d != 1 && d != -1) d = 1;

    const bool first = prev == 0 || position == 0 || position <= mem.lastPosition;
    mem.lastPosition = position;

    if (prev <= low - 12)
        d = 1;
    else if (prev >= high - 12)
        d = -1;

    int x = 0;
    if (prev == 0) {
        // A line starts a little below the middle of the range, on a chord
        // tone, close to where the last line started.
        int g = 0;
        do
            g = rng.randRange(0, 10);
        while (std::abs(g - mem.lastFirstOffset) > 4);
        mem.lastFirstOffset = g;
        if (chord.root != 0) {
            x = (high + low) / 2 + g - 18;
            x = stepToChordTone(chord, x, 1, x);
        }
        d = rng.randRange(1, 3) == 1 ? 1 : -1;
    } else {
        int k = 0;
        int r = rng.randRange(0, 99);
        int mode = style.jumpCheckMode;
        const auto nearFails = [&](int reference) {
            return reference != 0 && !nearNoteAccepts(jumpWeights, x - reference, r);
        };
        for (int i = 0;;) {
            if (i % 12 == 0) r = rng.randRange(0, 99);
            for (int tries = 1;; ++tries) {
                k = rng.randRange(0, 7);
                x = prev + d * kJumpSize[k];
                if (range.contains(x)) break;
                if (tries >= kMaxTries) {
                    // Only a previous note outside the range gets here.
                    x = std::clamp(x, low, high);
                    break;
                }
                if (tries >= 26) d = -d;
            }
            const bool classOk = jumpClassAccepts(jumpWeights, k, r);
            const bool prev2Ok = !nearFails(prev2);
            const bool prev3Ok = !nearFails(prev3);
            ++i;
            bool accept = false;
            if (i % 1728 != 0) {
                if (i % 144 == 0) d = -d;
                if (mode == 2) {
                    accept = classOk && prev2Ok && prev3Ok;
                } else if (mode == 1) {
                    accept = classOk && prev2Ok;
                } else {
                    accept = classOk;
                    mode = 0;
                }
            } else if (mode == 2) {
                mode = 1;
                accept = classOk && prev2Ok;
            } else if (mode == 1) {
                mode = 0;
                accept = classOk;
            } else {
                accept = true;
            }
            if (accept) break;
        }
        mem.lastDraw = r;

        const int directionRule = x - prev > 7 ? -1 : prev - x > 7 ? 1 : d;
        if (position + length < chordLength) {
            // A passing note: onto a note the chord tolerates.
            if (level < 9) {
                const int minWeight = level < 4 ? 1 : 3;
                int c = findWeighted(weights, x, directionRule, minWeight);
                if (!range.contains(c)) {
                    c = findWeighted(weights, x, -directionRule, minWeight);
                    if (!range.contains(c)) c = x;
                }
                x = c;
            } else {
                const int along = findWeighted(weights, x, directionRule, 5);
                const int against = findWeighted(weights, x, -directionRule, 5);
                const int motion = signOf(x - prev);
                int best = INT_MIN;
                for (int c : {along, against}) {
                    if (!range.contains(c) || weightOf(c) < 5 || signOf(c - prev) != motion) continue;
                    if (best == INT_MIN || std::abs(c - x) < std::abs(best - x)) best = c;
                }
                if (best == INT_MIN)
                    best = range.contains(against) && weightOf(against) >= 5 && against != prev ? against : x;
                x = best;
            }
        }

        const auto resolveToChordTone = [&](int note) {
            if (note == prev) {
                int c = stepToChordTone(chord, note + d, d, note);
                if (!range.contains(c)) c = stepToChordTone(chord, note - d, -d, note);
                return range.contains(c) ? c : note;
            }
            const int up = stepToChordTone(chord, note, 1, INT_MIN);
            const int down = stepToChordTone(chord, note, -1, INT_MIN);
            int nearer = INT_MIN, farther = INT_MIN;
            if (up != INT_MIN && down != INT_MIN) {
                const bool upFirst = up - note != note - down ? up - note < note - down : d > 0;
                nearer = upFirst ? up : down;
                farther = upFirst ? down : up;
            } else {
                nearer = up != INT_MIN ? up : down;
            }
            if (nearer == INT_MIN) return note;
            if (range.contains(nearer)) return nearer;
            return farther != INT_MIN && range.contains(farther) ? farther : note;
        };

        if (position + length >= chordLength) x = resolveToChordTone(x);

        if (style.melodySwitches[0] == 1 && first) {
            // Both ways to a chord tone; the one that carries the line on wins.
            int best = INT_MIN;
            bool bestContinues = false;
            for (int dir : {1, -1}) {
                const int c = stepToChordTone(chord, x, dir, INT_MIN);
                if (c == INT_MIN || !range.contains(c)) continue;
                const bool continues = signOf(c - prev) == d;
                if (best == INT_MIN || (continues && !bestContinues) ||
                    (continues == bestContinues && std::abs(c - x) < std::abs(best - x))) {
                    best = c;
                    bestContinues = continues;
                }
            }
            if (best != INT_MIN) x = best;
        }

        const bool xOutside = !isChordTone(chord, x, true);
        if (!isChordTone(chord, prev, true) && xOutside && level >= 9) {
            x = resolveToChordTone(x);
        } else if (chord.seventh != 0 && pitchClass(prev) == pitchClass(chord.seventh) && xOutside &&
                   std::abs(x - prev) > 2) {
            // A seventh falls (or rises) by step to the next scale note.
            int c = prev + d;
            while (c > 0 && c < 127 && customScaleDigit(state, c) < 5)
                c += d;
            x = c;
            length = std::min(length, 48);
        } else if (style.melodySwitches[1] == 1 && xOutside && length >= 96) {
            length = style.feel == 3 ? 96 : length / 2;
        }

        if (style.melodySwitches[1] == 1 && length >= 96) x = chordToneToward(chord, range, x, d);
        if (!mem.lastWasChordTone && style.melodySwitches[3] == 1) x = chordToneToward(chord, range, x, d);

        if (x - prev > 12) x -= 12;
        if (prev - x > 12) x += 12;

        const int bias = style.melodyJumpSizes[static_cast<std::size_t>(k)];
        for (int t = 0; t < 100; ++t) {
            const int b = rng.randRange(0, 1);
            const int w = rng.randRange(0, 100);
            if (b == 1 && w < bias + 50) {
                d = -d;
                break;
            }
            if (b == 0 && w < 50 - bias) break;
        }
    }

    if (mem.lastWasChordTone) {
        const int draw = rng.randRange(0, 16);
        if (draw < densityClass(densityValue(state, part)) && prev != 0 && prev2 != 0 &&
            isChordTone(chord, prev))
            x = 0;
    }

    if (x > 12) {
        for (int i = 0; i < 10 && x < low; ++i)
            x += 12;
        for (int i = 0; i < 10 && x > high; ++i)
            x -= 12;
    }
    mem.lastWasChordTone = x != 0 && isChordTone(chord, x, true);
    return x;
}

namespace melody_detail {

const std::array<int, 500>& storedSequence() {
    // Eight-note phrases from a handful of stepwise motifs in C major,
    // each phrase starting on a different degree, so that the sequence
    // sounds like a tune rather than noise.
    static const std::array<int, 500> sequence = [] {
        constexpr int kMotifs[6][8] = {
            {0, 2, 4, 5, 4, 2, 0, -1}, {0, 0, 2, 4, 7, 5, 4, 2}, {4, 2, 0, 2, 4, 4, 4, 5},
            {7, 5, 4, 2, 0, 2, -1, 0}, {0, 4, 7, 9, 7, 5, 4, 2}, {2, 4, 5, 7, 5, 4, 2, 0},
        };
        constexpr int kStarts[8] = {0, 2, -3, 0, 5, -1, 4, 0};
        std::array<int, 500> s{};
        for (std::size_t i = 0; i < s.size(); ++i) {
            const std::size_t phrase = i / 8;
            s[i] = kMotifs[(phrase * 5 + phrase / 6) % 6][i % 8] + kStarts[phrase % 8];
        }
        return s;
    }();
    return sequence;
}

int pitchByWalk(CompositionState& state, int part, const std::array<int, 12>& weights, int prev,
                bool strong) {
    EngineRandom& rng = state.rng;
    MelodyMemory& mem = state.melodyMemory;
    const NoteRange range = partRange(state, part);
    const int threshold = strong ? 8 : 5;
    const auto weightOf = [&](int note) { return weights[static_cast<std::size_t>(pitchClass(note))]; };
    int x = 0;
    if (setting(state, part, kMelSequence) != 0) {
        const auto& sequence = storedSequence();
        x = (range.low + range.high) / 2 + sequence[static_cast<std::size_t>(mem.sequenceIndex)];
        mem.sequenceIndex = (mem.sequenceIndex + 1) % static_cast<int>(sequence.size());
        if (weightOf(x) < threshold) {
            const int up = findWeighted(weights, x, 1, threshold);
            const int down = findWeighted(weights, x, -1, threshold);
            x = up - x <= x - down ? up : down;
        }
    } else {
        int& dir = mem.walkDirection;
        if (dir != 1 && dir != -1) dir = 1;
        int current = prev >= 12 ? prev : (range.low + range.high) / 2;
        for (int i = 0; i < 10000; ++i) {
            if (rng.oneIn(4)) dir = -dir;
            const int r = rng.randRange(1, 24);
            const int step = r <= 16   ? rng.randRange(1, 2)
                             : r <= 20 ? 0
                             : r <= 22 ? rng.randRange(3, 4)
                             : r == 23 ? rng.randRange(5, 6)
                                       : rng.randRange(7, 12);
            int next = current + dir * step;
            if (!range.contains(next)) {
                dir = -dir;
                next = current + dir * step;
                if (!range.contains(next)) next = current;
            }
            current = next;
            if (weightOf(current) >= threshold) break;
        }
        x = current;
    }
    if (rng.oneIn(8)) return 0;
    return x;
}

int pitchByPoints(CompositionState& state, int part, const ChordRecord& chord,
                  const std::array<int, 12>& weights, int prev) {
    EngineRandom& rng = state.rng;
    const NoteRange range = partRange(state, part);
    // Melody points: the chord's notes and the strong notes over it.
    std::vector<int> points;
    for (int note = std::max(range.low, 12); note <= range.high; ++note)
        if (isChordTone(chord, note, true) || weights[static_cast<std::size_t>(pitchClass(note))] >= 8)
            points.push_back(note);
    if (points.empty()) {
        reportEngineError(engine_error::kMelodyPoints);
        return 0;
    }
    std::vector<int> near;
    if (prev >= 12)
        for (int p : points)
            if (std::abs(p - prev) <= 7) near.push_back(p);
    const std::vector<int>& pool = near.empty() ? points : near;
    int x = pool[static_cast<std::size_t>(rng.randRange(0, static_cast<int>(pool.size()) - 1))];
    if (prev >= 12 && x != prev) {
        const int dir = signOf(x - prev);
        for (int s = 0; s < 12 && customScaleDigit(state, x) < 5; ++s)
            x += dir;
    }
    return x;
}

int pitchByChordNotes(CompositionState& state, int part, const std::array<int, 12>& weights, int prev,
                      int method) {
    EngineRandom& rng = state.rng;
    const NoteRange range = partRange(state, part);
    const int middle = (range.low + range.high) / 2;
    std::vector<int> notes; // ascending
    for (int note = middle - 1, found = 0; note >= 12 && found < 10; --note)
        if (weights[static_cast<std::size_t>(pitchClass(note))] >= 8) {
            notes.insert(notes.begin(), note);
            ++found;
        }
    for (int note = middle, found = 0; note <= 127 && found < 10; ++note)
        if (weights[static_cast<std::size_t>(pitchClass(note))] >= 8) {
            notes.push_back(note);
            ++found;
        }
    if (notes.empty()) return 0;
    const int count = static_cast<int>(notes.size());
    if (method == 3 || prev < 12) {
        // Free choice among the strong notes near the line.
        std::vector<int> near;
        if (prev >= 12)
            for (int n : notes)
                if (std::abs(n - prev) <= 9) near.push_back(n);
        const std::vector<int>& pool = near.empty() ? notes : near;
        return pool[static_cast<std::size_t>(rng.randRange(0, static_cast<int>(pool.size()) - 1))];
    }
    // Method 4 moves along the strong notes by at most two places.
    int nearest = 0;
    for (int i = 1; i < count; ++i)
        if (std::abs(notes[static_cast<std::size_t>(i)] - prev) <
            std::abs(notes[static_cast<std::size_t>(nearest)] - prev))
            nearest = i;
    const int index = std::clamp(nearest + rng.randRange(-2, 2), 0, count - 1);
    return notes[static_cast<std::size_t>(index)];
}

int pitchByFigures(CompositionState& state, int part, const std::array<int, 12>& weights, int prev) {
    EngineRandom& rng = state.rng;
    MelodyMemory& mem = state.melodyMemory;
    const NoteRange range = partRange(state, part);
    const auto weightOf = [&](int note) { return weights[static_cast<std::size_t>(pitchClass(note))]; };
    const auto nearestStrong = [&](int from) {
        const int up = findWeighted(weights, from, 1, 8);
        const int down = findWeighted(weights, from, -1, 8);
        return up - from <= from - down ? up : down;
    };
    const int origin = prev >= 12 ? prev : (range.low + range.high) / 2;
    int x = 0;
    if (mem.figureIndex < mem.figureLength && prev >= 12) {
        // Keep the figure while it lasts.
        x = prev + mem.figure[static_cast<std::size_t>(mem.figureIndex++)];
    } else if (mem.lastWeak && prev >= 12) {
        mem.figureLength = mem.figureIndex = 0;
        x = nearestStrong(prev);
    } else {
        mem.figureLength = mem.figureIndex = 0;
        const int draw = rng.randRange(1, 20);
        if (draw <= densityClass(densityValue(state, part)) / 2) {
            x = 0; // busier parts breathe less
        } else if (draw <= 9) {
            constexpr int kSteps[7] = {1, 2, -1, -2, 3, -3, 0};
            mem.figureLength = rng.randRange(2, 4);
            for (int i = 0; i < mem.figureLength; ++i)
                mem.figure[static_cast<std::size_t>(i)] = kSteps[rng.randRange(0, 6)];
            x = nearestStrong(origin);
        } else {
            x = nearestStrong(origin + rng.randRange(-5, 5));
        }
    }
    mem.lastWeak = x != 0 && weightOf(x) < 8;
    return x;
}

} // namespace melody_detail

} // namespace harmolin
