#include "chords_fixture.h"
#include "engine/ChordProgression.h"
#include "engine/patterns/PatternDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

using namespace harmolin;
using harmolin::test::chordState;
using harmolin::test::CollectReports;
using harmolin::test::shippedPatterns;

namespace {

const std::regex kCode("[CdDeEFgGaAbB][Mm4o][PAdC][Ss69od]");

std::string readShipped(const std::string& name) {
    std::ifstream in(shippedPatterns() + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> tokensOf(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    std::string token;
    while (nextToken(text, pos, token))
        out.push_back(token);
    return out;
}

// The records of a counted file, after checking the count.
std::vector<std::string> records(const std::string& name) {
    const auto tokens = tokensOf(readShipped(name));
    EXPECT_FALSE(tokens.empty()) << name;
    if (tokens.empty()) return {};
    EXPECT_EQ(std::to_string(tokens.size() - 1), tokens[0]) << name;
    return {tokens.begin() + 1, tokens.end()};
}

std::vector<int> chartLengths(const std::string& record) {
    std::vector<int> out;
    for (std::size_t i = 0; i < record.size(); i += 3)
        out.push_back(std::stoi(record.substr(i, 3)));
    return out;
}

bool allDigits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

TEST(ChordsShippedData, TransitionFilesAreWellFormed) {
    for (const char* name : {"PATTERN.DB", "PATTERN.DB2", "PATTERN.DBB"}) {
        const std::string text = readShipped(name);
        EXPECT_LE(text.size(), 16383u) << name;
        std::map<std::string, int> perChord;
        std::set<std::string> sources, targets;
        int largest = 0;
        for (const std::string& t : tokensOf(text)) {
            ASSERT_EQ(t.size(), 11u) << name << " " << t;
            EXPECT_TRUE(std::regex_match(t.substr(0, 4), kCode)) << name << " " << t;
            EXPECT_TRUE(std::regex_match(t.substr(4, 4), kCode)) << name << " " << t;
            ASSERT_TRUE(allDigits(t.substr(8))) << name << " " << t;
            largest = std::max(largest, std::stoi(t.substr(8)));
            ++perChord[t.substr(0, 4)];
            sources.insert(t.substr(0, 4));
            targets.insert(t.substr(4, 4));
        }
        EXPECT_GE(largest, 8) << name;
        for (const auto& [chord, n] : perChord)
            EXPECT_LE(n, 30) << name << " " << chord;
        // Every chord that can be reached can also be left.
        for (const std::string& t : targets)
            EXPECT_TRUE(sources.count(t)) << name << " " << t;
    }
}

TEST(ChordsShippedData, ChartsAreWholeBarsOfTheirMeter) {
    struct Chart {
        const char* name;
        int bar;
        std::set<int> allowed;
        std::size_t maxChords;
    };
    const std::set<int> common = {96, 192, 384, 768};
    const Chart charts[] = {
        {"TIMECHT.DB", 384, common, 27},      {"TIMECHT.DB2", 384, common, 27},
        {"TIMECHT3.DB", 288, {288, 576}, 27}, {"TIMECHT7.DB", 336, {336}, 27},
        {"RESTIME.DB", 384, common, 4},       {"RESTIME.DB2", 384, common, 4},
        {"RESTIME3.DB", 288, {288, 576}, 4},  {"RESTIME7.DB", 336, {336}, 4},
    };
    for (const Chart& c : charts) {
        EXPECT_LE(readShipped(c.name).size(), 16383u) << c.name;
        const auto recs = records(c.name);
        EXPECT_FALSE(recs.empty()) << c.name;
        for (const std::string& r : recs) {
            ASSERT_TRUE(allDigits(r) && r.size() % 3 == 0) << c.name << " " << r;
            const auto lengths = chartLengths(r);
            EXPECT_LE(lengths.size(), c.maxChords) << c.name << " " << r;
            int sum = 0;
            for (int n : lengths) {
                EXPECT_TRUE(c.allowed.count(n)) << c.name << " " << r;
                sum += n;
            }
            EXPECT_EQ(sum % c.bar, 0) << c.name << " " << r;
        }
    }
}

TEST(ChordsShippedData, CadencesEndOnTheTonicAndCoverEveryChartLength) {
    struct Cadences {
        const char* name;
        std::set<std::string> tonics;
        std::vector<const char*> charts;
    };
    const Cadences all[] = {
        {"RESOLUT.DB", {"CMPS", "CMPd", "CMP6", "CMP9"}, {"RESTIME.DB", "RESTIME3.DB", "RESTIME7.DB"}},
        {"RESOLUT.DB2", {"AmPs", "AmPd"}, {"RESTIME.DB2", "RESTIME3.DB", "RESTIME7.DB"}},
        {"RESOLUT.DBB", {"CMPs", "CMP6"}, {"RESTIME.DB", "RESTIME3.DB", "RESTIME7.DB"}},
    };
    for (const Cadences& c : all) {
        EXPECT_LE(readShipped(c.name).size(), 16383u) << c.name;
        std::set<std::size_t> counts;
        for (const std::string& r : records(c.name)) {
            ASSERT_TRUE(!r.empty() && r.size() % 4 == 0 && r.size() <= 64) << c.name << " " << r;
            for (std::size_t i = 0; i < r.size(); i += 4)
                EXPECT_TRUE(std::regex_match(r.substr(i, 4), kCode)) << c.name << " " << r;
            EXPECT_TRUE(c.tonics.count(r.substr(r.size() - 4))) << c.name << " " << r;
            counts.insert(r.size() / 4);
        }
        for (const char* chart : c.charts)
            for (const std::string& r : records(chart))
                EXPECT_TRUE(counts.count(r.size() / 3))
                    << c.name << " lacks a cadence for " << chart << " " << r;
    }
}

// Every kind of style composes blocks from the shipped files without a
// single report, and each song ends on its tonic.
TEST(ChordsShippedData, EveryKeyAndMeterComposesCleanly) {
    struct Style {
        const char* chords;
        const char* cadences;
        int keyVariant, category, meter;
    };
    const Style styles[] = {
        {"PATTERN.DB", "RESOLUT.DB", 1, 1, 0},   {"PATTERN.DB", "RESOLUT.DB", 1, 2, 0},
        {"PATTERN.DB", "RESOLUT.DB", 1, 3, 0},   {"PATTERN.DB", "RESOLUT.DB", 1, 4, 0},
        {"PATTERN.DB", "RESOLUT.DB", 1, 3, 1},   {"PATTERN.DB", "RESOLUT.DB", 1, 3, 2},
        {"PATTERN.DB2", "RESOLUT.DB2", 2, 1, 0}, {"PATTERN.DB2", "RESOLUT.DB2", 2, 3, 0},
        {"PATTERN.DB2", "RESOLUT.DB2", 2, 4, 0}, {"PATTERN.DB2", "RESOLUT.DB2", 2, 3, 1},
        {"PATTERN.DBB", "RESOLUT.DBB", 1, 6, 0},
    };
    for (const Style& st : styles) {
        auto state = chordState(st.category);
        state->style.setChordDatabases(st.chords, st.cadences);
        state->style.keyVariant = st.keyVariant;
        state->style.meter = st.meter;
        state->programFolder = shippedPatterns();
        chooseDatabases(*state);
        CollectReports r;
        ASSERT_TRUE(loadPatternFiles(*state)) << st.chords;
        const int bar = state->style.barLength();
        std::set<std::string> used;
        for (int song = 0; song < 30; ++song) {
            EventList chords;
            std::array<int, 256> work{};
            writeBlockChords(*state, chords, work);
            int sum = 0;
            for (const EngineEvent& e : chords) {
                sum += e.length;
                used.insert(e.code.str());
            }
            EXPECT_EQ(sum % bar, 0) << st.chords << " " << st.category;
            EventList end;
            writeEndingBlock(*state, end, chords[chords.count() - 1].code, work);
            ASSERT_GT(end.count(), 0);
            const ChordCode last = end[end.count() - 1].code;
            EXPECT_EQ(last.root(), state->patterns.tonic.root()) << st.cadences << " " << last.str();
            EXPECT_EQ(last.third(), state->patterns.tonic.third()) << st.cadences << " " << last.str();
        }
        EXPECT_TRUE(r.lines.empty()) << st.chords << " " << st.category << ": " << r.lines[0].text;
        // The progressions go somewhere: more than a handful of chords in use.
        EXPECT_GE(used.size(), 5u) << st.chords << " " << st.category;
    }
}
