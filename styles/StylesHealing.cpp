// Group 7: healing music.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// Weightless: whole-tone tune and freely chosen chords (scale 12, category
// 5), slow pad swells, a sparkling crystal arpeggio and a low pad drone,
// all drowned in reverb and chorus; no drums.
void spaceSound(StyleRecord& s) {
    s.setName("Space Sound");
    s.setDescription("Floating synthesizer sounds that drift through outer space.");
    setPrograms(s, {{1, 54}, {2, 89}, {3, 95}, {7, 98}, {9, kNoProgram}});
    setMix(s, 1, {100, 80, 127});
    setMix(s, 2, {90, 60, 100});
    setMix(s, 3, {90, 100, 127});
    setPan(s, 3, 40);
    setMix(s, 7, {70, 80, 127});
    setPan(s, 7, 90);
    s.barCount = 24;
    s.tempo = 800000;
    setKey(s, kMajor);
    s.scaleNumber = 12;
    s.category = 5;
    s.feel = kStraight;
    s.part3Pattern = 47; // pad swells
    s.part7Pattern = 3;  // crystal arpeggio
    s.bassPattern = 2;   // drone
    setMelody(s, 1,
              {{kMelDissonance, 7},
               {kMelPartMode, 5},
               {kMelRestSwitch, 1},
               {kMelEndingKind, 0},
               {kMelValue5, 5},
               {kMelHighest, 76},
               {kMelLowest, 55},
               {kMelPitchMethod, 6},
               {kMelIntervalRepeat, 1}});
    s.patternParams[1] = 70;
    s.patternParams[7] = 80;
    s.flagAfterRandomKind = 1;
    writeSlowPadGrid(s);
}

// A song for children: recorder tune, piano chords, glockenspiel arpeggio,
// bouncing root-and-fifth bass and a soft eight-beat. Repeated rhythms and
// intervals make the tune easy to sing back.
void lightPops(StyleRecord& s) {
    s.setName("Light Pops");
    s.setDescription("Light and cheerful pop music that children can sing along with.");
    setPrograms(s, {{1, 74}, {2, 32}, {3, 0}, {7, 9}, {9, 1}});
    setMix(s, 1, {105, 30, 60});
    setMix(s, 2, {95, 0, 40});
    setMix(s, 3, {100, 30, 60});
    setPan(s, 3, 54);
    setMix(s, 7, {65, 30, 70});
    setPan(s, 7, 80);
    setMix(s, 9, {80, 0, 50});
    s.barCount = 24;
    s.tempo = 536000;
    setKey(s, kMajor);
    s.category = 3;
    s.feel = kStraight;
    s.part3Pattern = 4;
    s.part7Pattern = 3;
    s.drumPattern = 2;
    s.bassPattern = 3;
    setMelody(s, 1,
              {{kMelDissonance, 9},
               {kMelPartMode, 5},
               {kMelRestSwitch, 0},
               {kMelEndingKind, 0},
               {kMelValue5, 5},
               {kMelHighest, 76},
               {kMelLowest, 60},
               {kMelPitchMethod, 6},
               {kMelLengthRepeat, 2},
               {kMelIntervalRepeat, 2}});
    s.patternParams[1] = 100;
    s.patternParams[3] = 100;
    s.patternParams[7] = 80;
    s.flagAfterRandomKind = 1;
}

// clang-format off
constexpr std::array<StyleSketch, 18> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars, touches
    {1, "Music Box", "A gentle tune played by a music box.",
        1, 640000, kMajor, 3, kStraight, 1, {10, kNoProgram, 10, kNoProgram, kNoProgram}, {47, 15, 14, 10}, 24,
        [](StyleRecord& s) { writeMusicBoxGrid(s); }},
    {2, "Silk Road", "Vast and mystical music of the ancient trade road across Asia.",
        0, 772000, kMinor, 3, kStraight, 21, {110, 89, 15, 91, 1}, {55, 1, 33, 2}, 24},
    {3, "Nostalgic", "Wistful music that recalls the old days.",
        0, 726000, kMajor, 3, kStraight, 1, {22, 32, 24, 48, kNoProgram}, {22, 1, 14, 8}, 32},
    {4, "Forest Music", "Peaceful music of birds and trees in a green forest.",
        0, 668000, kMajor, 3, kStraight, 1, {72, 32, 46, 12, kNoProgram}, {47, 59, 14, 8}, 24,
        [](StyleRecord& s) { writeHarpArpeggioGrid(s); }},
    {5, "Morning Music", "Fresh and bright music for a quiet morning.",
        0, 600000, kMajor, 3, kStraight, 1, {73, 32, 0, 48, kNoProgram}, {5, 24, 14, 8}, 24},
    {6, "Deep sea drifting", "Slow floating sounds of drifting through the deep sea.",
        0, 1050000, kMinor, 5, kStraight, 11, {91, 89, 92, 102, kNoProgram}, {1, 3, 14, 2}, 24,
        [](StyleRecord& s) { setOwnScale(s, kMinorPentatonic); }},
    {7, "Dream World", "Soft and hazy music of a world of dreams.",
        0, 794000, kMajor, 3, kStraight, 1, {98, 32, 88, 46, kNoProgram}, {1, 27, 14, 8}, 24},
    {8, "Local Town", "Easy-going music of a small country town.",
        0, 620000, kMajor, 3, kStraight, 1, {71, 32, 25, 21, 1}, {43, 56, 32, 4}, 24},
    {9, "Fantasy", "Magical music of a fantasy world with harp and strings.",
        0, 714000, kMajor, 2, kStraight, 1, {73, 32, 46, 48, kNoProgram}, {27, 13, 14, 8}, 32},
    {10, "EZ Piano", "Easy-listening piano music for relaxing.",
        0, 688000, kMajor, 3, kStraight, 1, {0, 32, 0, kNoProgram, kNoProgram}, {29, 15, 14, 8}, 24},
    {11, "Street Singers", "Songs of street musicians with an acoustic guitar and a harmonica.",
        0, 560000, kMajor, 3, kStraight, 1, {22, 32, 25, kNoProgram, kNoProgram}, {30, 15, 14, 4}, 24},
    {12, "Healing Harp", "Soothing music on the harp.",
        0, 812000, kMajor, 3, kStraight, 1, {46, kNoProgram, 46, kNoProgram, kNoProgram}, {47, 15, 14, 10}, 24,
        [](StyleRecord& s) { writeHarpArpeggioGrid(s); }},
    {13, "Healing Piano", "Soothing music on the piano.",
        0, 840000, kMajor, 3, kStraight, 1, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {27, 15, 14, 10}, 24},
    {14, "EZ Trio", "Easy jazz played by a relaxed piano trio.",
        0, 620000, kMajor, 1, kTriplet, 1, {0, 32, 0, kNoProgram, 1}, {10, 15, 11, 6}, 24},
    {17, "Goddess Harp", "Heavenly harp music with a gentle choir.",
        0, 780000, kMajor, 3, kStraight, 1, {46, kNoProgram, 46, 91, kNoProgram}, {27, 1, 14, 10}, 24},
    {18, "Country Side", "Pastoral music of the peaceful countryside.",
        0, 600000, kMajor, 3, kStraight, 1, {68, 32, 25, 110, 1}, {49, 13, 32, 4}, 24},
    {19, "Recorder Quartet", "Four recorders playing together in harmony.",
        0, 640000, kMajor, 2, kStraight, 1, {74, 74, 74, 74, kNoProgram}, {29, 13, 14, 8}, 24},
    {20, "Healing Piano Plus", "Soothing piano music with soft strings and bass.",
        0, 786000, kMajor, 3, kStraight, 1, {0, 32, 0, 49, kNoProgram}, {5, 1, 14, 8}, 24},
}};
// clang-format on

} // namespace

bool setUpHealingStyle(int slot, StyleRecord& style) {
    switch (slot) {
    case 15:
        spaceSound(style);
        return true;
    case 16:
        lightPops(style);
        return true;
    default:
        return applySketchOf(slot, style, kSketches);
    }
}

} // namespace harmolin::styles
