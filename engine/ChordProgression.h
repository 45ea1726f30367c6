// Chords of the tune's blocks and the weights of notes against a chord.
#pragma once

#include "engine/CompositionState.h"

#include <array>
#include <vector>

namespace harmolin {

// Chord lengths of a block: the body chart, or the ending's chart.
[[nodiscard]] std::vector<int> chordRhythm(CompositionState& state, bool ending);
void writeBlockChords(CompositionState& state, EventList& chords, std::array<int, 256>& work);
void writeEndingBlock(CompositionState& state, EventList& chords, ChordCode previous,
                      std::array<int, 256>& work);
[[nodiscard]] ChordCode nextChord(CompositionState& state, ChordCode working);

// The 648-line chord-scale table, kept in state.patterns.
void buildChordScaleTable(CompositionState& state);
// Weights 0..9 of the twelve pitch classes against a chord, merged with the
// style's scale ("NoCd" gives the scale itself).
[[nodiscard]] std::array<int, 12> chordNoteWeights(const CompositionState& state, ChordCode code);
// Moves root, bass, third, fifth and seventh up to notes of weight 9.
void adjustChordToScale(const CompositionState& state, ChordRecord& chord);
// The twelve digits of the style's scale template.
[[nodiscard]] std::array<int, 12> styleScaleWeights(const CompositionState& state);

} // namespace harmolin
