// The four pattern files: chord transitions, cadences, and the chord-length
// charts of the body and of the ending, read as "|"-separated tokens.
#pragma once

#include "engine/CompositionState.h"

#include <string>
#include <vector>

namespace harmolin {

// Sets the tonic, the chart names and possibly keyVariant from the style.
void chooseDatabases(CompositionState& state);
// Reads the four files from state.programFolder (a name whose second
// character is ':' or which starts with '/' is used as it is). Returns false
// when the chord-transition file is missing.
[[nodiscard]] bool loadPatternFiles(CompositionState& state);

// Reads the token at pos (blanks, CR and LF skipped); false when the text has
// ended before any character of a token.
[[nodiscard]] bool nextToken(const std::string& text, std::size_t& pos, std::string& token);
// Moves pos past n further separators; false when the text ends first.
[[nodiscard]] bool skipRecords(const std::string& text, std::size_t& pos, int n);

[[nodiscard]] ChordCode drawNextChord(CompositionState& state, ChordCode current);
// A chord-length list from a chart text (or the random rule of
// chordLengthSource 4); empty on failure.
[[nodiscard]] std::vector<int> drawLengths(CompositionState& state, const std::string& chartText);
[[nodiscard]] std::vector<ChordCode> drawCadence(CompositionState& state, ChordCode previous, int count);

} // namespace harmolin
