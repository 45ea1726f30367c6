// The style record: defaults, finalisation, scale lookup and onset pattern.
#include "base/EngineRandom.h"
#include "engine/StyleRecord.h"
#include "styles/StyleJson.h"
#include "styles/StyleTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace harmolin;

namespace {

// A record whose every byte is garbage, so defaults must really be written.
std::unique_ptr<StyleRecord> dirtyRecord() {
    auto style = std::make_unique<StyleRecord>();
    std::memset(static_cast<void*>(style.get()), 0x5A, sizeof(StyleRecord));
    return style;
}

std::unique_ptr<StyleRecord> defaultRecord(std::uint32_t seed = 7) {
    auto style = dirtyRecord();
    EngineRandom random;
    random.seed(seed);
    initStyleDefaults(*style, random);
    return style;
}

struct ChordEntry {
    int length;
    std::string code;
};

ChordEntry chordEntry(const StyleRecord& style, int index) {
    const auto* p = &style.defaultChords[static_cast<std::size_t>(index) * 6];
    return {p[0] * 256 + p[1], std::string(reinterpret_cast<const char*>(p + 2), 4)};
}

std::string scaleOf(int number, int keyVariant = 1, int shift = 0) {
    auto style = defaultRecord();
    style->scaleNumber = number;
    style->keyVariant = keyVariant;
    style->scaleShift = shift;
    return lookupScaleTemplate(*style);
}

} // namespace

TEST(StyleDefaults, EveryListedDefaultOverwritesWhatTheRecordHeld) {
    const auto s = defaultRecord();
    for (int part = 0; part < 16; ++part) {
        const bool unused =
            part == 2 || part == 3 || part == 4 || part == 5 || part == 7 || part == 8 || part == 9;
        EXPECT_EQ(s->programs[part], unused ? 256 : 0) << part;
    }
    const int volumes[16] = {0, 100, 100, 115, 100, 60, 0, 115, 100, 100, 0, 0, 0, 0, 0, 0};
    for (int part = 0; part < 16; ++part) {
        const bool mixed = volumes[part] != 0;
        EXPECT_EQ(s->mixer[part][0], volumes[part]) << part;
        for (int b = 1; b <= 8; ++b)
            EXPECT_EQ(s->mixer[part][b], mixed ? 64 : 0) << part << "/" << b;
        EXPECT_EQ(s->mixer[part][9], 0);
    }
    for (int v : s->octaveShift)
        EXPECT_EQ(v, 0);
    EXPECT_EQ(s->nameText(), "");
    EXPECT_EQ(s->descriptionText(), "No music style is defined.");
    EXPECT_EQ(s->barCount, 40);
    EXPECT_EQ(s->meter, 0);
    EXPECT_EQ(s->tempo, 750000);
    EXPECT_EQ(s->keyVariant, 1);
    EXPECT_EQ(s->scaleNumber, 1);
    EXPECT_EQ(s->scaleShift, 0);
    EXPECT_EQ(s->feel, 0);
    EXPECT_EQ(s->accompanimentSwitches, (std::array<std::int32_t, 7>{0, 0, 0, 100, 100, 100, 0}));
    EXPECT_EQ(s->chordScaleAdjust, 0);
    EXPECT_EQ(s->chordMode, 0);
    EXPECT_EQ(s->jumpCheckMode, 0);
    EXPECT_EQ(s->fixedBassMode, 0);
    EXPECT_STREQ(s->customScale.data(), "xxxx909099090909");
    EXPECT_EQ(s->melodySwitches, (std::array<std::int32_t, 4>{1, 1, 1, 1}));
    EXPECT_EQ(s->melodyJumpWeights, (std::array<std::int32_t, 8>{40, 10, 70, 90, 90, 92, 94, 96}));
    EXPECT_EQ(s->melodyJumpSizes, (std::array<std::int32_t, 8>{-25, -25, 0, 10, 20, 30, 40, 50}));
    EXPECT_EQ(s->chordDbText(), "PATTERN.DB");
    EXPECT_EQ(s->cadenceDbText(), "RESOLUT.DB");
    EXPECT_EQ(s->unusedSwitches, (std::array<std::int32_t, 11>{0, 0, 90, 0, 0, 90, 0, 0, 0, 0, 0}));
    EXPECT_EQ(s->sectionCopyMode, 6);
    EXPECT_EQ(s->part3Pattern, 17);
    EXPECT_EQ(s->category, 7);
    EXPECT_EQ(s->drumPattern, 14);
    EXPECT_EQ(s->part7Pattern, 15);
    EXPECT_EQ(s->bassPattern, 10);
    EXPECT_EQ(s->randomKind, 0);
    EXPECT_EQ(s->patternParams,
              (std::array<std::int32_t, 12>{0, 100, 100, 100, 100, 100, 0, 100, 100, 100, 0, 0}));

    const std::array<std::int32_t, 15> sectionA = {0, 2, 0, 0, 0, 0, 0, 80, 50, 1, 0, 0, 0, 0, 0};
    for (int part = 0; part < 16; ++part) {
        if (part == 1 || part == 4 || part == 5)
            EXPECT_EQ(s->melodySettings[part], sectionA) << part;
        else
            for (int v : s->melodySettings[part])
                EXPECT_EQ(v, 0) << part;
    }
}

TEST(StyleDefaults, GridHoldsOnlyTheFixedRowValues) {
    const auto s = defaultRecord();
    const int drumCodes[14] = {0, 1, 3, 4, 5, 7, 9, 10, 11, 14, 15, 16, 19, 24};
    for (int i = 0; i < 4076; ++i) {
        int expected = 0;
        for (int row = 0; row < 14; ++row) {
            if (i == 224 + row || i == 478 + row || i == 986 + row) expected = row + 5;
            if (i == 732 + row) expected = drumCodes[row];
        }
        ASSERT_EQ(s->rhythmGrids[i], expected) << "grid position " << i;
    }
}

TEST(StyleFinalise, DefaultChordListAlternatesTonicAndDominantEveryFourBars) {
    auto s = defaultRecord();
    finaliseStyle(*s);
    for (int bar = 0; bar < 40; ++bar) {
        const auto e = chordEntry(*s, bar);
        EXPECT_EQ(e.length, 384) << bar;
        EXPECT_EQ(e.code, (bar / 4) % 2 == 0 ? "CMPS" : "GMPs") << bar;
    }
    EXPECT_EQ(s->defaultChords[240], 0);
    EXPECT_EQ(s->defaultChords[241], 0);
}

TEST(StyleFinalise, ThreeFourLengthIsWrittenHighByteFirst) {
    auto s = defaultRecord();
    s->meter = 1;
    s->barCount = 32;
    finaliseStyle(*s);
    EXPECT_EQ(s->defaultChords[0], 1);
    EXPECT_EQ(s->defaultChords[1], 32);
    EXPECT_EQ(chordEntry(*s, 31).length, 288);
    EXPECT_EQ(chordEntry(*s, 31).code, "GMPs");
    EXPECT_EQ(s->defaultChords[32 * 6], 0);
    EXPECT_EQ(s->defaultChords[32 * 6 + 1], 0);

    s->meter = 2;
    s->barCount = 1;
    finaliseStyle(*s);
    EXPECT_EQ(chordEntry(*s, 0).length, 336);
}

TEST(StyleFinalise, BarCountsOutsideTheChordListStayInsideIt) {
    auto s = defaultRecord();
    s->barCount = 100000;
    finaliseStyle(*s);
    EXPECT_EQ(chordEntry(*s, kMaxDefaultChords - 1).length, 384);
    EXPECT_EQ(s->defaultChords[kMaxDefaultChords * 6], 0);
    EXPECT_EQ(s->defaultChords[kMaxDefaultChords * 6 + 1], 0);

    s->barCount = -3;
    finaliseStyle(*s);
    EXPECT_EQ(s->defaultChords[0], 0);
    EXPECT_EQ(s->defaultChords[1], 0);
}

TEST(StyleFinalise, SectionCopyOnlyInModeSix) {
    auto s = defaultRecord();
    s->sectionA()[kMelHighest] = 91;
    s->sectionB()[kMelHighest] = 81;
    s->sectionCopyMode = 7;
    finaliseStyle(*s);
    EXPECT_EQ(s->sectionB()[kMelHighest], 81);
    s->sectionCopyMode = 4;
    finaliseStyle(*s);
    EXPECT_EQ(s->sectionB()[kMelHighest], 81);
    s->sectionCopyMode = 6;
    finaliseStyle(*s);
    EXPECT_EQ(s->sectionB(), s->sectionA());
    EXPECT_EQ(s->sectionC()[kMelHighest], 80); // part 5's entry is never copied here
}

TEST(StyleScale, UnknownNumbersGiveNumberOne) {
    EXPECT_EQ(scaleOf(1), "xxxx919299192929");
    EXPECT_EQ(scaleOf(23), "xxxx919299192929");
    EXPECT_EQ(scaleOf(0), "xxxx919299192929");
    EXPECT_EQ(scaleOf(-5), "xxxx919299192929");
    EXPECT_EQ(scaleOf(23, 2), "xxxx919295555929");
}

TEST(StyleScale, KeyVariantPicksTheColumn) {
    EXPECT_EQ(scaleOf(7, 1), "xxxx929299292929");
    EXPECT_EQ(scaleOf(7, 2), "xxxx929295555929");
    EXPECT_EQ(scaleOf(6, 2), "xxxx919957777595");
    EXPECT_EQ(scaleOf(22, 1), "xxxx990909090909");
    EXPECT_EQ(scaleOf(22, 2), "xxxx909099009990");
    // Rows with one template give it for both key variants.
    EXPECT_EQ(scaleOf(3, 2), "xxxx900099090009");
    EXPECT_EQ(scaleOf(13, 1), "xxxx990009099000");
    EXPECT_EQ(scaleOf(20, 2), "xxxx909900000099");
    EXPECT_EQ(scaleOf(24, 1), "xxxx990090909099");
}

TEST(StyleScale, NumberElevenIsTheCustomScale) {
    auto s = defaultRecord();
    s->scaleNumber = 11;
    EXPECT_EQ(lookupScaleTemplate(*s), "xxxx909099090909");
    std::memcpy(s->customScale.data(), "xxxx123456789012", 17);
    EXPECT_EQ(lookupScaleTemplate(*s), "xxxx123456789012");
    s->keyVariant = 2;
    EXPECT_EQ(lookupScaleTemplate(*s), "xxxx123456789012");
}

TEST(StyleScale, ShiftRotatesDigitsUpByPitchClass) {
    // C's weight 9 and C sharp's 1 move up two semitones to D and E flat.
    EXPECT_EQ(scaleOf(1, 1, 2), "xxxx299192991929");
    EXPECT_EQ(scaleOf(1, 1, -1), "xxxx192991929299");
    EXPECT_EQ(scaleOf(1, 1, 11), scaleOf(1, 1, -1));
    EXPECT_EQ(scaleOf(1, 1, 12), scaleOf(1));
    EXPECT_EQ(scaleOf(1, 1, -30), scaleOf(1, 1, 6));
}

TEST(StyleScale, RemarkTemplatesAndShortCustomScalesAreSafe) {
    auto s = defaultRecord();
    s->scaleNumber = 11;
    s->scaleShift = 3;
    std::memcpy(s->customScale.data(), "REM4123456789012", 17);
    EXPECT_EQ(lookupScaleTemplate(*s), "REM4123456789012");
    // A custom scale cut short still yields twelve digits (the missing ones
    // never sound), and an unterminated one is read to its sixteen characters.
    s->customScale.fill(0);
    std::memcpy(s->customScale.data(), "xxxx99", 6);
    s->scaleShift = 0;
    EXPECT_EQ(lookupScaleTemplate(*s), "xxxx990000000000");
    s->customScale.fill('9');
    EXPECT_EQ(lookupScaleTemplate(*s).size(), 16u);
}

TEST(StyleOnset, PatternIsReproducibleAndAccentsTheBar) {
    const auto a = defaultRecord(11);
    const auto b = defaultRecord(11);
    EXPECT_EQ(a->onsetPattern, b->onsetPattern);
    // Straight 4/4 works on bars of 32 steps: every beat sounds, the first
    // of the bar loudest.
    for (int bar = 0; bar < 3; ++bar) {
        for (int beat = 0; beat < 4; ++beat) {
            const int at = bar * 32 + beat * 8;
            EXPECT_GT(a->onsetPattern[at], 0) << at;
            EXPECT_GE(a->onsetPattern[bar * 32], a->onsetPattern[at]);
        }
    }
    for (auto v : a->onsetPattern)
        EXPECT_LE(v, 127);

    bool differs = false;
    for (std::uint32_t seed = 1; seed < 20 && !differs; ++seed)
        differs = defaultRecord(seed)->onsetPattern != a->onsetPattern;
    EXPECT_TRUE(differs);
}

TEST(StyleOnset, TripletFeelUsesShorterBars) {
    auto s = defaultRecord();
    s->feel = 3;
    s->meter = 1;
    EngineRandom random;
    random.seed(3);
    drawOnsetPattern(*s, random);
    // 3/4 with triplet feel: 18 steps to the bar, 6 to the beat.
    for (int at = 0; at < 96; at += 6)
        EXPECT_GT(s->onsetPattern[at], 0) << at;
}

TEST(StyleText, NamesAndDatabaseNamesAreCutToTheirFields) {
    auto s = defaultRecord();
    s->setName("A name that is far longer than nineteen characters");
    EXPECT_EQ(s->nameText(), "A name that is far ");
    s->setDescription(std::string(400, 'd'));
    EXPECT_EQ(s->descriptionText().size(), 255u);
    s->setChordDatabases(std::string(200, 'p'), "RESOLUT.DBB");
    EXPECT_EQ(s->chordDbText().size(), 127u);
    EXPECT_EQ(s->cadenceDbText(), "RESOLUT.DBB");
}

// A fresh record turns nothing on; each switch a style author sets shows up
// once, with its value, and the JSON line carries it.
TEST(StyleJson, FeaturesNameTheSwitchesThatDifferFromTheDefaults) {
    EngineRandom random;
    StyleRecord s;
    initStyleDefaults(s, random);
    finaliseStyle(s);
    EXPECT_TRUE(harmolin::styleFeatures(s).empty());

    s.keyChange = 1;
    s.fixedBassMode = 10;
    s.sectionA()[kMelSecondMelody] = 1;
    s.melodySwitches[1] = 0;
    s.programs[kPartEight] = 48;
    const auto features = harmolin::styleFeatures(s);
    const std::vector<std::pair<std::string, int>> expected = {
        {"keyChange", 1}, {"fixedBass", 10}, {"secondMelody", 1}, {"part8", 1}, {"melodySwitch2", 0}};
    EXPECT_EQ(features, expected);

    s.setName("Say \"hi\"\\");
    const std::string line = harmolin::styleJson(s, 3, 4);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_NE(line.find(R"("name":"Say \"hi\"\\")"), std::string::npos) << line;
    EXPECT_NE(line.find(R"("features":{"keyChange":1,"fixedBass":10,)"), std::string::npos) << line;
    EXPECT_NE(line.find(R"("group":3,"slot":4,)"), std::string::npos) << line;
}
