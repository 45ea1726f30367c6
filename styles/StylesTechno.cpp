// Group 8: techno.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// clang-format off
constexpr std::array<StyleSketch, 8> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars, touches
    {1, "Techno Dance", "Pounding techno music for the dance floor.",
        0, 438000, kMinor, 4, kStraight, 1, {81, 38, 90, 80, 4}, {47, 46, 28, 20}, 32,
        [](StyleRecord& s) { writeTechnoStabGrid(s); }},
    {2, "Techno Rock", "Rock music powered by synthesizers and a machine beat.",
        0, 452000, kMinor, 4, kStraight, 1, {84, 38, 30, 62, 4}, {31, 24, 9, 17}, 32},
    {3, "Club Techno", "Dark and hypnotic techno heard in the clubs.",
        0, 458000, kMinor, 4, kStraight, 1, {80, 39, 95, 81, 4}, {1, 6, 27, 7}, 32},
    {4, "Trance", "Euphoric trance with rising synthesizer arpeggios.",
        0, 428000, kMinor, 4, kStraight, 1, {81, 38, 90, 94, 4}, {47, 1, 28, 20}, 32,
        [](StyleRecord& s) { writeTranceGateGrid(s); }},
    {5, "Techno Pop", "Catchy pop music made with synthesizers and drum machines.",
        0, 480000, kMajor, 4, kStraight, 1, {80, 38, 90, 62, 4}, {14, 24, 37, 7}, 32},
    {6, "J-Techno Pop", "Japanese techno pop with bright synthesizers.",
        0, 450000, kMajor, 3, kStraight, 1, {82, 39, 5, 81, 4}, {12, 46, 6, 22}, 32},
    {7, "Euro Beat", "A fast European dance beat with octave bass and synth brass.",
        0, 390000, kMinor, 4, kStraight, 1, {81, 38, 62, 90, 4}, {36, 26, 28, 20}, 32,
        [](StyleRecord& s) { writeOctaveBassGrid(s); }},
    {8, "test(Melody)", "A plain melody for trying out the melody generator.",
        0, 750000, kMajor, 3, kStraight, 1, {0, kNoProgram, kNoProgram, kNoProgram, kNoProgram}, {17, 15, 14, 10}, 16},
}};
// clang-format on

} // namespace

bool setUpTechnoStyle(int slot, StyleRecord& style) {
    return applySketchOf(slot, style, kSketches);
}

} // namespace harmolin::styles
