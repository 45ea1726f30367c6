// What the pattern generators of the harmony, bass and part-8 tracks share:
// a writer that places notes at ticks counted from the generator's start
// (the bar after the lead-in), the song's chords laid out in time, and the
// voicings the generators build from a chord record.
#pragma once

#include "engine/CompositionState.h"
#include "midi/MidiTrackData.h"

#include <functional>
#include <string_view>
#include <vector>

namespace harmolin::accomp {

// Notes go out in time order; each note's delta is counted from the start of
// the previous note, so time never drifts whatever the note lengths are.
class NoteWriter {
  public:
    NoteWriter(MidiTrackData& track, int channel) : track_(track), channel_(channel) {}

    // A note at tick `at` (not before the previous note).
    void note(int at, int note, int velocity, int length);
    // A silent place holder at tick `at`.
    void rest(int at);

    [[nodiscard]] int channel() const { return channel_; }
    [[nodiscard]] MidiTrackData& track() { return track_; }
    [[nodiscard]] int lastStart() const { return last_; }

  private:
    MidiTrackData& track_;
    int channel_;
    int last_ = 0;
};

struct ChordSpan {
    const ChordRecord* chord;
    int start; // ticks from the generator's start
    int length;
    int index; // position in the song chord list
    [[nodiscard]] int end() const { return start + length; }
};

// The song's chords one after another.
[[nodiscard]] std::vector<ChordSpan> chordSpans(const CompositionState& state);

[[nodiscard]] bool hasBassPart(const StyleRecord& style);
// Ticks of one step or beat position in triplet feel: the second and fourth
// sixteenths of a beat move to the triplet's second and third thirds.
[[nodiscard]] int swingTicks(int straightTicks);

// Chord tones of a record as pitch classes, -1 where the chord has none.
struct ChordTones {
    int root = -1;
    int third = -1;
    int fifth = -1;
    int seventh = -1;
    int bass = -1; // pitch class of the bass note (slash chords differ)
    [[nodiscard]] bool empty() const { return root < 0; }
};
[[nodiscard]] ChordTones chordTones(const ChordRecord& chord);

// The note of pitch class pc in [low, low + 11].
[[nodiscard]] int placeAbove(int pc, int low);

// A close voicing in the twelve notes from low: third, fifth and seventh,
// with the root when the chord has no seventh or the style no bass part.
[[nodiscard]] std::vector<int> closeVoicing(const ChordRecord& chord, bool withRoot, int low = 60);
// Third and seventh (or third and fifth when there is no seventh).
[[nodiscard]] std::vector<int> shellVoicing(const ChordRecord& chord, int low = 58);
// A low root, the close voicing, and the close voicing an octave up:
// ascending notes for broken-chord figures.
[[nodiscard]] std::vector<int> arpeggioLadder(const ChordRecord& chord, bool withRoot);

// One bar of a slot rhythm: a character per sixteenth, checked when compiled.
struct Bar16 {
    std::string_view text;
    consteval Bar16(const char* s) : text(s) { // NOLINT: bars are written as text
        if (text.size() != 16) throw "a 4/4 bar has sixteen slots";
    }
};
struct Bar12 {
    std::string_view text;
    consteval Bar12(const char* s) : text(s) { // NOLINT
        if (text.size() != 12) throw "a 3/4 bar has twelve slots";
    }
};

// A rhythm of one or more bars, a character per sixteenth: '.' rest, '-'
// hold, anything else starts a hit that the generator gives a meaning. 3/4
// uses its own bars when given, else the first three beats of the 4/4 bars;
// 7/8 the first seven eighths.
struct SlotRhythm {
    std::vector<Bar16> bars;
    std::vector<Bar12> waltzBars;
};

struct SlotHit {
    char symbol;
    int at;
    int length;
    const ChordSpan* span;
    int slot; // sixteenth within the bar
};

// Walks the song's chords through a rhythm. A hit lasts through the '-' after
// it, cut at its chord's end and shortened by gap. A chord that begins inside
// a held hit strikes it again; with fillChanges, a chord that begins in a
// rest gets an 'R' that lasts until the next hit.
void walkSlots(const CompositionState& state, const SlotRhythm& rhythm, int gap, bool fillChanges,
               const std::function<void(const SlotHit&)>& onHit);

} // namespace harmolin::accomp
