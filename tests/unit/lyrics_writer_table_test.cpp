// The vocabulary and the phrase templates: the counts the song types rely on
// and the rules that make every reading character one sung note.
#include "base/TextCodec.h"
#include "lyrics/PhraseTemplates.h"
#include "lyrics/WordTable.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

using namespace harmolin;

namespace {

// Code page 932 hiragana: lead byte 0x82, trail 0x9F (ぁ) to 0xF1 (ん).
bool isHiragana(unsigned char lead, unsigned char trail) {
    return lead == 0x82 && trail >= 0x9F && trail <= 0xF1;
}

std::string utf8(const char* cp932) {
    return cp932ToUtf8(cp932);
}

} // namespace

TEST(WordTable, RowsPerCategoryAndClass) {
    // category -> rows for every style, pops, child, ghost
    const std::map<int, std::array<int, 4>> wanted = {
        {1, {0, 15, 0, 5}},   {2, {1, 34, 4, 6}},  {3, {1, 17, 7, 10}}, {4, {0, 52, 21, 9}},
        {5, {0, 18, 20, 14}}, {6, {2, 1, 0, 0}},   {7, {0, 9, 5, 3}},   {8, {4, 26, 7, 7}},
        {9, {5, 65, 15, 10}}, {10, {1, 10, 2, 3}}, {11, {4, 0, 0, 0}},  {12, {4, 0, 0, 0}},
        {13, {1, 0, 0, 0}},   {14, {1, 0, 0, 0}},  {15, {1, 3, 9, 2}},
    };
    std::map<int, std::array<int, 4>> have;
    std::map<int, int> popsMasks;
    for (const LyricWord& w : kWordTable) {
        ASSERT_GE(w.styleClass, 0);
        ASSERT_LE(w.styleClass, 3);
        ++have[w.category][static_cast<std::size_t>(w.styleClass)];
        if (w.styleClass == kPopsStyle)
            ++popsMasks[w.variantMask];
        else
            EXPECT_EQ(w.variantMask, kAllVariants) << utf8(w.display);
        EXPECT_GE(w.spare, 0);
        EXPECT_LE(w.spare, 7);
    }
    EXPECT_EQ(have, wanted);
    EXPECT_EQ(popsMasks, (std::map<int, int>{{1, 22}, {2, 13}, {4, 34}, {255, 181}}));

    std::map<std::string, int> displays;
    for (const LyricWord& w : kWordTable)
        ++displays[w.display];
    int doubles = 0;
    for (const auto& [text, n] : displays) {
        EXPECT_LE(n, 2) << utf8(text.c_str());
        if (n == 2) ++doubles;
    }
    EXPECT_EQ(doubles, 4);
}

TEST(WordTable, ReadingsAreOneHiraganaSyllablePerNote) {
    const std::set<unsigned char> small = {0xE1, 0xE3, 0xE5, 0xA5, 0xA7, 0xA1}; // ゃゅょぇぉぃ
    const std::set<unsigned char> neverSung = {0xC1, 0x9F, 0xA3, 0xEC};         // っ ぁ ぅ ゎ
    for (const LyricWord& w : kWordTable) {
        const std::string reading = w.reading;
        const std::string shown = utf8(w.display);
        ASSERT_EQ(reading.size() % 2, 0u) << shown;
        EXPECT_GE(reading.size(), 2u) << shown;
        EXPECT_LE(reading.size(), 28u) << shown;
        for (std::size_t i = 0; i < reading.size(); i += 2) {
            const auto lead = static_cast<unsigned char>(reading[i]);
            const auto trail = static_cast<unsigned char>(reading[i + 1]);
            EXPECT_TRUE(isHiragana(lead, trail)) << shown << " " << utf8(w.reading);
            EXPECT_FALSE(neverSung.count(trail)) << shown << " " << utf8(w.reading);
            if (i == 0) {
                EXPECT_FALSE(small.count(trail)) << shown << " starts on a small kana";
            }
        }
        // Both texts must come back from the code page unharmed.
        EXPECT_EQ(shown.find("\\x"), std::string::npos) << shown;
        EXPECT_EQ(utf8ToCp932(shown).value_or(""), std::string(w.display));
        EXPECT_FALSE(shown.empty());
    }
}

TEST(WordTable, SpellingsFollowTheSungForm) {
    std::map<std::string, std::string> readingOf;
    for (const LyricWord& w : kWordTable)
        readingOf[utf8(w.display)] = utf8(w.reading);
    // Long vowels and small っ sung as the vowel before, particle は as わ,
    // small ゃ kept as a note of its own.
    EXPECT_EQ(readingOf["アタック"], "あたあく");
    EXPECT_EQ(readingOf["は"], "わ");
    EXPECT_EQ(readingOf["には"], "にわ");
    EXPECT_EQ(readingOf["こねこちゃん"], "こねこちゃん");
    EXPECT_EQ(readingOf["コケコッコー"], "こけこおこお");
    EXPECT_EQ(readingOf["待っている"], "まあている");
    EXPECT_EQ(readingOf["だったのか"], "だあたのか");
    EXPECT_EQ(readingOf["セイヤ！"], "せいや");
    EXPECT_EQ(readingOf["夕焼け"], "ゆうやけ");
}

TEST(PhraseTemplates, AsListedAndReadToTheirFirstZero) {
    ASSERT_EQ(kPhraseTemplates.size(), 43u);
    for (const PhraseTemplate& t : kPhraseTemplates) {
        EXPECT_GE(t[0], 1);
        bool ended = false;
        for (int c : t) {
            if (c == 0)
                ended = true;
            else {
                EXPECT_FALSE(ended) << "a category after the end";
                EXPECT_LE(c, 15);
            }
        }
    }
    EXPECT_EQ(kPhraseTemplates[2], (PhraseTemplate{4, 5, 6, 1, 0}));
    EXPECT_EQ(kPhraseTemplates[17], (PhraseTemplate{2, 9, 6, 5, 11}));
    EXPECT_EQ(kPhraseTemplates[32], (PhraseTemplate{9, 11, 9, 11, 4}));
    EXPECT_EQ(kPhraseTemplates[37], (PhraseTemplate{9, 6, 2, 9, 12}));
    EXPECT_EQ(kPhraseTemplates[41], (PhraseTemplate{14, 6, 9, 0, 0}));
    EXPECT_EQ(kPhraseTemplates[42], (PhraseTemplate{15, 15, 15, 0, 0}));
}
