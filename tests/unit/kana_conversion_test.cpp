// Lyric tracks turned into sung syllables: each normalising pass on small
// songs, the closing record, the division warning and the syllable limit,
// and a whole song from the lyric writer.
#include "app/DataFolder.h"
#include "app/SongPipeline.h"
#include "app/SongPreparation.h"
#include "base/TextCodec.h"
#include "lyrics/KanaConversion.h"
#include "lyrics/LyricWriter.h"
#include "lyrics/PhonemeTable.h"
#include "midi/MidiTrackEdit.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

using namespace harmolin;
using namespace harmolin::test;

namespace {

std::string sj(const char* utf8) {
    return utf8ToCp932(utf8).value();
}

std::string repoData() {
    return std::string(HARMOLIN_TEST_DATA) + "/../../data";
}

// A reading service with fixed answers, standing in for MeCab.
class FixedReading : public ReadingService {
  public:
    std::map<std::string, std::string> answers; // UTF-8
    int calls = 0;
    std::optional<std::string> reading(std::string_view cp932) override {
        ++calls;
        auto it = answers.find(cp932ToUtf8(cp932));
        if (it == answers.end()) return std::nullopt;
        return utf8ToCp932(it->second);
    }
};

struct TestNote {
    int start;
    int length;
    int pitch;
};
struct TestLyric {
    int time;
    const char* text; // UTF-8
};

// A folder with the given list files (UTF-8 rows, written as CP932).
std::string listFolder(const std::string& name, const std::string& kanjiRows,
                       const std::string& englishRows) {
    const std::string dir = tempPath(name);
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/kanji.csv", std::ios::binary) << utf8ToCp932(kanjiRows).value();
    std::ofstream(dir + "/english.csv", std::ios::binary) << utf8ToCp932(englishRows).value();
    return dir;
}

CXfData makeSong(const std::vector<TestNote>& notes, const std::vector<TestLyric>& lyrics, int division = 480,
                 int channel = 0) {
    MidiTrackData song(kSongCapacity, TrackState::Connected);
    int last = 0;
    for (const TestNote& n : notes) {
        addNote(song, channel, n.start - last, n.pitch, 100, n.length);
        last = n.start;
    }
    // A note on another channel never sings.
    addNote(song, channel == 9 ? 1 : 9, 0, 36, 100, 100);
    const int end = notes.empty() ? 0 : notes.back().start + notes.back().length;
    ensureEndOfTrack(song, end + 240 - last);
    MidiTrackData karaoke(kSongCapacity, TrackState::NoteOnOff);
    last = 0;
    for (const TestLyric& l : lyrics) {
        EXPECT_TRUE(karaoke.append(makeTextMeta(l.time - last, kMetaLyric, utf8ToCp932(l.text).value())));
        last = l.time;
    }
    ensureEndOfTrack(karaoke);
    return CXfData(song, karaoke, division);
}

struct Sung {
    std::vector<SyllableRecord> syllables;
    int beeps = 0;
    std::vector<std::string> reports;
    std::vector<std::string> sung() const { // UTF-8, closing record left out
        std::vector<std::string> out;
        for (const auto& s : syllables)
            if (s.note >= 0) out.push_back(cp932ToUtf8(s.lyric));
        return out;
    }
};

Sung sing(CXfData& song, const std::string& folder, ReadingService* reading) {
    CollectReports collect;
    Sung r;
    SingingOptions options;
    FixedReading none;
    options.reading = reading ? reading : &none;
    options.beep = [&](int hz, int) {
        EXPECT_EQ(hz, 1000);
        ++r.beeps;
    };
    r.syllables = prepareSinging(song, 0, folder, folder, options);
    for (const auto& l : collect.lines)
        r.reports.push_back(l.text);
    return r;
}

using Strings = std::vector<std::string>;

class KanaPasses : public ::testing::Test {
  protected:
    std::string folder = listFolder("kana-lists", "心,こころ\r\n心臓,しんぞう\r\n夢,ゆめ\r\n",
                                    "love,らぶ\r\nyeah,いえい\r\nlet's,れっつ\r\n");
};

TEST_F(KanaPasses, OneSyllablePerCharacterWithTableTimingAndPhonemes) {
    // ニャン on one note: three equal parts, katakana sung as hiragana.
    CXfData song = makeSong({{0, 480, 60}, {480, 480, 62}}, {{0, "ニャン"}, {480, "ーが"}});
    Sung r = sing(song, folder, nullptr);
    ASSERT_EQ(r.sung(), (Strings{"に", "ゃ", "ん", "が"}));
    EXPECT_EQ(r.syllables[0].phoneme, "J i");
    EXPECT_EQ(r.syllables[1].phoneme, "j a");
    EXPECT_EQ(r.syllables[2].phoneme, "N");
    EXPECT_EQ(r.syllables[1].start, 160);
    EXPECT_EQ(r.syllables[1].length, 159);
    EXPECT_EQ(r.syllables[3].start, 480);
    EXPECT_EQ(r.syllables[3].length, 479);
    EXPECT_EQ(r.syllables[3].note, 62);
    EXPECT_TRUE(r.reports.empty());
}

TEST_F(KanaPasses, ClosingRecordAtTheSongsEnd) {
    CXfData song = makeSong({{0, 480, 60}}, {{0, "あ"}});
    Sung r = sing(song, folder, nullptr);
    ASSERT_EQ(r.syllables.size(), 2u);
    const SyllableRecord& last = r.syllables.back();
    EXPECT_EQ(last.note, -1);
    EXPECT_EQ(last.start, 720);
    EXPECT_EQ(last.length, 0);
    EXPECT_EQ(last.lyric, sj("あ"));
    EXPECT_EQ(last.phoneme, "a");
    EXPECT_EQ(last.consonant, 64);
    EXPECT_EQ(r.syllables[0].consonant, 0);
}

TEST_F(KanaPasses, WordsSpreadOverNotesWithoutLyric) {
    CXfData song = makeSong({{0, 240, 60}, {240, 240, 60}, {480, 240, 60}, {720, 240, 60}},
                            {{0, "かぜ"}, {480, "そよ"}});
    Sung r = sing(song, folder, nullptr);
    EXPECT_EQ(r.sung(), (Strings{"か", "ぜ", "そ", "よ"}));
    // The lyric track itself now holds one character per note.
    int lyricEvents = 0;
    for (const auto& e : song.karaokeTrack().events())
        lyricEvents += e.isMeta(kMetaLyric);
    EXPECT_EQ(lyricEvents, 4);
    EXPECT_TRUE(song.karaokeTrack().events().back().isEndOfTrack());
}

TEST_F(KanaPasses, LastNoteTakesWhatIsLeftAndNotesBeforeAnyLyricStaySilent) {
    CXfData song = makeSong({{0, 300, 60}, {480, 300, 60}, {960, 300, 60}}, {{480, "あいう"}});
    Sung r = sing(song, folder, nullptr);
    // The first note has no lyric before it; the last two share あいう.
    EXPECT_EQ(r.sung(), (Strings{"あ", "い", "う"}));
    EXPECT_EQ(r.syllables[0].start, 480);
    EXPECT_EQ(r.syllables[1].start, 960);
    EXPECT_EQ(r.syllables[2].start, 1110);
}

TEST_F(KanaPasses, DigitsAreReadAsciiAndFullWidth) {
    CXfData song = makeSong({{0, 480, 60}, {480, 480, 60}, {960, 480, 60}, {1440, 480, 60}, {1920, 480, 60}},
                            {{0, "2"}, {480, "10"}, {1920, "７"}});
    Sung r = sing(song, folder, nullptr);
    // いちぜろ spreads over the two notes without lyric, the last taking ちぜろ.
    EXPECT_EQ(r.sung(), (Strings{"に", "い", "ち", "ぜ", "ろ", "な", "な"}));
}

TEST_F(KanaPasses, EnglishWordsFromTheListAndUnknownLettersSungOnVowel) {
    CXfData song =
        makeSong({{0, 480, 60}, {480, 480, 60}, {960, 480, 60}}, {{0, "LOVE"}, {480, "Yeah!"}, {960, "zq"}});
    Sung r = sing(song, folder, nullptr);
    const Strings s = r.sung();
    // The "!" is not sung.
    ASSERT_EQ(s.size(), 7u);
    EXPECT_EQ(Strings(s.begin(), s.begin() + 5), (Strings{"ら", "ぶ", "い", "え", "い"}));
    // Letters without a reading keep their place and sing "a".
    EXPECT_EQ(r.syllables[5].phoneme, "a");
    EXPECT_EQ(r.syllables[5].consonant, 64);

    // An apostrophe belongs to its word; the reading's small っ is sung.
    CXfData lets = makeSong({{0, 480, 60}}, {{0, "Let's!"}});
    EXPECT_EQ(sing(lets, folder, nullptr).sung(), (Strings{"れ", "え", "つ"}));
}

TEST_F(KanaPasses, AnEnglishWordSpreadOverNotesStaysOneWord) {
    CXfData song = makeSong({{0, 480, 60}, {480, 480, 60}}, {{0, "love"}});
    Sung r = sing(song, folder, nullptr);
    // The word stays whole on its note and is read; the spread happens per character.
    EXPECT_EQ(r.sung(), (Strings{"ら", "ぶ"}));
}

TEST_F(KanaPasses, KanjiListSpreadsAReadingOverTheNotesOfItsWord) {
    CXfData song =
        makeSong({{0, 480, 60}, {480, 480, 62}, {960, 480, 64}}, {{0, "心"}, {480, "臓"}, {960, "夢"}});
    Sung r = sing(song, folder, nullptr);
    EXPECT_EQ(r.sung(), (Strings{"し", "ん", "ぞ", "う", "ゆ", "め"}));
    EXPECT_EQ(r.syllables[3].note, 62);
    EXPECT_EQ(r.syllables[3].start, 480);
    EXPECT_EQ(r.syllables[2].start, 320);
}

TEST_F(KanaPasses, KanjiWordOnOneNoteThenSpreadAndSharedKanaStay) {
    const std::string dir = listFolder("kana-okurigana", "走っ,はしっ\r\n美しい,うつくしい\r\n", "");
    CXfData song = makeSong({{0, 480, 60}, {480, 480, 60}, {960, 480, 60}, {1440, 480, 60}, {1920, 480, 60}},
                            {{0, "走っ"}, {480, "て"}, {960, "美"}, {1440, "し"}, {1920, "い"}});
    Sung r = sing(song, dir, nullptr);
    // っ becomes the vowel before it; し and い keep their notes.
    EXPECT_EQ(r.sung(), (Strings{"は", "し", "い", "て", "う", "つ", "く", "し", "い"}));
}

TEST_F(KanaPasses, KanjiReadThroughTheServiceOrKeptWithoutIt) {
    FixedReading mecab;
    mecab.answers["桜"] = "さくら";
    CXfData song = makeSong({{0, 480, 60}}, {{0, "桜"}});
    Sung r = sing(song, folder, &mecab);
    EXPECT_EQ(r.sung(), (Strings{"さ", "く", "ら"}));
    EXPECT_EQ(mecab.calls, 1);

    // No service: the text stays and its one character sings "a".
    CXfData again = makeSong({{0, 480, 60}}, {{0, "桜"}});
    Sung without = sing(again, folder, nullptr);
    ASSERT_EQ(without.sung(), (Strings{"桜"}));
    EXPECT_EQ(without.syllables[0].phoneme, "a");
}

TEST_F(KanaPasses, RubyBracketsSpacesAndPageMarks) {
    CXfData song = makeSong({{0, 480, 60}, {480, 480, 60}, {960, 480, 60}},
                            {{0, "字[じ]"}, {480, "<か　 "}, {960, "/ね"}});
    Sung r = sing(song, folder, nullptr);
    // A line mark leading a syllable does not silence it.
    EXPECT_EQ(r.sung(), (Strings{"じ", "か", "ね"}));
}

TEST_F(KanaPasses, LineMarkAloneSilencesTheNoteAndBeeps) {
    CXfData song = makeSong({{0, 480, 60}, {480, 480, 60}, {960, 480, 60}},
                            {{0, "あい"}, {480, "/"}, {960, "イントロ"}, {960, "う"}});
    Sung r = sing(song, folder, nullptr);
    // あい does not spread past the mark's note; the intro label is skipped.
    EXPECT_EQ(r.sung(), (Strings{"あ", "い", "う"}));
    EXPECT_EQ(r.syllables[1].start, 240);
    EXPECT_EQ(r.beeps, 1);
}

TEST_F(KanaPasses, HalfWidthKanaVuAndALoneLongMarkSingTheirSounds) {
    // A note starting on "ー" with nothing sung before stays silent.
    CXfData song = makeSong({{0, 480, 60},
                             {480, 480, 61},
                             {960, 480, 62},
                             {1440, 480, 63},
                             {1920, 480, 64},
                             {2400, 480, 65},
                             {2880, 480, 66}},
                            {{0, "ー"},
                             {480, "ｶﾞｯｺｳ"},
                             {960, "ﾊﾟﾝ"},
                             {1440, "ヴァ"},
                             {1920, "ヴ"},
                             {2400, "ラー"},
                             {2880, "ー"}});
    Sung r = sing(song, folder, nullptr);
    EXPECT_EQ(r.sung(), (Strings{"が", "あ", "こ", "う", "ぱ", "ん", "ば", "ぶ", "ら", "あ"}));
    EXPECT_EQ(r.syllables.back().note, -1);
    EXPECT_EQ(r.syllables[r.syllables.size() - 2].note, 66); // the lone ー holds ら's vowel
    for (const auto& s : r.syllables)
        EXPECT_TRUE(kanaToPhonemes(s.lyric).found) << cp932ToUtf8(s.lyric);

    // Punctuation is not sung and does not take a note of its own; "～"
    // holds a sound like "ー", "ん" included.
    CXfData marks = makeSong({{0, 480, 60}, {480, 480, 61}, {960, 480, 62}, {1440, 480, 63}, {1920, 480, 64}},
                             {{0, "さ、よ！"}, {960, "～"}, {1440, "ん"}, {1920, "ー"}});
    Sung m = sing(marks, folder, nullptr);
    EXPECT_EQ(m.sung(), (Strings{"さ", "よ", "お", "ん", "ん"}));
    EXPECT_EQ(m.syllables[1].note, 61);
}

TEST_F(KanaPasses, SmallTsuTakesTheVowelBefore) {
    // The sound before may be on the note before; with no sound before at
    // all it is "う".
    CXfData song =
        makeSong({{0, 480, 60}, {480, 480, 60}, {960, 480, 60}}, {{0, "っと"}, {480, "かっ"}, {960, "っこ"}});
    Sung r = sing(song, folder, nullptr);
    EXPECT_EQ(r.sung(), (Strings{"う", "と", "か", "あ", "あ", "こ"}));
}

TEST_F(KanaPasses, EmptyLyricsAndEmptySongs) {
    CXfData song = makeSong({{0, 480, 60}, {480, 480, 60}}, {{0, ""}, {480, "エンディング"}});
    Sung r = sing(song, folder, nullptr);
    EXPECT_TRUE(r.sung().empty());
    ASSERT_EQ(r.syllables.size(), 1u);

    CXfData nothing = makeSong({}, {});
    Sung n = sing(nothing, folder, nullptr);
    ASSERT_EQ(n.syllables.size(), 1u);
    EXPECT_EQ(n.syllables[0].note, -1);
}

TEST(KanaMessages, ReadingTroublesAreMessagesOfTheirOwn) {
    // A written form with no reading, and a reading too short for the notes
    // its word spans: each said at once, the song still sung.
    const std::string folder = listFolder("kana-messages", "空,\r\n心臓病,し\r\n", "love,らぶ\r\n");
    FixedReading none;
    SingingOptions options;
    options.reading = &none;
    options.beep = [](int, int) {};
    {
        CollectReports collect;
        CXfData song = makeSong({{0, 480, 60}}, {{0, "空"}});
        EXPECT_FALSE(prepareSinging(song, 0, folder, folder, options).empty());
        EXPECT_TRUE(collect.sawMessage("KanjiToKanaFunc"));
    }
    {
        CollectReports collect;
        CXfData song =
            makeSong({{0, 480, 60}, {480, 480, 62}, {960, 480, 64}}, {{0, "心"}, {480, "臓"}, {960, "病"}});
        EXPECT_FALSE(prepareSinging(song, 0, folder, folder, options).empty());
        EXPECT_TRUE(collect.sawMessage("word_first_assign_len"));
    }
}

TEST_F(KanaPasses, DivisionWarningOnlyForOtherDivisions) {
    CXfData right = makeSong({{0, 480, 60}}, {{0, "あ"}}, 480);
    EXPECT_TRUE(sing(right, folder, nullptr).reports.empty());
    CXfData coarse = makeSong({{0, 96, 60}}, {{0, "あ"}}, 96);
    Sung r = sing(coarse, folder, nullptr);
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.reports[0], "分解能警告");
    EXPECT_EQ(r.sung(), (Strings{"あ"}));
}

TEST_F(KanaPasses, SyllableListStopsAtItsLimitWithOneReport) {
    std::vector<TestNote> notes;
    std::vector<TestLyric> lyrics;
    for (int i = 0; i < 700; ++i) {
        notes.push_back({i * 480, 480, 60});
        lyrics.push_back({i * 480, "かきく"});
    }
    CXfData song = makeSong(notes, lyrics);
    Sung r = sing(song, folder, nullptr);
    ASSERT_EQ(static_cast<int>(r.syllables.size()), kMaxSyllables);
    EXPECT_EQ(r.syllables.back().note, -1);
    EXPECT_EQ(r.reports.size(), 1u);
}

TEST_F(KanaPasses, UsersOwnListsInTheWorkingFolderWin) {
    const std::string work = listFolder("kana-own", "夢,む\r\n", "");
    EXPECT_EQ(listFilePath("kanji.csv", work, folder), work + "/kanji.csv");
    EXPECT_EQ(listFilePath("kanji.csv", tempPath("kana-none"), folder), folder + "/kanji.csv");
    CXfData song = makeSong({{0, 480, 60}}, {{0, "夢"}});
    CollectReports collect;
    FixedReading none;
    SingingOptions options;
    options.reading = &none;
    const auto s = prepareSinging(song, 0, work, folder, options);
    EXPECT_EQ(s[0].lyric, sj("む"));
}

TEST_F(KanaPasses, MissingListsAreReportedAndConversionGoesOn) {
    const std::string empty = tempPath("kana-no-lists");
    std::filesystem::create_directories(empty);
    CXfData song = makeSong({{0, 480, 60}}, {{0, "ラ"}});
    Sung r = sing(song, empty, nullptr);
    EXPECT_EQ(r.sung(), (Strings{"ら"}));
    int gnll = 0;
    for (const auto& line : r.reports)
        gnll += line.rfind("GNLL1E000001", 0) == 0;
    EXPECT_EQ(gnll, 2);
}

TEST(KanaMecab, ReadsKanjiWhenInstalledAndNothingWithoutDictionary) {
    MecabReading missing("-r /nonexistent/mecabrc -d /nonexistent/dic");
    EXPECT_FALSE(missing.available());
    EXPECT_FALSE(missing.reading(sj("心臓")).has_value());

    MecabReading mecab;
    if (!mecab.available()) GTEST_SKIP() << "MeCab's dictionary is not installed";
    EXPECT_EQ(cp932ToUtf8(mecab.reading(sj("心臓")).value()), "しんぞう");
    // The particle は is sung わ, the は of a word stays.
    EXPECT_EQ(cp932ToUtf8(mecab.reading(sj("今日は晴れ")).value()), "きょうわはれ");
    EXPECT_EQ(cp932ToUtf8(mecab.reading(sj("花へ")).value()), "はなえ");
    // Words the dictionary lacks keep their letters.
    EXPECT_EQ(cp932ToUtf8(mecab.reading(sj("LOVEの歌")).value()), "LOVEのうた");
    // Bytes that are not CP932 are not guessed at.
    EXPECT_FALSE(mecab.reading(std::string("\x81", 1)).has_value());
}

TEST(KanaMecab, MissingServiceLeavesKanjiAndRealServiceReadsThem) {
    const std::string folder = listFolder("kana-mecab", "", "");
    MecabReading missing("-r /nonexistent/mecabrc -d /nonexistent/dic");
    CXfData song = makeSong({{0, 480, 60}, {480, 480, 60}}, {{0, "空"}});
    Sung r = sing(song, folder, &missing);
    EXPECT_EQ(r.sung(), (Strings{"空"}));

    MecabReading mecab;
    if (!mecab.available()) GTEST_SKIP() << "MeCab's dictionary is not installed";
    CXfData again = makeSong({{0, 480, 60}, {480, 480, 60}}, {{0, "空"}});
    Sung read = sing(again, folder, &mecab);
    EXPECT_EQ(read.sung(), (Strings{"そ", "ら"}));
}

// A composed song through the lyric writer: every lyric note sings exactly
// one syllable with the table's phonemes.
TEST(KanaSong, WrittenLyricsSingOneSyllablePerNote) {
    const auto choice = styleChoice(0, 1);
    ASSERT_TRUE(choice);
    SongComposer composer(repoData(), 7);
    const std::string composed = tempPath("kana-compose.mid");
    const std::string prepared = tempPath("kana-dv.mid");
    ASSERT_TRUE(composer.composeSong(*choice, composed));
    ASSERT_TRUE(prepareSong(composed, PrepareOptions{}, prepared));
    EngineRandom random;
    const LyricClass lc = lyricClassOf(0);
    auto song = writeLyrics(prepared, 0, lc.styleClass, lc.variantMask, random);
    ASSERT_TRUE(song);
    // Save and read back as the player does.
    const std::string saved = tempPath("kana-plsv.mid");
    ASSERT_TRUE(song->xfData().save(saved));
    CXfData xf;
    ASSERT_TRUE(xf.load(saved));
    std::map<int, std::string> lyricAt;
    int t = 0;
    for (const auto& e : xf.karaokeTrack().events()) {
        t += e.delta;
        if (e.isMeta(kMetaLyric)) lyricAt[t] = e.text();
    }
    ASSERT_FALSE(lyricAt.empty());

    CollectReports collect;
    const auto syllables = prepareSinging(xf, 0, tempPath("kana-song-work"), repoData());
    EXPECT_TRUE(collect.lines.empty()) << collect.lines[0].text;
    ASSERT_GE(syllables.size(), 2u);
    EXPECT_EQ(syllables.back().note, -1);
    std::size_t sungCount = 0;
    for (const auto& s : syllables) {
        if (s.note < 0) continue;
        ++sungCount;
        auto it = lyricAt.find(s.start);
        ASSERT_NE(it, lyricAt.end()) << "syllable at " << s.start << " has no lyric note";
        EXPECT_EQ(s.lyric, it->second);
        const PhonemeLookup p = kanaToPhonemes(s.lyric);
        EXPECT_TRUE(p.found) << cp932ToUtf8(s.lyric);
        EXPECT_EQ(s.phoneme, p.symbols);
        EXPECT_EQ(s.consonant, p.consonant);
    }
    EXPECT_EQ(sungCount, lyricAt.size());
}

} // namespace

// Kanji read a line at a time: a word spread over notes is read as one word
// and its reading shared out where its kanji's own readings fit; the
// program's list corrects MeCab only where a row begins and ends on MeCab's
// word boundaries.
TEST(KanaMecab, WordsReadInContextAndSharedOverTheirNotes) {
    MecabReading mecab;
    if (!mecab.available()) GTEST_SKIP() << "MeCab's dictionary is not installed";
    const std::string work = tempPath("kana-context");
    std::filesystem::create_directories(work);
    std::filesystem::remove(work + "/kanji.csv");
    auto singIn = [&](CXfData& song) {
        CollectReports collect;
        SingingOptions options;
        options.reading = &mecab;
        Sung r;
        r.syllables = prepareSinging(song, 0, work, repoData(), options);
        return r;
    };
    CXfData city =
        makeSong({{0, 480, 60}, {480, 480, 62}, {960, 480, 64}}, {{0, "東"}, {480, "京"}, {960, "日本"}});
    Sung r = singIn(city);
    EXPECT_EQ(r.sung(), (Strings{"と", "う", "き", "ょ", "う", "に", "ほ", "ん"}));
    EXPECT_EQ(r.syllables[1].note, 60); // とう on the note of 東
    EXPECT_EQ(r.syllables[2].note, 62);

    // Each note of a word keeps a share, cut where syllables begin.
    CXfData effort = makeSong(
        {{0, 480, 60}, {480, 480, 61}, {960, 480, 62}, {1440, 480, 63}, {1920, 480, 64}, {2400, 480, 65}},
        {{0, "一"}, {480, "生"}, {960, "懸"}, {1440, "命"}, {1920, "今"}, {2400, "日"}});
    Sung e = singIn(effort);
    std::map<int, std::string> perNote;
    for (const auto& s : e.syllables)
        if (s.note >= 0) perNote[s.note] += cp932ToUtf8(s.lyric);
    EXPECT_EQ(perNote,
              (std::map<int, std::string>{
                  {60, "いい"}, {61, "しょう"}, {62, "けん"}, {63, "めい"}, {64, "きょ"}, {65, "う"}}));

    // A number before a counter is read with it; digits alone one by one.
    CXfData numbers =
        makeSong({{0, 480, 60}, {480, 480, 61}, {960, 480, 62}, {1440, 480, 63}, {1920, 480, 64}},
                 {{0, "2人で"}, {480, "10年/"}, {960, "２０２６年/"}, {1440, "1つ/"}, {1920, "10"}});
    Sung n = singIn(numbers);
    std::string read;
    for (const auto& s : n.sung())
        read += s;
    EXPECT_EQ(read, "ふたりでじゅうねんにせんにじゅうろくねんひとついちぜろ");

    CXfData line = makeSong({{0, 960, 60}, {960, 960, 62}}, {{0, "今日は一人で"}, {960, "一人前を"}});
    Sung l = singIn(line);
    std::string joined;
    for (const auto& s : l.sung())
        joined += s;
    EXPECT_EQ(joined, "きょうわひとりでいちにんまえを");
}
