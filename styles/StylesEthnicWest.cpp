// Group 5: ethnic music of the west.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// clang-format off
constexpr std::array<StyleSketch, 16> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars
    {1, "Scotland", "Scottish music with bagpipes over a drone.",
        0, 560000, kMajor, 3, kStraight, 17, {109, 109, 24, kNoProgram, 1}, {4, 15, 34, 2}, 24},
    {2, "Andes", "Folk music of the Andes with pan flutes, a charango and a harp.",
        0, 520000, kMinor, 3, kStraight, 1, {75, 32, 24, 46, 1}, {4, 3, 2, 3}, 24},
    {3, "Bossanova", "Brazilian bossa nova with nylon-string guitar and soft percussion.",
        0, 600000, kMajor, 1, kStraight, 1, {73, 32, 24, kNoProgram, 1}, {4, 15, 12, 3}, 32},
    {4, "Paris Musette", "A French musette waltz on the accordion.",
        1, 440000, kMinor, 3, kStraight, 1, {21, 32, 24, kNoProgram, 1}, {4, 3, 1, 1}, 32},
    {5, "Hawaian", "Relaxed Hawaiian music with steel guitar and ukulele.",
        0, 620000, kMajor, 9, kStraight, 1, {25, 32, 24, 46, 1}, {4, 3, 2, 3}, 24},
    {6, "Ethnic Guitar", "World music built around acoustic guitars.",
        0, 560000, kMinor, 3, kStraight, 1, {24, 32, 24, kNoProgram, 1}, {22, 15, 2, 3}, 24},
    {7, "Samba", "Brazilian samba with a busy percussion section.",
        0, 400000, kMajor, 3, kStraight, 1, {73, 33, 24, 61, 1}, {4, 3, 5, 9}, 32},
    {8, "German Polka", "A German polka with accordion and tuba.",
        0, 380000, kMajor, 3, kStraight, 1, {21, 58, 21, 57, 1}, {4, 15, 34, 3}, 24},
    {9, "Reggae", "Jamaican reggae with off-beat guitar chops and a deep bass.",
        0, 540000, kMajor, 3, kStraight, 1, {81, 33, 27, 16, 1}, {4, 3, 2, 9}, 32},
    {10, "Mambo", "Cuban mambo with piano figures and blaring horns.",
        0, 420000, kMajor, 3, kStraight, 1, {56, 32, 0, 61, 1}, {3, 4, 4, 3}, 32},
    {11, "European Tango", "A dramatic European tango with bandoneon and strings.",
        0, 560000, kMinor, 3, kStraight, 1, {23, 32, 0, 48, 1}, {4, 3, 34, 3}, 32},
    {12, "Country", "American country music with fiddle, banjo and steel-string guitar.",
        0, 480000, kMajor, 3, kStraight, 1, {110, 32, 25, 105, 1}, {4, 3, 2, 3}, 32},
    {13, "Cha Cha Cha", "A Cuban cha-cha-cha with piano and violins.",
        0, 500000, kMajor, 3, kStraight, 1, {73, 32, 0, 40, 1}, {4, 3, 4, 3}, 32},
    {14, "Bulgarian Voice", "A Bulgarian women's choir singing in an uneven meter.",
        2, 420000, kMinor, 3, kStraight, 1, {52, 53, 52, 110, 1}, {4, 3, 2, 2}, 30},
    {15, "Yodel", "Alpine yodel songs with accordion and tuba.",
        1, 460000, kMajor, 3, kStraight, 1, {53, 58, 21, kNoProgram, 1}, {4, 15, 1, 3}, 32},
    {16, "Flamenco", "Spanish flamenco with fiery guitar and hand claps.",
        0, 460000, kMinor, 10, kStraight, 1, {24, 32, 24, kNoProgram, 1}, {22, 4, 4, 3}, 24},
}};
// clang-format on

} // namespace

bool setUpEthnicWestStyle(int slot, StyleRecord& style) {
    return applySketchOf(slot, style, kSketches);
}

} // namespace harmolin::styles
