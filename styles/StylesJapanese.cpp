// Group 1: Japanese pops.
#include "styles/StylesInternal.h"

namespace harmolin::styles {
namespace {

void enka(StyleRecord& s) {
    s.setName("Enka");
    s.setDescription("Enka is a popular music style among elder people in Japan.");
    setPrograms(
        s, {{1, 65}, {2, 32}, {3, 24}, {4, kNoProgram}, {5, kNoProgram}, {7, 48}, {8, kNoProgram}, {9, 1}});
    setMix(s, 1, {115, 60, 120});
    setMix(s, 2, {110, 60, 60});
    setMix(s, 3, {100, 60, 120});
    setMix(s, 4, {115, 60, 60});
    setMix(s, 9, {100, 60, 120});
    s.mixer[7][kMixVolume] = 100;
    s.barCount = 30;
    s.meter = 0;
    s.tempo = 850000;
    setKey(s, kMinor);
    s.feel = kTriplet;
    s.melodyJumpWeights = {10, 10, 70, 90, 90, 92, 94, 96};
    s.part3Pattern = 22;
    s.category = 3;
    s.drumPattern = 17;
    s.part7Pattern = 24;
    s.bassPattern = 11;
    s.flagAfterRandomKind = 1;
    setMelody(s, 1,
              {{kMelDissonance, 9},
               {kMelPartMode, 8},
               {kMelRestSwitch, 0},
               {kMelValue5, 5},
               {kMelHighest, 80},
               {kMelLowest, 50},
               {kMelPitchMethod, 6}});
    s.patternParams[1] = 120;
}

// 1980s idol pop: electric piano chords, glittering bells, a string line
// above the voice, a pumping bass and an eight-beat.
void eveningGirls(StyleRecord& s) {
    s.setName("Evening Girls");
    s.setDescription("Bright Japanese idol pop sung by a group of girls.");
    setPrograms(s, {{1, 73}, {2, 33}, {3, 4}, {4, 48}, {7, 9}, {9, 1}});
    setMix(s, 1, {110, 40, 70});
    setMix(s, 2, {105, 0, 30});
    setMix(s, 3, {95, 70, 60});
    setPan(s, 3, 44);
    setMix(s, 4, {75, 60, 90});
    setPan(s, 4, 72);
    setMix(s, 7, {70, 30, 80});
    setPan(s, 7, 88);
    setMix(s, 9, {105, 0, 50});
    s.barCount = 32;
    s.tempo = 440000;
    setKey(s, kMajor);
    s.category = 3;
    s.feel = kStraight;
    s.part3Pattern = 4; // block chords
    s.part7Pattern = 3; // bell arpeggio
    s.drumPattern = 2;  // eight-beat with sixteenth hi-hats
    s.bassPattern = 20; // grid bass
    setMelody(s, 1,
              {{kMelDissonance, 9},
               {kMelPartMode, 5},
               {kMelRestSwitch, 0},
               {kMelEndingKind, 0},
               {kMelValue5, 5},
               {kMelHighest, 79},
               {kMelLowest, 60},
               {kMelPitchMethod, 6},
               {kMelLengthRepeat, 1},
               {kMelIntervalRepeat, 1}});
    // The strings keep their own line: long chord tones above the voice.
    s.sectionCopyMode = 7;
    setMelody(s, 4,
              {{kMelDissonance, 9},
               {kMelPartMode, 3},
               {kMelRestSwitch, 0},
               {kMelEndingKind, 0},
               {kMelValue5, 5},
               {kMelHighest, 84},
               {kMelLowest, 64},
               {kMelPitchMethod, 6}});
    s.patternParams[1] = 110;
    s.patternParams[3] = 100;
    s.patternParams[4] = 100;
    s.patternParams[7] = 80;
    s.flagAfterRandomKind = 1;
    writePopBassGrid(s);
}

// Pop in the Ryukyu scale (C E F G B): sanshin lead and figures over a
// strummed guitar, root-and-fifth bass and a light beat without snare.
void okinawanPops(StyleRecord& s) {
    s.setName("Okinawan Pops");
    s.setDescription("Japanese pop music with the scale and the sanshin of Okinawa.");
    setPrograms(s, {{1, 106}, {2, 33}, {3, 25}, {7, 106}, {9, 1}});
    setMix(s, 1, {110, 40, 70});
    setMix(s, 2, {100, 0, 40});
    setMix(s, 3, {90, 50, 70});
    setPan(s, 3, 44);
    setMix(s, 7, {85, 30, 70});
    setPan(s, 7, 88);
    setMix(s, 9, {90, 0, 60});
    s.octaveShift[3] = -1;
    s.barCount = 32;
    s.tempo = 520000;
    setKey(s, kMajor);
    s.scaleNumber = 3;
    s.category = 3;
    s.feel = kStraight;
    s.part3Pattern = 47; // strummed guitar grid
    s.part7Pattern = 3;  // sanshin figures
    s.drumPattern = 17;
    s.bassPattern = 3;
    setMelody(s, 1,
              {{kMelDissonance, 9},
               {kMelPartMode, 5},
               {kMelRestSwitch, 0},
               {kMelEndingKind, 0},
               {kMelValue5, 5},
               {kMelHighest, 79},
               {kMelLowest, 55},
               {kMelPitchMethod, 6},
               {kMelLengthRepeat, 1},
               {kMelIntervalRepeat, 1}});
    s.patternParams[1] = 110;
    s.patternParams[7] = 90;
    s.flagAfterRandomKind = 1;
    writeFolkStrumGrid(s);
}

// clang-format off
constexpr std::array<StyleSketch, 7> kSketches = {{
    // slot, name, description;
    //     meter, tempo, key, category, feel, scale,
    //     programs {melody, bass, harmony, accompaniment 2, drum kit},
    //     patterns {part 3, part 7, drums, bass}, bars, touches
    {2, "Japanese Pops", "Japanese popular music with electric piano, strings and a band.",
        0, 508000, kMajor, 3, kStraight, 1, {73, 33, 4, 48, 1}, {14, 24, 2, 13}, 32,
        [](StyleRecord& s) { s.patternParams[kPartBass] = 120; }},
    {3, "JPOP DUO", "Japanese pop for two singers with acoustic guitar and piano.",
        0, 506000, kMajor, 3, kStraight, 1, {53, 33, 25, 0, 1}, {30, 29, 32, 13}, 32,
        [](StyleRecord& s) { addCounterLine(s, 52, 57, 72); }},
    {5, "Electronic chime", "Pop music played with electronic bells and chimes.",
        0, 480000, kMajor, 3, kStraight, 1, {112, 38, 11, 8, 4}, {5, 46, 25, 7}, 32},
    {7, "Folk Song", "A Japanese folk song sung to an acoustic guitar.",
        0, 600000, kMinor, 3, kStraight, 1, {22, 32, 25, kNoProgram, kNoProgram}, {30, 15, 14, 4}, 24},
    {8, "Child Song", "Simple and cheerful songs for children.",
        0, 540000, kMajor, 3, kStraight, 1, {79, 32, 0, 9, 1}, {56, 59, 16, 3}, 16},
    {9, "70s Pops", "The 70s jaunty pop music.",
        0, 486000, kMajor, 3, kStraight, 1, {59, 33, 4, 48, 1}, {36, 24, 25, 10}, 32},
    {10, "Pops Symphonie", "Pop melodies arranged for a symphony orchestra.",
        0, 626000, kMajor, 2, kStraight, 1, {68, 32, 48, 46, 1}, {2, 27, 18, 8}, 32,
        [](StyleRecord& s) { addCounterLine(s, 60, 53, 70); }},
}};
// clang-format on

} // namespace

bool setUpJapaneseStyle(int slot, StyleRecord& style) {
    switch (slot) {
    case 1:
        enka(style);
        return true;
    case 4:
        eveningGirls(style);
        return true;
    case 6:
        okinawanPops(style);
        return true;
    default:
        return applySketchOf(slot, style, kSketches);
    }
}

} // namespace harmolin::styles
