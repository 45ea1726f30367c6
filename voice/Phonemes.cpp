#include "voice/Phonemes.h"

#include <array>

namespace hvoice {
namespace {

constexpr std::array<Consonant, 28> kConsonants{{
    {"k", Manner::Plosive, Place::Velar, false},      {"k'", Manner::Plosive, Place::Palatal, false},
    {"g", Manner::Plosive, Place::Velar, true},       {"g'", Manner::Plosive, Place::Palatal, true},
    {"t", Manner::Plosive, Place::Alveolar, false},   {"d", Manner::Plosive, Place::Alveolar, true},
    {"p", Manner::Plosive, Place::Labial, false},     {"p'", Manner::Plosive, Place::Palatal, false},
    {"b", Manner::Plosive, Place::Labial, true},      {"b'", Manner::Plosive, Place::Palatal, true},
    {"s", Manner::Fricative, Place::Alveolar, false}, {"S", Manner::Fricative, Place::Palatal, false},
    {"h", Manner::Fricative, Place::Glottal, false},  {"C", Manner::Fricative, Place::Palatal, false},
    {"p\\", Manner::Fricative, Place::Labial, false}, {"ts", Manner::Affricate, Place::Alveolar, false},
    {"tS", Manner::Affricate, Place::Palatal, false}, {"dz", Manner::Affricate, Place::Alveolar, true},
    {"dZ", Manner::Affricate, Place::Palatal, true},  {"n", Manner::Nasal, Place::Alveolar, true},
    {"J", Manner::Nasal, Place::Palatal, true},       {"m", Manner::Nasal, Place::Labial, true},
    {"m'", Manner::Nasal, Place::Palatal, true},      {"N", Manner::Nasal, Place::Velar, true},
    {"4", Manner::Flap, Place::Alveolar, true},       {"4'", Manner::Flap, Place::Palatal, true},
    {"j", Manner::Glide, Place::Palatal, true},       {"w", Manner::Glide, Place::Labial, true},
}};

// Syllable numbers 0..102 of the program-change protocol.
constexpr std::array<std::string_view, 103> kSyllables{
    "a",    "i",     "M",    "e",    "o",    "k a",  "k' i", "k M",  "k e",  "k o",  "s a",  "S i",  "s M",
    "s e",  "s o",   "t a",  "tS i", "ts M", "t e",  "t o",  "n a",  "J i",  "n M",  "n e",  "n o",  "h a",
    "C i",  "p\\ M", "h e",  "h o",  "m a",  "m' i", "m M",  "m e",  "m o",  "j a",  "j M",  "j o",  "4 a",
    "4' i", "4 M",   "4 e",  "4 o",  "w a",  "N",    "g a",  "g' i", "g M",  "g e",  "g o",  "dz a", "dZ i",
    "dz M", "dz e",  "dz o", "d a",  "dZ i", "dz M", "d e",  "d o",  "b a",  "b' i", "b M",  "b e",  "b o",
    "p a",  "p' i",  "p M",  "p e",  "p o",  "k' a", "k' M", "k' o", "S a",  "S M",  "S o",  "tS a", "tS M",
    "tS o", "J a",   "J M",  "J o",  "C a",  "C M",  "C o",  "b' a", "b' M", "b' o", "p' a", "p' M", "p' o",
    "g' a", "g' M",  "g' o", "4' a", "4' M", "4' o", "dZ a", "dZ M", "dZ o", "m' a", "m' M", "m' o"};

bool vowelOf(std::string_view token, Vowel& v) {
    if (token.size() != 1) return false;
    switch (token[0]) {
    case 'a':
        v = Vowel::A;
        return true;
    case 'i':
        v = Vowel::I;
        return true;
    case 'M':
    case 'u':
        v = Vowel::U;
        return true;
    case 'e':
        v = Vowel::E;
        return true;
    case 'o':
        v = Vowel::O;
        return true;
    default:
        return false;
    }
}

} // namespace

const Consonant* findConsonant(std::string_view symbol) {
    for (const Consonant& c : kConsonants)
        if (c.symbol == symbol) return &c;
    return nullptr;
}

bool tryParseSyllable(std::string_view symbols, Syllable& out) {
    out = Syllable{};
    if (symbols.empty() || symbols.size() > 64) return false;
    bool haveVowel = false;
    bool anything = false;
    const Consonant* lastConsonant = nullptr;
    std::size_t pos = 0;
    while (pos < symbols.size()) {
        while (pos < symbols.size() && symbols[pos] == ' ')
            ++pos;
        std::size_t end = pos;
        while (end < symbols.size() && symbols[end] != ' ')
            ++end;
        if (end == pos) break;
        const std::string_view token = symbols.substr(pos, end - pos);
        pos = end;
        Vowel v;
        if (vowelOf(token, v)) {
            // The first vowel is the one sung; the consonant before it leads in.
            if (!haveVowel) {
                out.vowel = v;
                out.consonant = lastConsonant;
                haveVowel = true;
            }
            anything = true;
        } else if (const Consonant* c = findConsonant(token)) {
            if (!haveVowel) lastConsonant = c;
            anything = true;
        }
    }
    if (!haveVowel) {
        // The syllabic nasal stands alone; any other lone consonant leads into "a".
        if (lastConsonant && lastConsonant->symbol == "N") {
            out.vowel = Vowel::N;
            out.consonant = nullptr;
        } else {
            out.vowel = Vowel::A;
            out.consonant = lastConsonant;
        }
    }
    return anything;
}

std::string_view syllableSymbols(int number) {
    if (number < 0 || number >= static_cast<int>(kSyllables.size())) return "a";
    return kSyllables[static_cast<std::size_t>(number)];
}

} // namespace hvoice
