#include "engine/Melody.h"
#include "engine/MelodyDetail.h"
#include "melody_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace harmolin {
namespace {

using namespace melody_detail;
using test::chordList;
using test::melodyState;
using test::notesOf;

const std::array<std::int32_t, 8> kPipelineWeights = {40, 20, 30, 90, 90, 95, 99, 99};

TEST(MelodyPitch, JumpClassCheckThresholds) {
    // A semitone passes up to r = 80, an octave only at r = 0 and 1.
    EXPECT_TRUE(jumpClassAccepts(kPipelineWeights, 1, 80));
    EXPECT_FALSE(jumpClassAccepts(kPipelineWeights, 1, 81));
    EXPECT_TRUE(jumpClassAccepts(kPipelineWeights, 7, 0));
    EXPECT_TRUE(jumpClassAccepts(kPipelineWeights, 7, 1));
    EXPECT_FALSE(jumpClassAccepts(kPipelineWeights, 7, 2));
    EXPECT_TRUE(jumpClassAccepts(kPipelineWeights, 0, 60));
    EXPECT_FALSE(jumpClassAccepts(kPipelineWeights, 0, 61));
}

TEST(MelodyPitch, NearNoteCheckCountsDiatonicSteps) {
    // Two semitones are one step (weight 20): r below 80 passes, 80 fails.
    EXPECT_TRUE(nearNoteAccepts(kPipelineWeights, 2, 79));
    EXPECT_FALSE(nearNoteAccepts(kPipelineWeights, -2, 80));
    // A fourth (five semitones) is three steps (weight 90).
    EXPECT_TRUE(nearNoteAccepts(kPipelineWeights, 5, 9));
    EXPECT_FALSE(nearNoteAccepts(kPipelineWeights, 5, 10));
    // An octave is seven steps; anything past it always fails.
    EXPECT_TRUE(nearNoteAccepts(kPipelineWeights, 12, 0));
    EXPECT_FALSE(nearNoteAccepts(kPipelineWeights, 13, 0));
    EXPECT_FALSE(nearNoteAccepts(kPipelineWeights, 24, 0));
}

// With every jump admitted and no chord tones to pull the note, the
// result shows the search direction alone.
int bareJump(CompositionState& state, int prev, int direction) {
    state.melodyMemory.direction = direction;
    state.melodyMemory.lastWasChordTone = false;
    int length = 48;
    const ChordRecord none = buildChordRecord(state, 384, ChordCode("NoCd"));
    return pitchByJumps(state, {prev, 0, 0}, none, 96, length, 384, kPartMelody);
}

TEST(MelodyPitch, PreviousNoteHighInTheRangeStartsTheSearchDownwards) {
    auto state = melodyState(21);
    auto& style = state->style;
    style.melodyJumpWeights = {0, 0, 0, 0, 0, 0, 0, 0};
    style.melodySwitches = {0, 0, 0, 0};
    style.sectionA()[kMelDissonance] = 0;
    for (int prev : {64, 70}) {
        for (int i = 0; i < 300; ++i) {
            const int x = bareJump(*state, prev, +1);
            EXPECT_LE(x, prev) << "from " << prev;
            EXPECT_GE(x, 56);
        }
    }
    // From 58 only two of the eight jumps stay in the range going down; the
    // search turns round only after 25 misses in a row, which is rare.
    int down = 0;
    for (int i = 0; i < 300; ++i)
        down += bareJump(*state, 58, +1) <= 58;
    EXPECT_GE(down, 295);
    // Below H - 12 the direction stays as it was: upwards here.
    int above = 0;
    for (int i = 0; i < 300; ++i)
        above += bareJump(*state, 57, +1) > 57;
    EXPECT_GT(above, 150);
}

TEST(MelodyPitch, ALineStartsOnAChordToneInsideTheRange) {
    auto state = melodyState(23);
    const ChordRecord c = buildChordRecord(*state, 384, ChordCode("CMPd"));
    const ChordRecord g = buildChordRecord(*state, 384, ChordCode("GMPs"));
    for (int i = 0; i < 300; ++i) {
        state->melodyMemory.lastWasChordTone = false;
        int length = 96;
        const int x = pitchByJumps(*state, {0, 0, 0}, i % 2 ? c : g, 0, length, 384, kPartMelody);
        ASSERT_GE(x, 56);
        ASSERT_LE(x, 70);
        const int pc = x % 12;
        if (i % 2) {
            EXPECT_TRUE(pc == 0 || pc == 4 || pc == 7) << x;
        } else {
            EXPECT_TRUE(pc == 7 || pc == 11 || pc == 2) << x;
        }
    }
    // Without a root there is nothing to start on.
    const ChordRecord none = buildChordRecord(*state, 384, ChordCode("NoCd"));
    int length = 96;
    EXPECT_EQ(pitchByJumps(*state, {0, 0, 0}, none, 0, length, 384, kPartMelody), 0);
}

TEST(MelodyPitch, FoldIntoRange) {
    auto state = melodyState(25);
    // The melody's narrow range is reached by small random steps.
    for (int i = 0; i < 200; ++i) {
        const int low = foldIntoRange(*state, kPartMelody, 50);
        EXPECT_GE(low, 56);
        EXPECT_LE(low, 58);
        const int high = foldIntoRange(*state, kPartMelody, 80);
        EXPECT_GE(high, 68);
        EXPECT_LE(high, 70);
    }
    EXPECT_EQ(foldIntoRange(*state, kPartMelody, 0), 0);
    EXPECT_EQ(foldIntoRange(*state, kPartMelody, 63), 63);
    // A wide range folds by octaves.
    state->style.melodySettings[4][kMelHighest] = 80;
    state->style.melodySettings[4][kMelLowest] = 50;
    EXPECT_EQ(foldIntoRange(*state, 4, 30), 54);
    EXPECT_EQ(foldIntoRange(*state, 4, 100), 76);
    // A part without a range of its own borrows the melody's.
    const int borrowed = foldIntoRange(*state, 6, 90);
    EXPECT_GE(borrowed, 56);
    EXPECT_LE(borrowed, 70);
}

TEST(MelodyPitch, PassingNoteWithinAMajorThirdOnlyInWholeUnits) {
    auto state = melodyState(27);
    state->style.melodyJumpWeights = {40, 0, 100, 90, 90, 95, 99, 99}; // passing note almost always
    state->style.patternParams[kPartMelody] = 60;                      // no sixteenth splits
    int passing = 0;
    for (int i = 0; i < 200; ++i) {
        const auto notes = ornamentNotes(*state, kPartMelody, 6, 64, 96, 60);
        if (notes.empty()) continue;
        ASSERT_EQ(notes.size(), 2u);
        EXPECT_EQ(notes[0], std::make_pair(62, 48));
        EXPECT_EQ(notes[1], std::make_pair(64, 48));
        ++passing;
    }
    EXPECT_GT(passing, 180);
    // 120 ticks are no whole number of eighths: the note stays whole.
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(ornamentNotes(*state, kPartMelody, 6, 64, 120, 60).empty());
    // Not a third apart: nothing.
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(ornamentNotes(*state, kPartMelody, 6, 64, 96, 62).empty());
}

TEST(MelodyPitch, LongFirstNoteMayGetALowerNeighbour) {
    auto state = melodyState(29);
    state->style.keyVariant = 2; // no extra draw that stops it
    int neighbours = 0;
    for (int i = 0; i < 300; ++i) {
        const auto notes = ornamentNotes(*state, kPartMelody, 6, 64, 384, 0);
        if (notes.empty()) continue;
        ASSERT_EQ(notes.size(), 3u);
        EXPECT_EQ(notes[0].first, 64);
        EXPECT_EQ(notes[1].first, 63);
        EXPECT_EQ(notes[2].first, 64);
        EXPECT_EQ(notes[0].second + notes[1].second + notes[2].second, 384);
        for (const auto& n : notes)
            EXPECT_EQ(n.second % 48, 0);
        ++neighbours;
    }
    EXPECT_GT(neighbours, 60);
    EXPECT_TRUE(ornamentNotes(*state, kPartMelody, 6, 64, 95, 0).empty());
    EXPECT_TRUE(ornamentNotes(*state, kPartMelody, 6, 0, 384, 0).empty());
}

TEST(MelodyPitch, OtherMethodsKeepToTheChordAndRange) {
    auto state = melodyState(31);
    auto& a = state->style.sectionA();
    a[kMelHighest] = 84;
    a[kMelLowest] = 48;
    const EventList chords = chordList({{384, "CMPd"}, {384, "FMPd"}, {384, "GMPs"}, {384, "CMPd"}});
    for (int method : {1, 2, 3, 4, 5, 7}) {
        a[kMelPitchMethod] = method;
        a[kMelSequence] = method == 2 ? 1 : 0;
        for (int round = 0; round < 40; ++round) {
            EventList melody;
            EXPECT_TRUE(writeBlockMelody(*state, 1, kPartMelody, chords, melody));
            EXPECT_EQ(test::totalLength(melody), 4 * 384);
            for (const auto& n : notesOf(melody)) {
                if (n.pitch == 0) continue;
                EXPECT_GE(n.pitch, 48) << "method " << method;
                EXPECT_LE(n.pitch, 84) << "method " << method;
            }
        }
    }
}

} // namespace
} // namespace harmolin
