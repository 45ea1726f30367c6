// The road from a song file to the current song: prepared for lyrics
// ("temp_dv.mid" in the working folder), then a syllable for every melody note.
#pragma once

#include "app/SongPipeline.h"
#include "lyrics/LyricSong.h"

#include <memory>
#include <string>

namespace harmolin {

// Prepares the file at path with its melody on melodyChannel (1..16) into the
// working folder's "temp_dv.mid" and writes lyrics for it in the vocabulary
// of the song type (0..4). No song when a stage fails (reported).
[[nodiscard]] std::unique_ptr<LyricSong> prepareAndWriteLyrics(const std::string& path, int melodyChannel,
                                                               int songType, const std::string& workingFolder,
                                                               EngineRandom& random, int guideVolume = 42);

// Generate: composes in the style of the song type and variant into
// "temp_znr.mid", then prepares it (melody on channel 2) and writes lyrics.
[[nodiscard]] std::unique_ptr<LyricSong> generateSong(SongComposer& composer, int songType, StyleChoice style,
                                                      const std::string& workingFolder, int guideVolume = 42);

} // namespace harmolin
