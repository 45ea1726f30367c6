// Group 2: jazz and blues.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// Swing: the piano states the tune and comps in triplet hits, the double
// bass walks, the drummer keeps time on the ride with the hi-hat on two and
// four.
void jazzPianoTrio(StyleRecord& s) {
    s.setName("Jazz Piano Trio");
    s.setDescription("Swinging jazz played by piano, double bass and drums.");
    setPrograms(s, {{1, 0}, {2, 32}, {3, 0}, {9, 1}});
    setMix(s, 1, {105, 0, 60});
    setPan(s, 1, 60);
    setMix(s, 2, {110, 0, 40});
    setPan(s, 2, 70);
    setMix(s, 3, {85, 0, 60});
    setPan(s, 3, 56);
    setMix(s, 9, {95, 0, 70});
    s.barCount = 32;
    s.tempo = 450000;
    setKey(s, kMajor);
    s.category = 1;
    s.feel = kTriplet;
    s.part3Pattern = 4; // comping hits
    s.drumPattern = 28; // ride grid
    s.bassPattern = 6;  // walking bass
    setMelody(s, 1,
              {{kMelDissonance, 7},
               {kMelPartMode, 5},
               {kMelRestSwitch, 1},
               {kMelEndingKind, 0},
               {kMelValue5, 5},
               {kMelHighest, 82},
               {kMelLowest, 58},
               {kMelPitchMethod, 6},
               {kMelTension, 2},
               {kMelLengthRepeat, 1}});
    s.patternParams[1] = 90;
    s.patternParams[3] = 100;
    s.flagAfterRandomKind = 1;
    writeSwingRideGrid(s);
}

void jazzWaltz(StyleRecord& s) {
    s.setName("Jazz Waltz");
    s.setDescription("Jazz of 3/4.");
    setPrograms(s, {{1, 65}, {2, 32}, {3, 1}, {4, 70}, {5, kNoProgram}, {7, 26}, {8, kNoProgram}, {9, 1}});
    setMix(s, 1, {115, 0, 64, 110});
    s.mixer[1][kMixDoubling] = 6;
    setMix(s, 3, {90, 0, 64, 100});
    s.mixer[3][kMixDoubling] = 4;
    setMix(s, 5, {50, 50, 50});
    s.octaveShift[4] = -1;
    s.octaveShift[7] = -1;
    s.barCount = 32;
    s.meter = 1;
    s.tempo = 400000;
    setKey(s, kMajor);
    s.sectionCopyMode = 7;
    setMelody(s, 4,
              {{kMelPartMode, 256},
               {kMelRestSwitch, 0},
               {kMelEndingKind, 0},
               {kMelHighest, 81},
               {kMelLowest, 49},
               {kMelPitchMethod, 6}});
    s.part3Pattern = 60;
    s.category = 1;
    s.drumPattern = 38;
    s.part7Pattern = 10;
    s.bassPattern = 23;
    setMelody(s, 1,
              {{kMelDissonance, 7},
               {kMelPartMode, 5},
               {kMelRestSwitch, 0},
               {kMelEndingKind, 0},
               {kMelSecondMelody, 1},
               {kMelHighest, 91},
               {kMelLowest, 59},
               {kMelPitchMethod, 6},
               {kMelTension, 2}});
    s.patternParams[1] = 80;
    s.patternParams[4] = 20;
    s.patternParams[7] = 60;
}

constexpr int kBlues = kBluesCategory;

// clang-format off
constexpr std::array<StyleSketch, 14> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars
    {1, "Fusion", "Jazz fusion that mixes jazz harmony with rock and funk rhythms.",
        0, 460000, kMajor, 1, kStraight, 1, {64, 36, 4, 50, 1}, {4, 3, 2, 9}, 32},
    {2, "Jazz Quartet", "A small jazz group of saxophone, piano, bass and drums.",
        0, 500000, kMajor, 1, kTriplet, 1, {66, 32, 0, kNoProgram, 1}, {4, 15, 17, 6}, 32},
    {3, "Blues Quartet", "A blues band of guitar, piano, bass and drums playing a shuffle.",
        0, 560000, kMajor, kBlues, kTriplet, 1, {26, 32, 0, kNoProgram, 1}, {4, 15, 1, 11}, 24},
    {4, "Blues Guitar2", "Slow electric blues with a crying lead guitar.",
        0, 640000, kMajor, kBlues, kTriplet, 1, {29, 33, 27, kNoProgram, 1}, {4, 15, 17, 11}, 24},
    {5, "Harmonica Blues", "Country blues with a wailing harmonica.",
        0, 540000, kMajor, kBlues, kTriplet, 1, {22, 32, 25, kNoProgram, 1}, {4, 15, 1, 11}, 24},
    {6, "Vibraphone Jazz", "Cool jazz led by the vibraphone.",
        0, 500000, kMajor, 1, kTriplet, 1, {11, 32, 0, kNoProgram, 1}, {4, 15, 17, 6}, 32},
    {8, "Rag Time", "Syncopated piano music from the turn of the twentieth century.",
        0, 480000, kMajor, 3, kStraight, 1, {3, 0, 3, kNoProgram, kNoProgram}, {4, 15, 2, 3}, 24},
    {9, "Bossanova Piano", "Bossa nova played on a soft piano.",
        0, 580000, kMajor, 1, kStraight, 1, {0, 32, 0, kNoProgram, 1}, {4, 15, 12, 3}, 32},
    {11, "Guitar Loundge", "Relaxed lounge jazz played on a jazz guitar.",
        0, 620000, kMajor, 1, kTriplet, 1, {26, 32, 26, kNoProgram, 1}, {4, 15, 17, 6}, 32},
    {12, "Blues Piano", "Solo blues piano with a rolling left hand.",
        0, 600000, kMajor, kBlues, kTriplet, 1, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {3, 15, 1, 11}, 24},
    {13, "Blues Piano Trio", "Blues played by a trio of piano, bass and drums.",
        0, 560000, kMajor, kBlues, kTriplet, 1, {0, 32, 0, kNoProgram, 1}, {4, 15, 17, 11}, 24},
    {14, "Blues Guitar", "Electric blues led by a clean electric guitar.",
        0, 520000, kMajor, kBlues, kTriplet, 1, {27, 33, 25, kNoProgram, 1}, {4, 15, 1, 11}, 24},
    {15, "Jazz Guitar", "Swinging jazz with a hollow-body jazz guitar.",
        0, 540000, kMajor, 1, kTriplet, 1, {26, 32, 26, kNoProgram, 1}, {4, 15, 17, 6}, 32},
    {16, "Jazz Guitar Trio", "A jazz trio of guitar, double bass and drums.",
        0, 500000, kMajor, 1, kTriplet, 1, {26, 32, 26, kNoProgram, 1}, {4, 15, 17, 6}, 32},
}};
// clang-format on

} // namespace

bool setUpJazzStyle(int slot, StyleRecord& style) {
    switch (slot) {
    case 7:
        jazzPianoTrio(style);
        return true;
    case 17:
        jazzWaltz(style);
        return true;
    default:
        return applySketchOf(slot, style, kSketches);
    }
}

} // namespace harmolin::styles
