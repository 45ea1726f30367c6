// The word-list loader and the shipped word lists.
#include "base/ErrorCodes.h"
#include "base/TextCodec.h"
#include "lyrics/KanaConversion.h"
#include "lyrics/ListFiles.h"
#include "lyrics/PhonemeTable.h"
#include "lyrics/Reading.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

using namespace harmolin;
using namespace harmolin::test;

namespace {

std::string repoData() {
    return std::string(HARMOLIN_TEST_DATA) + "/../../data";
}
std::string sj(const char* utf8) {
    return utf8ToCp932(utf8).value();
}

TEST(KanaListLoader, RowsQuotesEscapesAndLineEnds) {
    CollectReports collect;
    const std::string bytes = "a,b\r\n\"c,d\",e\n\r\nf\\\\g,\"h\"\rlast," + sj("ソ表") + "\\\\";
    const ListFile l = parseListFile(bytes, "test");
    EXPECT_TRUE(l.complete);
    ASSERT_EQ(l.rows.size(), 4u);
    EXPECT_EQ(l.rows[1][0], "c,d");
    EXPECT_EQ(l.rows[1][1], "e");
    EXPECT_EQ(l.rows[2][0], "f,g");
    EXPECT_EQ(l.rows[2][1], "h");
    // ソ and 表 end in a backslash byte: not an escape.
    EXPECT_EQ(l.rows[3][1], sj("ソ表") + ",");
    EXPECT_TRUE(collect.lines.empty());
}

TEST(KanaListLoader, DamagedFilesKeepTheRowsBeforeTheError) {
    struct Case {
        std::string bytes;
        std::uint32_t code;
        std::size_t rows;
    };
    const Case cases[] = {
        {"a,b\r\nnocomma\r\nc,d\r\n", errc::kListBadValue, 1},
        {"a,b\r\n\"open,b\r\n", errc::kListBadValue, 1},
        {"a,b,c\r\n", errc::kListBadValue, 0},
        {"a,b\r\n a,b\r\n", errc::kListInvalidSpace, 1},
        {"a," + std::string(255, 'x') + "\r\n", errc::kListFieldTooLong, 0},
    };
    for (const Case& c : cases) {
        CollectReports collect;
        const ListFile l = parseListFile(c.bytes, "where.csv");
        EXPECT_FALSE(l.complete) << c.bytes;
        EXPECT_EQ(l.rows.size(), c.rows) << c.bytes;
        EXPECT_TRUE(collect.sawCode(c.code)) << c.bytes;
        EXPECT_TRUE(collect.saw("where.csv")) << c.bytes;
        // The file first, then its error: a presenter joins them, and no
        // later error inherits the name.
        ASSERT_GE(collect.lines.size(), 2u);
        EXPECT_EQ(collect.lines[0].severity, Severity::Notice);
        EXPECT_EQ(collect.lines[0].text, "where.csv");
        EXPECT_EQ(collect.lines[1].code, c.code);
    }
    CollectReports collect;
    (void)parseListFile("a,b\r\nnocomma\r\n", "x"); // only the report is checked
    EXPECT_TRUE(collect.sawMessage("2 line error occrued!"));
    EXPECT_TRUE(collect.saw("GNLL1E000002 List file data contains error value."));
}

TEST(KanaListLoader, RowAndSizeLimits) {
    std::string rows;
    for (int i = 0; i < kListMaxRows; ++i)
        rows += "a,b\n";
    {
        CollectReports collect;
        EXPECT_EQ(parseListFile(rows, "x").rows.size(), static_cast<std::size_t>(kListMaxRows));
        EXPECT_TRUE(collect.lines.empty());
    }
    {
        CollectReports collect;
        const ListFile l = parseListFile(rows + "c,d\n", "x");
        EXPECT_EQ(l.rows.size(), static_cast<std::size_t>(kListMaxRows));
        EXPECT_TRUE(collect.saw("GNLL1E000003 Too many items in list!"));
    }
    const std::string big = tempPath("kana-big.csv");
    std::ofstream(big, std::ios::binary) << std::string(kListMaxBytes - 3, 'a') + ",b\n" + "x";
    {
        CollectReports collect;
        const ListFile l = loadListFile(big);
        EXPECT_TRUE(l.rows.empty());
        EXPECT_TRUE(collect.sawCode(errc::kListTooLarge));
        EXPECT_EQ(std::filesystem::file_size(big), static_cast<std::uintmax_t>(kListMaxBytes + 1));
    }
    CollectReports collect;
    EXPECT_TRUE(loadListFile(tempPath("kana-missing.csv")).rows.empty());
    EXPECT_TRUE(collect.sawCode(errc::kListCannotOpen));
}

TEST(KanaShippedLists, KanjiListIsWithinLimitsGroupedAndReadable) {
    const std::string path = repoData() + "/kanji.csv";
    ASSERT_LE(std::filesystem::file_size(path), static_cast<std::uintmax_t>(kListMaxBytes));
    CollectReports collect;
    const ListFile l = loadListFile(path);
    ASSERT_TRUE(l.complete);
    EXPECT_TRUE(collect.lines.empty());
    EXPECT_GE(l.rows.size(), 10u);
    EXPECT_LE(l.rows.size(), static_cast<std::size_t>(kListMaxRows));
    std::set<std::string> closedGroups;
    std::string group;
    std::set<std::string> forms;
    for (const auto& row : l.rows) {
        const std::string first = row[0].substr(0, 2);
        if (first != group) {
            EXPECT_FALSE(closedGroups.count(first)) << "group split: " << cp932ToUtf8(first);
            closedGroups.insert(group);
            group = first;
        }
        EXPECT_TRUE(forms.insert(row[0]).second) << "twice: " << cp932ToUtf8(row[0]);
        // Every reading sings: hiragana the phoneme table knows (ー is dropped).
        for (std::size_t i = 0; i < row[1].size(); i += 2) {
            const std::string c = row[1].substr(i, 2);
            if (c == sj("ー")) continue;
            ASSERT_TRUE(kanaToPhonemes(c).found) << cp932ToUtf8(row[1]);
        }
    }
    // The list only holds what the reader gets wrong: MeCab alone would read
    // every row otherwise.
    MecabReading mecab;
    if (!mecab.available()) GTEST_SKIP() << "MeCab's dictionary is not installed";
    for (const auto& row : l.rows)
        EXPECT_NE(mecab.reading(row[0]).value_or(""), row[1]) << cp932ToUtf8(row[0]) << " needs no row";
}

TEST(KanaShippedLists, EnglishListReadsInSingableKana) {
    CollectReports collect;
    const ListFile l = loadListFile(repoData() + "/english.csv");
    ASSERT_TRUE(l.complete);
    EXPECT_TRUE(collect.lines.empty());
    EXPECT_GT(l.rows.size(), 100u);
    std::set<std::string> words;
    for (const auto& row : l.rows) {
        for (char c : row[0])
            EXPECT_TRUE((c >= 'a' && c <= 'z') || c == '\'') << row[0];
        EXPECT_TRUE(words.insert(row[0]).second) << row[0];
        const std::string hira = katakanaToHiragana(row[1]);
        for (std::size_t i = 0; i < hira.size(); i += 2)
            EXPECT_TRUE(kanaToPhonemes(hira.substr(i, 2)).found) << row[0];
    }
    for (const char* w : {"love", "baby", "dance", "night", "dream", "yeah", "oh", "shake"})
        EXPECT_TRUE(words.count(w)) << w;
}

} // namespace
