// The pattern generators of the harmony parts (3 and 7), by family.
#pragma once

#include "engine/accompaniment/AccompanimentWriter.h"

namespace harmolin::accomp {

struct PatternContext {
    int part;
    int number;  // the pattern number
    int percent; // the part's pattern percentage
};

// Generators written out as code.
void playSustainedChords(CompositionState& state, NoteWriter& writer, const PatternContext& context);
void playArpeggio(CompositionState& state, NoteWriter& writer, const PatternContext& context);
void playBlockChords(CompositionState& state, NoteWriter& writer, const PatternContext& context);
void playBrokenChords(CompositionState& state, NoteWriter& writer, const PatternContext& context);
void playCounterLine(CompositionState& state, NoteWriter& writer, const PatternContext& context);
void playUpDownArpeggio(CompositionState& state, NoteWriter& writer, const PatternContext& context);
void playRunningArpeggio(CompositionState& state, NoteWriter& writer, const PatternContext& context);
void playHarpRoll(CompositionState& state, NoteWriter& writer, const PatternContext& context);
void playTripletArpeggio(CompositionState& state, NoteWriter& writer, const PatternContext& context);

// Generators written as slot rhythms; false when the number has none.
[[nodiscard]] bool playCompRhythm(CompositionState& state, NoteWriter& writer, const PatternContext& context);

} // namespace harmolin::accomp
