// One sung syllable: what the kana conversion hands to the sequence writer.
#pragma once

#include <string>

namespace harmolin {

// The longest syllable list a song may have.
inline constexpr int kMaxSyllables = 2048;

struct SyllableRecord {
    int start = 0;       // absolute tick
    int note = 0;        // MIDI note number; -1 marks the closing record, which comes last
    int length = 0;      // ticks
    std::string lyric;   // one double-byte character, CP932 bytes
    std::string phoneme; // VOCALOID2 symbols separated by spaces, e.g. "k a"
    int consonant = 64;  // 0 for a bare vowel, 64 when the syllable has a consonant
};

} // namespace harmolin
