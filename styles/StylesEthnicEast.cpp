// Group 4: ethnic music of the east. Scale numbers: 2 and 3 the Ryukyu
// scale, 4 the pentatonic C D F G A (the yo scale on the tonic: scale 9 is
// the same scale on D and has no C), 11 a scale of the style's own (pelog,
// slendro, in, hijaz, a raga, Chinese gong mode).
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// clang-format off
constexpr std::array<StyleSketch, 20> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars, touches
    {1, "African Forest", "Music of the African rain forest with kalimba and drums.",
        0, 520000, kMajor, 3, kStraight, 4, {108, 32, 12, kNoProgram, 1}, {42, 15, 28, 21}, 24,
        [](StyleRecord& s) { writeAfricanDrumGrid(s); }},
    {2, "African", "Lively African pop with marimba and percussion.",
        0, 448000, kMajor, 3, kStraight, 1, {12, 33, 27, 108, 1}, {47, 35, 28, 10}, 32,
        [](StyleRecord& s) { writeHighlifeGrid(s); }},
    {3, "Aboriginal Music", "Australian aboriginal music over a droning low tone and clapping sticks.",
        0, 600000, kMajor, 7, kStraight, 4, {76, 87, 115, kNoProgram, 1}, {8, 15, 33, 2}, 16},
    {4, "Arabian", "Arabian music with plucked strings and a reed pipe.",
        0, 572000, kMinor, 3, kStraight, 11, {111, 32, 15, kNoProgram, 1}, {35, 15, 28, 3}, 24,
        [](StyleRecord& s) { writeMaqsumGrid(s); setOwnScale(s, kHijaz); }},
    {5, "Xoomij", "Mongolian throat singing over the drone of a horse-head fiddle.",
        0, 806000, kMajor, 7, kStraight, 4, {54, 110, 110, kNoProgram, kNoProgram}, {1, 15, 14, 2}, 16},
    {6, "Bon Odori", "Summer festival dance music of Japan with shamisen, flute and taiko.",
        0, 520000, kMajor, 3, kStraight, 4, {72, kNoProgram, 106, kNoProgram, 1}, {8, 15, 28, 1}, 24,
        [](StyleRecord& s) { writeTaikoGrid(s); }},
    {7, "Japan Traditional", "Traditional Japanese music for koto and shakuhachi.",
        0, 906000, kMinor, 3, kStraight, 11, {77, kNoProgram, 107, kNoProgram, kNoProgram}, {47, 15, 14, 10}, 24,
        [](StyleRecord& s) { writeKotoGrid(s); setOwnScale(s, kJapaneseIn); }},
    {8, "China Town", "Music of a Chinese quarter with bamboo flute and hammered dulcimer.",
        0, 520000, kMajor, 3, kStraight, 11, {72, 33, 15, kNoProgram, 1}, {35, 15, 36, 3}, 32,
        [](StyleRecord& s) { setOwnScale(s, kChinesePentatonic); }},
    {9, "Matsuri Bayashi", "Japanese festival music of flute, big drums and bells.",
        0, 406000, kMajor, 3, kStraight, 4, {72, kNoProgram, 116, kNoProgram, 1}, {37, 15, 28, 1}, 16,
        [](StyleRecord& s) { writeTaikoGrid(s); }},
    {10, "Indian Traditional", "Indian classical music with sitar over a drone.",
        0, 694000, kMajor, 7, kStraight, 11, {104, 104, 15, kNoProgram, 1}, {55, 15, 28, 2}, 16,
        [](StyleRecord& s) { writeTablaGrid(s); setOwnScale(s, kRagaBhairav); }},
    {11, "Gamelan && Flute", "Balinese gamelan metallophones with a bamboo flute.",
        0, 634000, kMajor, 7, kStraight, 11, {75, kNoProgram, 114, 9, 1}, {38, 59, 28, 2}, 16,
        [](StyleRecord& s) { writeGamelanGrid(s); setOwnScale(s, kSlendro); }},
    {12, "Gamelan", "Indonesian gamelan of gongs and metallophones.",
        0, 548000, kMajor, 3, kStraight, 11, {14, kNoProgram, 114, 12, 1}, {47, 47, 28, 10}, 16,
        [](StyleRecord& s) { writeGamelanGrid(s); setOwnScale(s, kPelog); }},
    {13, "Okinawa", "Traditional Okinawan folk music for the sanshin.",
        0, 600000, kMajor, 3, kStraight, 3, {106, 32, 24, kNoProgram, 1}, {42, 15, 33, 3}, 24},
    {14, "Okinawa Ocean", "Okinawan melodies with the calm of the southern sea.",
        0, 692000, kMajor, 3, kStraight, 2, {75, 33, 106, 89, kNoProgram}, {29, 1, 14, 8}, 24},
    {15, "Gagaku", "Ancient Japanese court music of reed pipes and a mouth organ.",
        0, 1300000, kMajor, 7, kStraight, 4, {68, kNoProgram, 20, 107, kNoProgram}, {47, 59, 14, 10}, 16,
        [](StyleRecord& s) { writeShoClusterGrid(s); }},
    {16, "Chinese Spring", "Bright Chinese music of springtime with erhu and zither.",
        0, 608000, kMajor, 3, kStraight, 11, {110, 32, 15, 107, 1}, {35, 46, 36, 3}, 24,
        [](StyleRecord& s) { setOwnScale(s, kChinesePentatonic); }},
    {17, "China", "Modern Chinese pop with bamboo flute and hammered dulcimer.",
        0, 560000, kMajor, 3, kStraight, 11, {73, 33, 15, 48, 1}, {14, 1, 2, 13}, 32,
        [](StyleRecord& s) { setOwnScale(s, kChinesePentatonic); }},
    {18, "Kecak", "The Balinese monkey chant of many rhythmic voices.",
        0, 460000, kMajor, 7, kStraight, 11, {52, kNoProgram, 53, 52, kNoProgram}, {26, 37, 14, 10}, 16,
        [](StyleRecord& s) { setOwnScale(s, kPelog); }},
    {19, "Erhu Music", "A Chinese two-string fiddle playing a tender melody.",
        0, 766000, kMinor, 3, kStraight, 11, {110, 32, 107, 48, kNoProgram}, {22, 1, 14, 8}, 24,
        [](StyleRecord& s) { setOwnScale(s, kChinesePentatonic); }},
    {20, "Debayashi", "Lively shamisen, flute and drum music that brings a Japanese storyteller on stage.",
        0, 460000, kMajor, 3, kStraight, 4, {72, kNoProgram, 106, 116, 1}, {42, 44, 28, 10}, 16,
        [](StyleRecord& s) { writeTaikoGrid(s); }},
}};
// clang-format on

} // namespace

bool setUpEthnicEastStyle(int slot, StyleRecord& style) {
    return applySketchOf(slot, style, kSketches);
}

} // namespace harmolin::styles
