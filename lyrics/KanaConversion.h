// Kana conversion: turns the lyric events of an XF song into the list of sung
// syllables (start, note, length, hiragana, phonemes) that the sequence
// writer takes. The lyric track is normalised in place pass by pass; then
// every melody note gets the syllables of its lyric.
#pragma once

#include "lyrics/Reading.h"
#include "lyrics/Syllable.h"
#include "midi/XfData.h"

#include <functional>
#include <string>
#include <vector>

namespace harmolin {

// The division the syllable timing is made for; other songs are converted
// with a warning.
inline constexpr int kSingingDivision = 480;

struct SingingOptions {
    // Reading service for lyrics in kanji; null takes MeCab.
    ReadingService* reading = nullptr;
    // Sounds a tone (hertz, milliseconds): a line mark on a note, a lookup
    // that met its row limit. Null is silent.
    std::function<void(int hz, int ms)> beep;
};

// Word lists: the user's own file in the working folder wins over the
// program's in the data folder.
[[nodiscard]] std::string listFilePath(const std::string& name, const std::string& workingFolder,
                                       const std::string& dataFolder);

// Runs every pass over the song's lyric track (which it rewrites) and returns
// the syllables of the melody on melodyChannel (0 to 15), closing record
// last; at most kMaxSyllables records.
[[nodiscard]] std::vector<SyllableRecord> prepareSinging(CXfData& song, int melodyChannel,
                                                         const std::string& workingFolder,
                                                         const std::string& dataFolder);
[[nodiscard]] std::vector<SyllableRecord> prepareSinging(CXfData& song, int melodyChannel,
                                                         const std::string& workingFolder,
                                                         const std::string& dataFolder,
                                                         const SingingOptions& options);

// Katakana of a CP932 text in hiragana (the 80 kana with a hiragana twin).
[[nodiscard]] std::string katakanaToHiragana(const std::string& cp932);

} // namespace harmolin
