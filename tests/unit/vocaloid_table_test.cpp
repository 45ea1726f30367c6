// Kana-to-phoneme table and the singer list.
#include "base/TextCodec.h"
#include "lyrics/PhonemeTable.h"
#include "lyrics/VoiceList.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace harmolin;

namespace {

std::string sj(const char* utf8) {
    return utf8ToCp932(utf8).value();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The rows as a singer's reference sheet lists them: kana, number, symbols, consonant.
const char* kSheet =
    "あ 0 a 0|い 1 i 0|う 2 M 0|え 3 e 0|お 4 o 0|か 5 k_a 64|き 6 k'_i 64|く 7 k_M 64|け 8 k_e 64|"
    "こ 9 k_o 64|さ 10 s_a 64|し 11 S_i 64|す 12 s_M 64|せ 13 s_e 64|そ 14 s_o 64|た 15 t_a 64|"
    "ち 16 tS_i 64|つ 17 ts_M 64|て 18 t_e 64|と 19 t_o 64|な 20 n_a 64|に 21 J_i 64|ぬ 22 n_M 64|"
    "ね 23 n_e 64|の 24 n_o 64|は 25 h_a 64|ひ 26 C_i 64|ふ 27 p\\_M 64|へ 28 h_e 64|ほ 29 h_o 64|"
    "ま 30 m_a 64|み 31 m'_i 64|む 32 m_M 64|め 33 m_e 64|も 34 m_o 64|や 35 j_a 64|ゆ 36 j_M 64|"
    "よ 37 j_o 64|ら 38 4_a 64|り 39 4'_i 64|る 40 4_M 64|れ 41 4_e 64|ろ 42 4_o 64|わ 43 w_a 64|"
    "を 4 o 0|ん 44 N 64|が 45 g_a 64|ぎ 46 g'_i 64|ぐ 47 g_M 64|げ 48 g_e 64|ご 49 g_o 64|"
    "ざ 50 dz_a 64|じ 51 dZ_i 64|ず 52 dz_M 64|ぜ 53 dz_e 64|ぞ 54 dz_o 64|だ 55 d_a 64|ぢ 56 dZ_i 64|"
    "づ 57 dz_M 64|で 58 d_e 64|ど 59 d_o 64|ば 60 b_a 64|び 61 b'_i 64|ぶ 62 b_M 64|べ 63 b_e 64|"
    "ぼ 64 b_o 64|ぱ 65 p_a 64|ぴ 66 p'_i 64|ぷ 67 p_M 64|ぺ 68 p_e 64|ぽ 69 p_o 64|きゃ 70 k'_a 64|"
    "きゅ 71 k'_M 64|きょ 72 k'_o 64|ぎゃ 91 g'_a 64|ぎゅ 92 g'_M 64|ぎょ 93 g'_o 64|しゃ 73 S_a 64|"
    "しゅ 74 S_M 64|しょ 75 S_o 64|りゃ 94 4'_a 64|りゅ 95 4'_M 64|りょ 96 4'_o 64|ちゃ 76 tS_a 64|"
    "ちゅ 77 tS_M 64|ちょ 78 tS_o 64|じゃ 97 dZ_a 64|じゅ 98 dZ_M 64|じょ 99 dZ_o 64|みゃ 100 m'_a 64|"
    "みゅ 101 m'_M 64|みょ 102 m'_o 64|ひゃ 82 C_a 64|ひゅ 83 C_M 64|ひょ 84 C_o 64|びゃ 85 b'_a 64|"
    "びゅ 86 b'_M 64|びょ 87 b'_o 64|ぴゃ 88 p'_a 64|ぴゅ 89 p'_M 64|ぴょ 90 p'_o 64|にゃ 79 J_a 64|"
    "にゅ 80 J_M 64|にょ 81 J_o 64|ぁ 0 a 0|ぃ 1 i 0|ぅ 2 M 0|ぇ 3 e 0|ぉ 4 o 0|ゃ 35 j_a 64|"
    "ゅ 36 j_M 64|ょ 37 j_o 64|っ 17 ts_M 64";

TEST(PhonemeTable, RowsMatchTheSheetInOrder) {
    std::vector<std::string> sheet;
    std::stringstream all(kSheet);
    for (std::string row; std::getline(all, row, '|');)
        sheet.push_back(row);
    const auto& table = phonemeTable();
    ASSERT_EQ(table.size(), 113u);
    ASSERT_EQ(sheet.size(), 113u);
    for (std::size_t i = 0; i < table.size(); ++i) {
        std::stringstream fields(sheet[i]);
        std::string kana, symbols;
        int number = -1, consonant = -1;
        fields >> kana >> number >> symbols >> consonant;
        for (char& c : symbols)
            if (c == '_') c = ' ';
        SCOPED_TRACE(sheet[i]);
        EXPECT_EQ(cp932ToUtf8(table[i].kana), kana);
        EXPECT_EQ(table[i].number, number);
        EXPECT_EQ(table[i].symbols, symbols);
        EXPECT_EQ(table[i].consonant, consonant);
    }
}

TEST(PhonemeTable, LookupsTakeTheFirstMatchingRow) {
    EXPECT_EQ(kanaToNumber(sj("か")), 5);
    EXPECT_EQ(kanaToNumber(sj("ぴょ")), 90);
    EXPECT_EQ(kanaToNumber(sj("を")), 4);
    // Whole-text match only: a longer or shorter text is not a row.
    EXPECT_EQ(kanaToNumber(sj("かき")), 0);
    EXPECT_EQ(kanaToNumber(""), 0);
    EXPECT_EQ(kanaToNumber(sj("ヴ")), 0);

    // Numbers shared by several rows give the first row's symbols.
    EXPECT_EQ(numberToPhonemes(4), "o");     // お before を and ぉ
    EXPECT_EQ(numberToPhonemes(17), "ts M"); // つ before っ
    EXPECT_EQ(numberToPhonemes(56), "dZ i");
    EXPECT_EQ(numberToPhonemes(103), std::nullopt);
    EXPECT_EQ(numberToPhonemes(-1), std::nullopt);
}

TEST(PhonemeTable, KanaToPhonemesFallsBackToA64) {
    const auto ka = kanaToPhonemes(sj("か"));
    EXPECT_TRUE(ka.found);
    EXPECT_EQ(ka.symbols, "k a");
    EXPECT_EQ(ka.consonant, 64);
    const auto small = kanaToPhonemes(sj("ぉ"));
    EXPECT_EQ(small.symbols, "o");
    EXPECT_EQ(small.consonant, 0);
    EXPECT_EQ(kanaToPhonemes(sj("ゃ")).symbols, "j a");
    for (const std::string& text : {sj("漢"), sj("カ"), std::string("x"), std::string()}) {
        const auto missing = kanaToPhonemes(text);
        EXPECT_FALSE(missing.found);
        EXPECT_EQ(missing.symbols, "a");
        EXPECT_EQ(missing.consonant, 64);
    }
}

class VoiceListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = test::tempPath("voices-" +
                             std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string dir;
    test::CollectReports reports;
};

TEST_F(VoiceListTest, CsvRowsNeedTheirLineEnd) {
    writeFile(path("voice.csv"), "Alto,warm low voice\r\nTenor,bright");
    std::vector<VoiceCsvEntry> rows;
    EXPECT_TRUE(VoiceCsvReader(path("voice.csv")).getVoiceList(rows));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "Alto");
    EXPECT_EQ(rows[0].value, "warm low voice");

    // CR LF is one line end, commas after the first stay in the value, and a
    // Japanese name keeps its bytes.
    writeFile(path("voice.csv"), sj("ハル,春の声,高い\r\nAki,x\nFuyu\n"));
    EXPECT_TRUE(VoiceCsvReader(path("voice.csv")).getVoiceList(rows));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, sj("ハル"));
    EXPECT_EQ(rows[0].value, sj("春の声,高い"));
    EXPECT_EQ(rows[1].name, "Aki");
    EXPECT_EQ(rows[2].name, "Fuyu");
    EXPECT_EQ(rows[2].value, "");
    EXPECT_TRUE(reports.lines.empty());
}

TEST_F(VoiceListTest, UnreadableCsvGivesTheUnknownSinger) {
    std::vector<VoiceCsvEntry> rows;
    EXPECT_FALSE(VoiceCsvReader(path("missing.csv")).getVoiceList(rows));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, sj("不明"));
    EXPECT_EQ(rows[0].value, "Undef");
    EXPECT_TRUE(reports.saw("VOFW00000005 GetVoiceListでエラー"));

    // Too large for the read buffer: refused the same way, not cut.
    writeFile(path("big.csv"), std::string(70000, 'a') + ",b\n");
    EXPECT_FALSE(VoiceCsvReader(path("big.csv")).getVoiceList(rows));
    EXPECT_EQ(rows[0].value, "Undef");
}

TEST_F(VoiceListTest, CsvSourceBesideTheOwnPlugin) {
    writeFile(path("voice.csv"), std::string(70, 'N') + ",long\nSecond,x\n");
    VoiceList list;
    EXPECT_TRUE(list.loadVoiceList(path("libharmolin-voice.so"), "/nonexistent"));
    EXPECT_TRUE(list.hasList());
    EXPECT_EQ(list.source(), path("voice.csv"));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.first().name, std::string(63, 'N'));
    EXPECT_EQ(list.entry(1).program, 1);
    EXPECT_EQ(list.entry(1).name, "Second");

    // A plug-in without a singer list leaves none.
    EXPECT_FALSE(list.loadVoiceList(path("reverb.so"), dir));
    EXPECT_FALSE(list.hasList());
    EXPECT_EQ(list.first().name, "Singer");
}

TEST(PluginKind, DecidedByTheBaseName) {
    for (const char* path : {"/opt/x/Cantrix.so", "/opt/x/harmolin-voice-Cantrix.so", "CantrixVoice.so",
                             "/a/b/my.Cantrix.so", "/a/KarsCantrix.so", "Cantrix"})
        EXPECT_EQ(pluginKindOf(path), PluginKind::SyllableProgram) << path;
    for (const char* path :
         {"/opt/VOCALOID2/VOCALOID2.so", "/usr/lib/harmolin/libharmolin-voice.so", "harmolin-voice.so"})
        EXPECT_EQ(pluginKindOf(path), PluginKind::VocaloidStream) << path;
    // The folder does not count; nor does the suffix.
    for (const char* path :
         {"/opt/Cantrix/other.so", "/usr/lib/vst/Kars-vst.so", "/x/ZynAddSubFX.so", "/x/plug.Cantrix", ""})
        EXPECT_EQ(pluginKindOf(path), PluginKind::Instrument) << path;
}

TEST(PluginKind, TheOverrideWinsOverTheName) {
    EXPECT_EQ(pluginKindOf("/x/Cantrix.so", "instrument"), PluginKind::Instrument);
    EXPECT_EQ(pluginKindOf("/x/Kars-vst.so", "vocaloid"), PluginKind::VocaloidStream);
    EXPECT_EQ(pluginKindOf("/x/Kars-vst.so", "syllable"), PluginKind::SyllableProgram);
    EXPECT_EQ(pluginKindOf("/x/Cantrix.so", "auto"), PluginKind::SyllableProgram);
    EXPECT_EQ(pluginKindOf("/x/Cantrix.so", ""), PluginKind::SyllableProgram);
    EXPECT_FALSE(parsePluginKindName("Instrument"));
    EXPECT_FALSE(parsePluginKindName("cantrix"));
    for (PluginKind k : {PluginKind::VocaloidStream, PluginKind::SyllableProgram, PluginKind::Instrument})
        EXPECT_EQ(pluginKindOf("/x/Kars-vst.so", pluginKindName(k)), k);
}

TEST_F(VoiceListTest, EverySingerKindReadsTheListBesideItsPlugin) {
    writeFile(path("voice.csv"), "Alto,low\n");
    for (const char* name : {"CantrixVoice.so", "my.Cantrix.so", "Cantrix.so", "harmolin-voice.so"}) {
        VoiceList list;
        EXPECT_TRUE(list.loadVoiceList(path(name), "/nonexistent")) << name;
        EXPECT_EQ(list.source(), path("voice.csv")) << name;
        EXPECT_EQ(list.first().name, "Alto") << name;
    }
    // Named as a singer by the override, an instrument's file still finds the list beside it.
    VoiceList list;
    EXPECT_TRUE(list.loadVoiceList(path("Kars-vst.so"), PluginKind::VocaloidStream, "/nonexistent"));
    EXPECT_EQ(list.first().name, "Alto");
    EXPECT_FALSE(list.loadVoiceList(path("Kars-vst.so"), PluginKind::Instrument, "/nonexistent"));
}

TEST_F(VoiceListTest, VoiceDatabasesFolder) {
    VoiceList list;
    // No voice.map: the unknown singer.
    list.readVoiceDatabases(dir);
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.first().name, sj("不明"));

    // A header alone: nothing read, the default entry stays for the writer.
    writeFile(path("voice.map"), std::string(32, '\0'));
    list.readVoiceDatabases(dir);
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.first().name, "Singer");
    EXPECT_EQ(list.first().program, 0);

    // Record 3 served by database 1; record 5 by a database whose file is missing.
    std::string map(32 + 8 * 6, '\0');
    map[32 + 8 * 3] = 1;
    map[32 + 8 * 5] = 2;
    writeFile(path("voice.map"), map);
    // The description is stored through a byte substitution (here: +1).
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i - 1);
    std::string plain = "\"VERSION\":=:\"1\"\n\"VOICENAME\":=:\"" + std::string(70, 'Z') + "\"\n";
    for (char& c : plain)
        c = static_cast<char>(c + 1);
    writeFile(path("vvoice1.vvd"), plain);
    list.setVvdSubstitution(table);
    list.readVoiceDatabases(dir);
    ASSERT_EQ(list.count(), 1);
    EXPECT_EQ(list.first().program, 3);
    EXPECT_EQ(list.first().name, std::string(63, 'Z'));
    EXPECT_TRUE(reports.sawMessage("vvoice2.vvdがある場所を指定してください。"));
}

} // namespace
