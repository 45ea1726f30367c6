// Group 4: ethnic music of the east. Scale numbers: 2 and 3 the Ryukyu
// scale, 4 the pentatonic C D F G A, 10 and 15 the double harmonic scale,
// 13 the Japanese scale C D flat F G A flat.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// clang-format off
constexpr std::array<StyleSketch, 20> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars
    {1, "African Forest", "Music of the African rain forest with kalimba and drums.",
        0, 520000, kMajor, 3, kStraight, 4, {75, 32, 108, 12, 1}, {3, 4, 4, 21}, 24},
    {2, "African", "Lively African pop with marimba and percussion.",
        0, 460000, kMajor, 3, kStraight, 1, {79, 33, 12, 108, 1}, {4, 3, 4, 9}, 32},
    {3, "Aboriginal Music", "Australian aboriginal music over a droning low tone and clapping sticks.",
        0, 600000, kMajor, 7, kStraight, 4, {75, 43, 115, kNoProgram, 1}, {3, 15, 4, 2}, 16},
    {4, "Arabian", "Arabian music with plucked strings and a reed pipe.",
        0, 560000, kMinor, 3, kStraight, 15, {111, 32, 15, 104, 1}, {22, 3, 4, 3}, 24},
    {5, "Xoomij", "Mongolian throat singing over the drone of a horse-head fiddle.",
        0, 800000, kMajor, 7, kStraight, 4, {85, 43, 110, kNoProgram, kNoProgram}, {22, 15, 14, 2}, 16},
    {6, "Bon Odori", "Summer festival dance music of Japan with shamisen, flute and taiko.",
        0, 540000, kMajor, 3, kStraight, 4, {72, 32, 106, kNoProgram, 1}, {3, 15, 2, 1}, 24},
    {7, "Japan Traditional", "Traditional Japanese music for koto and shakuhachi.",
        0, 900000, kMajor, 3, kStraight, 13, {77, kNoProgram, 107, kNoProgram, kNoProgram}, {22, 15, 14, 10}, 24},
    {8, "China Town", "Music of a Chinese quarter with bamboo flute and hammered dulcimer.",
        0, 520000, kMajor, 3, kStraight, 4, {72, 33, 15, 13, 1}, {4, 3, 2, 3}, 32},
    {9, "Matsuri Bayashi", "Japanese festival music of flute, big drums and bells.",
        0, 420000, kMajor, 3, kStraight, 4, {72, kNoProgram, 116, 113, 1}, {4, 3, 4, 10}, 16},
    {10, "Indian Traditional", "Indian classical music with sitar over a drone.",
        0, 700000, kMajor, 7, kStraight, 10, {104, 104, 15, kNoProgram, 1}, {3, 15, 4, 2}, 16},
    {11, "Gamelan && Flute", "Balinese gamelan metallophones with a bamboo flute.",
        0, 640000, kMajor, 7, kStraight, 13, {73, kNoProgram, 114, 9, 1}, {3, 4, 4, 2}, 16},
    {12, "Gamelan", "Indonesian gamelan of gongs and metallophones.",
        0, 560000, kMajor, 3, kStraight, 13, {9, kNoProgram, 114, 12, 1}, {3, 4, 4, 10}, 16},
    {13, "Okinawa", "Traditional Okinawan folk music for the sanshin.",
        0, 620000, kMajor, 3, kStraight, 3, {106, 32, 106, kNoProgram, kNoProgram}, {22, 15, 14, 3}, 24},
    {14, "Okinawa Ocean", "Okinawan melodies with the calm of the southern sea.",
        0, 680000, kMajor, 3, kStraight, 2, {75, 33, 106, 89, kNoProgram}, {3, 4, 14, 1}, 24},
    {15, "Gagaku", "Ancient Japanese court music of reed pipes and a mouth organ.",
        0, 1200000, kMajor, 7, kStraight, 4, {111, kNoProgram, 20, 107, kNoProgram}, {4, 22, 14, 10}, 16},
    {16, "Chinese Spring", "Bright Chinese music of springtime with erhu and zither.",
        0, 640000, kMajor, 3, kStraight, 4, {110, 32, 15, 107, kNoProgram}, {22, 3, 14, 1}, 24},
    {17, "China", "Modern Chinese pop with bamboo flute and hammered dulcimer.",
        0, 560000, kMajor, 3, kStraight, 4, {72, 33, 15, 48, 1}, {4, 3, 2, 3}, 32},
    {18, "Kecak", "The Balinese monkey chant of many rhythmic voices.",
        0, 460000, kMajor, 7, kStraight, 13, {53, kNoProgram, 52, 53, 1}, {4, 3, 4, 10}, 16},
    {19, "Erhu Music", "A Chinese two-string fiddle playing a tender melody.",
        0, 760000, kMinor, 3, kStraight, 4, {110, 32, 107, 48, kNoProgram}, {22, 4, 14, 1}, 24},
    {20, "Debayashi", "Lively shamisen, flute and drum music that brings a Japanese storyteller on stage.",
        0, 500000, kMajor, 3, kStraight, 4, {72, kNoProgram, 106, 116, 1}, {3, 4, 4, 10}, 16},
}};
// clang-format on

} // namespace

bool setUpEthnicEastStyle(int slot, StyleRecord& style) {
    return applySketchOf(slot, style, kSketches);
}

} // namespace harmolin::styles
