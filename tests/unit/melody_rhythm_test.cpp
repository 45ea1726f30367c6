#include "engine/Melody.h"
#include "melody_fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace harmolin {
namespace {

using test::melodyState;

// Walks one chord the way the melody writer does: the position restarts
// at every bar, the chord is counted from the bar's start.
std::vector<int> walkChord(CompositionState& state, int part, int chordLength, int barLength) {
    std::vector<int> lengths;
    int u = 0;
    int previous = 0;
    while (u < chordLength && lengths.size() < 1000) {
        const int inBar = u % barLength;
        const int n = nextNoteLength(state, part, inBar, barLength, chordLength - (u - inBar), previous);
        if (n <= 0) break;
        lengths.push_back(n);
        previous = n / 24;
        u += n;
    }
    return lengths;
}

TEST(MelodyRhythm, SongMelodyUsesOnlyEighthsAndQuartersExceptAtEnds) {
    auto state = melodyState(7);
    for (int chord : {96, 192, 288, 384, 576, 768}) {
        for (int round = 0; round < 200; ++round) {
            int u = 0;
            for (int n : walkChord(*state, kPartMelody, chord, 384)) {
                const bool atEnd = (u % 384) + n == 384 || u + n == chord;
                EXPECT_TRUE(n == 48 || n == 96 || (atEnd && n < 96))
                    << "chord " << chord << " at " << u << ": " << n;
                u += n;
            }
            EXPECT_EQ(u, chord);
        }
    }
}

TEST(MelodyRhythm, QuarterNoteAtThreeHundredThirtySixIsCutToAnEighth) {
    auto state = melodyState(3);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(nextNoteLength(*state, kPartMelody, 336, 384, 384, 2), 48);
    // The chord's end cuts the same way inside a bar.
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(nextNoteLength(*state, kPartMelody, 144, 384, 192, 2), 48);
    // A full chord asks for nothing more.
    EXPECT_EQ(nextNoteLength(*state, kPartMelody, 192, 384, 192, 2), 0);
}

TEST(MelodyRhythm, OddSixteenthLengthsBecomeThePreviousLengthOrAQuarter) {
    auto state = melodyState(11);
    state->style.sectionA()[kMelPartMode] = 2;
    std::map<int, int> first, afterEighth;
    for (int i = 0; i < 3000; ++i) {
        ++first[nextNoteLength(*state, kPartMelody, 0, 384, 768, 0)];
        ++afterEighth[nextNoteLength(*state, kPartMelody, 0, 384, 768, 2)];
    }
    // Draws 2..10 on the beat: 2, 9 and 10 are eighths, 4 a quarter, 8 a
    // half note; 3, 5, 6 and 7 take the previous length.
    for (const auto& [length, count] : first)
        EXPECT_TRUE(length == 48 || length == 96 || length == 192) << length;
    for (const auto& [length, count] : afterEighth)
        EXPECT_TRUE(length == 48 || length == 96 || length == 192) << length;
    EXPECT_NEAR(first[96] / 3000.0, 5.0 / 9.0, 0.05);
    EXPECT_NEAR(afterEighth[48] / 3000.0, 7.0 / 9.0, 0.05);
}

TEST(MelodyRhythm, TripletRunsAreAlwaysThreeNotesOfSixtyFour) {
    auto state = melodyState(5);
    state->style.sectionA()[kMelPartMode] = 2;
    state->style.feel = 1;
    int runs = 0;
    for (int round = 0; round < 400; ++round) {
        for (int chord : {384, 192, 768}) {
            const std::vector<int> lengths = walkChord(*state, kPartMelody, chord, 384);
            int u = 0;
            for (std::size_t i = 0; i < lengths.size();) {
                if (lengths[i] != 64) {
                    u += lengths[i++];
                    continue;
                }
                EXPECT_EQ(u % 96, 0) << "a run starts on a beat";
                ASSERT_LE(i + 3, lengths.size());
                EXPECT_EQ(lengths[i + 1], 64);
                EXPECT_EQ(lengths[i + 2], 64);
                u += 192;
                i += 3;
                ++runs;
            }
        }
    }
    EXPECT_GT(runs, 50);
}

TEST(MelodyRhythm, TripletFeelMelodyUsesTripletUnits) {
    auto state = melodyState(9);
    state->style.feel = 3;
    std::set<int> seen;
    for (int i = 0; i < 500; ++i)
        seen.insert(nextNoteLength(*state, kPartMelody, 0, 384, 384, 0));
    EXPECT_EQ(seen, (std::set<int>{32, 64, 96}));
}

TEST(MelodyRhythm, PatternRhythmKeepsItsGridAndDrawsShortPatternsForShortChords) {
    auto state = melodyState(13);
    state->style.sectionA()[kMelPartMode] = 7;
    for (int round = 0; round < 300; ++round) {
        for (int n : walkChord(*state, kPartMelody, 768, 384))
            EXPECT_EQ(n % 48, 0) << n;
        walkChord(*state, kPartMelody, 192, 384);
        EXPECT_LE(state->rhythmMemory.pattern, 2);
    }
    state->style.feel = 3;
    for (int round = 0; round < 300; ++round)
        for (int n : walkChord(*state, kPartMelody, 384, 384))
            EXPECT_EQ(n % 32, 0) << n;
}

TEST(MelodyRhythm, EveryModeFillsItsChordsWithoutCrossingABar) {
    for (int feel : {0, 1, 3}) {
        for (int meter : {0, 1, 2}) {
            auto state = melodyState(17 + feel * 3 + meter);
            state->style.feel = feel;
            state->style.meter = meter;
            const int bar = state->style.barLength();
            for (int mode : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 256}) {
                state->style.sectionA()[kMelPartMode] = mode;
                state->style.sectionA()[kMelRestSwitch] = mode % 2;
                for (int bars : {1, 2, 3}) {
                    const int chord = bar * bars;
                    for (int round = 0; round < 20; ++round) {
                        const int barLength = mode == 9 ? chord : bar;
                        int u = 0;
                        for (int n : walkChord(*state, kPartMelody, chord, barLength)) {
                            ASSERT_GT(n, 0);
                            EXPECT_LE(u % barLength + n, barLength) << "mode " << mode << " crosses a bar";
                            u += n;
                        }
                        EXPECT_EQ(u, chord) << "mode " << mode << " feel " << feel << " meter " << meter;
                    }
                }
            }
        }
    }
}

TEST(MelodyRhythm, ChordTemplatesFillEveryListedChordLength) {
    auto state = melodyState(19);
    state->style.sectionA()[kMelPartMode] = 9;
    for (int chord : {48, 96, 144, 192, 240, 288, 336, 384, 432, 576, 672, 720, 480, 1000}) {
        for (int round = 0; round < 30; ++round) {
            int sum = 0;
            for (int n : walkChord(*state, kPartMelody, chord, chord))
                sum += n;
            EXPECT_EQ(sum, chord);
            int templ = 0;
            for (int i = 0; i < state->rhythmMemory.templCount; ++i)
                templ += state->rhythmMemory.templ[i];
            EXPECT_EQ(templ, chord) << "the template itself covers the chord";
        }
    }
}

} // namespace
} // namespace harmolin
