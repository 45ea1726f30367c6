// Group 6: game music.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

// A haunted house: a music box tinkling broken chords high up, a low drone,
// tremolo strings creeping underneath and a slow heartbeat. Chords wander
// freely over the roots of the half-whole diminished scale (scale 19), and
// the tune may take passing notes and blue notes from it.
void horror(StyleRecord& s) {
    s.setName("Horror");
    s.setDescription("Creepy music for a haunted house, with a music box and a beating heart.");
    setPrograms(s, {{1, 52}, {2, 43}, {3, 10}, {4, 44}, {9, 1}});
    setMix(s, 1, {100, 40, 110});
    setMix(s, 2, {100, 0, 80});
    setMix(s, 3, {85, 60, 110});
    setPan(s, 3, 40);
    setMix(s, 4, {70, 30, 110});
    setPan(s, 4, 88);
    setMix(s, 9, {90, 0, 100});
    s.octaveShift[3] = 1;
    s.barCount = 24;
    s.tempo = 900000;
    setKey(s, kMinor);
    s.scaleNumber = 19;
    s.category = 5;
    s.feel = kStraight;
    s.part3Pattern = 3; // music-box arpeggio
    s.drumPattern = 28; // heartbeat grid
    s.bassPattern = 2;  // drone
    setMelody(s, 1,
              {{kMelDissonance, 7},
               {kMelPartMode, 5},
               {kMelRestSwitch, 1},
               {kMelEndingKind, 0},
               {kMelValue5, 5},
               {kMelHighest, 72},
               {kMelLowest, 52},
               {kMelPitchMethod, 6},
               {kMelTension, 1},
               {kMelLengthRepeat, 1},
               {kMelIntervalRepeat, 1}});
    // The strings keep a low line of their own in long notes.
    s.sectionCopyMode = 7;
    setMelody(s, 4,
              {{kMelDissonance, 9},
               {kMelPartMode, 3},
               {kMelRestSwitch, 0},
               {kMelEndingKind, 0},
               {kMelValue5, 5},
               {kMelHighest, 62},
               {kMelLowest, 41},
               {kMelPitchMethod, 6}});
    s.patternParams[1] = 70;
    s.patternParams[3] = 100;
    s.patternParams[4] = 60;
    s.flagAfterRandomKind = 1;
    writeHeartbeatGrid(s);
}

// clang-format off
constexpr std::array<StyleSketch, 9> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars, touches
    {1, "Against War Song", "A protest song against war, sung to a guitar.",
        0, 628000, kMinor, 3, kStraight, 1, {22, 32, 25, 48, 1}, {30, 1, 32, 8}, 32},
    {2, "Mystery Cave", "Music for exploring a dark and mysterious cave.",
        0, 832000, kMinor, 3, kStraight, 16, {79, 38, 98, 95, kNoProgram}, {3, 1, 14, 2}, 24},
    {3, "Piano Vocal", "A song accompanied by the piano alone.",
        0, 620000, kMajor, 3, kStraight, 1, {0, kNoProgram, 0, kNoProgram, kNoProgram}, {29, 15, 14, 8}, 32},
    {5, "Hero's Theme", "A brave and heroic theme for the hero of a game.",
        0, 460000, kMajor, 2, kStraight, 1, {56, 32, 48, 61, 1}, {12, 19, 18, 1}, 32,
        [](StyleRecord& s) { addCounterLine(s, 60, 55, 72); }},
    {6, "Fighting Theme", "Fast and tense music for battle scenes.",
        0, 372000, kMinor, 4, kStraight, 1, {81, 38, 30, 50, 4}, {31, 26, 5, 5}, 32},
    {7, "Theme of Mouse", "A comical theme for a small and busy mouse.",
        0, 414000, kMajor, 3, kStraight, 1, {13, 32, 45, 9, 1}, {56, 20, 22, 23}, 24},
    {8, "Japanese Tale", "A quiet Japanese folk tale told with koto and shakuhachi.",
        0, 754000, kMajor, 3, kStraight, 13, {77, kNoProgram, 107, 48, kNoProgram}, {22, 1, 14, 1}, 24},
    {9, "Theme of Stars", "A shining theme for a journey among the stars.",
        0, 712000, kMajor, 3, kStraight, 18, {8, 33, 88, 98, 1}, {1, 46, 7, 8}, 32},
    {10, "Spaghetti Western", "A lonely western theme with whistling and a twangy guitar.",
        0, 528000, kMinor, 3, kStraight, 1, {78, 32, 25, 56, 1}, {58, 24, 32, 4}, 32},
}};
// clang-format on

} // namespace

bool setUpGameStyle(int slot, StyleRecord& style) {
    if (slot == 4) {
        horror(style);
        return true;
    }
    return applySketchOf(slot, style, kSketches);
}

} // namespace harmolin::styles
