// Step grids: tie normalisation, the chord voicing of the rows and the
// step-grid player with its variants.
#include "accomp_fixture.h"
#include "base/ErrorCodes.h"
#include "engine/accompaniment/Accompaniment.h"
#include "midi/MidiTrackEdit.h"

#include <gtest/gtest.h>

namespace harmolin {
namespace {

using test::accompState;
using test::soundingNotes;

std::unique_ptr<CompositionState> gridState(std::vector<ChordRecord> chords) {
    auto state = accompState();
    state->style.programs[kPartHarmony] = 24;
    state->style.part3Pattern = 47;
    state->voicingThreshold = 0; // no weight lowers a note: the rows as written
    state->tune.songChords = std::move(chords);
    return state;
}

std::vector<test::PlacedNote> playPart3(CompositionState& state) {
    std::vector<MidiTrackData> tracks;
    buildAccompanimentPart(state, 3, 47, 100, tracks);
    return soundingNotes(tracks.back());
}

TEST(AccompGrid, NormalisationCopiesTiedStepsAndWrapsBars) {
    auto state = accompState();
    StyleRecord& s = state->style;
    s.cell(0, 2, 3) = 1;
    s.cell(0, 5, 3) = 1;
    s.tie(0, 4) = 1;
    s.tie(0, 5) = 1;
    s.cell(1, 7, 15) = 1;
    s.tie(1, 0) = 1;
    normaliseGrid(s);
    for (int step : {4, 5}) {
        EXPECT_EQ(s.cell(0, 2, step), 1);
        EXPECT_EQ(s.cell(0, 5, step), 1);
        EXPECT_EQ(s.cell(0, 0, step), 0);
    }
    EXPECT_EQ(s.cell(1, 7, 0), 1); // step 0 continues step 15

    // With the wrap switch, block 0 and its second bar tie across the bar line.
    auto wrapped = accompState();
    StyleRecord& w = wrapped->style;
    w.trailer(0) = 1;
    w.cell(4, 9, 15) = 1;
    w.tie(0, 0) = 1;
    normaliseGrid(w);
    EXPECT_EQ(w.cell(0, 9, 0), 1);
}

TEST(AccompGrid, VoicingTakesDegreesFromTheRowValues) {
    auto state = gridState({});
    const std::array<int, 14> rows = voiceChord(*state, test::cMajor7(384), grid::kHarmonyBlock);
    const std::array<int, 14> expected = {57, 59, 60, 62, 64, 65, 67, 69, 71, 72, 74, 76, 77, 79};
    EXPECT_EQ(rows, expected);

    // A chord without a seventh leaves the seventh rows silent.
    const std::array<int, 14> triad = voiceChord(*state, test::fMajor(384), grid::kHarmonyBlock);
    EXPECT_EQ(triad[1], 0);
    EXPECT_EQ(triad[8], 0);
    EXPECT_EQ(triad[2], 65);

    // Notes whose weight is below the threshold go down a semitone.
    state->voicingThreshold = 10;
    const std::array<int, 14> lowered = voiceChord(*state, test::cMajor7(384), grid::kHarmonyBlock);
    if (lowered[2] != 60) {
        EXPECT_EQ(lowered[2], 59); // only when the weight table knows the chord
    }
}

TEST(AccompGrid, TiedStepsSoundOnceWithTheirGap) {
    auto state = gridState({test::cMajor7(384)});
    StyleRecord& s = state->style;
    s.cell(0, 2, 3) = 1;
    s.cell(0, 5, 3) = 1;
    s.tie(0, 4) = 1;
    normaliseGrid(s);
    const auto notes = playPart3(*state);
    ASSERT_EQ(notes.size(), 2u);
    for (const auto& n : notes) {
        EXPECT_EQ(n.at, 3 * 24);
        EXPECT_EQ(n.length, 30);
        EXPECT_EQ(n.velocity, 64);
    }
    EXPECT_EQ(notes[0].note, 60);
    EXPECT_EQ(notes[1].note, 65);

    // The next emission (a rest) comes 30 + 18 ticks later.
    std::vector<MidiTrackData> tracks;
    buildAccompanimentPart(*state, 3, 47, 100, tracks);
    const MidiTrackData& t = tracks.back();
    const std::vector<int> times = absoluteTimes(t);
    for (int i = 0; i + 1 < t.count(); ++i)
        if (t.event(i).velocity > 0 && t.event(i + 1).kind == kConnectedNote &&
            t.event(i + 1).velocity == 0) {
            EXPECT_EQ(times[static_cast<std::size_t>(i + 1)] - times[static_cast<std::size_t>(i)], 48);
            break;
        }
}

TEST(AccompGrid, StrummedStepsAreTwoTicksApart) {
    auto state = gridState({test::cMajor7(384)});
    StyleRecord& s = state->style;
    for (int row : {2, 4, 6, 9})
        s.cell(0, row, 0) = 1;
    s.trailer(8) = 1;
    const auto notes = playPart3(*state);
    ASSERT_EQ(notes.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(notes[static_cast<std::size_t>(i)].at, 2 * i);
        EXPECT_EQ(notes[static_cast<std::size_t>(i)].length, 15 - 2 * i);
    }
}

TEST(AccompGrid, StepsRestartAtEachChordUnlessTheyRunOn) {
    auto state = gridState({test::cMajor7(48), test::g7(48)});
    StyleRecord& s = state->style;
    s.cell(0, 2, 0) = 1;
    s.cell(0, 4, 2) = 1;
    const auto restart = playPart3(*state);
    ASSERT_EQ(restart.size(), 2u);
    EXPECT_EQ(restart[1].at, 48);
    EXPECT_EQ(restart[1].note, 67); // G's root on the restarted step 0

    s.trailer(4) = 1;
    const auto runOn = playPart3(*state);
    ASSERT_EQ(runOn.size(), 2u);
    EXPECT_EQ(runOn[1].at, 48);
    EXPECT_EQ(runOn[1].note, 71); // step 2: G's third
}

TEST(AccompGrid, SecondVariantAlternatesBarsAndThirdPlaysLegato) {
    auto state = gridState({test::cMajor7(768)});
    StyleRecord& s = state->style;
    s.cell(0, 2, 0) = 1;
    s.cell(4, 6, 0) = 1;
    s.trailer(0) = 1;
    const auto twoBars = playPart3(*state);
    ASSERT_EQ(twoBars.size(), 2u);
    EXPECT_EQ(twoBars[0].note, 60);
    EXPECT_EQ(twoBars[1].at, 384);
    EXPECT_EQ(twoBars[1].note, 67);

    s.trailer(0) = 2;
    s.tie(0, 1) = 1;
    const auto legato = playPart3(*state);
    ASSERT_EQ(legato.size(), 2u);
    EXPECT_EQ(legato[0].length, 46);
    EXPECT_GT(legato[0].velocity, 64);
}

TEST(AccompGrid, SevenEightInTripletFeelIsReported) {
    auto state = gridState({test::cMajor7(336)});
    state->style.meter = 2;
    state->style.feel = 3;
    state->style.cell(0, 2, 0) = 1;
    test::CollectReports reports;
    const auto notes = playPart3(*state);
    EXPECT_TRUE(reports.sawCode(errc::engine::kClassBits | errc::engine::kBeatMismatch));
    // Nine steps of 32 ticks: step 0 comes again after 288 ticks.
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1].at, 288);
    EXPECT_EQ(notes[1].length, 23);
}

TEST(AccompGrid, OtherPartsPlayTheSecondBlock) {
    auto state = gridState({test::cMajor7(384)});
    state->style.programs[kPartAccompaniment2] = 48;
    state->style.cell(0, 2, 0) = 1;
    state->style.cell(1, 4, 8) = 1;
    std::vector<MidiTrackData> tracks;
    buildAccompanimentPart(*state, 7, 47, 100, tracks);
    const auto notes = soundingNotes(tracks.back());
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].at, 8 * 24);
    EXPECT_EQ(notes[0].note, 64);
    EXPECT_EQ(notes[0].channel, 7);
}

} // namespace
} // namespace harmolin
