// Group 8: techno.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// clang-format off
constexpr std::array<StyleSketch, 8> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars
    {1, "Techno Dance", "Pounding techno music for the dance floor.",
        0, 460000, kMinor, 4, kStraight, 1, {81, 38, 90, 80, 1}, {4, 3, 2, 5}, 32},
    {2, "Techno Rock", "Rock music powered by synthesizers and a machine beat.",
        0, 450000, kMinor, 4, kStraight, 1, {81, 38, 30, 62, 1}, {4, 3, 2, 5}, 32},
    {3, "Club Techno", "Dark and hypnotic techno heard in the clubs.",
        0, 470000, kMinor, 4, kStraight, 1, {80, 39, 90, 102, 1}, {4, 3, 2, 5}, 32},
    {4, "Trance", "Euphoric trance with rising synthesizer arpeggios.",
        0, 430000, kMinor, 4, kStraight, 1, {81, 38, 90, 81, 1}, {4, 3, 2, 5}, 32},
    {5, "Techno Pop", "Catchy pop music made with synthesizers and drum machines.",
        0, 480000, kMajor, 4, kStraight, 1, {80, 38, 90, 62, 1}, {4, 3, 2, 9}, 32},
    {6, "J-Techno Pop", "Japanese techno pop with bright synthesizers.",
        0, 470000, kMajor, 3, kStraight, 1, {80, 38, 5, 81, 1}, {4, 3, 2, 9}, 32},
    {7, "Euro Beat", "A fast European dance beat with octave bass and synth brass.",
        0, 400000, kMinor, 4, kStraight, 1, {81, 38, 62, 90, 1}, {4, 3, 2, 5}, 32},
    {8, "test(Melody)", "A plain melody for trying out the melody generator.",
        0, 750000, kMajor, 3, kStraight, 1, {0, kNoProgram, kNoProgram, kNoProgram, kNoProgram}, {17, 15, 14, 10}, 16},
}};
// clang-format on

} // namespace

bool setUpTechnoStyle(int slot, StyleRecord& style) {
    return applySketchOf(slot, style, kSketches);
}

} // namespace harmolin::styles
