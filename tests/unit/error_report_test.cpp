#include "base/ErrorReport.h"
#include "engine/EngineErrors.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace harmolin;
using harmolin::test::CollectReports;

TEST(ErrorReport, LinesCarryPrefixCodeAndTableText) {
    CollectReports r;
    reportError(ErrorClass::Gene, 0x01000012);
    reportError(ErrorClass::Mdtk, 0x0D000008);
    reportError(ErrorClass::M1tk, 0x0D000022);
    reportError(ErrorClass::M1tk, 0x2E00000C);
    reportError(ErrorClass::Xfdt, 0x2F000003);
    reportError(ErrorClass::Mdsx, 0x36000001);
    ASSERT_EQ(r.lines.size(), 6u);
    EXPECT_EQ(r.lines[0].text, "GENE01000012 General Error");
    EXPECT_EQ(r.lines[1].text, "MDTK0D000008 Drum range is not within 35 to 81. Data is modified.");
    EXPECT_EQ(r.lines[2].text, "M1TK0D000022 Error occured in MidiF1TrackData!");
    EXPECT_EQ(r.lines[3].text, "M1TK2E00000C Can not reduce to zero voice.");
    EXPECT_EQ(r.lines[4].text, "XFDT2F000003 Master Voulme is not found after GM Rest!");
    EXPECT_EQ(r.lines[5].text, "MDSX36000001 Error occured in System Exclusive!");
    for (const auto& l : r.lines)
        EXPECT_EQ(l.severity, Severity::Error);
}

TEST(ErrorReport, OnceLatchesShowOnceUntilReset) {
    CollectReports r;
    reportOnce(ErrorClass::Mdtk, 0x0D000016);
    reportOnce(ErrorClass::Mdtk, 0x0D000016);
    EXPECT_EQ(r.lines.size(), 1u);
    reportOnce(ErrorClass::Mdtk, 0);
    reportOnce(ErrorClass::Mdtk, 0x0D000016);
    EXPECT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[1].text, "MDTK0D000016 Poly Pressのイベントが含まれていました。");
    EXPECT_EQ(r.lines[1].severity, Severity::Warning);
}

TEST(ErrorReport, VolumeWarningsShareOneLatch) {
    CollectReports r;
    reportOnce(ErrorClass::Mdtk, 0x0D000009);
    reportOnce(ErrorClass::Mdtk, 0x0D000011);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].text, "MDTK0D000009 複数のボリュームが設定されています。");
}

TEST(ErrorReport, SomeLatchesHoldForTheWholeRun) {
    CollectReports r;
    reportOnce(ErrorClass::M1dt, 0x0300000E);
    reportOnce(ErrorClass::M1dt, 0);
    reportOnce(ErrorClass::M1dt, 0x0300000E);
    reportOnce(ErrorClass::M1dt, 0x0300000D);
    reportOnce(ErrorClass::M1dt, 0);
    reportOnce(ErrorClass::M1dt, 0x0300000D);
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0].text, "M1DT0300000E There are no more channels for mapping!");
    EXPECT_EQ(r.lines[1].text, "M1DT0300000D Location of Time sign is invalid!");
}

TEST(ErrorReport, UnlatchedOnceCodesShowEveryTimeWithTheGeneralText) {
    CollectReports r;
    reportOnce(ErrorClass::M1tk, 0x03000014);
    reportOnce(ErrorClass::M1tk, 0x03000014);
    reportOnce(ErrorClass::Mdtk, 0x0D000030);
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0].text, "M1TK03000014 Undefined Error!");
    EXPECT_EQ(r.lines[2].text, "MDTK0D000030 Midiのトラックデータでエラーが発生しました。");
}

TEST(ErrorReport, RegisteredClassesUseTheirOwnTable) {
    CollectReports r;
    registerMessages(
        ErrorClass::Znrc,
        [](std::uint32_t code) -> const char* { return code == 0xFF010100 ? "Memory Error!" : nullptr; },
        "Engine Error");
    reportError(ErrorClass::Znrc, 0xFF010100);
    reportError(ErrorClass::Znrc, 0xFF010999);
    EXPECT_EQ(r.lines[0].text, "ZNRCFF010100 Memory Error!");
    EXPECT_EQ(r.lines[1].text, "ZNRCFF010999 Engine Error");
    registerEngineMessages();
}
