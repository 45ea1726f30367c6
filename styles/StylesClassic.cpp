// Group 3: classical music.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// clang-format off
constexpr std::array<StyleSketch, 17> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars
    {1, "Modern Piano", "Twentieth-century piano music with free harmony.",
        0, 700000, kMajor, 5, kStraight, 1, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {3, 15, 14, 10}, 24},
    {2, "Wind Music", "Music for an ensemble of woodwinds.",
        0, 600000, kMajor, 2, kStraight, 1, {73, 70, 71, 68, kNoProgram}, {4, 3, 14, 1}, 32},
    {3, "Chamber Music", "Music for a small group of strings and piano.",
        0, 650000, kMinor, 2, kStraight, 1, {40, 42, 0, 41, kNoProgram}, {3, 4, 14, 3}, 32},
    {4, "Classic Piano", "Romantic piano music in the classical manner.",
        0, 600000, kMajor, 2, kStraight, 1, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {3, 15, 14, 10}, 32},
    {5, "Calm Airs", "Calm and graceful classical airs in three-four time.",
        1, 700000, kMajor, 3, kStraight, 1, {73, 42, 46, 48, kNoProgram}, {3, 4, 14, 1}, 32},
    {6, "Flute Music", "Classical pieces for flute with harp accompaniment.",
        0, 640000, kMajor, 3, kStraight, 1, {73, 42, 46, kNoProgram, kNoProgram}, {22, 15, 14, 1}, 24},
    {7, "Classical Guitar", "Spanish-flavoured music for the classical guitar.",
        0, 700000, kMinor, 3, kStraight, 1, {24, kNoProgram, 24, kNoProgram, kNoProgram}, {22, 15, 14, 1}, 24},
    {8, "Bolero", "A Spanish dance in three-four time over an unchanging drum rhythm.",
        1, 750000, kMajor, 7, kStraight, 1, {71, 43, 48, 45, 1}, {4, 3, 34, 1}, 32},
    {9, "Piano Solo", "A piece for piano alone.",
        0, 660000, kMajor, 3, kStraight, 1, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {3, 15, 14, 10}, 24},
    {10, "Cembalo Solo", "Baroque music for the harpsichord.",
        0, 560000, kMajor, 2, kStraight, 1, {6, 6, 6, kNoProgram, kNoProgram}, {3, 15, 14, 1}, 24},
    {11, "Church Organ", "Sacred music on a pipe organ.",
        0, 900000, kMajor, 2, kStraight, 1, {19, 19, 19, kNoProgram, kNoProgram}, {4, 15, 14, 2}, 24},
    {12, "3/4 Piano", "A piano piece in three-four time.",
        1, 600000, kMajor, 3, kStraight, 1, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {3, 15, 14, 10}, 32},
    {13, "Strings Quartet", "Music for two violins, viola and cello.",
        0, 680000, kMinor, 2, kStraight, 1, {40, 42, 41, 40, kNoProgram}, {4, 3, 14, 3}, 32},
    {14, "Colorist", "Impressionist music painted with harp, woodwinds and strings.",
        0, 750000, kMajor, 5, kStraight, 12, {68, 42, 46, 48, kNoProgram}, {22, 4, 14, 1}, 24},
    {15, "Theremin Music", "Eerie melodies of a theremin over strings and harp.",
        0, 800000, kMinor, 3, kStraight, 1, {85, 43, 46, 49, kNoProgram}, {22, 4, 14, 1}, 24},
    {16, "Vienna Waltz", "A Viennese waltz for orchestra.",
        1, 380000, kMajor, 3, kStraight, 1, {40, 43, 48, 60, kNoProgram}, {4, 3, 14, 1}, 32},
    {17, "Brass Band March", "A military march for brass band and drums.",
        0, 500000, kMajor, 3, kStraight, 1, {56, 58, 61, 57, 1}, {4, 3, 34, 3}, 32},
}};
// clang-format on

// The style that has no name: a plain piano piece with strings.
void unnamedStyle(StyleRecord& s) {
    setPrograms(s, {{1, 0}, {2, 32}, {3, 0}, {7, 48}});
    s.category = 3;
    s.part3Pattern = 3;
    s.part7Pattern = 4;
    s.bassPattern = 1;
    setMelody(s, 1, {{kMelDissonance, 9}, {kMelValue5, 5}});
    s.flagAfterRandomKind = 1;
}

} // namespace

bool setUpClassicStyle(int slot, StyleRecord& style) {
    if (slot == 18) {
        unnamedStyle(style);
        return true;
    }
    return applySketchOf(slot, style, kSketches);
}

} // namespace harmolin::styles
