// The lyric writer: cuts a melody into phrases at its rests and gives every
// note one sung syllable, drawn from the word table through the phrase
// templates until a phrase's words have exactly as many syllables as notes.
#pragma once

#include "base/EngineRandom.h"
#include "lyrics/LyricSong.h"
#include "midi/MidiF0Data.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace harmolin {

// The vocabulary a song type sings: its word class and its pops variant.
struct LyricClass {
    int styleClass;
    int variantMask;
};

// Song types 0 "Young Pops", 1 "Adult Pops", 2 "Ocean Song", 3 "Child Song",
// 4 "Ghost Song". Any other value is reported ("MakeXfFile error") and gets
// the words every style shares.
[[nodiscard]] LyricClass lyricClassOf(int songType);

struct LyricText {
    std::string display; // code page 932
    std::string reading; // code page 932, two bytes a note
};

// One random word of the category in the class (or of every style) whose
// variant mask meets variantMask; empty texts when there is none.
[[nodiscard]] LyricText pickWord(int category, int styleClass, int variantMask, EngineRandom& random);

// Template draws that may fail before a phrase is sung on "あ".
inline constexpr int kPhraseDrawLimit = 600;

// Words whose reading has exactly `notes` syllables, after at most
// kPhraseDrawLimit template draws; nothing when every draw missed.
[[nodiscard]] std::optional<LyricText> drawPhrase(int notes, int styleClass, int variantMask,
                                                  EngineRandom& random);

// The words of a phrase of the given number of notes (at least 1), or as
// many "あ" when none were found.
[[nodiscard]] LyricText writePhrase(int notes, int styleClass, int variantMask, EngineRandom& random);

// Where a phrase is cut in two when no words fit it whole: the index of the
// first note of the second part, at the widest rest (nearest the middle).
[[nodiscard]] int splitPoint(std::span<const int> starts, std::span<const int> lengths);

// The words of a phrase whose notes start and last as given: drawn whole,
// else cut at splitPoint and each part filled the same way, so that only a
// part of one note sings "あ". The parts' words form one line.
[[nodiscard]] LyricText fillPhrase(std::span<const int> starts, std::span<const int> lengths, int styleClass,
                                   int variantMask, EngineRandom& random);

inline constexpr int kMaxPhraseNotes = 20;

// The melody's phrases: their note counts and start ticks, and the start tick
// and length of every note, phrase after phrase.
struct MelodyPhrases {
    std::vector<int> noteCounts;
    std::vector<int> startTimes;
    std::vector<int> noteStarts;
    std::vector<int> noteLengths;
};

// Reads the phrases of the notes on melodyChannel (0 to 15) of a connected
// track with the given ticks per quarter note.
[[nodiscard]] MelodyPhrases findPhrases(const MidiTrackData& track, int melodyChannel, int division);

// A phrase of a single note has no words to sing but "あ": it joins the
// neighbouring phrase across the shorter rest, as long as that one has room.
void joinLoneNotes(MelodyPhrases& phrases);

// Lengthens each melody note up to the start of the next one, but never past
// two beats.
void applyLegato(MidiTrackData& track, int melodyChannel, int division);

// Writes lyrics for the melody on melodyChannel (0 to 15; 0 for a prepared
// song) of a song. No song when the song has no connected track or the channel
// is out of range (reported).
[[nodiscard]] std::unique_ptr<LyricSong> writeLyrics(const MidiF0Data& song, int melodyChannel,
                                                     int styleClass, int variantMask, EngineRandom& random);

// The same for a prepared song file; no song when the file cannot be read
// (the MIDI file layer reports why).
[[nodiscard]] std::unique_ptr<LyricSong> writeLyrics(const std::string& preparedSongPath, int melodyChannel,
                                                     int styleClass, int variantMask, EngineRandom& random);

} // namespace harmolin
