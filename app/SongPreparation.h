// Normalising a song for lyric writing: 480 ticks to the quarter note, the
// melody on channel 1 and monophonic, the guide melody's volume, and a nearly
// silent beat track for songs without drums.
#pragma once

#include "midi/MidiF0Data.h"

#include <string>

namespace harmolin {

inline constexpr int kLyricDivision = 480;
inline constexpr int kDefaultGuideVolume = 42;

struct PrepareOptions {
    int melodyChannel = 2; // 1..16 as the user counts
    int guideVolume = kDefaultGuideVolume;
};

// Prepares a loaded song in place. Returns false when the options are invalid.
[[nodiscard]] bool prepareSongData(MidiF0Data& song, const PrepareOptions& options);

// Reads the file at inputPath, prepares it and writes it as a format-0 file to
// outputPath. Nothing is written when the input cannot be read.
[[nodiscard]] bool prepareSong(const std::string& inputPath, const PrepareOptions& options,
                               const std::string& outputPath);

// Keeps only the highest notes wherever several start at the same tick.
void keepTopNotes(MidiTrackData& track);

} // namespace harmolin
