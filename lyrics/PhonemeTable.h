// Kana to VOCALOID2 phonemes, and the syllable numbers a syllable-program
// plug-in takes as program changes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harmolin {

struct PhonemeRow {
    std::string kana;    // CP932 bytes (one or two double-byte characters)
    int number;          // syllable number: program change in syllable-program mode
    std::string symbols; // e.g. "k' i"
    int consonant;       // 0 for a bare vowel, else 64
};

// The table in its fixed order (the order decides which row a lookup finds).
[[nodiscard]] const std::vector<PhonemeRow>& phonemeTable();

// Number of the first row whose kana is exactly this text; 0 when none.
[[nodiscard]] int kanaToNumber(std::string_view kanaCp932);

// Symbols of the first row with this number; nothing when no row has it.
[[nodiscard]] std::optional<std::string> numberToPhonemes(int number);

struct PhonemeLookup {
    std::string symbols;
    int consonant;
    bool found;
};

// Symbols and consonant value of the first row whose kana is this text. A
// text the table does not hold is sung as "a" with consonant value 64.
[[nodiscard]] PhonemeLookup kanaToPhonemes(std::string_view kanaCp932);

} // namespace harmolin
