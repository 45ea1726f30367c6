// The sounds this voice can make, the symbol strings that name them, and the
// syllable numbers of the program-change protocol.
#pragma once

#include <cstdint>
#include <string_view>

namespace hvoice {

enum class Vowel : std::uint8_t { A, I, U, E, O, N }; // N: the syllabic nasal, sung on its own

enum class Manner : std::uint8_t { None, Plosive, Fricative, Affricate, Nasal, Flap, Glide };

enum class Place : std::uint8_t { Labial, Alveolar, Palatal, Velar, Glottal };

struct Consonant {
    std::string_view symbol;
    Manner manner;
    Place place;
    bool voiced;
};

struct Syllable {
    const Consonant* consonant = nullptr; // none for a bare vowel
    Vowel vowel = Vowel::A;
};

// Reads a space-separated symbol string such as "k' i" or "N". Unknown
// symbols are skipped; without a vowel the syllable is sung on "a", so a
// damaged stream still sings in time. False when nothing was recognised.
[[nodiscard]] bool tryParseSyllable(std::string_view symbols, Syllable& out);

// The symbols of a syllable number; "a" for a number no syllable has.
[[nodiscard]] std::string_view syllableSymbols(int number);

[[nodiscard]] const Consonant* findConsonant(std::string_view symbol);

} // namespace hvoice
