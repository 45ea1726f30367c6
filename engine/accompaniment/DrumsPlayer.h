// The drum part's step codes and the step player that the drum generators
// share. Drums keep their time as a pending delta: the ticks from the last
// written note to the next.
#pragma once

#include "engine/CompositionState.h"
#include "midi/MidiTrackData.h"

#include <vector>

namespace harmolin::accomp {

inline constexpr int kDrumChannel = 9;

// Writes the notes of one step code (1 to 52) for the style's kit; the first
// note carries the pending delta, the others sound with it. Afterwards the
// pending delta is length + gap. Other codes are reported and write nothing.
void playDrumStep(CompositionState& state, int code, int& pending, int length, int gap, int channel,
                  MidiTrackData& track, int velocityOffset);

// Plays codes over one chord of span ticks at the given step: step i plays
// codes[i mod size], the last step also sounds the chord's remainder.
void playStepPattern(CompositionState& state, int& pending, int span, int channel, MidiTrackData& track,
                     const std::vector<int>& codes, int step);

// Runs drum generator number (1 to 38) over the song's chords; false for
// any other number.
[[nodiscard]] bool runDrumGenerator(CompositionState& state, int number, int percent, int& pending,
                                    MidiTrackData& track);

} // namespace harmolin::accomp
