// Turns the composed tune into a MIDI song: every part's track in a fixed
// order, merged at 96 ticks per quarter note.
#pragma once

#include "engine/CompositionState.h"
#include "midi/MidiTrackData.h"

#include <cstdint>
#include <string>
#include <vector>

namespace harmolin {

// The conductor track: GM System On, master volume, time and key signature,
// tempo.
[[nodiscard]] MidiTrackData buildConductorTrack(CompositionState& state);
// A part's track from an engine event list (notes of the melody lines).
[[nodiscard]] MidiTrackData buildLineTrack(CompositionState& state, int part, const EventList& line,
                                           int velocityOffset = 0);

// Builds and merges every track; the format-0 image goes to out, and the
// file is saved under state.outputPath unless state.outputMode is 2.
void assembleSong(CompositionState& state, std::vector<std::uint8_t>& out, const std::string& title = {},
                  const std::string& notice = {});

// Removes note-ons of part b that clash (11 or 13 semitones) with sounding
// notes of part a.
void filterClashes(MidiTrackData& song, int partA, int partB);

} // namespace harmolin
