// The built-in vocabulary of the lyric writer: words with the song classes
// they suit and their sung readings.
#pragma once

namespace harmolin {

// Song classes of the vocabulary; every style's words carry class 0.
enum StyleClass : int { kAnyStyle = 0, kPopsStyle = 1, kChildStyle = 2, kGhostStyle = 3 };

// Pops variants a word is limited to.
enum VariantBits : int { kYoungPops = 1, kAdultPops = 2, kOceanSong = 4, kAllVariants = 255 };

struct LyricWord {
    int styleClass;
    int variantMask;
    int category;        // 1 to 15, the slots of the phrase templates
    int spare;           // unused
    const char* display; // as shown (code page 932)
    const char* reading; // as sung: one double-byte character per note (code page 932)
};

inline constexpr int kWordCount = 434;
extern const LyricWord kWordTable[kWordCount];

} // namespace harmolin
