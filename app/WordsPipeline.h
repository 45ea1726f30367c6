// Generate and Load with the person's own words: the song is composed (or
// loaded) and prepared as always, then its melody is fitted to the words
// instead of getting words of its own. The lyric lines are the person's.
#pragma once

#include "app/SongPipeline.h"
#include "lyrics/LyricSong.h"
#include "lyrics/WordsFitting.h"

#include <memory>
#include <string>
#include <vector>

namespace harmolin {

// Where the tune's sections lie (ticks of the prepared song), and where
// copies of them go when the words need more phrases than the tune has.
struct SongSections {
    std::vector<std::pair<int, int>> spans; // [from, to) in playing order
    int insertAt = 0;
};

// The sections of the tune just composed: one per block of its sequence,
// the lengthened song repeating them before the ending.
[[nodiscard]] SongSections composedSections(const CompositionState& state, int division);

// A loaded song has no known structure: the whole melody, from the bar of
// its first note to the bar after its last, is one section.
[[nodiscard]] SongSections melodySection(const MidiF0Data& prepared, int melodyChannel);

// The track with copies of the first `count` sections (cycling through
// them) put in at the insertion point; what followed moves back.
[[nodiscard]] MidiTrackData lengthenSong(const MidiTrackData& track, const SongSections& sections, int count);

struct WordsSong {
    std::unique_ptr<LyricSong> song;
    std::string error; // UTF-8; empty when a reporter said why
};

// Fits the prepared song at preparedPath (melody on channel 1) to the words
// and builds the current song; the lengthened song, when the words needed
// one, replaces the prepared file.
[[nodiscard]] WordsSong singWords(const std::string& preparedPath, const std::vector<WordsLine>& lines,
                                  const SongSections* sections, const std::string& workingFolder,
                                  const std::string& dataFolder, const SingingOptions& options = {});

// Generate with words: composed in the style, prepared, fitted.
[[nodiscard]] WordsSong generateSongWithWords(SongComposer& composer, StyleChoice style,
                                              const std::vector<WordsLine>& lines,
                                              const std::string& workingFolder, const std::string& dataFolder,
                                              int guideVolume = 42, int playbackSound = kVoiceSound);

// Load with words: the melody on melodyChannel (1..16) of the file.
[[nodiscard]] WordsSong loadSongWithWords(const std::string& path, int melodyChannel,
                                          const std::vector<WordsLine>& lines,
                                          const std::string& workingFolder, const std::string& dataFolder,
                                          int guideVolume = 42);

// Reads and checks a words file (UTF-8 or Shift-JIS).
[[nodiscard]] WordsText readWordsFile(const std::string& path);

} // namespace harmolin
