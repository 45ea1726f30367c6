// A person's words fitted to a melody: reading the words file, counting the
// syllables of each line, and laying lines onto phrases note by note.
#include "app/WordsPipeline.h"
#include "base/TextCodec.h"
#include "lyrics/WordsFitting.h"

#include <gtest/gtest.h>

using namespace harmolin;

namespace {

constexpr int D = 480, S = 120;

std::string sj(const char* utf8) {
    return utf8ToCp932(utf8).value();
}

std::vector<std::string> kana(const char* utf8) {
    std::vector<std::string> out;
    const std::string s = sj(utf8);
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        out.push_back(s.substr(i, 2));
    return out;
}

// Notes given as (start, length, pitch).
FitPhrase phrase(std::initializer_list<std::array<int, 3>> notes, int limit) {
    FitPhrase p;
    for (const auto& n : notes)
        p.notes.push_back({n[0], n[1], n[2], 100});
    p.limit = limit;
    return p;
}

// The syllables of a fitted line with the held notes left out, so a fit
// can be checked to sing every syllable once and in order.
std::vector<std::string> sung(const std::vector<SungNote>& notes) {
    std::vector<std::string> out;
    for (const auto& n : notes)
        if (n.lyric != heldMark()) out.push_back(n.lyric);
    return out;
}

void expectSoundTiming(const std::vector<SungNote>& notes, int limit) {
    for (std::size_t i = 0; i < notes.size(); ++i) {
        EXPECT_GE(notes[i].note.length, S) << "note " << i;
        if (i + 1 < notes.size()) {
            EXPECT_LE(notes[i].note.start + notes[i].note.length, notes[i + 1].note.start);
        }
    }
    EXPECT_LE(notes.back().note.start + notes.back().note.length, limit);
}

} // namespace

TEST(WordsFitting, AsManyNotesAsSyllablesSingsOneEach) {
    const auto p = phrase({{0, 240, 60}, {240, 240, 62}, {480, 480, 64}}, 1920);
    const auto fit = fitLine(p, kana("そらに"), D);
    ASSERT_TRUE(fit);
    ASSERT_EQ(fit->size(), 3u);
    EXPECT_EQ(sung(*fit), kana("そらに"));
    EXPECT_EQ((*fit)[2].note.length, 480);
}

TEST(WordsFitting, ExtraNotesTieSamePitchFirstThenHoldTheLastSyllables) {
    // Five notes, three syllables: the repeated 64 ties (no rest between),
    // the remaining extra note holds the last syllable.
    const auto p =
        phrase({{0, 240, 60}, {240, 240, 62}, {480, 240, 64}, {720, 240, 64}, {960, 480, 65}}, 1920);
    const auto fit = fitLine(p, kana("うみへ"), D);
    ASSERT_TRUE(fit);
    EXPECT_EQ(sung(*fit), kana("うみへ"));
    ASSERT_EQ(fit->size(), 4u);
    EXPECT_EQ((*fit)[2].note.start, 480);
    EXPECT_EQ((*fit)[2].note.length, 480); // tied
    EXPECT_EQ((*fit)[3].lyric, heldMark());
    EXPECT_EQ((*fit)[3].note.pitch, 65);

    // Same pitch across a rest is not tied; holds go to the last syllables in
    // turn, never to the first note.
    const auto q =
        phrase({{0, 120, 60}, {480, 120, 60}, {960, 120, 62}, {1440, 120, 64}, {1920, 120, 65}}, 2400);
    const auto held = fitLine(q, kana("あい"), D);
    ASSERT_TRUE(held);
    ASSERT_EQ(held->size(), 5u);
    EXPECT_EQ(sung(*held), kana("あい"));
    EXPECT_NE((*held)[0].lyric, heldMark());
    EXPECT_EQ((*held)[4].lyric, heldMark());
}

TEST(WordsFitting, MissingNotesSplitTheLongestNeverBelowASixteenth) {
    const auto p = phrase({{0, 240, 60}, {240, 960, 62}, {1200, 240, 64}}, 1920);
    const auto fit = fitLine(p, kana("かぜがふいた"), D);
    ASSERT_TRUE(fit);
    EXPECT_EQ(sung(*fit), kana("かぜがふいた"));
    ASSERT_EQ(fit->size(), 6u);
    expectSoundTiming(*fit, 1920);
    // The whole note of 960 went first (two halves, then quarters), and the
    // split notes keep their pitch.
    EXPECT_EQ((*fit)[1].note.start, 240);
    EXPECT_EQ((*fit)[1].note.pitch, 62);
    EXPECT_EQ((*fit)[4].note.pitch, 62);
    int total = 0;
    for (const auto& n : *fit)
        total += n.note.length;
    EXPECT_EQ(total, 1440); // nothing borrowed while notes were long enough
}

TEST(WordsFitting, ShortNotesBorrowTheFollowingRestOrRefuse) {
    // Two sixteenths followed by a rest: the last note borrows from it.
    const auto p = phrase({{0, 120, 60}, {120, 120, 62}}, 960);
    const auto fit = fitLine(p, kana("はなび"), D);
    ASSERT_TRUE(fit);
    EXPECT_EQ(sung(*fit), kana("はなび"));
    expectSoundTiming(*fit, 960);
    EXPECT_EQ(fit->back().note.start, 240);

    // With no rest to borrow the phrase cannot hold the line.
    const auto tight = phrase({{0, 120, 60}, {120, 120, 62}}, 240);
    EXPECT_FALSE(fitLine(tight, kana("はなび"), D));
    EXPECT_FALSE(fitLine(tight, {}, D));
}

TEST(WordsFitting, LinesStartPhrasesInOrderAndALongLineTakesTheNextPhrase) {
    const std::vector<FitPhrase> phrases = {
        phrase({{0, 240, 60}, {240, 240, 62}}, 960),
        phrase({{960, 240, 60}, {1200, 240, 62}}, 1920),
        phrase({{1920, 480, 60}, {2400, 480, 62}}, 2880),
        phrase({{2880, 480, 60}}, 3840),
    };
    // Line 2 (index 2, after a blank) needs 9 syllables: phrase 1 holds at
    // most 8 sixteenths with its rest, so it takes phrase 2 as well.
    const std::vector<std::vector<std::string>> lines = {
        kana("ゆき"), {}, kana("しろいゆきがふりつむ"), kana("よる")};
    const WordsFit fit = fitWords(phrases, lines, D);
    ASSERT_TRUE(fit.complete);
    ASSERT_EQ(fit.lines.size(), 3u);
    EXPECT_EQ(fit.lines[0].firstPhrase, 0);
    EXPECT_EQ(fit.lines[1].line, 2);
    EXPECT_EQ(fit.lines[1].firstPhrase, 1);
    EXPECT_EQ(fit.lines[1].phraseCount, 2);
    EXPECT_EQ(fit.lines[1].notes.front().note.start, 960);
    EXPECT_EQ(sung(fit.lines[1].notes), lines[2]);
    EXPECT_EQ(fit.lines[2].firstPhrase, 3);
    EXPECT_EQ(fit.lines[2].notes.front().note.start, 2880);
    EXPECT_EQ(fit.phrasesUsed, 4);

    // More lines than the phrases can take: not complete, nothing dropped
    // from the lines that were placed.
    const WordsFit shortOf =
        fitWords(phrases, {kana("あ"), kana("い"), kana("う"), kana("え"), kana("お")}, D);
    EXPECT_FALSE(shortOf.complete);
    EXPECT_EQ(shortOf.lines.size(), 4u);
}

TEST(WordsText, Utf8AndShiftJisLinesVersesAndRefusals) {
    const WordsText u = parseWords("\xEF\xBB\xBF  星空に\r\n願いを\r\n\r\n\r\nLove me  \n　月\n\n");
    ASSERT_TRUE(u.error.empty()) << u.error;
    ASSERT_EQ(u.lines.size(), 5u);
    EXPECT_EQ(u.lines[0].written, sj("星空に"));
    EXPECT_TRUE(u.lines[2].blank());
    EXPECT_EQ(u.lines[3].written, "Love me");
    EXPECT_EQ(u.lines[4].written, sj("月"));

    const WordsText s = parseWords(sj("夜空\r\nそら\r\n"));
    ASSERT_TRUE(s.error.empty()) << s.error;
    ASSERT_EQ(s.lines.size(), 2u);
    EXPECT_EQ(s.lines[0].written, sj("夜空"));

    EXPECT_FALSE(parseWords("\n \n\n").error.empty());
    EXPECT_FALSE(parseWords(std::string("MThd\0\0\0\6", 8)).error.empty());
    EXPECT_NE(parseWords("空\n\xF0\x9F\x8E\xB5\n").error.find("line 2"), std::string::npos);
    EXPECT_FALSE(parseWords("\xFF\xFE\x41\x00").error.empty());
}

TEST(WordsText, SyllablesOfEachLineAsTheKanaConversionSingsThem) {
    const WordsText words = parseWords("きゃべつ\n\nラッパ 2\n");
    ASSERT_TRUE(words.error.empty());
    const auto syllables = lineSyllables(words.lines, "", std::string(HARMOLIN_TEST_DATA) + "/../../data");
    ASSERT_EQ(syllables.size(), 3u);
    EXPECT_EQ(syllables[0], kana("きゃべつ"));
    EXPECT_TRUE(syllables[1].empty());
    // Katakana sung in hiragana, small "っ" on the vowel before it, a
    // digit read.
    EXPECT_EQ(syllables[2], kana("らあぱに"));

    // A written long vowel takes a note of its own, on the vowel before it.
    const WordsText held = parseWords("ラーメン\nあいしてるー\n");
    const auto sung = lineSyllables(held.lines, "", std::string(HARMOLIN_TEST_DATA) + "/../../data");
    ASSERT_EQ(sung.size(), 2u);
    EXPECT_EQ(sung[0], kana("らあめん"));
    EXPECT_EQ(sung[1], kana("あいしてるう"));
}

// Copies of whole sections go in before what follows the insertion point,
// every channel's events with them, cycling through the sections.
TEST(WordsSong, LengthenedByWholeSectionsBeforeTheEnding) {
    MidiTrackData track(kSongCapacity, TrackState::Connected);
    EXPECT_TRUE(track.append(makeTempo(0, 500000)));
    EXPECT_TRUE(track.append(makeConnectedNote(0, 0, 60, 100, 480))); // section A: 0..960
    EXPECT_TRUE(track.append(makeConnectedNote(1, 0, 40, 100, 960)));
    EXPECT_TRUE(track.append(makeConnectedNote(0, 960, 62, 100, 480))); // section B: 960..1920
    EXPECT_TRUE(track.append(makeConnectedNote(0, 960, 64, 100, 960))); // the ending at 1920
    EXPECT_TRUE(track.append(makeEndOfTrack(960)));
    SongSections sections;
    sections.spans = {{0, 960}, {960, 1920}};
    sections.insertAt = 1920;

    const MidiTrackData longer = lengthenSong(track, sections, 3); // A B A
    std::vector<std::array<int, 3>> notes;                         // time, channel, pitch
    int t = 0, end = 0, tempos = 0;
    for (const MusicEvent& e : longer.events()) {
        t += e.delta;
        if (e.kind == kConnectedNote) notes.push_back({t, e.channel, e.note});
        if (e.isMeta(kMetaTempo)) ++tempos;
        if (e.isEndOfTrack()) end = t;
    }
    EXPECT_EQ(notes, (std::vector<std::array<int, 3>>{{0, 0, 60},
                                                      {0, 1, 40},
                                                      {960, 0, 62},
                                                      {1920, 0, 60},
                                                      {1920, 1, 40},
                                                      {2880, 0, 62},
                                                      {3840, 0, 60},
                                                      {3840, 1, 40},
                                                      {4800, 0, 64}}));
    EXPECT_EQ(tempos, 1); // the conductor's events are not repeated
    EXPECT_EQ(end, 5760);
    EXPECT_TRUE(longer.events().back().isEndOfTrack());
    EXPECT_EQ(lengthenSong(track, sections, 0).count(), track.count());
}
