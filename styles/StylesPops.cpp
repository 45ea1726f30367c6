// Group 0: pops and rock.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

void unplugged(StyleRecord& s) {
    s.setName("Unplugged");
    s.setDescription("Played with guitar and other acoustic instruments.");
    setPrograms(s, {{1, 53},
                    {2, 32},
                    {3, 24},
                    {4, kNoProgram},
                    {5, kNoProgram},
                    {7, kNoProgram},
                    {8, kNoProgram},
                    {9, 1}});
    setMix(s, 1, {120, 64, 70});
    s.mixer[1][kMixDoubling] = 4;
    setMix(s, 2, {93, 50, 60});
    setMix(s, 3, {100, 90, 100});
    setMix(s, 4, {98, 50, 50});
    setMix(s, 9, {70, 50, 90});
    s.octaveShift[3] = -1;
    s.barCount = 25;
    s.tempo = 500000;
    s.keyVariant = kMinor;
    s.feel = kStraight;
    s.jumpCheckMode = 2;
    s.melodyJumpWeights = {60, 5, 85, 92, 93, 94, 95, 96};
    s.part3Pattern = 47;
    s.category = 3;
    s.drumPattern = 1;
    s.bassPattern = 13;
    setMelody(s, 1,
              {{kMelDissonance, 9},
               {kMelPartMode, 2},
               {kMelRestSwitch, 0},
               {kMelValue5, 17},
               {kMelSecondMelody, 1},
               {kMelHighest, 84},
               {kMelLowest, 60},
               {kMelPitchMethod, 6},
               {kMelLengthRepeat, 2},
               {kMelIntervalRepeat, 2}});
    s.patternParams[1] = 120;
    writeFolkStrumGrid(s);
}

// Piano pop with a bounce: a shuffling piano on the beat, a second keyboard
// rolling triplets, a shuffle bass with pick-ups and a shuffle beat.
void jauntyKeys(StyleRecord& s) {
    s.setName("Jaunty Keys");
    s.setDescription("Bouncy piano pop with a happy shuffle beat.");
    setPrograms(s, {{1, 1}, {2, 33}, {3, 1}, {7, 4}, {9, 1}});
    setMix(s, 1, {105, 30, 60});
    setMix(s, 2, {100, 0, 30});
    setMix(s, 3, {100, 40, 60});
    setPan(s, 3, 52);
    setMix(s, 7, {72, 50, 70});
    setPan(s, 7, 84);
    setMix(s, 9, {100, 0, 60});
    s.barCount = 32;
    s.tempo = 476000;
    setKey(s, kMajor);
    s.category = 3;
    s.feel = kTriplet;
    s.part3Pattern = 4; // piano hits on the shuffle
    s.part7Pattern = 3; // rolling triplet arpeggio
    s.drumPattern = 2;
    s.bassPattern = 11; // shuffle bass with walking pick-ups
    setMelody(s, 1,
              {{kMelDissonance, 9},
               {kMelPartMode, 5},
               {kMelRestSwitch, 0},
               {kMelEndingKind, 1},
               {kMelValue5, 5},
               {kMelHighest, 80},
               {kMelLowest, 58},
               {kMelPitchMethod, 6},
               {kMelLengthRepeat, 1},
               {kMelIntervalRepeat, 1}});
    s.patternParams[1] = 120;
    s.patternParams[3] = 100;
    s.patternParams[7] = 80;
    s.flagAfterRandomKind = 1;
}

// clang-format off
constexpr std::array<StyleSketch, 21> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars, touches
    {2, "Latin Rock", "Rock with a Latin beat, congas and a singing lead guitar.",
        0, 456000, kMinor, 3, kStraight, 1, {29, 33, 16, 25, 1}, {25, 58, 19, 12}, 32,
        [](StyleRecord& s) { setPan(s, kPartAccompaniment2, 96); }},
    {3, "Rock Guitar", "Rock driven by distorted electric guitars.",
        0, 460000, kMajor, 4, kStraight, 1, {30, 34, 29, kNoProgram, 1}, {47, 15, 5, 17}, 32,
        [](StyleRecord& s) { writeRockChugGrid(s); }},
    {4, "Easy Listening", "Gentle background music with piano and strings.",
        0, 680000, kMajor, 3, kStraight, 1, {11, 32, 0, 49, 1}, {5, 24, 7, 8}, 32,
        [](StyleRecord& s) { setMix(s, kPartMelody, {105, 60, 90}); }},
    {5, "AOR", "Adult oriented rock with electric piano and smooth saxophone.",
        0, 580000, kMajor, 1, kStraight, 1, {66, 33, 4, 50, 1}, {14, 24, 24, 13}, 32},
    {6, "Mersey Beat", "Beat music of 1960s Liverpool with jangling guitars.",
        0, 410000, kMajor, 4, kStraight, 1, {25, 34, 27, kNoProgram, 1}, {49, 15, 14, 17}, 24},
    {7, "Ballade", "A slow love song with piano and strings.",
        0, 820000, kMajor, 3, kStraight, 1, {0, 35, 0, 49, 1}, {29, 1, 7, 8}, 32,
        [](StyleRecord& s) { setMix(s, kPartDrums, {70, 0, 70}); }},
    {9, "Rock", "Straight eight-beat rock with guitars and organ.",
        0, 444000, kMajor, 4, kStraight, 1, {29, 34, 30, 18, 1}, {31, 1, 9, 17}, 32},
    {10, "Dog Rap", "Rap over a looping beat and a heavy synthesizer bass.",
        0, 560000, kMinor, 7, kStraight, 1, {87, 38, 55, 28, 1}, {44, 42, 28, 19}, 24,
        [](StyleRecord& s) { writeHipHopGrid(s); }},
    {11, "American Rock", "Heartland rock with steel-string guitars and a steady beat.",
        0, 470000, kMajor, 3, kStraight, 1, {29, 33, 25, 16, 1}, {30, 1, 9, 17}, 32},
    {12, "Rock Orchestra", "A rock band playing together with strings and brass.",
        0, 526000, kMinor, 2, kStraight, 1, {30, 34, 48, 61, 1}, {2, 19, 5, 17}, 32,
        [](StyleRecord& s) { addCounterLine(s, 60, 55, 72); }},
    {13, "Rockabilly", "Fast 1950s rock and roll with slapped bass and twangy guitar.",
        0, 370000, kMajor, 3, kTriplet, 1, {27, 32, 27, kNoProgram, 1}, {47, 15, 24, 11}, 24,
        [](StyleRecord& s) { writeBoogieShuffleGrid(s); }},
    {14, "SKA", "Jamaican ska with off-beat guitar and a horn section.",
        0, 380000, kMajor, 3, kStraight, 1, {56, 33, 27, 16, 1}, {47, 11, 25, 6}, 32,
        [](StyleRecord& s) { writeSkaUpstrokeGrid(s); }},
    {15, "90s Pops", "Dance-flavoured pop music of the 1990s.",
        0, 464000, kMajor, 4, kStraight, 1, {80, 38, 5, 50, 4}, {14, 24, 6, 13}, 32,
        [](StyleRecord& s) { s.patternParams[kPartBass] = 120; }},
    {16, "Oldies", "Pop songs of the 1950s and 60s with piano triplets and backing voices.",
        0, 514000, kMajor, 3, kTriplet, 1, {66, 32, 0, 53, 1}, {4, 1, 1, 11}, 32},
    {17, "Hard Rock", "Loud rock with heavy distorted guitars and pounding drums.",
        0, 420000, kMinor, 4, kStraight, 1, {30, 34, 30, 18, 1}, {47, 1, 5, 5}, 32,
        [](StyleRecord& s) { writeArenaRockGrid(s); }},
    {18, "Hawaian Venture", "Twangy electric guitar instrumentals of the surf era with a Hawaiian touch.",
        0, 446000, kMajor, 3, kStraight, 1, {27, 34, 25, 24, 1}, {30, 43, 9, 17}, 32},
    {19, "Progressive Rock", "Rock in an uneven meter with organ and synthesizers.",
        2, 466000, kMinor, 5, kStraight, 1, {81, 34, 16, 50, 1}, {8, 1, 9, 17}, 30},
    {20, "Bossanova Vocal", "Soft Brazilian bossa nova for voice and nylon-string guitar.",
        0, 620000, kMajor, 1, kStraight, 1, {53, 32, 24, kNoProgram, 1}, {47, 15, 12, 15}, 32,
        [](StyleRecord& s) { writeBossaCompGrid(s); setMix(s, kPartDrums, {80, 0, 60}); }},
    {21, "Pop Vocal", "A pop song arranged around the singing voice with piano and strings.",
        0, 566000, kMajor, 1, kStraight, 1, {54, 33, 0, 48, 1}, {36, 24, 2, 13}, 32},
    {22, "Glam Rock", "Glittering 1970s rock with stomping drums and crunchy guitars.",
        0, 482000, kMajor, 4, kStraight, 1, {29, 34, 30, kNoProgram, 1}, {19, 15, 16, 7}, 32},
    {23, "3/4 Pops", "Pop music in three-four time.",
        1, 532000, kMajor, 3, kStraight, 1, {71, 33, 0, 48, 1}, {47, 15, 16, 16}, 32,
        [](StyleRecord& s) { writeWaltzGrid(s); }},
}};
// clang-format on

} // namespace

bool setUpPopsStyle(int slot, StyleRecord& style) {
    switch (slot) {
    case 1:
        unplugged(style);
        return true;
    case 8:
        jauntyKeys(style);
        return true;
    default:
        return applySketchOf(slot, style, kSketches);
    }
}

} // namespace harmolin::styles
