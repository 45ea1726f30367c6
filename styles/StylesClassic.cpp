// Group 3: classical music.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// clang-format off
constexpr std::array<StyleSketch, 17> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars, touches
    {1, "Modern Piano", "Twentieth-century piano music with free harmony.",
        0, 706000, kMajor, 5, kStraight, 18, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {6, 15, 14, 10}, 24},
    {2, "Wind Music", "Music for an ensemble of woodwinds.",
        0, 632000, kMajor, 2, kStraight, 1, {73, 70, 71, kNoProgram, kNoProgram}, {29, 15, 14, 8}, 32,
        [](StyleRecord& s) { addCounterLine(s, 68, 60, 76); }},
    {3, "Chamber Music", "Music for a small group of strings and piano.",
        0, 640000, kMinor, 2, kStraight, 1, {40, 42, 0, 41, kNoProgram}, {18, 13, 14, 8}, 32},
    {4, "Classic Piano", "Romantic piano music in the classical manner.",
        0, 612000, kMajor, 2, kStraight, 1, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {18, 15, 14, 10}, 32},
    {5, "Calm Airs", "Calm and graceful classical airs in three-four time.",
        1, 720000, kMajor, 3, kStraight, 1, {73, 42, 46, 48, kNoProgram}, {27, 1, 14, 16}, 32},
    {6, "Flute Music", "Classical pieces for flute with harp accompaniment.",
        0, 646000, kMajor, 3, kStraight, 1, {73, 45, 46, kNoProgram, kNoProgram}, {22, 15, 14, 1}, 24},
    {7, "Classical Guitar", "Spanish-flavoured music for the classical guitar.",
        0, 686000, kMinor, 3, kStraight, 1, {24, kNoProgram, 24, kNoProgram, kNoProgram}, {32, 15, 14, 1}, 24},
    {8, "Bolero", "A Spanish dance in three-four time over an unchanging drum rhythm.",
        1, 826000, kMajor, 7, kStraight, 1, {71, 45, 48, 60, 1}, {23, 1, 1, 16}, 32},
    {9, "Piano Solo", "A piece for piano alone.",
        0, 660000, kMajor, 3, kStraight, 1, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {5, 15, 14, 10}, 24},
    {10, "Cembalo Solo", "Baroque music for the harpsichord.",
        0, 534000, kMajor, 2, kStraight, 1, {6, kNoProgram, 6, kNoProgram, kNoProgram}, {35, 15, 14, 10}, 24},
    {11, "Church Organ", "Sacred music on a pipe organ.",
        0, 950000, kMajor, 2, kStraight, 1, {19, 19, 19, kNoProgram, kNoProgram}, {47, 15, 14, 8}, 24,
        [](StyleRecord& s) { writeChoraleGrid(s); setMix(s, kPartHarmony, {90, 30, 110}); }},
    {12, "3/4 Piano", "A piano piece in three-four time.",
        1, 588000, kMajor, 3, kStraight, 1, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {47, 15, 14, 16}, 32,
        [](StyleRecord& s) { writeWaltzGrid(s); }},
    {13, "Strings Quartet", "Music for two violins, viola and cello.",
        0, 674000, kMinor, 2, kStraight, 1, {40, 42, 41, 40, kNoProgram}, {29, 13, 14, 8}, 32},
    {14, "Colorist", "Impressionist music painted with harp, woodwinds and strings.",
        0, 760000, kMajor, 5, kStraight, 12, {69, 42, 46, 49, kNoProgram}, {27, 1, 14, 8}, 24,
        [](StyleRecord& s) { addCounterLine(s, 71, 55, 72); }},
    {15, "Theremin Music", "Eerie melodies of a theremin over strings and harp.",
        0, 814000, kMinor, 3, kStraight, 1, {85, 43, 46, 44, kNoProgram}, {22, 1, 14, 8}, 24},
    {16, "Vienna Waltz", "A Viennese waltz for orchestra.",
        1, 360000, kMajor, 3, kStraight, 1, {40, 43, 48, 60, 1}, {47, 15, 16, 16}, 32,
        [](StyleRecord& s) { writeViennaWaltzGrid(s); setMix(s, kPartDrums, {70, 0, 80}); }},
    {17, "Brass Band March", "A military march for brass band and drums.",
        0, 468000, kMajor, 3, kStraight, 1, {56, 58, 61, 72, 1}, {47, 59, 34, 4}, 32,
        [](StyleRecord& s) { writeMarchGrid(s); }},
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
