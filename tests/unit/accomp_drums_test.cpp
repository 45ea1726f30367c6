// The drum part: builder, dispatch, step codes per kit, the step player and
// the generators written out in full.
#include "accomp_fixture.h"
#include "engine/accompaniment/Accompaniment.h"
#include "engine/accompaniment/DrumsPlayer.h"
#include "engine/accompaniment/PartSetup.h"
#include "midi/MidiTrackEdit.h"

#include <gtest/gtest.h>

#include <map>

namespace harmolin {
namespace {

using accomp::kDrumChannel;
using accomp::playDrumStep;
using accomp::playStepPattern;
using test::accompState;
using test::soundingNotes;

std::unique_ptr<CompositionState> drumState(int pattern, int kit, std::vector<ChordRecord> chords) {
    auto state = accompState();
    state->style.programs[kPartDrums] = kit;
    state->style.drumPattern = pattern;
    state->tune.songChords = std::move(chords);
    return state;
}

std::vector<MidiTrackData> buildDrums(CompositionState& state) {
    std::vector<MidiTrackData> tracks;
    buildDrumPart(state, tracks);
    return tracks;
}

// Notes of one step code, written at time 0 of a fresh track.
std::vector<test::PlacedNote> stepNotes(CompositionState& state, int code, int offset = 0) {
    MidiTrackData track = newPartTrack();
    addEngineNote(track, kDrumChannel, 0, 0, 0, 1);
    int pending = 0;
    playDrumStep(state, code, pending, 23, 1, kDrumChannel, track, offset);
    return soundingNotes(track);
}

std::multimap<int, int> notesByTime(const std::vector<test::PlacedNote>& notes) {
    std::multimap<int, int> out;
    for (const auto& n : notes)
        out.emplace(n.at, n.note);
    return out;
}

TEST(AccompDrums, BassDrumCodeDependsOnTheKit) {
    auto state = accompState();
    const std::vector<std::tuple<int, int, int>> cases = {
        {4, 36, 127}, {3, 66, 90}, {22, 36, 90}, {1, 35, 90}};
    for (const auto& [kit, note, velocity] : cases) {
        state->style.programs[kPartDrums] = kit;
        const auto notes = stepNotes(*state, 2);
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0].note, note) << kit;
        EXPECT_EQ(notes[0].velocity, velocity) << kit;
    }
}

TEST(AccompDrums, AliasCodesAndCombinations) {
    auto state = accompState();
    state->style.programs[kPartDrums] = 2;
    EXPECT_EQ(stepNotes(*state, 31)[0].note, 64);
    EXPECT_EQ(stepNotes(*state, 31)[0].velocity, 80);
    EXPECT_EQ(stepNotes(*state, 32)[0].note, 60);
    EXPECT_EQ(stepNotes(*state, 32)[0].velocity, 60);
    const auto four = stepNotes(*state, 34);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[0].note, 54);
    EXPECT_EQ(four[2].note, 40);
    for (const auto& n : four)
        EXPECT_EQ(n.at, 0);
    EXPECT_TRUE(stepNotes(*state, 6).empty());
}

TEST(AccompDrums, ClosedHatVelocityFollowsStepParity) {
    auto state = drumState(2, 2, {test::cMajor7(384)});
    for (int round = 0; round < 40; ++round) {
        MidiTrackData track = newPartTrack();
        int pending = 0;
        playStepPattern(*state, pending, 48, kDrumChannel, track, {1}, 24);
        ASSERT_EQ(track.count(), 2);
        const int even = track.event(0).velocity;
        const int odd = track.event(1).velocity;
        EXPECT_GE(even, 30);
        EXPECT_LE(even, 49);
        EXPECT_GE(odd, 15);
        EXPECT_LE(odd, 30);
    }
}

TEST(AccompDrums, BadStepCodeIsReportedAndKeepsTheDelta) {
    auto state = accompState();
    MidiTrackData track = newPartTrack();
    int pending = 17;
    test::CollectReports reports;
    playDrumStep(*state, 53, pending, 23, 1, kDrumChannel, track, 0);
    playDrumStep(*state, 0, pending, 23, 1, kDrumChannel, track, 0);
    EXPECT_TRUE(reports.saw("ZNRCFF010002 Drum sound error!"));
    EXPECT_EQ(pending, 17);
    EXPECT_EQ(track.count(), 0);
}

TEST(AccompDrums, SplitStepStrikesTwiceWithinItsLength) {
    auto state = accompState();
    state->style.programs[kPartDrums] = 2;
    MidiTrackData track = newPartTrack();
    addEngineNote(track, kDrumChannel, 0, 0, 0, 1);
    int pending = 0;
    playDrumStep(*state, 50, pending, 47, 1, kDrumChannel, track, 0);
    EXPECT_EQ(pending, 48 - 0 - 23);
    const auto notes = soundingNotes(track);
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(notes[0].at, 0);
    EXPECT_EQ(notes[0].length, 23);
    EXPECT_EQ(notes[2].at, 23);
    EXPECT_EQ(notes[2].length, 24);
    EXPECT_EQ(notes[1].note, 40);
    // The next step lands a whole step after the first half.
    addEngineNote(track, kDrumChannel, pending, 42, 40, 10);
    EXPECT_EQ(soundingNotes(track).back().at, 48);
}

TEST(AccompDrums, ModelPatternRestartsAtEachChord) {
    auto state = drumState(2, 2, {test::cMajor7(384), test::g7(384)});
    const auto tracks = buildDrums(*state);
    ASSERT_EQ(tracks.size(), 1u);
    const auto byTime = notesByTime(soundingNotes(tracks[0]));
    // Codes 5, 1, 1, 1, 4, ...: bass drum and hat, hats, snare and hat.
    for (int chordStart : {0, 384}) {
        EXPECT_EQ(byTime.count(chordStart), 2u);
        EXPECT_EQ(byTime.find(chordStart)->second, 36);
        EXPECT_EQ(byTime.count(chordStart + 24), 1u);
        EXPECT_EQ(byTime.find(chordStart + 96)->second, 40);
        EXPECT_EQ(byTime.find(chordStart + 192)->second, 36);
        EXPECT_EQ(byTime.find(chordStart + 288)->second, 40);
    }
    EXPECT_EQ(byTime.size(), 2u * (4 * 2 + 12));
}

TEST(AccompDrums, ChordRemainderLengthensTheLastStep) {
    auto state = drumState(2, 2, {test::cMajor7(100), test::g7(384)});
    const auto notes = soundingNotes(buildDrums(*state)[0]);
    for (const auto& n : notes)
        if (n.at == 72) {
            EXPECT_EQ(n.length, 27);
        }
    const auto byTime = notesByTime(notes);
    EXPECT_EQ(byTime.count(72), 1u);
    EXPECT_EQ(byTime.count(96), 0u);  // four steps only
    EXPECT_EQ(byTime.count(100), 2u); // the next chord starts on time
}

TEST(AccompDrums, ChordShorterThanAStepPlaysNothingButKeepsTheBar) {
    auto state = drumState(2, 2, {test::cMajor7(16), test::g7(368), test::cMajor7(384)});
    const auto notes = soundingNotes(buildDrums(*state)[0]);
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.front().at, 16);
    EXPECT_EQ(notesByTime(notes).count(384), 2u); // the third chord starts on its bar
}

TEST(AccompDrums, UnknownPatternLeavesHeaderAndLeadIn) {
    for (int pattern : {0, 39}) {
        auto state = drumState(pattern, 1, {test::cMajor7(384)});
        state->writeFile = true;
        test::CollectReports reports;
        const auto tracks = buildDrums(*state);
        ASSERT_EQ(tracks.size(), 1u);
        EXPECT_TRUE(reports.saw("ZNRCFF010001 Drum paggern error!"));
        EXPECT_TRUE(soundingNotes(tracks[0]).empty());
        EXPECT_EQ(totalLength(tracks[0]), 384); // the lead-in rest is the last event
    }
    auto off = drumState(2, kNoProgram, {test::cMajor7(384)});
    EXPECT_TRUE(buildDrums(*off).empty());
}

TEST(AccompDrums, HeaderSendsTheKitProgramOnChannelTen) {
    auto state = drumState(1, 1, {test::cMajor7(384)});
    state->style.feel = 3;
    const auto tracks = buildDrums(*state);
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].event(0).kind, kProgramChange);
    EXPECT_EQ(tracks[0].event(0).value, 40);
    for (const MusicEvent& e : tracks[0].events())
        EXPECT_EQ(e.channel, 9);
}

TEST(AccompDrums, GeneratorOneInThreeFourUsesItsVelocityCurve) {
    auto state = drumState(1, 2, {test::cMajor7(288)});
    state->style.meter = 1;
    const auto notes = soundingNotes(buildDrums(*state)[0]);
    // Step 1 is a closed hat: 40 + 32.
    for (const auto& n : notes)
        if (n.at == 48) {
            EXPECT_EQ(n.velocity, 72);
        }
    // Step 5 is the open hat; every step sounds 47 ticks.
    EXPECT_EQ(notesByTime(notes).find(240)->second, 46);
    for (const auto& n : notes)
        EXPECT_EQ(n.length, 47);
}

TEST(AccompDrums, GridRowsPlayTheirDrumCodes) {
    auto state = drumState(28, 2, {test::cMajor7(384)});
    StyleRecord& s = state->style;
    s.rowValue(grid::kDrumBlock, 9) = 19;
    s.cell(grid::kDrumBlock, 9, 0) = 1;
    s.cell(grid::kDrumBlock, 5, 0) = 1;
    s.cell(grid::kDrumBlock, 1, 4) = 1;
    const auto notes = soundingNotes(buildDrums(*state)[0]);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].note, 42);
    EXPECT_EQ(notes[0].velocity, 49);
    EXPECT_EQ(notes[1].note, 54);
    EXPECT_EQ(notes[1].velocity, 64);
    EXPECT_EQ(notes[2].at, 96);
    EXPECT_EQ(notes[2].note, 36);
    EXPECT_EQ(notes[2].length, 23);
}

TEST(AccompDrums, MarchSwingsItsOffBeatsInTripletFeel) {
    auto state = drumState(34, 2, {test::cMajor7(192)});
    auto notes = soundingNotes(buildDrums(*state)[0]);
    ASSERT_EQ(notes.size(), 6u);
    EXPECT_EQ(notes[0].note, 36);
    EXPECT_EQ(notes[1].at, 48);
    EXPECT_EQ(notes[1].note, 54);
    EXPECT_EQ(notes[2].note, 39);
    state->style.feel = 3;
    notes = soundingNotes(buildDrums(*state)[0]);
    ASSERT_EQ(notes.size(), 6u);
    EXPECT_EQ(notes[1].at, 64);
    EXPECT_EQ(notes[3].at, 96);
    EXPECT_EQ(notes[4].at, 160);
}

TEST(AccompDrums, EveryGeneratorKeepsTheBar) {
    const std::vector<ChordRecord> chords = {test::cMajor7(384), test::aMinor7(192), test::fMajor(192),
                                             test::g7(768), test::cMajor7(384)};
    for (int meter : {0, 1}) {
        for (int feel : {0, 3}) {
            for (int pattern = 1; pattern <= 38; ++pattern) {
                auto state = drumState(pattern, 2, chords);
                state->style.meter = meter;
                state->style.feel = feel;
                state->style.cell(grid::kDrumBlock, 1, 0) = 1;
                test::CollectReports reports;
                const auto tracks = buildDrums(*state);
                ASSERT_EQ(tracks.size(), 1u);
                EXPECT_TRUE(reports.lines.empty()) << pattern;
                const auto notes = soundingNotes(tracks[0]);
                ASSERT_FALSE(notes.empty()) << pattern;
                // Every chord's first step lands on the chord's start.
                const auto byTime = notesByTime(notes);
                for (int start : {0, 384, 576, 768, 1536})
                    EXPECT_EQ(byTime.count(start) > 0 || pattern == 21 || pattern == 4, true)
                        << "pattern " << pattern << " meter " << meter << " feel " << feel << " at " << start;
                const int total = test::songLength(*state);
                for (const auto& n : notes)
                    EXPECT_LE(n.at + n.length, total) << pattern;
            }
        }
    }
}

} // namespace
} // namespace harmolin
