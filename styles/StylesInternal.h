// What the style set-up routines share: the per-group slot routines, the
// short description of a not-yet-detailed style, the setters and the grid
// writers. Not used outside styles/.
#pragma once

#include "styles/StyleRecord.h"

#include <array>
#include <initializer_list>
#include <utility>

namespace harmolin::styles {

// Writes the style's own values into a record that already holds the
// defaults; false when the slot holds no style.
using GroupSetUp = bool (*)(int slot, StyleRecord& style);

bool setUpPopsStyle(int slot, StyleRecord& style);
bool setUpJapaneseStyle(int slot, StyleRecord& style);
bool setUpJazzStyle(int slot, StyleRecord& style);
bool setUpClassicStyle(int slot, StyleRecord& style);
bool setUpEthnicEastStyle(int slot, StyleRecord& style);
bool setUpEthnicWestStyle(int slot, StyleRecord& style);
bool setUpGameStyle(int slot, StyleRecord& style);
bool setUpHealingStyle(int slot, StyleRecord& style);
bool setUpTechnoStyle(int slot, StyleRecord& style);

// The random style that sits in slot 0 of a group.
void setUpRandomStyle(StyleRecord& style, int group);

inline constexpr int kMajor = 1;
inline constexpr int kMinor = 2;
inline constexpr int kBluesCategory = 6;
inline constexpr int kStraight = 0;
inline constexpr int kTriplet = 3;

// A style given by its main values only; the fields it does not name keep
// their defaults.
struct StyleSketch {
    int slot;
    const char* name;
    const char* description;
    int meter;      // 0 4/4, 1 3/4, 2 7/8
    int tempo;      // microseconds per quarter note
    int keyVariant; // kMajor or kMinor
    int category;
    int feel;
    int scaleNumber;
    // General MIDI programs of the melody, bass, harmony, second
    // accompaniment and the drum kit value (kNoProgram: part not used).
    std::array<int, 5> programs;
    // part3Pattern, part7Pattern, drumPattern, bassPattern.
    std::array<int, 4> patterns;
    int barCount;
};

// Writes a sketch into a record, with the melody values most styles share.
void applySketch(StyleRecord& style, const StyleSketch& sketch);
// Runs the sketch of the slot if the table has one.
template <std::size_t N>
bool applySketchOf(int slot, StyleRecord& style, const std::array<StyleSketch, N>& sketches) {
    for (const auto& s : sketches) {
        if (s.slot == slot) {
            applySketch(style, s);
            return true;
        }
    }
    return false;
}

// Key variant with its chord and cadence databases.
void setKey(StyleRecord& style, int keyVariant);
// The blues databases and category.
void setBlues(StyleRecord& style);
void setPrograms(StyleRecord& style, std::initializer_list<std::pair<int, int>> partPrograms);
// Mixer bytes of a part from byte 0 on (volume, chorus, reverb, brightness...).
void setMix(StyleRecord& style, int part, std::initializer_list<int> bytes);
void setPan(StyleRecord& style, int part, int pan);
// Melody values of a part by value number.
void setMelody(StyleRecord& style, int part, std::initializer_list<std::pair<int, int>> values);

// Grid writers: each puts a fixed pattern into the style's step grids and
// normalises the ties.
void writeFolkStrumGrid(StyleRecord& style);
void writeSlowPadGrid(StyleRecord& style);
void writeSwingRideGrid(StyleRecord& style);
void writeHeartbeatGrid(StyleRecord& style);
void writePopBassGrid(StyleRecord& style);

} // namespace harmolin::styles
