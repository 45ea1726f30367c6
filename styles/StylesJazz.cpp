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
    //     patterns {part 3, part 7, drums, bass}, bars, touches
    {1, "Fusion", "Jazz fusion that mixes jazz harmony with rock and funk rhythms.",
        0, 454000, kMajor, 1, kStraight, 1, {64, 36, 4, 50, 1}, {47, 1, 26, 20}, 32,
        [](StyleRecord& s) { writeFunkStabGrid(s); }},
    {2, "Jazz Quartet", "A small jazz group of saxophone, piano, bass and drums.",
        0, 474000, kMajor, 1, kTriplet, 1, {66, 32, 0, kNoProgram, 1}, {10, 15, 11, 6}, 32,
        [](StyleRecord& s) { s.patternParams[kPartHarmony] = 60; }},
    {3, "Blues Quartet", "A blues band of guitar, piano, bass and drums playing a shuffle.",
        0, 554000, kMajor, kBlues, kTriplet, 11, {29, 32, 27, 0, 1}, {47, 4, 24, 11}, 24,
        [](StyleRecord& s) { writeBoogieShuffleGrid(s); setOwnScale(s, kBluesScale); }},
    {4, "Blues Guitar2", "Slow electric blues with a crying lead guitar.",
        0, 700000, kMajor, kBlues, kTriplet, 11, {29, 33, 27, 16, 1}, {51, 1, 17, 9}, 24,
        [](StyleRecord& s) { setOwnScale(s, kBluesScale); }},
    {5, "Harmonica Blues", "Country blues with a wailing harmonica.",
        0, 520000, kMajor, kBlues, kTriplet, 11, {22, 32, 25, kNoProgram, 1}, {30, 15, 32, 18}, 24,
        [](StyleRecord& s) { setOwnScale(s, kBluesScale); }},
    {6, "Vibraphone Jazz", "Cool jazz led by the vibraphone.",
        0, 494000, kMajor, 1, kTriplet, 1, {11, 32, 0, kNoProgram, 1}, {60, 15, 15, 6}, 32},
    {8, "Rag Time", "Syncopated piano music from the turn of the twentieth century.",
        0, 472000, kMajor, 3, kStraight, 1, {3, kNoProgram, 3, kNoProgram, kNoProgram}, {17, 15, 14, 1}, 24},
    {9, "Bossanova Piano", "Bossa nova played on a soft piano.",
        0, 606000, kMajor, 1, kStraight, 1, {0, 32, 0, 24, 1}, {14, 45, 28, 15}, 32,
        [](StyleRecord& s) { writeBossaDrumGrid(s); }},
    {11, "Guitar Loundge", "Relaxed lounge jazz played on a jazz guitar.",
        0, 614000, kMajor, 1, kTriplet, 1, {26, 32, 26, kNoProgram, 1}, {47, 15, 11, 6}, 32,
        [](StyleRecord& s) { writeSwingCompGrid(s); }},
    {12, "Blues Piano", "Solo blues piano with a rolling left hand.",
        0, 594000, kMajor, kBlues, kTriplet, 11, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {17, 15, 1, 11}, 24,
        [](StyleRecord& s) { setOwnScale(s, kBluesScale); }},
    {13, "Blues Piano Trio", "Blues played by a trio of piano, bass and drums.",
        0, 546000, kMajor, kBlues, kTriplet, 11, {1, 32, 1, kNoProgram, 1}, {4, 15, 10, 18}, 24,
        [](StyleRecord& s) { setOwnScale(s, kBluesScale); }},
    {14, "Blues Guitar", "Electric blues led by a clean electric guitar.",
        0, 512000, kMajor, kBlues, kTriplet, 11, {27, 33, 25, 16, 1}, {30, 1, 2, 17}, 24,
        [](StyleRecord& s) { setOwnScale(s, kBluesScale); }},
    {15, "Jazz Guitar", "Swinging jazz with a hollow-body jazz guitar.",
        0, 520000, kMajor, 1, kTriplet, 1, {26, 32, 0, kNoProgram, 1}, {10, 15, 15, 6}, 32},
    {16, "Jazz Guitar Trio", "A jazz trio of guitar, double bass and drums.",
        0, 492000, kMajor, 1, kTriplet, 1, {26, 32, 26, kNoProgram, 1}, {53, 15, 11, 6}, 32},
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
