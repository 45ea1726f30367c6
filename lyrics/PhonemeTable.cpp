#include "lyrics/PhonemeTable.h"

#include "base/TextCodec.h"

namespace harmolin {
namespace {

struct Source {
    const char* kana; // UTF-8 here, CP932 in the table
    int number;
    const char* symbols;
    int consonant;
};

// Rows that share a number (を and お, the small vowels, ぢ and じ, っ and つ)
// keep their places: the number lookup finds the first of them.
constexpr Source kRows[] = {
    {"あ", 0, "a", 0},        {"い", 1, "i", 0},         {"う", 2, "M", 0},         {"え", 3, "e", 0},
    {"お", 4, "o", 0},        {"か", 5, "k a", 64},      {"き", 6, "k' i", 64},     {"く", 7, "k M", 64},
    {"け", 8, "k e", 64},     {"こ", 9, "k o", 64},      {"さ", 10, "s a", 64},     {"し", 11, "S i", 64},
    {"す", 12, "s M", 64},    {"せ", 13, "s e", 64},     {"そ", 14, "s o", 64},     {"た", 15, "t a", 64},
    {"ち", 16, "tS i", 64},   {"つ", 17, "ts M", 64},    {"て", 18, "t e", 64},     {"と", 19, "t o", 64},
    {"な", 20, "n a", 64},    {"に", 21, "J i", 64},     {"ぬ", 22, "n M", 64},     {"ね", 23, "n e", 64},
    {"の", 24, "n o", 64},    {"は", 25, "h a", 64},     {"ひ", 26, "C i", 64},     {"ふ", 27, "p\\ M", 64},
    {"へ", 28, "h e", 64},    {"ほ", 29, "h o", 64},     {"ま", 30, "m a", 64},     {"み", 31, "m' i", 64},
    {"む", 32, "m M", 64},    {"め", 33, "m e", 64},     {"も", 34, "m o", 64},     {"や", 35, "j a", 64},
    {"ゆ", 36, "j M", 64},    {"よ", 37, "j o", 64},     {"ら", 38, "4 a", 64},     {"り", 39, "4' i", 64},
    {"る", 40, "4 M", 64},    {"れ", 41, "4 e", 64},     {"ろ", 42, "4 o", 64},     {"わ", 43, "w a", 64},
    {"を", 4, "o", 0},        {"ん", 44, "N", 64},       {"が", 45, "g a", 64},     {"ぎ", 46, "g' i", 64},
    {"ぐ", 47, "g M", 64},    {"げ", 48, "g e", 64},     {"ご", 49, "g o", 64},     {"ざ", 50, "dz a", 64},
    {"じ", 51, "dZ i", 64},   {"ず", 52, "dz M", 64},    {"ぜ", 53, "dz e", 64},    {"ぞ", 54, "dz o", 64},
    {"だ", 55, "d a", 64},    {"ぢ", 56, "dZ i", 64},    {"づ", 57, "dz M", 64},    {"で", 58, "d e", 64},
    {"ど", 59, "d o", 64},    {"ば", 60, "b a", 64},     {"び", 61, "b' i", 64},    {"ぶ", 62, "b M", 64},
    {"べ", 63, "b e", 64},    {"ぼ", 64, "b o", 64},     {"ぱ", 65, "p a", 64},     {"ぴ", 66, "p' i", 64},
    {"ぷ", 67, "p M", 64},    {"ぺ", 68, "p e", 64},     {"ぽ", 69, "p o", 64},     {"きゃ", 70, "k' a", 64},
    {"きゅ", 71, "k' M", 64}, {"きょ", 72, "k' o", 64},  {"ぎゃ", 91, "g' a", 64},  {"ぎゅ", 92, "g' M", 64},
    {"ぎょ", 93, "g' o", 64}, {"しゃ", 73, "S a", 64},   {"しゅ", 74, "S M", 64},   {"しょ", 75, "S o", 64},
    {"りゃ", 94, "4' a", 64}, {"りゅ", 95, "4' M", 64},  {"りょ", 96, "4' o", 64},  {"ちゃ", 76, "tS a", 64},
    {"ちゅ", 77, "tS M", 64}, {"ちょ", 78, "tS o", 64},  {"じゃ", 97, "dZ a", 64},  {"じゅ", 98, "dZ M", 64},
    {"じょ", 99, "dZ o", 64}, {"みゃ", 100, "m' a", 64}, {"みゅ", 101, "m' M", 64}, {"みょ", 102, "m' o", 64},
    {"ひゃ", 82, "C a", 64},  {"ひゅ", 83, "C M", 64},   {"ひょ", 84, "C o", 64},   {"びゃ", 85, "b' a", 64},
    {"びゅ", 86, "b' M", 64}, {"びょ", 87, "b' o", 64},  {"ぴゃ", 88, "p' a", 64},  {"ぴゅ", 89, "p' M", 64},
    {"ぴょ", 90, "p' o", 64}, {"にゃ", 79, "J a", 64},   {"にゅ", 80, "J M", 64},   {"にょ", 81, "J o", 64},
    {"ぁ", 0, "a", 0},        {"ぃ", 1, "i", 0},         {"ぅ", 2, "M", 0},         {"ぇ", 3, "e", 0},
    {"ぉ", 4, "o", 0},        {"ゃ", 35, "j a", 64},     {"ゅ", 36, "j M", 64},     {"ょ", 37, "j o", 64},
    {"っ", 17, "ts M", 64},
};

std::vector<PhonemeRow> build() {
    std::vector<PhonemeRow> rows;
    rows.reserve(std::size(kRows));
    for (const Source& s : kRows)
        rows.push_back({utf8ToCp932(s.kana).value_or(std::string()), s.number, s.symbols, s.consonant});
    return rows;
}

const PhonemeRow* findKana(std::string_view kana) {
    for (const PhonemeRow& row : phonemeTable())
        if (row.kana == kana) return &row;
    return nullptr;
}

} // namespace

const std::vector<PhonemeRow>& phonemeTable() {
    static const std::vector<PhonemeRow> rows = build();
    return rows;
}

int kanaToNumber(std::string_view kanaCp932) {
    const PhonemeRow* row = findKana(kanaCp932);
    return row ? row->number : 0;
}

std::optional<std::string> numberToPhonemes(int number) {
    for (const PhonemeRow& row : phonemeTable())
        if (row.number == number) return row.symbols;
    return std::nullopt;
}

PhonemeLookup kanaToPhonemes(std::string_view kanaCp932) {
    if (const PhonemeRow* row = findKana(kanaCp932)) return {row->symbols, row->consonant, true};
    return {"a", 64, false};
}

} // namespace harmolin
