// Harmony parts 3 and 7: the part build, the pattern dispatch and the
// generators written out in full (arpeggio, block chords, broken chords).
#include "accomp_fixture.h"
#include "engine/accompaniment/Accompaniment.h"
#include "midi/MidiTrackEdit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace harmolin {
namespace {

using test::accompState;
using test::PlacedNote;
using test::soundingNotes;

std::unique_ptr<CompositionState> harmonyState(int feel, int meter, std::vector<ChordRecord> chords) {
    auto state = accompState();
    state->style.programs[kPartHarmony] = 0;
    state->style.programs[kPartAccompaniment2] = 48;
    state->style.feel = feel;
    state->style.meter = meter;
    state->tune.songChords = std::move(chords);
    return state;
}

std::vector<MidiTrackData> build(CompositionState& state, int part, int pattern, int percent = 100) {
    std::vector<MidiTrackData> tracks;
    buildAccompanimentPart(state, part, pattern, percent, tracks);
    return tracks;
}

TEST(AccompPatterns, UnknownPatternsReportAndLeaveTheTrackEmpty) {
    for (int pattern : {48, 0, 61, -3}) {
        auto state = harmonyState(0, 0, {test::cMajor7(384)});
        test::CollectReports reports;
        auto tracks = build(*state, 3, pattern);
        ASSERT_EQ(tracks.size(), 1u) << pattern;
        EXPECT_TRUE(reports.saw("ZNRCFF010027 backing pattern error!")) << pattern;
        EXPECT_TRUE(soundingNotes(tracks[0]).empty()) << pattern;
    }
}

TEST(AccompPatterns, UnusedPartMakesNoTrack) {
    auto state = harmonyState(0, 0, {test::cMajor7(384)});
    state->style.programs[kPartHarmony] = kNoProgram;
    EXPECT_TRUE(build(*state, 3, 3).empty());
}

TEST(AccompPatterns, LeadInRestAndOctaveShift) {
    auto state = harmonyState(0, 1, {test::cMajor7(288)});
    state->writeFile = true;
    state->style.octaveShift[kPartHarmony] = -1;
    auto tracks = build(*state, 3, 3);
    ASSERT_EQ(tracks.size(), 1u);
    const std::vector<int> times = absoluteTimes(tracks[0]);
    int firstNote = -1;
    for (int i = 0; i < tracks[0].count(); ++i)
        if (tracks[0].event(i).kind == kConnectedNote && tracks[0].event(i).velocity > 0) {
            firstNote = i;
            break;
        }
    ASSERT_GE(firstNote, 0);
    EXPECT_EQ(times[static_cast<std::size_t>(firstNote)], 288); // one 3/4 bar in
    EXPECT_EQ(tracks[0].event(firstNote).note, 60 - 12);        // the root, an octave down
}

// Every pattern number a style may name must give notes that stay inside the
// song and sound on the part's channel, whatever the metre and feel.
TEST(AccompPatterns, EveryPatternNumberPlaysInsideTheSong) {
    const std::vector<ChordRecord> chords = {test::cMajor7(384), test::aMinor7(192),
                                             test::fMajor(192),  test::g7(768),
                                             test::cMajor7(96),  test::handChord(384, 0, 0, 0, 0, "NoCd")};
    for (int meter : {0, 1, 2}) {
        for (int feel : {0, 3}) {
            if (meter == 2 && feel == 3) continue; // reported as a metre mismatch by the grid
            for (int pattern = 1; pattern <= 60; ++pattern) {
                if (pattern == 48) continue;
                auto state = harmonyState(feel, meter, chords);
                test::CollectReports reports;
                auto tracks = build(*state, 7, pattern, 60);
                ASSERT_EQ(tracks.size(), 1u);
                const auto notes = soundingNotes(tracks[0]);
                const int total = test::songLength(*state);
                EXPECT_TRUE(reports.lines.empty()) << pattern;
                if (pattern != 47) {
                    EXPECT_FALSE(notes.empty()) << "pattern " << pattern << " meter " << meter;
                }
                for (const PlacedNote& n : notes) {
                    EXPECT_EQ(n.channel, 7);
                    EXPECT_GE(n.note, 13);
                    EXPECT_LE(n.note, 127);
                    EXPECT_GE(n.at, 0);
                    EXPECT_LE(n.at + n.length, total + 8) << "pattern " << pattern << " at " << n.at;
                }
            }
        }
    }
}

TEST(AccompPatterns, ArpeggioInTripletFeelWalksRootThirdFifthSeventh) {
    auto state = harmonyState(3, 0, {test::cMajor7(384), test::g7(384)});
    const auto notes = soundingNotes(build(*state, 3, 3)[0]);
    ASSERT_EQ(notes.size(), 24u);
    const int expected[6] = {60, 64, 67, 71, 67, 64};
    for (int j = 0; j < 12; ++j) {
        EXPECT_EQ(notes[static_cast<std::size_t>(j)].at, 32 * j);
        EXPECT_EQ(notes[static_cast<std::size_t>(j)].note, expected[j % 6]);
        EXPECT_EQ(notes[static_cast<std::size_t>(j)].length, 30);
    }
    EXPECT_EQ(notes[12].at, 384);
    EXPECT_EQ(notes[12].note, 67); // the step count restarts on the next chord
}

TEST(AccompPatterns, StraightArpeggioOpensOnTheRootOnlyWithoutBass) {
    auto state = harmonyState(0, 0, {test::cMajor7(384)});
    state->style.programs[kPartBass] = 32;
    const auto withBass = soundingNotes(build(*state, 3, 3)[0]);
    ASSERT_EQ(withBass.size(), 8u);
    const int expected[8] = {71, 67, 64, 67, 71, 64, 67, 71};
    for (int j = 0; j < 8; ++j) {
        EXPECT_EQ(withBass[static_cast<std::size_t>(j)].note, expected[j]);
        EXPECT_EQ(withBass[static_cast<std::size_t>(j)].length, 47);
    }
    state->style.programs[kPartBass] = kNoProgram;
    EXPECT_EQ(soundingNotes(build(*state, 3, 3)[0])[0].note, 60);
}

// Hits of the triplet block chords, grouped by start.
std::map<int, std::vector<int>> chordsByStart(const std::vector<PlacedNote>& notes) {
    std::map<int, std::vector<int>> hits;
    for (const PlacedNote& n : notes)
        hits[n.at].push_back(n.note);
    return hits;
}

TEST(AccompPatterns, TripletBlockChordsFillEachChordWithLeadingVoices) {
    // C7 with its seventh low and third high, then G7 whose seventh jumps up
    // and whose third falls: the first hit of G7 brings both back.
    const ChordRecord c7 = test::handChord(384, 60, 76, 67, 70, "CMPs");
    const ChordRecord g7 = test::handChord(384, 67, 71, 74, 77, "GMPs");
    int checked = 0;
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        auto state = harmonyState(3, 0, {c7, g7});
        state->style.programs[kPartBass] = 0;
        state->rng.seed(seed);
        const auto notes = soundingNotes(build(*state, 3, 4)[0]);
        for (const PlacedNote& n : notes) {
            const int chordEnd = n.at < 384 ? 384 : 768;
            EXPECT_LE(n.at + n.length, chordEnd) << "seed " << seed;
        }
        const auto hits = chordsByStart(notes);
        ASSERT_TRUE(hits.count(384)) << "seed " << seed;
        const std::vector<int>& first = hits.at(384);
        if (first.size() == 3) {
            ++checked;
            EXPECT_EQ(first[0], 83); // third raised
            EXPECT_EQ(first[1], 74);
            EXPECT_EQ(first[2], 65); // seventh lowered
        }
    }
    EXPECT_GT(checked, 0);
}

TEST(AccompPatterns, StraightBlockChordsChooseTheirGeneratorByPercentage) {
    auto state = harmonyState(0, 0, {test::cMajor7(384)});
    const auto busy = chordsByStart(soundingNotes(build(*state, 3, 4, 90)[0]));
    EXPECT_EQ(busy.size(), 8u);
    for (const auto& [at, notes] : busy)
        EXPECT_EQ(at % 48, 0);
    const auto calm = chordsByStart(soundingNotes(build(*state, 3, 4, 50)[0]));
    EXPECT_LE(calm.size(), 4u);
    EXPECT_GE(calm.size(), 2u);
}

TEST(AccompPatterns, BrokenChordsAreTwelveStepFiguresOrRolledQuarters) {
    auto state =
        harmonyState(0, 0, {test::cMajor7(768), test::g7(768), test::aMinor7(768), test::fMajor(768)});
    const auto notes = soundingNotes(build(*state, 3, 22)[0]);
    ASSERT_FALSE(notes.empty());
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const PlacedNote& n = notes[i];
        const int offset = n.at % 96;
        if (n.velocity == 44) {
            // A roll: third, fifth and root 2 ticks apart, short or long.
            EXPECT_TRUE(offset == 0 || offset == 2 || offset == 4);
            const int shortLength = 16 - offset;
            const int longLength = 94 - offset;
            EXPECT_TRUE(n.length == shortLength || n.length == longLength) << n.length;
        } else {
            EXPECT_TRUE(n.velocity == 64 || n.velocity == 49);
            EXPECT_EQ(n.at % 48, 0);
            EXPECT_EQ(n.length, 46);
            const int step = (n.at % 768) / 48 % 12;
            EXPECT_TRUE(step >= 1 && step <= 7) << step;
            EXPECT_EQ(n.velocity == 49, step == 7);
        }
    }
}

} // namespace
} // namespace harmolin
