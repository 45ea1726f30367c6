// Group 5: ethnic music of the west.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// clang-format off
constexpr std::array<StyleSketch, 16> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars, touches
    {1, "Scotland", "Scottish music with bagpipes over a drone.",
        0, 520000, kMajor, 3, kStraight, 17, {109, 109, 46, kNoProgram, 1}, {5, 15, 34, 2}, 24,
        [](StyleRecord& s) { s.octaveShift[kPartBass] = -1; }},
    {2, "Andes", "Folk music of the Andes with pan flutes, a charango and a harp.",
        0, 488000, kMinor, 3, kStraight, 1, {75, 32, 24, 46, 1}, {58, 46, 36, 3}, 24},
    {3, "Bossanova", "Brazilian bossa nova with nylon-string guitar and soft percussion.",
        0, 620000, kMajor, 1, kStraight, 1, {66, 32, 24, kNoProgram, 1}, {47, 15, 12, 15}, 32,
        [](StyleRecord& s) { writeBossaCompGrid(s); setMix(s, kPartDrums, {80, 0, 60}); }},
    {4, "Paris Musette", "A French musette waltz on the accordion.",
        1, 426000, kMinor, 3, kStraight, 1, {21, 32, 21, kNoProgram, 1}, {47, 15, 16, 16}, 32,
        [](StyleRecord& s) { writeMusetteGrid(s); }},
    {5, "Hawaian", "Relaxed Hawaiian music with steel guitar and ukulele.",
        0, 652000, kMajor, 9, kStraight, 1, {25, 32, 24, kNoProgram, 1}, {49, 15, 22, 4}, 24},
    {6, "Ethnic Guitar", "World music built around acoustic guitars.",
        0, 560000, kMinor, 3, kStraight, 21, {24, 32, 25, kNoProgram, 1}, {58, 15, 31, 3}, 24},
    {7, "Samba", "Brazilian samba with a busy percussion section.",
        0, 386000, kMajor, 3, kStraight, 1, {65, 33, 24, 61, 1}, {47, 37, 28, 4}, 32,
        [](StyleRecord& s) { writeSambaCompGrid(s); }},
    {8, "German Polka", "A German polka with accordion and tuba.",
        0, 366000, kMajor, 3, kStraight, 1, {21, 58, 21, 71, 1}, {56, 13, 16, 4}, 24},
    {9, "Reggae", "Jamaican reggae with off-beat guitar chops and a deep bass.",
        0, 560000, kMajor, 3, kStraight, 1, {22, 33, 27, 16, 1}, {47, 47, 28, 20}, 32,
        [](StyleRecord& s) { writeReggaeSkankGrid(s); }},
    {10, "Mambo", "Cuban mambo with piano figures and blaring horns.",
        0, 394000, kMajor, 3, kStraight, 1, {56, 32, 0, 61, 3}, {47, 33, 19, 12}, 32,
        [](StyleRecord& s) { writeMontunoGrid(s); }},
    {11, "European Tango", "A dramatic European tango with bandoneon and strings.",
        0, 552000, kMinor, 3, kStraight, 1, {23, 32, 48, 0, kNoProgram}, {47, 52, 14, 3}, 32,
        [](StyleRecord& s) { writeTangoGrid(s); }},
    {12, "Country", "American country music with fiddle, banjo and steel-string guitar.",
        0, 460000, kMajor, 3, kStraight, 1, {110, 32, 25, 105, 1}, {47, 49, 32, 4}, 32,
        [](StyleRecord& s) { writeBoomChickGrid(s); }},
    {13, "Cha Cha Cha", "A Cuban cha-cha-cha with piano and violins.",
        0, 500000, kMajor, 3, kStraight, 1, {40, 32, 0, 48, 3}, {47, 24, 20, 15}, 32,
        [](StyleRecord& s) { writeChaChaGrid(s); }},
    {14, "Bulgarian Voice", "A Bulgarian women's choir singing in an uneven meter.",
        2, 412000, kMinor, 3, kStraight, 1, {52, 53, 52, 110, 1}, {1, 42, 29, 2}, 30},
    {15, "Yodel", "Alpine yodel songs with accordion and tuba.",
        1, 434000, kMajor, 3, kStraight, 1, {53, 58, 21, kNoProgram, 1}, {23, 15, 16, 16}, 32},
    {16, "Flamenco", "Spanish flamenco with fiery guitar and hand claps.",
        0, 462000, kMinor, 10, kStraight, 21, {24, 32, 24, kNoProgram, 1}, {47, 15, 28, 3}, 24,
        [](StyleRecord& s) { writeRasgueadoGrid(s); }},
}};
// clang-format on

} // namespace

bool setUpEthnicWestStyle(int slot, StyleRecord& style) {
    return applySketchOf(slot, style, kSketches);
}

} // namespace harmolin::styles
