// The compose loop: tune structure, chord progressions, length fitting,
// melody, endings, key changes, block markers, then the song assembly.
#pragma once

#include "engine/CompositionState.h"

#include <cstdint>
#include <vector>

namespace harmolin {

// Composes the tune in the current style and writes the MIDI image into out
// (and the file state.outputPath when state.writeFile is set). Returns 1.
[[nodiscard]] int composeTune(CompositionState& state, std::vector<std::uint8_t>& out);

void buildStructure(CompositionState& state);
// Rebuilds the song chord list and draws the key-change points; returns the
// tune's length in beats.
[[nodiscard]] int measureTune(CompositionState& state);
// Lowest and highest accepted bar counts for a target.
struct LengthBounds {
    int low;
    int high;
    [[nodiscard]] bool accepts(int bars) const { return bars + 2 <= high && bars + 2 >= low; }
};
[[nodiscard]] LengthBounds tuneLengthBounds(int targetBars);

// Raising or lowering one melody-track event by a semitone.
void raiseMelodyEvent(const CompositionState& state, EngineEvent& event);
void lowerMelodyEvent(const CompositionState& state, EngineEvent& event);

} // namespace harmolin
