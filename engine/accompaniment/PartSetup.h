// What every part track starts with, and the note operation the
// accompaniment writers share.
#pragma once

#include "engine/CompositionState.h"
#include "midi/MidiTrackData.h"

#include <vector>

namespace harmolin {

// A program code below 136 is returned unchanged; 136 + g draws a member of
// instrument group g.
[[nodiscard]] int resolveProgram(CompositionState& state, int code, int part);
// Program change, volume and effect controllers, pan and a pitch-bend range
// of 12 semitones on the part's channel (part number = channel index).
void writePartHeader(CompositionState& state, MidiTrackData& track, int part, int program);
// The doubled copy of part 1 (on part 10) or part 3 (on part 11): delayed by
// mixer byte 9, fine-tuned, panned apart. Also re-pans part 3's source.
[[nodiscard]] MidiTrackData makeDoubledCopy(const CompositionState& state, MidiTrackData& source, int part);
// Appends a connected note; a note of 128 or more, or below 13 with a
// velocity, becomes a silent note (note 0, velocity 0, length at least 1).
void addEngineNote(MidiTrackData& track, int channel, int delta, int note, int velocity, int length);
// A fresh connected track for a part.
[[nodiscard]] MidiTrackData newPartTrack();
// The program the drum header sends: a brush kit for the triplet feel of
// drum pattern 1, an orchestra kit for pattern 18 on a GS module, else 0.
[[nodiscard]] int drumKitProgram(const CompositionState& state);

} // namespace harmolin
