// The bass part: a family of generators that walk the song's chords and
// play each chord's bass note with its octave, fifth and other chord notes.
#include "engine/accompaniment/Accompaniment.h"
#include "midi/MidiTrackEdit.h"

#include "engine/ChordProgression.h"
#include "engine/EngineErrors.h"
#include "engine/accompaniment/AccompanimentWriter.h"
#include "engine/accompaniment/GridPlayer.h"
#include "engine/accompaniment/PartSetup.h"

#include <algorithm>
#include <cstdlib>

namespace harmolin::accomp {
namespace {

constexpr int kVelocity = 64;

// The bass register notes of a chord.
struct BassNotes {
    int bass = 0;  // the chord's bass note (slash chords: not the root)
    int low = 0;   // the root in the bass register
    int fifth = 7; // semitones from the root
    bool silent() const { return bass <= 0; }

    explicit BassNotes(const ChordRecord& c) {
        if (c.root <= 0) return;
        bass = c.bass > 0 ? c.bass : c.root - 24;
        low = c.root - 24;
        if (c.fifth > 0) fifth = c.fifth - c.root;
    }
    int above(int tone, int root, int fallback) const {
        return tone > 0 ? low + (((tone - root) % 12) + 12) % 12 : fallback;
    }
};

// The octave of a pitch nearest to the previous note, inside the bass range.
int nearTo(int note, int previous) {
    if (note <= 0) return note;
    int best = note;
    for (int n = note % 12 + 24; n <= 55; n += 12)
        if (n >= 28 && std::abs(n - previous) < std::abs(best - previous)) best = n;
    return best;
}

struct Unit {
    int ticks;
    int sound;
    int count;
};

// Pattern 1's units: eighths in 7/8 and under block chords, else quarters or halves.
Unit pulseUnit(const StyleRecord& style, int length) {
    if ((style.part3Pattern == 4 && !style.triplet()) || style.meter == 2) return {48, 47, length / 48};
    const int quarters = length / 96;
    if (quarters >= 2 && quarters % 2 == 0) return {192, 188, length / 192};
    return {96, 94, quarters};
}

void pulsingRoot(CompositionState& state, NoteWriter& w) {
    for (const ChordSpan& span : chordSpans(state)) {
        const int b = span.chord->bass;
        const Unit u = pulseUnit(state.style, span.length);
        for (int j = 0; j < u.count; ++j) {
            const int at = span.start + j * u.ticks;
            w.note(at, b, kVelocity, u.sound);
            if (j % 2 == 0) w.note(at, b + 12, kVelocity, u.sound);
        }
    }
}

void pedal(CompositionState& state, NoteWriter& w) {
    const auto& chords = state.tune.songChords;
    if (chords.empty()) return;
    const int b = chords.front().bass;
    for (const ChordSpan& span : chordSpans(state)) {
        int at = span.start;
        int remaining = span.length;
        while (remaining > 192) {
            w.note(at, b, kVelocity, 192);
            at += 192;
            remaining -= 192;
        }
        if (remaining > 3) w.note(at, b, kVelocity, remaining - 3);
    }
}

void rootAndFifth(CompositionState& state, NoteWriter& w) {
    for (const ChordSpan& span : chordSpans(state)) {
        const ChordRecord& c = *span.chord;
        const Unit u = pulseUnit(state.style, span.length);
        for (int j = 0; j < u.count; ++j) {
            const int note = j % 2 == 0 || c.fifth <= 0 ? c.bass : c.fifth - 24;
            w.note(span.start + j * u.ticks, note, kVelocity, u.sound);
        }
    }
}

void fastOctaves(CompositionState& state, NoteWriter& w) {
    const int unit = state.style.triplet() ? 32 : 24;
    const int sound = state.style.triplet() ? 30 : 23;
    for (const ChordSpan& span : chordSpans(state)) {
        const int b = span.chord->bass;
        const int count = span.length / unit;
        for (int j = 0; j < count; ++j) {
            const int at = span.start + j * unit;
            w.note(at, b, kVelocity, sound);
            if (j % 2 == 0) w.note(at, b + 12, kVelocity, sound);
        }
    }
}

bool isNote(int n) {
    return n >= 13;
}

// Pattern 9, straight: an eighth-note line with sixteenth pairs.
void eighthLineWithPairs(CompositionState& state, NoteWriter& w) {
    auto& rng = state.rng;
    for (const ChordSpan& span : chordSpans(state)) {
        const ChordRecord& c = *span.chord;
        const int b = c.bass;
        const int t = c.third;
        const int s = c.seventh;
        const int eighths = span.length / 48;
        for (int j = 0; j < eighths; ++j) {
            int m = b;
            int q = b;
            if (j % 4 != 0 && rng.randRange(1, 2) == 1) {
                switch (rng.randRange(1, 7)) {
                case 1:
                    m = b + 7;
                    q = b + 5;
                    break;
                case 2:
                    m = t - 12;
                    q = s - 12;
                    break;
                case 3:
                    m = b - 10;
                    q = b - 12;
                    break;
                case 4:
                    m = 0;
                    q = 0;
                    break;
                case 5:
                    m = b + 5;
                    q = t - 12;
                    break;
                case 6:
                    m = 0;
                    q = b;
                    break;
                default:
                    m = b + 12;
                    q = b;
                    break;
                }
            }
            const int at = span.start + 48 * j;
            if (rng.randRange(1, 4) == 1) {
                if (isNote(q)) w.note(at, q, kVelocity, 23);
                if (isNote(m)) w.note(at + 24, m, kVelocity, 23);
            } else if (isNote(m)) {
                w.note(at, m, kVelocity, 47);
            }
        }
    }
}

// Pattern 9, triplet feel: a long note on each beat and, half of the time, a
// pick-up on the beat's last third that leads to the next beat or chord.
void shuffleLineWithPickups(CompositionState& state, NoteWriter& w) {
    auto& rng = state.rng;
    const std::vector<ChordSpan> spans = chordSpans(state);
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const ChordSpan& span = spans[i];
        const BassNotes n(*span.chord);
        if (n.silent()) continue;
        const int nextBass = i + 1 < spans.size() ? BassNotes(*spans[i + 1].chord).bass : n.bass;
        const int beats = span.length / 96;
        for (int k = 0; k < beats; ++k) {
            const int at = span.start + 96 * k;
            const int main =
                k == 0 ? n.bass : (k % 2 == 1 ? n.low + n.fifth : n.bass + 12 * rng.randRange(0, 1));
            w.note(at, main, kVelocity, 62);
            if (rng.randRange(1, 2) == 1) {
                const bool last = k == beats - 1;
                const int pickup = last && nextBass > 0
                                       ? nearTo(nextBass, main) - 1
                                       : (rng.randRange(1, 2) == 1 ? n.bass + 12 : n.low + n.fifth);
                w.note(at + 64, pickup, kVelocity, 30);
            }
        }
        if (beats == 0 && span.length > 4) w.note(span.start, n.bass, kVelocity, span.length - 4);
    }
}

// Pattern 10, straight: eighths of root, fifth, octave and third, with rests
// and sixteenth pairs now and then.
void mixedEighths(CompositionState& state, NoteWriter& w) {
    auto& rng = state.rng;
    for (const ChordSpan& span : chordSpans(state)) {
        const ChordRecord& c = *span.chord;
        const BassNotes n(c);
        if (n.silent()) continue;
        const int third = n.above(c.third, c.root, n.bass);
        const int eighths = span.length / 48;
        for (int j = 0; j < eighths; ++j) {
            const int at = span.start + 48 * j;
            int m = n.bass;
            if (j % 4 != 0) {
                const int r = rng.randRange(1, 9);
                if (r == 9) continue; // a rest
                m = r <= 3 ? n.bass : r <= 5 ? n.low + n.fifth : r <= 7 ? n.bass + 12 : third;
            }
            if (j % 4 != 0 && rng.randRange(1, 6) == 1) {
                w.note(at, rng.randRange(1, 2) == 1 ? n.bass + 12 : n.low + n.fifth, kVelocity, 23);
                w.note(at + 24, m, kVelocity, 23);
            } else {
                w.note(at, m, j % 4 == 0 ? 72 : kVelocity, 44);
            }
        }
    }
}

// Pattern 10, triplet feel: each beat long-short, three triplets or one note.
void mixedTriplets(CompositionState& state, NoteWriter& w) {
    auto& rng = state.rng;
    for (const ChordSpan& span : chordSpans(state)) {
        const ChordRecord& c = *span.chord;
        const BassNotes n(c);
        if (n.silent()) continue;
        const int choices[4] = {n.bass, n.low + n.fifth, n.bass + 12, n.above(c.third, c.root, n.bass)};
        auto pick = [&]() { return choices[rng.randRange(0, 3)]; };
        const int beats = span.length / 96;
        for (int k = 0; k < beats; ++k) {
            const int at = span.start + 96 * k;
            const int first = k == 0 ? n.bass : pick();
            switch (rng.randRange(1, 3)) {
            case 1:
                w.note(at, first, kVelocity, 62);
                w.note(at + 64, pick(), kVelocity, 30);
                break;
            case 2:
                w.note(at, first, kVelocity, 30);
                w.note(at + 32, pick(), kVelocity, 30);
                w.note(at + 64, pick(), kVelocity, 30);
                break;
            default:
                w.note(at, first, kVelocity, 94);
                break;
            }
        }
    }
}

// Pattern 11: eighths, or in triplet feel a held note with a walking pick-up.
void eighthsOrShuffle(CompositionState& state, NoteWriter& w) {
    if (!state.style.triplet()) {
        for (const ChordSpan& span : chordSpans(state)) {
            const int eighths = span.length / 48;
            for (int j = 0; j < eighths; ++j)
                w.note(span.start + 48 * j, span.chord->bass, kVelocity, 47);
        }
        return;
    }
    for (const ChordSpan& span : chordSpans(state)) {
        const ChordRecord& c = *span.chord;
        const int b = c.bass;
        auto figure = [&](int at) {
            w.note(at, b, kVelocity, 30);
            w.note(at + 32, b + 2, kVelocity, 30);
            w.note(at + 64, c.third - 24, kVelocity, 30);
        };
        const int s = span.start;
        switch (span.length) {
        case 384:
            w.note(s, b, kVelocity, 286);
            figure(s + 288);
            break;
        case 768:
            w.note(s, b, kVelocity, 286);
            figure(s + 288);
            w.note(s + 384, b, kVelocity, 286);
            figure(s + 672);
            break;
        case 192:
            if (state.rng.randRange(1, 2) == 1) {
                w.note(s, b, kVelocity, 158);
                w.note(s + 160, b, kVelocity, 30);
            } else {
                w.note(s, b, kVelocity, 94);
                figure(s + 96);
            }
            break;
        default:
            if (span.length > 2) w.note(s, b, kVelocity, span.length - 2);
            break;
        }
    }
}

void gridBass(CompositionState& state, NoteWriter& w) {
    const bool triplet = state.style.triplet();
    const GridLayout layout{triplet ? 12 : 16, triplet ? 32 : 24, triplet ? 23 : 15};
    const StyleRecord& style = state.style;
    playGrid(state, w, grid::kBassBlock, 0, layout,
             [&style](const ChordRecord& chord) { return bassVoicing(chord, style, grid::kBassBlock); });
}

void twoLowNotes(CompositionState& state, NoteWriter& w) {
    for (const ChordSpan& span : chordSpans(state)) {
        const int note = span.index == 0 ? 45 : (state.rng.randRange(1, 2) == 1 ? 45 : 43);
        const int unit = state.rng.randRange(1, 2) == 1 ? 192 : 96;
        const int whole = span.length / unit;
        for (int k = 0; k < whole; ++k)
            w.note(span.start + k * unit, note, kVelocity, unit);
        const int rest = span.length % unit;
        if (rest > 3) w.note(span.start + whole * unit, note, kVelocity, rest - 3);
    }
}

void sparse(CompositionState& state, NoteWriter& w) {
    for (const ChordSpan& span : chordSpans(state)) {
        const int b = span.chord->bass;
        if (span.index % 2 == 1 && !state.style.triplet() && state.rng.randRange(1, 4) == 1) {
            for (int e : {0, 1, 2, 4})
                if (48 * e < span.length) w.note(span.start + 48 * e, b, 80, 47);
        } else {
            w.note(span.start, b, kVelocity, 47);
        }
    }
}

// Pattern 6: a walking line of quarters with approach notes, ending in a run
// to the last chord's root.
void walkingLine(CompositionState& state, NoteWriter& w) {
    constexpr int kWalkVelocity = 104;
    const bool triplet = state.style.triplet();
    auto& rng = state.rng;
    const std::vector<ChordSpan> spans = chordSpans(state);
    int previous = 40;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const ChordSpan& span = spans[i];
        const ChordRecord& c = *span.chord;
        const BassNotes n(c);
        if (n.silent() || span.length <= 4) continue;
        const bool last = i + 1 == spans.size();
        const bool closing = i + 2 == spans.size();
        const int nextBass = last ? n.bass : BassNotes(*spans[i + 1].chord).bass;
        if (last) {
            const int root = nearTo(n.bass, previous);
            w.note(span.start, root, kWalkVelocity, span.length - 4);
            previous = root;
            continue;
        }
        const int beats = std::max(1, span.length / 96);
        const std::vector<int> tones = {n.above(c.third, c.root, n.low + 4), n.low + n.fifth,
                                        n.above(c.seventh, c.root, n.low + 12), n.low + 12};
        for (int k = 0; k < beats; ++k) {
            const int at = span.start + 96 * k;
            const int room = std::min(96, span.end() - at);
            int note = 0;
            const int target = nearTo(nextBass > 0 ? nextBass : n.bass, previous);
            if (k == 0) {
                note = nearTo(n.bass, previous);
            } else if (k == beats - 1) {
                static constexpr int kApproach[3] = {2, 3, 5};
                note = closing ? target - 1 : target - kApproach[rng.randRange(0, 2)];
            } else if (closing) {
                static constexpr int kRun[3] = {2, 4, 5};
                note = nearTo(n.bass, previous) + kRun[std::min(k - 1, 2)];
            } else {
                // A chord tone that moves, preferring small steps.
                int best = tones[static_cast<std::size_t>(rng.randRange(0, 3))];
                best = nearTo(best, previous);
                if (best == previous) best = nearTo(tones[static_cast<std::size_t>((k + 1) % 4)], previous);
                note = best;
            }
            if (note < 28) note += 12; // below the bass's range an approach comes from the octave above
            if (triplet && k % 2 == 1 && rng.randRange(1, 3) == 1) {
                w.note(at, note, kWalkVelocity, 60);
                w.note(at + 64, note, 80, 28);
            } else {
                w.note(at, note, kWalkVelocity, std::max(1, room - 6));
            }
            previous = note;
        }
    }
}

// Pattern 22: sixteenths falling through the chord's strongest notes.
void fallingSixteenths(CompositionState& state, NoteWriter& w) {
    for (const ChordSpan& span : chordSpans(state)) {
        const ChordRecord& c = *span.chord;
        const BassNotes n(c);
        if (n.silent()) continue;
        const std::array<int, 12> weights = chordNoteWeights(state, c.codeCopy);
        std::vector<int> fall;
        for (int note = n.bass + 12; note > n.bass; --note)
            if (weights[static_cast<std::size_t>(note % 12)] >= 9) fall.push_back(note);
        if (fall.size() < 2) fall = {n.bass + 12, n.low + n.fifth, n.above(c.third, c.root, n.low + 4)};
        if (fall.front() != n.bass + 12) fall.insert(fall.begin(), n.bass + 12);
        fall.push_back(n.bass);
        int k = 0;
        for (int at = span.start; at + 24 <= span.end(); at += 24, ++k)
            w.note(at, fall[static_cast<std::size_t>(k) % fall.size()], 127, 23);
    }
}

// Slot-rhythm bass lines. Symbols: R bass note, O its octave, F fifth, f fifth
// below, T third, S seventh, 6 sixth, A a semitone below the next chord's
// bass, g a ghosted root.
struct BassRhythm {
    SlotRhythm rhythm;
    int gap = 6;
};

int bassSymbolNote(char symbol, const ChordRecord& c, const BassNotes& n, const ChordRecord* next) {
    switch (symbol) {
    case 'O':
        return n.bass + 12;
    case 'F':
        return n.low + n.fifth;
    case 'f': {
        const int f = n.low + n.fifth - 12;
        return f >= 28 ? f : f + 12;
    }
    case 'T':
        return n.above(c.third, c.root, n.bass);
    case 'S':
        return n.above(c.seventh, c.root, n.bass + 12);
    case '6':
        return n.low + 9;
    case 'A': {
        if (!next) return n.bass;
        const BassNotes m(*next);
        return m.silent() ? n.bass : nearTo(m.bass, n.bass) - 1;
    }
    default:
        return n.bass;
    }
}

void playBassRhythm(CompositionState& state, NoteWriter& w, const BassRhythm& r) {
    const auto& chords = state.tune.songChords;
    walkSlots(state, r.rhythm, r.gap, true, [&](const SlotHit& hit) {
        const ChordRecord& c = *hit.span->chord;
        const BassNotes n(c);
        if (n.silent()) return;
        const std::size_t next = static_cast<std::size_t>(hit.span->index) + 1;
        const ChordRecord* nextChord = next < chords.size() ? &chords[next] : nullptr;
        int velocity = hit.symbol == 'g' ? 40 : kVelocity;
        if (hit.slot == 0 && hit.symbol != 'g') velocity += 8;
        w.note(hit.at, bassSymbolNote(hit.symbol, c, n, nextChord), velocity, hit.length);
    });
}

const BassRhythm* bassRhythm(int pattern, bool triplet, int percent) {
    static const BassRhythm kTwoBeat{{{"R-------F-------"}, {"R-------F---"}}};
    static const BassRhythm kOctaves{{{"R-O-R-O-R-O-R-O-"}, {}}};
    static const BassRhythm kBallad{
        {{"R---------------", "R-------F-------"}, {"R-----------", "R-------F---"}}, 4};
    static const BassRhythm kTumbao{{{"......R-----F---"}, {"....R---F---"}}};
    static const BassRhythm kPopDotted{{{"R-----R-F-----R-"}, {"R-----R-F---"}}};
    static const BassRhythm kPopBusy{{{"R-R-R-R-F-F-O-F-"}, {"R-R-R-R-F-F-"}}};
    static const BassRhythm kReggae{{{"R---..R-F---T-R-"}, {}}};
    static const BassRhythm kBossa{{{"R-----F-F-----R-"}, {}}};
    static const BassRhythm kWaltz{{{"R---....f---...."}, {"R---........", "f---........"}}};
    static const BassRhythm kRockEighths{{{"R-R-R-R-R-R-O-R-"}, {}}};
    static const BassRhythm kRockShuffle{{{"R-R-O-R-R-R-F-R-"}, {}}};
    static const BassRhythm kBoogie{{{"R-T-F-6-O-6-F-T-"}, {"R-T-F-6-F-T-"}}};
    static const BassRhythm kBoogieShuffle{{{"R-T-F-6-O-6-F-A-"}, {"R-T-F-6-F-A-"}}};
    static const BassRhythm kSyncopated{{{"R-.R..R-R-.F..O-"}, {}}, 4};
    switch (pattern) {
    case 4:
        return &kTwoBeat;
    case 7:
        return &kOctaves;
    case 8:
        return &kBallad;
    case 12:
        return &kTumbao;
    case 13:
        return percent > 110 ? &kPopBusy : &kPopDotted;
    case 14:
        return &kReggae;
    case 15:
        return &kBossa;
    case 16:
        return &kWaltz;
    case 17:
        return triplet ? &kRockShuffle : &kRockEighths;
    case 18:
        return triplet ? &kBoogieShuffle : &kBoogie;
    case 19:
        return &kSyncopated;
    default:
        return nullptr;
    }
}

bool runBassPattern(CompositionState& state, NoteWriter& w, int pattern, int percent) {
    const bool triplet = state.style.triplet();
    switch (pattern) {
    case 1:
        pulsingRoot(state, w);
        return true;
    case 2:
        pedal(state, w);
        return true;
    case 3:
        rootAndFifth(state, w);
        return true;
    case 5:
        fastOctaves(state, w);
        return true;
    case 6:
        walkingLine(state, w);
        return true;
    case 9:
        triplet ? shuffleLineWithPickups(state, w) : eighthLineWithPairs(state, w);
        return true;
    case 10:
        triplet ? mixedTriplets(state, w) : mixedEighths(state, w);
        return true;
    case 11:
        eighthsOrShuffle(state, w);
        return true;
    case 20:
        gridBass(state, w);
        return true;
    case 21:
        twoLowNotes(state, w);
        return true;
    case 22:
        fallingSixteenths(state, w);
        return true;
    case 23:
        sparse(state, w);
        return true;
    default:
        break;
    }
    if (const BassRhythm* r = bassRhythm(pattern, triplet, percent)) {
        playBassRhythm(state, w, *r);
        return true;
    }
    return false;
}

} // namespace
} // namespace harmolin::accomp

namespace harmolin {

void writeBassTrack(CompositionState& state, std::vector<MidiTrackData>& tracks) {
    const int program = state.style.programs[kPartBass];
    if (program == kNoProgram) return;
    MidiTrackData track = newPartTrack();
    writePartHeader(state, track, kPartBass, program);
    addEngineNote(track, kPartBass, state.leadIn(), 0, 0, 1);
    accomp::NoteWriter writer(track, kPartBass);
    if (!accomp::runBassPattern(state, writer, state.style.bassPattern, state.style.patternParams[kPartBass]))
        reportEngineError(engine_error::kBackingPattern);
    const int shift = state.style.octaveShift[kPartBass];
    if (shift != 0) transpose(track, kPartBass, 12 * shift);
    tracks.push_back(std::move(track));
}

} // namespace harmolin
