// Accompaniment parts 3 and 7, the step grids, the drums, the bass and the
// part-8 pattern: each builder appends its track (if any) to tracks.
#pragma once

#include "engine/CompositionState.h"
#include "midi/MidiTrackData.h"

#include <array>
#include <vector>

namespace harmolin {

void buildAccompanimentPart(CompositionState& state, int part, int pattern, int percent,
                            std::vector<MidiTrackData>& tracks);
void buildDrumPart(CompositionState& state, std::vector<MidiTrackData>& tracks);
void writeBassTrack(CompositionState& state, std::vector<MidiTrackData>& tracks);
void buildPartEight(CompositionState& state, std::vector<MidiTrackData>& tracks);

// Step grids.
void normaliseGrid(StyleRecord& style);
[[nodiscard]] std::array<int, 14> voiceChord(const CompositionState& state, const ChordRecord& chord,
                                             int block);

} // namespace harmolin
