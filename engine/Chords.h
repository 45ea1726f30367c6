// Chord codes and chord records: the engine's chords.
//
// A ChordCode is four letters: root ("C" "D" "E" "F" "G" "A" "B", flats
// "d" "e" "g" "a" "b", "N" no chord), third ("M" "m" "4" "o"), fifth
// ("P" "A" "d" "C") and seventh or added note ("S" "s" "6" "9" "o" "d").
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace harmolin {

struct CompositionState;

struct ChordCode {
    std::array<char, 4> c{'N', 'o', 'C', 'd'};

    ChordCode() = default;
    ChordCode(std::string_view text); // NOLINT: codes are written as text everywhere
    [[nodiscard]] std::string str() const { return std::string(c.data(), 4); }
    [[nodiscard]] char root() const { return c[0]; }
    [[nodiscard]] char third() const { return c[1]; }
    [[nodiscard]] char fifth() const { return c[2]; }
    [[nodiscard]] char seventh() const { return c[3]; }
    bool operator==(const ChordCode& o) const { return c == o.c; }
    bool operator!=(const ChordCode& o) const { return c != o.c; }
    [[nodiscard]] bool isDominantSeventh() const { return c[1] == 'M' && c[2] == 'P' && c[3] == 's'; }
};

// Pitch class 0..11 of a root letter, -1 for "N" or an unknown letter.
[[nodiscard]] int rootPitchClass(char letter);
// The root letter of a pitch class (flats for the black keys).
[[nodiscard]] char rootLetter(int pitchClass);
// Root note 60..71 of a root letter, 0 for none.
[[nodiscard]] int rootNoteOf(char letter);
// Semitones of the third, fifth and seventh letters; -1 for "none", -2 unknown.
[[nodiscard]] int thirdInterval(char letter);
[[nodiscard]] int fifthInterval(char letter);
[[nodiscard]] int seventhInterval(char letter);
// Transposes a code by semitones: only the root letter changes; "N" stays.
[[nodiscard]] ChordCode transposeChord(ChordCode code, int semitones);

struct ChordRecord {
    int lengthHigh = 0; // the length as it came in, high and low byte
    int lengthLow = 0;
    ChordCode code;
    int root = 0;
    int length = 0;
    int bass = 0;
    int third = 0;
    int fifth = 0;
    int seventh = 0;
    ChordCode codeCopy; // transposition rewrites this copy's root
    std::array<char, 2> slash{'0', '0'};

    [[nodiscard]] int slashValue() const { return (slash[0] - '0') * 10 + (slash[1] - '0'); }
    void raise(); // by one semitone
    void lower();
};

// Builds a chord record from a length and a code, drawing the octave of the
// third and seventh; an empty slash text means "00".
[[nodiscard]] ChordRecord buildChordRecord(CompositionState& state, int length, ChordCode code,
                                           std::string_view slash = {});

} // namespace harmolin
