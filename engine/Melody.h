// Melody lines over the chords of a block, their rhythm, their endings, and
// the harmony voice derived from the melody.
#pragma once

#include "engine/CompositionState.h"

#include <array>

namespace harmolin {

// Writes one part's notes over a block's chords into its melody list.
// Returns true on success (the compose loop retries on false).
[[nodiscard]] bool writeBlockMelody(CompositionState& state, int blockIndex, int part,
                                    const EventList& chords, EventList& melody);
// The melody of every block for a part (part 1 writes the blocks' melody lists).
void composeMelody(CompositionState& state, int part);
// Writes a part's line for every block into the given per-block lists
// (used for the further melody lines of parts 4 and 5).
void composeLine(CompositionState& state, int part, std::vector<EventList>& perBlock);

// Method 6 (interval probabilities): returns a note or 0 for a rest, and
// may shorten length.
[[nodiscard]] int pitchByJumps(CompositionState& state, const std::array<int, 3>& previous,
                               const ChordRecord& chord, int position, int& length, int chordLength,
                               int part);
// Range fold of a part (0 stays 0).
[[nodiscard]] int foldIntoRange(CompositionState& state, int part, int note);

// The rhythm generator: next length in ticks, 0 when the chord is full.
[[nodiscard]] int nextNoteLength(CompositionState& state, int part, int position, int barLength,
                                 int chordLength, int previousSixteenths);

// The ending's fold: by octaves into the part's range, and where that misses
// (a range narrower than an octave) onto the nearest tone of weight 9 in the
// closing chord's weights.
[[nodiscard]] int foldIntoKey(const CompositionState& state, int part, int note,
                              const std::array<int, 12>& closingWeights);
// The ending figure after the closing chord, from the last melody note.
void writeMelodyEnding(CompositionState& state, int part, EventList& target, int lastNote);

struct HarmonyState {
    int reference = 0;
    int lastHarmony = 0;
    int held = 0;
};
[[nodiscard]] int harmonyNote(CompositionState& state, int part, HarmonyState& harmony, int melodyNote,
                              const std::array<int, 12>& weights);
// Part 6's block lists from the melody's.
void deriveSecondMelody(CompositionState& state, HarmonyState& harmony);
// Part 6's ending from the melody's ending list.
void deriveSecondMelodyEnding(CompositionState& state, HarmonyState& harmony, const EventList& melodyEnding,
                              EventList& target);

} // namespace harmolin
