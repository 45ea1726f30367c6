#include "chords_fixture.h"
#include "engine/EngineErrors.h"
#include "engine/patterns/PatternDatabase.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace harmolin;
using harmolin::test::chordState;
using harmolin::test::CollectReports;
using harmolin::test::patternFolder;

namespace {

constexpr std::uint32_t kZnrc = errc::engine::kClassBits;

std::vector<std::string> tokensOf(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    std::string token;
    while (nextToken(text, pos, token))
        out.push_back(token);
    return out;
}

// How often each chord follows `from` over many draws.
std::map<std::string, int> followers(CompositionState& state, const char* from, int draws) {
    std::map<std::string, int> seen;
    for (int i = 0; i < draws; ++i)
        ++seen[drawNextChord(state, ChordCode(from)).str()];
    return seen;
}

std::vector<ChordCode> codes(std::initializer_list<const char*> texts) {
    std::vector<ChordCode> out;
    for (const char* t : texts)
        out.emplace_back(t);
    return out;
}

} // namespace

TEST(ChordsTokens, BlanksAndLineBreaksVanishAnywhereAndEmptyTokensCount) {
    EXPECT_EQ(tokensOf("3|\r\n38 4\r\n192|\n|096096192"),
              (std::vector<std::string>{"3", "384192", "", "096096192"}));
    // A line break after the last separator is no further token.
    EXPECT_EQ(tokensOf("1|384|\r\n \r\n"), (std::vector<std::string>{"1", "384"}));
    EXPECT_TRUE(tokensOf("").empty());

    std::size_t pos = 0;
    EXPECT_TRUE(skipRecords("2|a|b|", pos, 2));
    EXPECT_EQ(pos, 4u);
    EXPECT_FALSE(skipRecords("2|a|b", pos, 2));
    EXPECT_EQ(pos, 5u);
}

TEST(ChordsLengths, FieldsOfThreeDigitsWithLeadingZeros) {
    auto state = chordState();
    EXPECT_EQ(drawLengths(*state, "1|384192192|"), (std::vector<int>{384, 192, 192}));
    EXPECT_EQ(drawLengths(*state, "1|\r\n096096192|"), (std::vector<int>{96, 96, 192}));
}

TEST(ChordsLengths, MeterChecksReportEachWrongLength) {
    auto state = chordState();
    state->style.meter = 1;
    {
        CollectReports r;
        EXPECT_EQ(drawLengths(*state, "1|288384576|"), (std::vector<int>{288, 384, 576}));
        ASSERT_EQ(r.lines.size(), 1u);
        EXPECT_EQ(r.lines[0].text, "ZNRCFF01003B can not create 3/4!");
    }
    state->style.meter = 2;
    {
        CollectReports r;
        (void)drawLengths(*state, "1|336384336288|"); // only its reports are checked
        ASSERT_EQ(r.lines.size(), 2u);
        EXPECT_TRUE(r.saw("ZNRCFF01003C can not create 7/8!"));
    }
    {
        // A zero or damaged field is a zero length, reported once each.
        CollectReports r;
        EXPECT_EQ(drawLengths(*state, "1|33600033x|"), (std::vector<int>{336, 0, 0}));
        ASSERT_EQ(r.lines.size(), 2u);
        EXPECT_TRUE(r.sawCode(kZnrc | engine_error::kTimeChart));
    }
}

TEST(ChordsLengths, TruncatedOrEmptyChartsReportAndGiveNothing) {
    auto state = chordState();
    for (const char* text : {"", "3|", "0|384|", "x|384|"}) {
        CollectReports r;
        EXPECT_TRUE(drawLengths(*state, text).empty()) << text;
        EXPECT_TRUE(r.sawCode(kZnrc | engine_error::kDatabaseRead)) << text;
    }
    // A record longer than the reader holds is cut at 27 lengths.
    CollectReports r;
    std::string record;
    for (int i = 0; i < 30; ++i)
        record += "384";
    EXPECT_EQ(drawLengths(*state, "1|" + record + "|"), std::vector<int>(27, 384));
    EXPECT_TRUE(r.sawCode(kZnrc | engine_error::kTimeChartLength));
}

TEST(ChordsLengths, RandomRuleAndItsErrors) {
    auto state = chordState();
    state->style.chordLengthSource = 4;
    for (int i = 0; i < 50; ++i) {
        const auto lengths = drawLengths(*state, "");
        ASSERT_EQ(lengths.size(), 4u);
        for (int n : lengths)
            EXPECT_TRUE(n == 192 || n == 384 || n == 576 || n == 768) << n;
    }
    state->style.meter = 1;
    for (int n : drawLengths(*state, ""))
        EXPECT_TRUE(n == 288 || n == 576);
    state->style.meter = 2;
    EXPECT_EQ(drawLengths(*state, ""), (std::vector<int>{336, 336, 336, 336}));
    state->style.meter = 0;
    state->style.fixedChordLength = 1;
    EXPECT_EQ(drawLengths(*state, ""), (std::vector<int>{384, 384, 384, 384}));
    {
        CollectReports r;
        state->style.meter = 3;
        EXPECT_TRUE(drawLengths(*state, "").empty());
        EXPECT_TRUE(r.saw("ZNRCFF01001F can't add meater information!"));
    }
    {
        CollectReports r;
        state->style.chordLengthSource = 2;
        EXPECT_TRUE(drawLengths(*state, "1|384|").empty());
        EXPECT_TRUE(r.saw("ZNRCFF0101C7 Invalid chord block length!"));
    }
}

TEST(ChordsTransitions, NoMatchingTokenGivesTheTonicWithoutADraw) {
    auto state = chordState();
    state->patterns.chordText = "GMPsCMPS120|";
    state->patterns.tonic = ChordCode("AmPs");
    const auto before = state->rng.state();
    EXPECT_EQ(drawNextChord(*state, ChordCode("DmPs")), ChordCode("AmPs"));
    EXPECT_EQ(state->rng.state(), before);
    // "GMPs" must match exactly, not as a prefix of something longer.
    EXPECT_EQ(drawNextChord(*state, ChordCode("GMPd")), ChordCode("AmPs"));
}

TEST(ChordsTransitions, DivisorOfLargestWeight120Is15AndWeight15HasClass2) {
    const std::string folder = patternFolder("divisor", {{"P.DB", "CMPSDmPs015|\r\nCMPSGMPs120|\r\n"},
                                                         {"R.DB", "1|CMPS|"},
                                                         {"TIMECHT.DB", "1|384|"},
                                                         {"RESTIME.DB", "1|384|"}});
    auto state = chordState(1);
    state->programFolder = folder;
    state->style.setChordDatabases("P.DB", "R.DB");
    CollectReports r;
    ASSERT_TRUE(loadPatternFiles(*state));
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(state->patterns.weightDivisor, 15);

    // Category 1 takes any class t >= 1: class 2 against class 9 comes up 2 in 11.
    const auto seen = followers(*state, "CMPS", 4000);
    const double share = seen.at("DmPs") / 4000.0;
    EXPECT_GT(share, 0.15);
    EXPECT_LT(share, 0.215);
    // Category 2 starts at class 3, so class 2 is never taken.
    state->style.category = 2;
    EXPECT_EQ(followers(*state, "CMPS", 500).count("DmPs"), 0u);
}

TEST(ChordsTransitions, OnlyTheFirst30MatchesAreCandidates) {
    auto state = chordState(1);
    std::string text;
    const std::string roots = "CdDeEFgGaAbB";
    for (int i = 0; i < 35; ++i)
        text += std::string("CMPS") + roots[static_cast<std::size_t>(i % 12)] + "MP" + "Ss69od"[i / 12 % 6] +
                "120|";
    state->patterns.chordText = text;
    state->patterns.weightDivisor = 15;
    const auto seen = followers(*state, "CMPS", 6000);
    EXPECT_EQ(seen.size(), 30u);
    for (int i = 30; i < 35; ++i) {
        const std::string late = text.substr(static_cast<std::size_t>(i) * 12 + 4, 4);
        EXPECT_EQ(seen.count(late), 0u) << late;
    }
}

TEST(ChordsTransitions, MinimumClassByCategoryAndFallbacks) {
    auto state = chordState(4);
    state->patterns.chordText = "CMPSDmPs059|CMPSGMPs120|";
    state->patterns.weightDivisor = 15;
    // Category 4 needs class 5: weight 59 (class 4) never passes.
    EXPECT_EQ(followers(*state, "CMPS", 300), (std::map<std::string, int>{{"GMPs", 300}}));

    // Nothing strong enough at all: 4000 refusals, then the tonic.
    state->patterns.chordText = "EmPsDmPs010|";
    state->patterns.tonic = ChordCode("AmPs");
    EXPECT_EQ(drawNextChord(*state, ChordCode("EmPs")), ChordCode("AmPs"));

    // An unknown category is reported and becomes 3.
    CollectReports r;
    state->style.category = 8;
    (void)drawNextChord(*state, ChordCode("EmPs")); // only its report is checked
    EXPECT_TRUE(r.saw("ZNRCFF01003F error in chord progression!"));
    EXPECT_EQ(state->style.category, 3);
}

TEST(ChordsCadences, RepeatOfThePreviousChordIsAvoidedForHalfTheDraws) {
    auto state = chordState();
    state->patterns.cadenceText = "2|GMPsCMPS|FMPSCMPS|";
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(drawCadence(*state, ChordCode("GMPs"), 2), codes({"FMPS", "CMPS"}));

    // Every record starts with the previous chord: one is taken after 2000 tries.
    state->patterns.cadenceText = "3|GMPsCMPS|GMPsFMPSCMPS|GMPs|";
    EXPECT_EQ(drawCadence(*state, ChordCode("GMPs"), 2), codes({"GMPs", "CMPS"}));
    EXPECT_EQ(drawCadence(*state, ChordCode("GMPs"), 3), codes({"GMPs", "FMPS", "CMPS"}));

    // No record of the right length: the tonic repeated.
    CollectReports r;
    EXPECT_EQ(drawCadence(*state, ChordCode("GMPs"), 4), std::vector<ChordCode>(4, ChordCode("CMPS")));
    EXPECT_TRUE(r.lines.empty());
}

TEST(ChordsCadences, DamagedCadenceTextsFallBackToTheTonic) {
    auto state = chordState();
    {
        state->patterns.cadenceText = "";
        CollectReports r;
        EXPECT_EQ(drawCadence(*state, ChordCode("DmPs"), 2), std::vector<ChordCode>(2, ChordCode("CMPS")));
        EXPECT_EQ(r.lines.size(), 1u);
    }
    {
        // The count promises more records than there are: the one that exists
        // is still found, and the shortfall is reported once, not per try.
        state->patterns.cadenceText = "9|FMPSGMPsCMPS|GMPsCMPS|";
        CollectReports r;
        EXPECT_EQ(drawCadence(*state, ChordCode("DmPs"), 2), codes({"GMPs", "CMPS"}));
        EXPECT_EQ(drawCadence(*state, ChordCode("DmPs"), 2), codes({"GMPs", "CMPS"}));
        EXPECT_LE(r.lines.size(), 2u);
        EXPECT_TRUE(r.sawCode(kZnrc | engine_error::kDatabaseRead));
    }
    state->patterns.cadenceText = "1|GMPsCMPS|";
    EXPECT_TRUE(drawCadence(*state, ChordCode("DmPs"), 0).empty());
}

TEST(ChordsDatabases, ChoiceFollowsKeyVariantCategoryAndMeter) {
    struct Case {
        int keyVariant, category, meter;
        const char* tonic;
        const char* chart;
        const char* cadenceChart;
        int keyAfter;
    };
    const Case cases[] = {
        {1, 3, 0, "CMPS", "TIMECHT.DB", "RESTIME.DB", 1},
        {1, 6, 0, "CMPs", "TIMECHT.DB", "RESTIME.DB", 1},
        {2, 6, 0, "CMPs", "TIMECHT.DB", "RESTIME.DB", 1},
        {2, 3, 0, "AmPs", "TIMECHT.DB2", "RESTIME.DB2", 2},
        {0, 3, 0, "AmPs", "TIMECHT.DB2", "RESTIME.DB2", 2},
        {2, 3, 1, "AmPs", "TIMECHT3.DB", "RESTIME3.DB", 2},
        {1, 1, 2, "CMPS", "TIMECHT7.DB", "RESTIME7.DB", 1},
    };
    for (const Case& c : cases) {
        auto state = chordState(c.category);
        state->style.keyVariant = c.keyVariant;
        state->style.meter = c.meter;
        chooseDatabases(*state);
        EXPECT_EQ(state->patterns.tonic, ChordCode(c.tonic));
        EXPECT_EQ(state->patterns.timeChartName, c.chart);
        EXPECT_EQ(state->patterns.cadenceTimeChartName, c.cadenceChart);
        EXPECT_EQ(state->style.keyVariant, c.keyAfter);
    }
}

TEST(ChordsDatabases, MissingChordFileStopsTheLoadWithItsPath) {
    const std::string folder = patternFolder("missing", {{"RESOLUT.DB", "1|CMPS|"}});
    auto state = chordState();
    state->programFolder = folder;
    state->patterns.chordText = "CMPSGMPs120|"; // left from an earlier song
    CollectReports r;
    EXPECT_FALSE(loadPatternFiles(*state));
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].text, "ZNRCFF010035 error in pattern file!");
    EXPECT_EQ(r.lines[1].text,
              folder + "/PATTERN.DB is not found in program folder! You might install ZNR agein.");
    EXPECT_TRUE(state->patterns.chordText.empty());
    EXPECT_TRUE(state->patterns.cadenceText.empty());
}

TEST(ChordsDatabases, OtherMissingFilesAreReportedInOrderAndLeftEmpty) {
    const std::string folder = patternFolder("partial", {{"PATTERN.DB", "CMPSGMPs120|"}});
    auto state = chordState();
    state->programFolder = folder;
    CollectReports r;
    EXPECT_TRUE(loadPatternFiles(*state));
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0].code, kZnrc | engine_error::kCadenceFile);
    EXPECT_EQ(r.lines[1].code, kZnrc | engine_error::kTimeChartFile);
    EXPECT_EQ(r.lines[2].code, kZnrc | engine_error::kCadenceTimeChartFile);
    EXPECT_TRUE(state->patterns.timeChartText.empty());
    EXPECT_EQ(state->patterns.chordScaleTable.size(), 648u * 19u);
}

TEST(ChordsDatabases, FullPathNamesAreUsedAsTheyAreAndFilesAreCutAt16383Bytes) {
    const std::string elsewhere = patternFolder(
        "elsewhere", {{"MINE.DB", "CMPSFMPS120|" + std::string(20000, ' ')}, {"MYRES.DB", "1|FMPSCMPS|"}});
    const std::string folder =
        patternFolder("charts", {{"TIMECHT.DB", "1|384|"}, {"RESTIME.DB", "1|384384|"}});
    auto state = chordState();
    state->programFolder = folder;
    state->style.setChordDatabases(elsewhere + "/MINE.DB", elsewhere + "/MYRES.DB");
    CollectReports r;
    ASSERT_TRUE(loadPatternFiles(*state));
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(state->patterns.chordText.size(), 16383u);
    EXPECT_EQ(state->patterns.cadenceText, "1|FMPSCMPS|");
}

TEST(ChordsDatabases, TextEndsAtAZeroByte) {
    const std::string folder =
        patternFolder("zero", {{"PATTERN.DB", std::string("CMPSGMPs120|\0CMPSFMPS999|", 25)},
                               {"RESOLUT.DB", "1|CMPS|"},
                               {"TIMECHT.DB", "1|384|"},
                               {"RESTIME.DB", "1|384|"}});
    auto state = chordState();
    state->programFolder = folder;
    ASSERT_TRUE(loadPatternFiles(*state));
    EXPECT_EQ(state->patterns.chordText, "CMPSGMPs120|");
    EXPECT_EQ(state->patterns.weightDivisor, 15);
}

TEST(ChordsDatabases, WeightsBelow8StillGiveUsableClasses) {
    const std::string folder = patternFolder("small", {{"PATTERN.DB", "CMPSGMPs005|CMPSFMPs001|"},
                                                       {"RESOLUT.DB", "1|CMPS|"},
                                                       {"TIMECHT.DB", "1|384|"},
                                                       {"RESTIME.DB", "1|384|"}});
    auto state = chordState(3);
    state->programFolder = folder;
    ASSERT_TRUE(loadPatternFiles(*state));
    EXPECT_EQ(state->patterns.weightDivisor, 1);
    // Weight 5 is class 6 and passes category 3's minimum; weight 1 (class 2) never does.
    EXPECT_EQ(followers(*state, "CMPS", 200), (std::map<std::string, int>{{"GMPs", 200}}));
}
