// Harmony generators that compute their notes step by step: sustained
// chords, arpeggios, block chords, broken chords and the counter line.
#include "engine/accompaniment/AccompanimentPatterns.h"

#include <algorithm>
#include <cstdlib>

namespace harmolin::accomp {
namespace {

int orRoot(int note, const ChordRecord& chord) {
    return note > 0 ? note : chord.root;
}

// Ladder index that goes up and back down: 0 1 2 .. n-1 n-2 .. 1 0 1 ...
int pingPong(int k, int n) {
    if (n <= 1) return 0;
    const int period = 2 * n - 2;
    const int i = k % period;
    return i < n ? i : period - i;
}

int beatAccent(int at, int onBeat, int offBeat) {
    return at % 96 == 0 ? onBeat : offBeat;
}

} // namespace

void playSustainedChords(CompositionState& state, NoteWriter& writer, const PatternContext&) {
    const bool withRoot = !hasBassPart(state.style);
    for (const ChordSpan& span : chordSpans(state)) {
        if (span.length <= 0) continue;
        const int length = std::max(1, span.length - 4);
        for (int n : closeVoicing(*span.chord, withRoot, 60))
            writer.note(span.start, n, 60, length);
    }
}

void playArpeggio(CompositionState& state, NoteWriter& writer, const PatternContext&) {
    const bool noBass = !hasBassPart(state.style);
    const bool triplet = state.style.triplet();
    for (const ChordSpan& span : chordSpans(state)) {
        const ChordRecord& c = *span.chord;
        // A missing third or seventh would leave a hole in the figure.
        const int third = orRoot(c.third, c);
        const int fifth = orRoot(c.fifth, c);
        const int seventh = orRoot(c.seventh, c);
        if (triplet) {
            const int steps = span.length / 32;
            for (int j = 0; j < steps; ++j) {
                static constexpr int kDegree[6] = {0, 1, 2, 3, 2, 1}; // root third fifth seventh fifth third
                const int d = kDegree[j % 6];
                const int note = d == 0 ? c.root : d == 1 ? third : d == 2 ? fifth : seventh;
                writer.note(span.start + 32 * j, note, 64, 30);
            }
        } else {
            const int steps = span.length / 48;
            for (int j = 0; j < steps; ++j) {
                int note = 0;
                switch (j % 8) {
                case 4:
                case 7:
                    note = seventh;
                    break;
                case 2:
                case 5:
                    note = third;
                    break;
                case 0:
                    note = noBass ? c.root : seventh;
                    break;
                default:
                    note = fifth;
                    break;
                }
                writer.note(span.start + 48 * j, note, 64, 47);
            }
        }
    }
}

namespace {

// The three notes of a block-chord hit, with the voice leading of a chord's
// first hit against the previous chord.
struct BlockVoices {
    int previousSeventh = 80;
    int previousThird = 75;

    std::array<int, 3> hit(const ChordRecord& c, bool hasBass, bool firstHit) const {
        int third = c.third;
        int seventh = c.seventh;
        if (firstHit) {
            if (seventh > 0 && seventh - previousSeventh > 4 && seventh > 71) seventh -= 12;
            if (third > 0 && previousThird - third > 4 && third <= 71) third += 12;
        }
        const int top = (!hasBass || c.seventh == 0) ? c.root : seventh;
        return {orRoot(third, c), c.fifth, top};
    }
    void advance(const ChordRecord& c) {
        previousSeventh = c.seventh;
        previousThird = c.third;
    }
};

void strikeBlock(NoteWriter& writer, int at, const std::array<int, 3>& notes, int velocity, int length) {
    for (int n : notes)
        writer.note(at, n, velocity, length);
}

// Six single chord tones, 32 ticks apart, never the same tone twice running.
void playRun(CompositionState& state, NoteWriter& writer, const ChordRecord& c, int at) {
    int previous = 0;
    for (int i = 0; i < 6; ++i) {
        int draw = state.rng.randRange(1, 4);
        while (draw == previous)
            draw = state.rng.randRange(1, 4);
        previous = draw;
        const int note = draw == 1 ? c.third : draw == 2 ? c.fifth : draw == 3 ? c.seventh : c.root;
        writer.note(at + 32 * i, orRoot(note, c), 64, 30);
    }
}

// Triplet feel: hits of one, two or three triplet eighths and runs.
void blockChordsTriplet(CompositionState& state, NoteWriter& writer) {
    const bool hasBass = hasBassPart(state.style);
    BlockVoices voices;
    for (const ChordSpan& span : chordSpans(state)) {
        const ChordRecord& c = *span.chord;
        int remaining = span.length;
        int at = span.start;
        bool firstHit = true;
        while (remaining > 0) {
            int step = 96;
            int sound = 94;
            bool run = false;
            if (remaining == 32) {
                step = 32;
                sound = 30;
            } else if (remaining == 64) {
                step = 64;
                sound = 60;
            } else {
                const int choice = state.rng.randRange(1, 3);
                if (choice == 1) {
                    step = 32;
                    sound = 30;
                } else if (choice == 2 && (remaining == 192 || remaining == 384)) {
                    run = true;
                    step = 192;
                }
            }
            if (run) {
                playRun(state, writer, c, at);
            } else {
                // A hit never runs past its chord, so the part keeps time.
                if (step > remaining) {
                    step = remaining;
                    sound = std::max(1, remaining - 2);
                }
                strikeBlock(writer, at, voices.hit(c, hasBass, firstHit), 64, sound);
            }
            firstHit = false;
            at += step;
            remaining -= step;
        }
        voices.advance(c);
    }
}

// Straight feel, lively: a chord on every eighth, the beats louder.
void blockChordsEighths(CompositionState& state, NoteWriter& writer) {
    const bool hasBass = hasBassPart(state.style);
    BlockVoices voices;
    for (const ChordSpan& span : chordSpans(state)) {
        bool firstHit = true;
        for (int at = span.start; at < span.end(); at += 48) {
            const int length = std::min(40, std::max(1, span.end() - at - 4));
            strikeBlock(writer, at, voices.hit(*span.chord, hasBass, firstHit), beatAccent(at, 72, 56),
                        length);
            firstHit = false;
        }
        voices.advance(*span.chord);
    }
}

// Straight feel, calm: quarter, half and dotted-quarter hits in bar-long cells.
void blockChordsCells(CompositionState& state, NoteWriter& writer) {
    const bool hasBass = hasBassPart(state.style);
    BlockVoices voices;
    static const std::vector<std::vector<int>> kBarCells = {
        {96, 96, 96, 96}, {144, 144, 96}, {192, 96, 96}, {96, 192, 96}};
    static const std::vector<std::vector<int>> kHalfCells = {{96, 96}, {192}, {144, 48}};
    for (const ChordSpan& span : chordSpans(state)) {
        std::vector<int> durations;
        int remaining = span.length;
        while (remaining > 0) {
            if (remaining >= 384) {
                for (int d : kBarCells[static_cast<std::size_t>(state.rng.randRange(0, 3))])
                    durations.push_back(d);
                remaining -= 384;
            } else if (remaining >= 192) {
                for (int d : kHalfCells[static_cast<std::size_t>(state.rng.randRange(0, 2))])
                    durations.push_back(d);
                remaining -= 192;
            } else {
                const int d = std::min(96, remaining);
                durations.push_back(d);
                remaining -= d;
            }
        }
        int at = span.start;
        bool firstHit = true;
        for (int d : durations) {
            const int length = std::max(1, d - 10);
            strikeBlock(writer, at, voices.hit(*span.chord, hasBass, firstHit), firstHit ? 72 : 62, length);
            firstHit = false;
            at += d;
        }
        voices.advance(*span.chord);
    }
}

} // namespace

void playBlockChords(CompositionState& state, NoteWriter& writer, const PatternContext& context) {
    if (state.style.triplet())
        blockChordsTriplet(state, writer);
    else if (context.percent > 80)
        blockChordsEighths(state, writer);
    else
        blockChordsCells(state, writer);
}

void playBrokenChords(CompositionState& state, NoteWriter& writer, const PatternContext&) {
    const bool triplet = state.style.triplet();
    const bool sevenEight = state.style.meter == 2;
    for (const ChordSpan& span : chordSpans(state)) {
        const ChordRecord& c = *span.chord;
        const int octaves = state.rng.randRange(1, 2);
        const int figure = state.rng.randRange(1, 4);
        if (figure == 1 || sevenEight) {
            const int step = triplet ? 32 : 48;
            const int steps = span.length / step;
            for (int j = 0; j < steps; ++j) {
                int pitch = 0;
                switch (j % 12) {
                case 1:
                case 5:
                    pitch = c.root + 12;
                    break;
                case 2:
                case 4:
                    pitch = c.root + 14;
                    break;
                case 3:
                    pitch = c.third + 12;
                    break;
                case 6:
                    pitch = c.fifth;
                    break;
                case 7:
                    pitch = c.root;
                    break;
                default:
                    continue;
                }
                pitch -= 12 * octaves;
                if (pitch <= 0 || c.root <= 0) continue;
                writer.note(span.start + j * step, pitch, j % 12 == 7 ? 49 : 64, step - 2);
            }
        } else {
            const int quarters = span.length / 96;
            for (int q = 0; q < quarters; ++q) {
                const bool shortRoll = state.rng.randRange(1, 2) == 1;
                const int at = span.start + 96 * q;
                writer.note(at, c.third, 44, shortRoll ? 16 : 94);
                writer.note(at + 2, c.fifth, 44, shortRoll ? 14 : 92);
                writer.note(at + 4, c.root, 44, shortRoll ? 12 : 90);
            }
        }
    }
}

void playCounterLine(CompositionState& state, NoteWriter& writer, const PatternContext&) {
    int previous = 67;
    for (const ChordSpan& span : chordSpans(state)) {
        const ChordTones tones = chordTones(*span.chord);
        if (tones.empty()) continue;
        std::vector<int> candidates;
        for (int pc : {tones.root, tones.third, tones.fifth, tones.seventh}) {
            if (pc < 0) continue;
            for (int n = placeAbove(pc, 58); n <= 79; n += 12)
                candidates.push_back(n);
        }
        int at = span.start;
        while (at < span.end()) {
            const int remaining = span.end() - at;
            int duration = state.rng.randRange(1, 3) == 1 ? 96 : 192;
            if (remaining >= 384 && state.rng.randRange(1, 4) == 1) duration = 384;
            duration = std::min(duration, remaining);
            // The nearest chord tone that moves; now and then the second nearest.
            std::vector<int> moves = candidates;
            moves.erase(std::remove(moves.begin(), moves.end(), previous), moves.end());
            if (moves.empty()) moves = candidates;
            std::sort(moves.begin(), moves.end(), [previous](int a, int b) {
                const int da = std::abs(a - previous);
                const int db = std::abs(b - previous);
                return da != db ? da < db : a < b;
            });
            const std::size_t pick = moves.size() > 1 && state.rng.randRange(1, 3) == 1 ? 1 : 0;
            const int note = moves[pick];
            writer.note(at, note, 60, std::max(1, duration - 6));
            previous = note;
            at += duration;
        }
    }
}

void playUpDownArpeggio(CompositionState& state, NoteWriter& writer, const PatternContext&) {
    const bool triplet = state.style.triplet();
    const bool withRoot = !hasBassPart(state.style);
    for (const ChordSpan& span : chordSpans(state)) {
        const std::vector<int> ladder = arpeggioLadder(*span.chord, withRoot);
        if (ladder.empty()) continue;
        const int n = static_cast<int>(ladder.size());
        int k = 0;
        for (int p = span.start; p < span.end(); p += 48, ++k) {
            const int at = triplet ? swingTicks(p) : p;
            const int next = std::min(span.end(), triplet ? swingTicks(p + 48) : p + 48);
            writer.note(at, ladder[static_cast<std::size_t>(pingPong(k, n))], beatAccent(at, 68, 60),
                        std::max(1, next - at - 4));
        }
    }
}

void playRunningArpeggio(CompositionState& state, NoteWriter& writer, const PatternContext&) {
    const int step = state.style.triplet() ? 32 : 24;
    const bool withRoot = !hasBassPart(state.style);
    for (const ChordSpan& span : chordSpans(state)) {
        const std::vector<int> ladder = arpeggioLadder(*span.chord, withRoot);
        if (ladder.size() < 2) continue;
        const int upper = static_cast<int>(ladder.size()) - 1;
        int k = 0;
        for (int at = span.start; at < span.end(); at += step, ++k) {
            // The low root opens the chord; the figure then cycles above it.
            const int index = k == 0 ? 0 : 1 + (k - 1) % std::min(upper, 4);
            const int length = std::max(1, std::min(step, span.end() - at) - 2);
            writer.note(at, ladder[static_cast<std::size_t>(index)], beatAccent(at, 66, 54), length);
        }
    }
}

void playHarpRoll(CompositionState& state, NoteWriter& writer, const PatternContext&) {
    const int bar = state.style.barLength();
    const bool withRoot = !hasBassPart(state.style);
    for (const ChordSpan& span : chordSpans(state)) {
        const std::vector<int> ladder = arpeggioLadder(*span.chord, withRoot);
        if (ladder.empty()) continue;
        int segment = span.start;
        while (segment < span.end()) {
            const int segmentEnd = std::min(span.end(), (segment / bar + 1) * bar);
            const int room = segmentEnd - segment;
            const int count = std::min(static_cast<int>(ladder.size()), std::max(1, (room - 24) / 12));
            for (int i = 0; i < count; ++i) {
                const int at = segment + 12 * i;
                writer.note(at, ladder[static_cast<std::size_t>(i)], 54 + 2 * i,
                            std::max(1, segmentEnd - at - 4));
            }
            segment = segmentEnd;
        }
    }
}

void playTripletArpeggio(CompositionState& state, NoteWriter& writer, const PatternContext&) {
    const bool withRoot = !hasBassPart(state.style);
    for (const ChordSpan& span : chordSpans(state)) {
        const std::vector<int> ladder = arpeggioLadder(*span.chord, withRoot);
        if (ladder.empty()) continue;
        const int n = std::min(static_cast<int>(ladder.size()), 6);
        int k = 0;
        for (int at = span.start; at < span.end(); at += 32, ++k) {
            const int length = std::max(1, std::min(32, span.end() - at) - 2);
            writer.note(at, ladder[static_cast<std::size_t>(pingPong(k, n))], beatAccent(at, 66, 56), length);
        }
    }
}

} // namespace harmolin::accomp
