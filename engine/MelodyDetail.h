// Helpers shared by the melody, rhythm and ending sources; not part of the
// engine's interface.
#pragma once

#include "engine/CompositionState.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace harmolin::melody_detail {

[[nodiscard]] inline int pitchClass(int note) {
    return ((note % 12) + 12) % 12;
}
[[nodiscard]] inline int signOf(int v) {
    return (v > 0) - (v < 0);
}

// One melody parameter of a part (0 for a part outside 0..15).
[[nodiscard]] int setting(const CompositionState& state, int part, int value);
void setSetting(CompositionState& state, int part, int value, int v);

struct NoteRange {
    int low;
    int high;
    [[nodiscard]] bool contains(int note) const { return note >= low && note <= high; }
};
// The part's lowest and highest note. A part whose entry holds no range
// (both 0) borrows the melody's, so that a harmony voice without settings
// still folds into a singable place.
[[nodiscard]] NoteRange partRange(const CompositionState& state, int part);

// The part's density value (its pattern percentage) and its class 1..8.
[[nodiscard]] int densityValue(const CompositionState& state, int part);
[[nodiscard]] int densityClass(int value);

// Chord tones by pitch class: root, third and fifth; withSeventh adds the
// seventh. Notes of 0 in the record (none) never match.
[[nodiscard]] bool isChordTone(const ChordRecord& chord, int note, bool withSeventh = false);
// First chord tone (root, third, fifth) from `from` stepping by dir, at most
// an octave; `fallback` when there is none.
[[nodiscard]] int stepToChordTone(const ChordRecord& chord, int from, int dir, int fallback);

// The weight digit 0..9 of a pitch class in the style's custom scale (the
// scale of the style's number when the custom digits are missing).
[[nodiscard]] int customScaleDigit(const CompositionState& state, int note);

// Pitch methods other than 6 and 7. strong asks for notes of chord weight 8
// (long notes, chord starts and ends), else 5 is enough.
[[nodiscard]] int pitchByPoints(CompositionState& state, int part, const ChordRecord& chord,
                                const std::array<int, 12>& weights, int prev);
[[nodiscard]] int pitchByWalk(CompositionState& state, int part, const std::array<int, 12>& weights, int prev,
                              bool strong);
[[nodiscard]] int pitchByChordNotes(CompositionState& state, int part, const std::array<int, 12>& weights,
                                    int prev, int method);
[[nodiscard]] int pitchByFigures(CompositionState& state, int part, const std::array<int, 12>& weights,
                                 int prev);

// The interval method's checks against a draw r (0..99): a jump of class k
// (0..7: 0, 1, 3, 5, 6, 8, 10, 12 semitones), and a note's distance in
// semitones from one of the notes before.
[[nodiscard]] bool jumpClassAccepts(const std::array<std::int32_t, 8>& weights, int k, int r);
[[nodiscard]] bool nearNoteAccepts(const std::array<std::int32_t, 8>& weights, int semitones, int r);

// Ornaments that replace one note x of length n after note q: the notes
// (pitch, length) that stand for it, or none.
[[nodiscard]] std::vector<std::pair<int, int>> ornamentNotes(CompositionState& state, int part, int method,
                                                             int x, int n, int q);

// The fixed 500-note offset sequence of the walk (semitones from the middle
// of the range).
[[nodiscard]] const std::array<int, 500>& storedSequence();

} // namespace harmolin::melody_detail
