// The step-grid player: plays one block of a style's rhythm grids over the
// song's chords, each row sounding one voice of the chord.
#pragma once

#include "engine/accompaniment/AccompanimentWriter.h"

#include <array>
#include <functional>

namespace harmolin::accomp {

using GridVoices = std::function<std::array<int, 14>(const ChordRecord&)>;

struct GridLayout {
    int stepsPerBar; // the running step count wraps here
    int stepTicks;   // 24, or 32 in triplet feel
    int soundTicks;  // the sounding part of a step: 15 or 23
};

// Steps per bar of the harmony grids by metre and feel; 7/8 in triplet feel
// is reported and played as nine steps of 32 ticks.
[[nodiscard]] GridLayout harmonyGridLayout(const StyleRecord& style);

// Variant 0 plays each step as written; 1 alternates the block with its
// second bar (block + 4) every other bar; 2 plays legato with beat accents.
void playGrid(CompositionState& state, NoteWriter& writer, int block, int variant, const GridLayout& layout,
              const GridVoices& voices);

// Pattern 47 on part 3 (block 0, the trailer's variant) or any other part
// (block 1, variant 0).
void playHarmonyGrid(CompositionState& state, NoteWriter& writer, int part);

// The fourteen row notes of the bass grid: the row values' degrees taken
// from the chord's bass note in the bass register.
[[nodiscard]] std::array<int, 14> bassVoicing(const ChordRecord& chord, const StyleRecord& style, int block);

} // namespace harmolin::accomp
