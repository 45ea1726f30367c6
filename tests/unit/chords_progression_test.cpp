#include "chords_fixture.h"
#include "engine/ChordProgression.h"
#include "engine/EngineErrors.h"
#include "engine/patterns/PatternDatabase.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace harmolin;
using harmolin::test::chordState;
using harmolin::test::CollectReports;

namespace {

std::vector<std::string> codesOf(const EventList& chords) {
    std::vector<std::string> out;
    for (const EngineEvent& e : chords)
        out.push_back(e.code.str());
    return out;
}

std::vector<int> lengthsOf(const EventList& chords) {
    std::vector<int> out;
    for (const EngineEvent& e : chords)
        out.push_back(e.length);
    return out;
}

EventList block(CompositionState& state) {
    EventList chords;
    std::array<int, 256> work{};
    writeBlockChords(state, chords, work);
    return chords;
}

EventList ending(CompositionState& state, const char* previous) {
    EventList chords;
    std::array<int, 256> work{};
    writeEndingBlock(state, chords, ChordCode(previous), work);
    return chords;
}

std::set<int> pitchClasses(ChordCode code) {
    std::set<int> out;
    const int root = rootPitchClass(code.root());
    out.insert(root);
    out.insert((root + thirdInterval(code.third())) % 12);
    out.insert((root + fifthInterval(code.fifth())) % 12);
    if (seventhInterval(code.seventh()) >= 0) out.insert((root + seventhInterval(code.seventh())) % 12);
    return out;
}

// What the rule search of category 3 accepts: no C#, D# or A#, at most one
// F# or G#.
bool keepsToTheKey(ChordCode code) {
    const auto notes = pitchClasses(code);
    return !notes.count(1) && !notes.count(3) && !notes.count(10) && notes.count(6) + notes.count(8) <= 1;
}

} // namespace

TEST(ChordsScaleTable, SixHundredFortyEightLinesOfChordTonesAndColours) {
    auto state = chordState();
    buildChordScaleTable(*state);
    const std::string& table = state->patterns.chordScaleTable;
    ASSERT_EQ(table.size(), 648u * 19u);
    EXPECT_EQ(table.substr(0, 19), "CMPS900090090004|\r\n");
    const auto line = [&](const std::string& code) {
        const auto at = table.find(code);
        return at == std::string::npos ? std::string() : table.substr(at, 19);
    };
    EXPECT_EQ(line("DmP6"), "DmP6009009000905|\r\n");
    EXPECT_EQ(line("G4P9"), "G4P9909000090400|\r\n");
    EXPECT_EQ(line("bMAs"), "bMAs009000905090|\r\n");
    EXPECT_EQ(line("BmdS"), "BmdS009009000049|\r\n");
}

TEST(ChordsWeights, ChordMergedWithTheScale) {
    auto state = chordState();
    buildChordScaleTable(*state);
    // C major, key variant 1: "919299192929".
    EXPECT_EQ(chordNoteWeights(*state, ChordCode("NoCd")),
              (std::array<int, 12>{9, 1, 9, 2, 9, 9, 1, 9, 2, 9, 2, 9}));
    // Chord tones 9 + 9 - 4 held at 9, plain scale notes 5, B as the major seventh 4 + 9 - 4.
    EXPECT_EQ(chordNoteWeights(*state, ChordCode("CMPS")),
              (std::array<int, 12>{9, 0, 5, 0, 9, 5, 0, 9, 0, 5, 0, 9}));
    // A scale digit 0 silences even a chord tone.
    state->style.scaleNumber = 3; // "900099090009"
    const auto dm = chordNoteWeights(*state, ChordCode("DmPs"));
    EXPECT_EQ(dm[2], 0);
    EXPECT_EQ(dm[5], 9);
    EXPECT_EQ(dm[0], 9);
}

TEST(ChordsWeights, MajorScalesFollowTheChordByFifths) {
    auto state = chordState();
    buildChordScaleTable(*state);
    // D7 belongs to G major: F sharp is a chord tone, F natural is avoided.
    auto d7 = chordNoteWeights(*state, ChordCode("DMPs"));
    EXPECT_EQ(d7[6], 9);
    EXPECT_EQ(d7[5], 0);
    EXPECT_EQ(d7[11], 5);
    // B flat major seventh belongs to B flat major: B and E natural are avoided.
    auto bb = chordNoteWeights(*state, ChordCode("bMPS"));
    EXPECT_EQ(bb[10], 9);
    EXPECT_EQ(bb[9], 9);
    EXPECT_EQ(bb[11], 0);
    EXPECT_EQ(bb[4], 0);
    // Other scales are never moved.
    state->style.scaleNumber = 8;
    EXPECT_EQ(chordNoteWeights(*state, ChordCode("DMPs"))[5], 4);
    // A chord that fits no key keeps the style's own (C augmented major seventh).
    state->style.scaleNumber = 1;
    const auto aug = chordNoteWeights(*state, ChordCode("CMAS"));
    EXPECT_EQ(aug[7], 5);
    EXPECT_EQ(aug[8], 7);
    // A code without a line has no weights.
    EXPECT_EQ(chordNoteWeights(*state, ChordCode("CoCd")), (std::array<int, 12>{}));
}

TEST(ChordsWeights, ScaleAdjustmentLiftsNotesToStrongOnes) {
    auto state = chordState();
    state->style.scaleNumber = 3; // C, E, F, G, B
    buildChordScaleTable(*state);
    ChordRecord chord;
    chord.code = ChordCode("DmPd");
    chord.root = 62;
    chord.bass = 38;
    chord.third = 65;
    chord.fifth = 69;
    chord.seventh = 0;
    adjustChordToScale(*state, chord);
    EXPECT_EQ(chord.root, 65); // D and D# are outside, E is only a plain note, F is a chord tone
    EXPECT_EQ(chord.bass, 41);
    EXPECT_EQ(chord.third, 65);
    EXPECT_EQ(chord.fifth, 77); // F is the only note of weight 9
    EXPECT_EQ(chord.seventh, 0);

    // A chord without a line has nothing to move towards and stays as it is.
    ChordRecord bare;
    bare.code = ChordCode("CoCd");
    bare.root = 60;
    bare.bass = 36;
    adjustChordToScale(*state, bare);
    EXPECT_EQ(bare.root, 60);
    EXPECT_EQ(bare.bass, 36);
}

TEST(ChordsNext, DescendingCycleFromAMinor) {
    auto state = chordState(10);
    std::map<std::string, int> seen;
    const int draws = 6000;
    for (int i = 0; i < draws; ++i)
        ++seen[nextChord(*state, ChordCode("AmPs")).str()];
    ASSERT_EQ(seen.size(), 4u);
    // Two in three go straight on; the third of the time draws among four.
    EXPECT_NEAR(seen["GMPS"] / double(draws), 0.75, 0.03);
    for (const char* other : {"FMPS", "EMPs", "AmPs"})
        EXPECT_NEAR(seen[other] / double(draws), 1.0 / 12, 0.02);

    // From E the cycle closes on the key's tonic.
    for (int key : {1, 2}) {
        state->style.keyVariant = key;
        int home = 0;
        for (int i = 0; i < 3000; ++i)
            home += nextChord(*state, ChordCode("EMPs")) == ChordCode(key == 1 ? "CMPS" : "AmPs");
        EXPECT_NEAR(home / 3000.0, key == 1 ? 2.0 / 3 : 0.75, 0.03) << key;
    }
    // From a root outside the cycle only the four draws remain.
    std::set<std::string> fromD;
    for (int i = 0; i < 300; ++i)
        fromD.insert(nextChord(*state, ChordCode("DmPs")).str());
    EXPECT_EQ(fromD, (std::set<std::string>{"GMPS", "FMPS", "EMPs", "AmPs"}));
}

TEST(ChordsNext, FreeAndDominantMotionShapes) {
    auto state = chordState(5);
    for (int i = 0; i < 300; ++i) {
        const ChordCode c = nextChord(*state, ChordCode("CMPS"));
        EXPECT_GE(rootPitchClass(c.root()), 0);
        EXPECT_TRUE(c.fifth() == 'P' || (c.fifth() == 'd' && c.third() == 'm')) << c.str();
        EXPECT_TRUE(c.seventh() == 'S' || c.seventh() == 's');
    }
    state->style.category = 9;
    int toG = 0;
    for (int i = 0; i < 2000; ++i) {
        const ChordCode c = nextChord(*state, ChordCode("DMPs"));
        EXPECT_EQ(c.third(), 'M');
        EXPECT_EQ(c.fifth(), 'P');
        toG += c.root() == 'G';
    }
    // Half straight to G, and half of the rest by a fourth up: D to G again.
    EXPECT_NEAR(toG / 2000.0, 0.75, 0.04);
}

TEST(ChordsNext, RuleSearchKeepsToTheKey) {
    auto state = chordState(3);
    state->style.chordMode = 1;
    ChordCode working("CMPS");
    std::set<std::string> seen;
    for (int i = 0; i < 300; ++i) {
        working = nextChord(*state, working);
        // Category 3 needs a score of 7 of 8.
        EXPECT_TRUE(keepsToTheKey(working)) << working.str();
        seen.insert(working.str());
    }
    EXPECT_GE(seen.size(), 6u);
}

TEST(ChordsBlock, PassingChordOnlyBeforeAShortChordThatIsNotLast) {
    // Category 3's rule search keeps to the key; a passing chord is the next
    // chord moved a semitone, which almost always leaves it.
    const auto blocksWithStrangers = [](const char* chart, std::size_t& passingAtOne) {
        int strange = 0;
        passingAtOne = 0;
        for (std::uint32_t seed = 1; seed <= 400; ++seed) {
            auto state = chordState(3, seed);
            state->style.chordMode = 1;
            state->patterns.timeChartText = chart;
            const EventList chords = block(*state);
            bool outside = false;
            for (const EngineEvent& e : chords)
                outside = outside || !keepsToTheKey(e.code);
            strange += outside;
            if (chords.count() > 2 && (chords[1].code == transposeChord(chords[2].code, 1) ||
                                       chords[1].code == transposeChord(chords[2].code, -1)))
                ++passingAtOne;
        }
        return strange;
    };
    std::size_t passing = 0;
    EXPECT_GT(blocksWithStrangers("1|384192384|", passing), 40);
    EXPECT_GT(passing, 60u); // one in four of 400
    EXPECT_GT(blocksWithStrangers("1|384096384|", passing), 40);
    EXPECT_EQ(blocksWithStrangers("1|384384384|", passing), 0);
    // The block's last chord is never a passing chord.
    EXPECT_EQ(blocksWithStrangers("1|384384192|", passing), 0);
    EXPECT_EQ(blocksWithStrangers("1|384384096|", passing), 0);
}

TEST(ChordsBlock, SuspendedFourthBeforeADominantSeventh) {
    auto state = chordState(3);
    state->patterns.chordText = "CMPSGMPs120|GMPsCMPS120|";
    state->patterns.weightDivisor = 15;
    state->patterns.timeChartText = "1|384384|";
    std::set<std::vector<std::string>> forms;
    for (int i = 0; i < 100; ++i) {
        const EventList chords = block(*state);
        forms.insert(codesOf(chords));
        EXPECT_EQ(chords[chords.count() - 1].length, 192 * (chords.count() == 3 ? 1 : 2));
    }
    EXPECT_EQ(forms, (std::set<std::vector<std::string>>{{"CMPS", "GMPs"}, {"CMPS", "G4Ps", "GMPs"}}));
    // Not for the blues, and not with random lengths.
    state->style.category = 6;
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(block(*state).count(), 2);
}

TEST(ChordsBlock, FixedStructuresForceTonicAndLengths) {
    auto state = chordState(7);
    state->patterns.chordText = "CMPSGMPs120|GMPsCMPS120|";
    state->patterns.weightDivisor = 15;
    state->patterns.timeChartText = "1|384192192|";
    const EventList chords = block(*state);
    EXPECT_EQ(codesOf(chords), (std::vector<std::string>{"CMPS", "CMPS", "CMPS"}));
    EXPECT_EQ(lengthsOf(chords), (std::vector<int>{768, 768, 768}));

    state->style.category = 1;
    state->style.fixedChordLength = 1;
    state->style.meter = 1;
    state->patterns.timeChartText = "1|576288|";
    EXPECT_EQ(lengthsOf(block(*state)), (std::vector<int>{288, 288}));
}

TEST(ChordsBlock, SlashBassesMatchTheirChords) {
    auto state = chordState(1);
    state->style.slashBass = 1;
    state->patterns.chordText = "CMPSAmPs120|AmPsCMPd120|CMPdCMPS120|";
    state->patterns.weightDivisor = 15;
    state->patterns.timeChartText = "1|192192192192192192|";
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        for (const EngineEvent& e : block(*state)) {
            const std::string slash(e.text.data(), 2);
            seen.insert(slash);
            if (slash == "04") {
                EXPECT_EQ(e.code.third(), 'M');
            } else if (slash == "03") {
                EXPECT_EQ(e.code.third(), 'm');
            } else if (slash == "11") {
                EXPECT_EQ(e.code.seventh(), 'S');
            } else if (slash == "10") {
                EXPECT_EQ(e.code.seventh(), 's');
            }
        }
    }
    EXPECT_EQ(seen, (std::set<std::string>{"00", "03", "04", "07", "10", "11"}));
}

TEST(ChordsBlock, NonDiatonicScalesRetryRootsOutsideTheScale) {
    auto state = chordState(5);
    state->style.scaleNumber = 3; // roots with weight 2 or more: C, E, F, G, B
    state->patterns.timeChartText = "1|384384384384384384384384|";
    for (int i = 0; i < 40; ++i)
        for (const EngineEvent& e : block(*state))
            EXPECT_NE(std::string("CEFGB").find(e.code.root()), std::string::npos);
}

TEST(ChordsBlock, SevenEightChartsReportEveryOtherLength) {
    auto state = chordState(3);
    state->style.meter = 2;
    state->patterns.timeChartText = "1|336384336|";
    CollectReports r;
    const EventList chords = block(*state);
    EXPECT_EQ(lengthsOf(chords), (std::vector<int>{336, 384, 336}));
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].text, "ZNRCFF01003C can not create 7/8!");
}

TEST(ChordsEnding, CadenceOfTheRightLengthOrAllTonic) {
    auto state = chordState(3);
    state->patterns.cadenceTimeText = "1|384384|";
    state->patterns.cadenceText = "3|GMPsCMPS|DmPsGMPsCMPS|CMPS|";
    EventList chords = ending(*state, "AmPs");
    EXPECT_EQ(codesOf(chords), (std::vector<std::string>{"GMPs", "CMPS"}));
    for (const EngineEvent& e : chords)
        EXPECT_EQ(std::string(e.text.data(), 2), "00");

    state->patterns.cadenceTimeText = "1|192192192192|";
    EXPECT_EQ(codesOf(ending(*state, "AmPs")), std::vector<std::string>(4, "CMPS"));

    state->style.fixedChordLength = 1;
    state->patterns.cadenceTimeText = "1|192192|";
    state->patterns.cadenceText = "1|FMPSCMPS|";
    EXPECT_EQ(lengthsOf(ending(*state, "AmPs")), (std::vector<int>{384, 384}));
}

TEST(ChordsEnding, RuleBasedEndingResolvesByFourths) {
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
        auto state = chordState(3, seed);
        state->style.chordMode = 1;
        state->patterns.cadenceTimeText = "1|384384|";
        const auto codes = codesOf(ending(*state, "GMPs"));
        ASSERT_EQ(codes.size(), 2u);
        // G7 goes a fourth up; C minor seventh scores too low for category 3.
        EXPECT_EQ(codes[0], "CMPS");
        EXPECT_TRUE(codes[1] == "DmPs" || codes[1] == "FMPS" || codes[1] == "DMPs") << codes[1];
    }
    auto state = chordState(3);
    state->style.chordMode = 1;
    state->patterns.cadenceTimeText = "1|384|";
    EXPECT_EQ(codesOf(ending(*state, "EmPd")), (std::vector<std::string>{"CMPS"}));
}
