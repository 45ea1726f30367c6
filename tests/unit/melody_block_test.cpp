#include "base/ErrorCodes.h"
#include "engine/Melody.h"
#include "melody_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace harmolin {
namespace {

using test::chordList;
using test::melodyState;
using test::notesOf;
using test::totalLength;

bool isTriadTone(const char* code, int note) {
    const int root = rootPitchClass(code[0]);
    const int third = root + (code[1] == 'm' ? 3 : 4);
    const int pc = note % 12;
    return pc == root % 12 || pc == third % 12 || pc == (root + 7) % 12;
}

TEST(MelodyBlock, PipelineMelodyOverAProgressionStaysInRangeOnChordTonesAndMostlySteps) {
    const char* codes[4] = {"CMPd", "AmPd", "FMPd", "GMPd"};
    int notes = 0, longNotes = 0, longOnChord = 0, moves = 0, smallMoves = 0, endings = 0, endingsOnChord = 0;
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        auto state = melodyState(seed);
        const EventList chords =
            chordList({{384, codes[0]}, {384, codes[1]}, {384, codes[2]}, {384, codes[3]}});
        for (int block = 0; block < 50; ++block) {
            EventList melody;
            ASSERT_TRUE(writeBlockMelody(*state, 1, kPartMelody, chords, melody));
            ASSERT_EQ(totalLength(melody), 4 * 384);
            int prev = 0;
            int chordEnd = 0, position = 0, chord = -1;
            for (const auto& n : notesOf(melody)) {
                if (n.chord != chord) {
                    chord = n.chord;
                    chordEnd += 384;
                }
                position += n.length;
                if (n.pitch == 0) continue;
                ++notes;
                ASSERT_GE(n.pitch, 56);
                ASSERT_LE(n.pitch, 70);
                if (n.length >= 96) {
                    ++longNotes;
                    longOnChord += isTriadTone(codes[n.chord], n.pitch);
                }
                if (position == chordEnd) {
                    ++endings;
                    endingsOnChord += isTriadTone(codes[n.chord], n.pitch);
                }
                if (prev != 0) {
                    ++moves;
                    smallMoves += std::abs(n.pitch - prev) <= 4;
                }
                prev = n.pitch;
            }
        }
    }
    ASSERT_GT(notes, 1000);
    EXPECT_GT(longOnChord, longNotes * 9 / 10) << longOnChord << " of " << longNotes;
    EXPECT_GT(endingsOnChord, endings * 8 / 10) << endingsOnChord << " of " << endings;
    EXPECT_GT(smallMoves, moves * 8 / 10) << smallMoves << " of " << moves;
}

// A pentatonic scale without E and B over chords that have them: the
// chord-tone steps must not land on the notes the scale forbids.
TEST(MelodyBlock, NotesTheScaleForbidsMoveToItsTones) {
    int notes = 0;
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
        auto state = melodyState(seed);
        state->style.scaleNumber = 4; // C D F G A
        buildChordScaleTable(*state);
        const EventList chords = chordList({{384, "CMPd"}, {384, "EmPd"}, {384, "GMPd"}, {384, "CMPd"}});
        for (int block = 0; block < 30; ++block) {
            EventList melody;
            ASSERT_TRUE(writeBlockMelody(*state, 1, kPartMelody, chords, melody));
            ASSERT_EQ(totalLength(melody), 4 * 384);
            for (const auto& n : notesOf(melody)) {
                if (n.pitch == 0) continue;
                ++notes;
                EXPECT_NE(n.pitch % 12, 4) << n.pitch;
                EXPECT_NE(n.pitch % 12, 11) << n.pitch;
                EXPECT_GE(n.pitch, 56);
                EXPECT_LE(n.pitch, 70);
            }
        }
    }
    EXPECT_GT(notes, 500);
}

TEST(MelodyBlock, ChordControlByteFramesEveryChord) {
    auto state = melodyState(41);
    state->style.mixer[kPartMelody][kMixChordControl] = 5;
    const EventList chords = chordList({{384, "CMPd"}, {384, "FMPd"}, {384, "GMPd"}});
    EventList melody;
    EXPECT_TRUE(writeBlockMelody(*state, 1, kPartMelody, chords, melody));
    std::vector<int> controls;
    int chordEvents = 0;
    for (const EngineEvent& e : melody) {
        if (e.kind == kEngineChord) {
            ++chordEvents;
            continue;
        }
        if (e.kind != kEngineControl) continue;
        EXPECT_EQ(e.length, 0);
        controls.push_back(e.value);
    }
    EXPECT_EQ(chordEvents, 3);
    EXPECT_EQ(controls, (std::vector<int>{5, 0, 5, 0, 5, 0}));
    ASSERT_GT(melody.count(), 0);
    EXPECT_EQ(melody[0].kind, kEngineControl);
    EXPECT_EQ(melody[melody.count() - 1].kind, kEngineControl);
}

TEST(MelodyBlock, RepeatedChordLengthReusesLengthsNoteByNote) {
    auto state = melodyState(43);
    auto& a = state->style.sectionA();
    a[kMelLengthRepeat] = 2;
    a[kMelIntervalRepeat] = 2;
    state->style.scaleNumber = 2; // no ornaments that split notes
    const EventList chords = chordList({{384, "CMPd"}, {192, "FMPd"}, {384, "GMPd"}, {192, "CMPd"}});
    for (int round = 0; round < 50; ++round) {
        EventList melody;
        EXPECT_TRUE(writeBlockMelody(*state, 1, kPartMelody, chords, melody));
        std::vector<std::vector<int>> lengths(4);
        for (const auto& n : notesOf(melody))
            lengths[static_cast<std::size_t>(n.chord)].push_back(n.length);
        EXPECT_EQ(lengths[2], lengths[0]);
        EXPECT_EQ(lengths[3], lengths[1]);
    }
}

TEST(MelodyBlock, RestSwitchMakesAtMostFourRestsInARow) {
    auto state = melodyState(47);
    auto& a = state->style.sectionA();
    a[kMelPitchMethod] = 7; // one pitch: every rest comes from the rest switch
    a[kMelRestSwitch] = 1;
    const EventList chords = chordList({{768, "CMPd"}, {768, "GMPd"}});
    int longest = 0, run = 0, rests = 0;
    for (int round = 0; round < 300; ++round) {
        EventList melody;
        EXPECT_TRUE(writeBlockMelody(*state, 1, kPartMelody, chords, melody));
        for (const auto& n : notesOf(melody)) {
            if (n.pitch == 0) {
                ++rests;
                longest = std::max(longest, ++run);
            } else {
                EXPECT_EQ(n.pitch, 63);
                run = 0;
            }
        }
    }
    EXPECT_GT(rests, 100);
    EXPECT_EQ(longest, 4);
}

TEST(MelodyBlock, PerChordRhythmLendsHalfABeatToTheNextChord) {
    auto state = melodyState(53);
    state->style.sectionA()[kMelPartMode] = 9;
    const EventList chords = chordList({{384, "CMPd"}, {384, "AmPd"}, {384, "FMPd"}, {384, "GMPd"}});
    bool sawLonger = false;
    for (int round = 0; round < 50; ++round) {
        EventList melody;
        EXPECT_TRUE(writeBlockMelody(*state, 1, kPartMelody, chords, melody));
        EXPECT_EQ(totalLength(melody), 4 * 384);
        std::vector<int> perChord(4);
        for (const auto& n : notesOf(melody))
            perChord[static_cast<std::size_t>(n.chord)] += n.length;
        for (int sum : perChord) {
            EXPECT_TRUE(sum == 384 || sum == 432 || sum == 336) << sum;
            sawLonger |= sum == 432;
        }
        EXPECT_NE(perChord[3], 432) << "the block's last chord keeps its own length";
    }
    EXPECT_TRUE(sawLonger);
}

TEST(MelodyBlock, UnknownPitchMethodIsReportedAndTheBlockKeepsItsTime) {
    test::CollectReports reports;
    auto state = melodyState(59);
    state->style.sectionA()[kMelPitchMethod] = 8;
    const EventList chords = chordList({{384, "CMPd"}, {384, "GMPd"}});
    EventList melody;
    EXPECT_TRUE(writeBlockMelody(*state, 1, kPartMelody, chords, melody));
    EXPECT_TRUE(reports.sawCode(errc::engine::kClassBits | errc::engine::kAlgorithmSelection));
    EXPECT_EQ(totalLength(melody), 768);
    for (const auto& n : notesOf(melody))
        EXPECT_EQ(n.pitch, 0);
}

TEST(MelodyBlock, ThreeFourChordOfTheWrongLengthIsReported) {
    test::CollectReports reports;
    auto state = melodyState(61);
    state->style.meter = 1;
    EventList melody;
    (void)writeBlockMelody(*state, 1, kPartMelody, chordList({{384, "CMPd"}}),
                           melody); // only the report is checked
    EXPECT_TRUE(reports.sawCode(errc::engine::kClassBits | errc::engine::kThreeFour));
    EXPECT_EQ(totalLength(melody), 384);
    test::CollectReports none;
    state->style.chordMode = 8;
    EventList free;
    EXPECT_TRUE(writeBlockMelody(*state, 1, kPartMelody, chordList({{384, "CMPd"}}), free));
    EXPECT_TRUE(none.lines.empty());
}

// A tune of blocks for the whole-tune writers.
void makeTune(CompositionState& state, int blocks) {
    state.tune.clear();
    state.tune.blockCount = blocks;
    for (int b = 1; b <= blocks; ++b) {
        EventList& chords = state.tune.block(b).chords;
        for (const char* code : {"CMPd", "AmPd", "FMPd", "GMPd", "CMPd", "GMPd"})
            chords.appendChord(384, ChordCode(code));
    }
}

TEST(MelodyBlock, ComposeMelodyCalmsModeTwoInTheSecondHalfAndRestoresIt) {
    auto state = melodyState(67);
    auto& a = state->style.sectionA();
    a[kMelPartMode] = 2;
    a[kMelPitchMethod] = 7;
    makeTune(*state, 6);
    composeMelody(*state, kPartMelody);
    EXPECT_EQ(a[kMelPartMode], 2);
    // Mode 2 never draws a sixteenth on the beat; mode 1 does.
    for (int b = 1; b <= 6; ++b) {
        int sixteenths = 0;
        for (const auto& n : notesOf(state->tune.block(b).melody))
            sixteenths += n.length == 24;
        EXPECT_EQ(totalLength(state->tune.block(b).melody), 6 * 384);
        if (b <= 4) {
            EXPECT_EQ(sixteenths, 0) << "block " << b;
        } else {
            EXPECT_GT(sixteenths, 0) << "block " << b;
        }
    }
}

TEST(MelodyBlock, ComposeLineWritesEveryBlockIntoItsOwnList) {
    auto state = melodyState(71);
    state->style.melodySettings[4] = state->style.sectionA();
    state->style.melodySettings[4][kMelHighest] = 79;
    state->style.melodySettings[4][kMelLowest] = 55;
    makeTune(*state, 3);
    std::vector<EventList> lines;
    composeLine(*state, 4, lines);
    ASSERT_EQ(lines.size(), 3u);
    for (const EventList& line : lines) {
        EXPECT_EQ(totalLength(line), 6 * 384);
        for (const auto& n : notesOf(line))
            if (n.pitch != 0) {
                EXPECT_GE(n.pitch, 55);
                EXPECT_LE(n.pitch, 79);
            }
    }
    for (int b = 1; b <= 3; ++b)
        EXPECT_EQ(state->tune.block(b).melody.count(), 0) << "the melody's lists stay untouched";
}

} // namespace
} // namespace harmolin
