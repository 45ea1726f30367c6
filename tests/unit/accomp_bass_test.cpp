// Bass lines: the track's set-up, the dispatch and the generators.
#include "accomp_fixture.h"
#include "engine/accompaniment/Accompaniment.h"

#include <gtest/gtest.h>

#include <set>

namespace harmolin {
namespace {

using test::accompState;
using test::PlacedNote;
using test::soundingNotes;

std::unique_ptr<CompositionState> bassState(int pattern, std::vector<ChordRecord> chords, int feel = 0) {
    auto state = accompState();
    state->style.programs[kPartBass] = 32;
    state->style.bassPattern = pattern;
    state->style.feel = feel;
    state->tune.songChords = std::move(chords);
    return state;
}

std::vector<PlacedNote> bassNotes(CompositionState& state) {
    std::vector<MidiTrackData> tracks;
    writeBassTrack(state, tracks);
    return tracks.empty() ? std::vector<PlacedNote>{} : soundingNotes(tracks[0]);
}

TEST(AccompBass, PulsingRootDoublesEveryOtherUnit) {
    auto state = bassState(1, {test::cMajor7(768)});
    auto notes = bassNotes(*state);
    ASSERT_EQ(notes.size(), 6u);
    const std::vector<std::pair<int, int>> expected = {{0, 36},   {0, 48},   {192, 36},
                                                       {384, 36}, {384, 48}, {576, 36}};
    for (std::size_t i = 0; i < notes.size(); ++i) {
        EXPECT_EQ(notes[i].at, expected[i].first);
        EXPECT_EQ(notes[i].note, expected[i].second);
        EXPECT_EQ(notes[i].length, 188);
    }

    state->tune.songChords = {test::cMajor7(288)};
    notes = bassNotes(*state);
    ASSERT_EQ(notes.size(), 5u);
    for (const auto& n : notes)
        EXPECT_EQ(n.length, 94);
    EXPECT_EQ(notes[4].at, 192);
    EXPECT_EQ(notes[4].note, 48);

    // Under block chords in straight feel the unit is an eighth.
    state->style.part3Pattern = 4;
    EXPECT_EQ(bassNotes(*state)[0].length, 47);
}

TEST(AccompBass, PedalHoldsTheFirstChordsBass) {
    auto state = bassState(2, {test::cMajor7(384), test::g7(200), test::aMinor7(96)});
    const auto notes = bassNotes(*state);
    for (const auto& n : notes)
        EXPECT_EQ(n.note, 36);
    ASSERT_EQ(notes.size(), 2u + 2u + 1u);
    EXPECT_EQ(notes[0].length, 192);
    EXPECT_EQ(notes[1].length, 189);
    EXPECT_EQ(notes[2].at, 384);
    EXPECT_EQ(notes[3].length, 5);
    EXPECT_EQ(notes[4].length, 93);
}

TEST(AccompBass, UnknownPatternKeepsOnlyTheSetUp) {
    for (int pattern : {0, 24}) {
        auto state = bassState(pattern, {test::cMajor7(384)});
        test::CollectReports reports;
        std::vector<MidiTrackData> tracks;
        writeBassTrack(*state, tracks);
        ASSERT_EQ(tracks.size(), 1u);
        EXPECT_TRUE(reports.saw("ZNRCFF010027 backing pattern error!"));
        EXPECT_TRUE(soundingNotes(tracks[0]).empty());
        EXPECT_EQ(tracks[0].event(0).kind, kProgramChange);
    }
    auto off = bassState(1, {test::cMajor7(384)});
    off->style.programs[kPartBass] = kNoProgram;
    std::vector<MidiTrackData> tracks;
    writeBassTrack(*off, tracks);
    EXPECT_TRUE(tracks.empty());
}

TEST(AccompBass, RootAndFifthAlternate) {
    auto state = bassState(3, {test::cMajor7(288)});
    const auto notes = bassNotes(*state);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].note, 36);
    EXPECT_EQ(notes[1].note, 43);
    EXPECT_EQ(notes[2].note, 36);
}

TEST(AccompBass, ShufflePickUpFiguresFillEachChord) {
    auto state = bassState(11, {test::cMajor7(384), test::g7(768), test::cMajor7(100)}, 3);
    const auto notes = bassNotes(*state);
    ASSERT_GE(notes.size(), 13u);
    EXPECT_EQ(notes[0].length, 286);
    const std::vector<std::pair<int, int>> figure = {{288, 36}, {320, 38}, {352, 64 - 24}};
    for (std::size_t i = 0; i < figure.size(); ++i) {
        EXPECT_EQ(notes[i + 1].at, figure[i].first);
        EXPECT_EQ(notes[i + 1].note, figure[i].second);
        EXPECT_EQ(notes[i + 1].length, 30);
    }
    EXPECT_EQ(notes[4].at, 384);
    EXPECT_EQ(notes[8].at, 384 + 384);
    EXPECT_EQ(notes[12].at, 1152);
    EXPECT_EQ(notes[12].length, 98);

    // Straight feel: every eighth.
    auto straight = bassState(11, {test::cMajor7(384)});
    EXPECT_EQ(bassNotes(*straight).size(), 8u);
}

TEST(AccompBass, TwoLowNotesAndSparseLines) {
    auto state = bassState(21, {test::cMajor7(384), test::g7(250), test::cMajor7(384)});
    const auto notes = bassNotes(*state);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes[0].note, 45);
    for (const auto& n : notes) {
        EXPECT_TRUE(n.note == 45 || n.note == 43);
        EXPECT_TRUE(n.length == 96 || n.length == 192 || n.length == 55) << n.length;
    }

    auto sparse = bassState(23, {test::cMajor7(384), test::g7(384), test::cMajor7(384), test::g7(384)});
    const auto sparseNotes = bassNotes(*sparse);
    std::set<int> starts;
    for (const auto& n : sparseNotes) {
        EXPECT_EQ(n.length, 47);
        starts.insert(n.at - n.at % 384);
        if (n.velocity == 80) {
            EXPECT_EQ((n.at / 384) % 2, 1);
        }
    }
    EXPECT_EQ(starts.size(), 4u);
}

TEST(AccompBass, GridBassPlaysTheBassVoicing) {
    auto state = bassState(20, {test::cMajor7(384)});
    state->style.cell(grid::kBassBlock, 2, 0) = 1;
    state->style.cell(grid::kBassBlock, 6, 8) = 1;
    state->style.cell(grid::kBassBlock, 9, 12) = 1;
    const auto notes = bassNotes(*state);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].note, 36);
    EXPECT_EQ(notes[1].note, 43);
    EXPECT_EQ(notes[1].at, 192);
    EXPECT_EQ(notes[2].note, 48);
    EXPECT_EQ(notes[0].length, 15);
}

TEST(AccompBass, WalkingLineApproachesEachRootAndEndsOnIt) {
    auto state = bassState(
        6, {test::cMajor7(384), test::aMinor7(384), test::fMajor(384), test::g7(384), test::cMajor7(384)});
    const auto notes = bassNotes(*state);
    ASSERT_FALSE(notes.empty());
    for (const auto& n : notes) {
        EXPECT_EQ(n.velocity, 104);
        EXPECT_GE(n.note, 24);
        EXPECT_LE(n.note, 60);
    }
    // The last beat of each of the first chords leads to the next root from
    // two, three or five semitones below.
    const int nextRoots[3] = {9, 5, 7};
    for (int chord = 0; chord < 3; ++chord) {
        for (const auto& n : notes)
            if (n.at == 384 * chord + 288) {
                const int below = ((nextRoots[chord] - n.note) % 12 + 12) % 12;
                EXPECT_TRUE(below == 2 || below == 3 || below == 5) << below;
            }
    }
    // The closing run reaches the last root from a semitone below and holds it.
    EXPECT_EQ(notes.back().at, 4 * 384);
    EXPECT_EQ(notes.back().note % 12, 0);
    EXPECT_EQ(notes.back().length, 380);
    EXPECT_EQ(notes[notes.size() - 2].note % 12, 11);
}

TEST(AccompBass, OctaveShiftMovesTheLine) {
    auto state = bassState(1, {test::cMajor7(288)});
    state->style.octaveShift[kPartBass] = 1;
    EXPECT_EQ(bassNotes(*state)[0].note, 48);
}

TEST(AccompBass, EveryPatternStaysInsideTheSong) {
    const std::vector<ChordRecord> chords = {test::cMajor7(384), test::aMinor7(192), test::fMajor(192),
                                             test::g7(768), test::cMajor7(384)};
    for (int meter : {0, 1, 2}) {
        for (int feel : {0, 3}) {
            for (int pattern = 1; pattern <= 23; ++pattern) {
                auto state = bassState(pattern, chords, feel);
                state->style.meter = meter;
                state->style.cell(grid::kBassBlock, 2, 0) = 1;
                test::CollectReports reports;
                const auto notes = bassNotes(*state);
                EXPECT_TRUE(reports.lines.empty()) << pattern;
                ASSERT_FALSE(notes.empty()) << pattern;
                const int total = test::songLength(*state);
                for (const auto& n : notes) {
                    EXPECT_EQ(n.channel, 2);
                    EXPECT_GE(n.note, 13);
                    EXPECT_LE(n.at + n.length, total) << "pattern " << pattern << " at " << n.at;
                }
            }
        }
    }
}

} // namespace
} // namespace harmolin
