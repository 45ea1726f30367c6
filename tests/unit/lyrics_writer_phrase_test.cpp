// Phrases of the lyric writer: word draws within a song type's vocabulary,
// phrases that fit their notes, phrase cuts at rests and the legato rule.
#include "base/TextCodec.h"
#include "lyrics/LyricWriter.h"
#include "lyrics/WordTable.h"
#include "midi/MidiTrackEdit.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace harmolin;

namespace {

const std::string kA = "\x82\xa0";              // あ
const std::string kShownA = "\x82\xa0\x81\x60"; // あ～

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// Whether some row of a class the song type may use has exactly this word.
bool fromVocabulary(const LyricText& word, int category, int styleClass, int variantMask) {
    for (const LyricWord& w : kWordTable)
        if (w.category == category && (w.styleClass == styleClass || w.styleClass == 0) &&
            (w.variantMask & variantMask) != 0 && word.display == w.display && word.reading == w.reading)
            return true;
    return false;
}

// A connected track of melody notes (channel index, start, length) and an end.
MidiTrackData melody(std::initializer_list<std::array<int, 3>> notes, int end = 0) {
    MidiTrackData t(kSongCapacity, TrackState::Connected);
    int time = 0;
    for (const auto& [channel, start, length] : notes) {
        addNote(t, channel, start - time, 60, 100, length);
        time = start;
    }
    EXPECT_TRUE(t.append(makeEndOfTrack(end)));
    return t;
}

std::vector<int> lengthsOn(const MidiTrackData& t, int channel) {
    std::vector<int> out;
    for (const auto& e : t.events())
        if (e.kind == kConnectedNote && e.channel == channel) out.push_back(e.length);
    return out;
}

} // namespace

TEST(PickWord, StaysInsideTheSongTypesVocabulary) {
    // Child songs use only child and shared words; Young Pops never an Adult
    // Pops or Ocean Song word; ghost songs only ghost and shared words.
    for (int type = 0; type < 5; ++type) {
        const LyricClass lc = lyricClassOf(type);
        std::set<std::string> seen, vocabulary;
        for (const LyricWord& w : kWordTable)
            if ((w.styleClass == lc.styleClass || w.styleClass == 0) && (w.variantMask & lc.variantMask) != 0)
                vocabulary.insert(w.display);
        for (std::uint32_t seed = 1; seed <= 2000; ++seed) {
            EngineRandom random;
            random.seed(seed);
            for (int category = 1; category <= 15; ++category) {
                const LyricText w = pickWord(category, lc.styleClass, lc.variantMask, random);
                if (w.reading.empty()) continue;
                EXPECT_TRUE(fromVocabulary(w, category, lc.styleClass, lc.variantMask & 0xFFFF))
                    << "type " << type << " drew " << cp932ToUtf8(w.display);
                seen.insert(w.display);
            }
        }
        EXPECT_EQ(seen, vocabulary) << "type " << type << " leaves words out";
    }
}

TEST(PickWord, ReachesEveryMatchingRowAndNothingWhenNoneMatch) {
    EngineRandom random;
    random.seed(9);
    std::set<std::string> particles;
    for (int i = 0; i < 200; ++i)
        particles.insert(pickWord(11, kChildStyle, kAllVariants, random).reading);
    EXPECT_EQ(particles.size(), 4u);

    // No catch phrase belongs to children's songs.
    const LyricText none = pickWord(1, kChildStyle, kAllVariants, random);
    EXPECT_TRUE(none.display.empty());
    EXPECT_TRUE(none.reading.empty());
    EXPECT_TRUE(pickWord(0, kPopsStyle, kYoungPops, random).reading.empty());
    EXPECT_TRUE(pickWord(16, kPopsStyle, kYoungPops, random).reading.empty());
    // Only the low sixteen bits of a variant mask count.
    EXPECT_TRUE(pickWord(9, kPopsStyle, 0x10000, random).reading.empty());
}

TEST(LyricClass, SongTypesAndTheUnknownOne) {
    EXPECT_EQ(lyricClassOf(0).styleClass, 1);
    EXPECT_EQ(lyricClassOf(0).variantMask, 1);
    EXPECT_EQ(lyricClassOf(1).variantMask, 2);
    EXPECT_EQ(lyricClassOf(2).variantMask, 4);
    EXPECT_EQ(lyricClassOf(3).styleClass, 2);
    EXPECT_EQ(lyricClassOf(3).variantMask, 255);
    EXPECT_EQ(lyricClassOf(4).styleClass, 3);
    std::vector<std::string> lines;
    const Presenter previous = setPresenter([&](const ReportLine& l) { lines.push_back(l.text); });
    const LyricClass none = lyricClassOf(-1);
    (void)setPresenter(previous); // ours, done with
    EXPECT_EQ(none.styleClass, 0);
    EXPECT_EQ(none.variantMask, 255);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("MakeXfFile error"), std::string::npos);
}

TEST(WritePhrase, FitsItsNotesOrFallsBackToA) {
    EngineRandom random;
    random.seed(5);
    const LyricText one = writePhrase(1, kPopsStyle, kYoungPops, random);
    EXPECT_EQ(one.reading, kA);
    EXPECT_EQ(one.display, kShownA);

    for (int type = 0; type < 5; ++type) {
        const LyricClass lc = lyricClassOf(type);
        int drawn = 0;
        for (int notes = 2; notes <= 20; ++notes) {
            for (int run = 0; run < 5; ++run) {
                const LyricText p = writePhrase(notes, lc.styleClass, lc.variantMask, random);
                ASSERT_EQ(p.reading.size(), static_cast<std::size_t>(2 * notes));
                if (p.display != repeat(kShownA, notes)) ++drawn;
            }
        }
        // Phrases of ordinary lengths find words; only very long ones may not.
        EXPECT_GT(drawn, 60) << "type " << type;
    }

    // The shared words alone never reach sixteen syllables.
    const LyricText fallback = writePhrase(16, kAnyStyle, kAllVariants, random);
    EXPECT_EQ(fallback.reading, repeat(kA, 16));
    EXPECT_EQ(fallback.display, repeat(kShownA, 16));
}

TEST(WritePhrase, SameSeedSamePhrase) {
    EngineRandom a, b;
    a.seed(77);
    b.seed(77);
    for (int notes = 2; notes < 12; ++notes) {
        const LyricText x = writePhrase(notes, kGhostStyle, kAllVariants, a);
        const LyricText y = writePhrase(notes, kGhostStyle, kAllVariants, b);
        EXPECT_EQ(x.display, y.display);
        EXPECT_EQ(x.reading, y.reading);
    }
}

TEST(FindPhrases, RestsCutPhrases) {
    // 300 ticks of rest (under a beat) after two notes do not cut...
    MelodyPhrases p = findPhrases(melody({{0, 0, 240}, {0, 540, 240}, {0, 1080, 240}}, 480), 0, 480);
    EXPECT_EQ(p.noteCounts, (std::vector<int>{3}));
    // ...but do after three.
    p = findPhrases(melody({{0, 0, 240}, {0, 240, 240}, {0, 480, 240}, {0, 1020, 240}, {0, 1260, 240}}, 480),
                    0, 480);
    EXPECT_EQ(p.noteCounts, (std::vector<int>{3, 2}));
    EXPECT_EQ(p.startTimes, (std::vector<int>{0, 1020}));
    // A whole beat of rest cuts after a single note; notes of other channels
    // neither count nor cut.
    p = findPhrases(melody({{0, 0, 240}, {0, 720, 240}, {3, 900, 240}, {0, 1100, 100}}, 480), 0, 480);
    EXPECT_EQ(p.noteCounts, (std::vector<int>{1, 2}));
    EXPECT_EQ(p.noteStarts, (std::vector<int>{0, 720, 1100}));
    // Less than half a beat never cuts.
    p = findPhrases(melody({{0, 0, 240}, {0, 239 + 240, 240}, {0, 478 + 480, 240}, {0, 717 + 720, 240}}, 480),
                    0, 480);
    EXPECT_EQ(p.noteCounts, (std::vector<int>{4}));
}

TEST(FindPhrases, ANoteThatFindsItsPhraseFullStartsTheNextOne) {
    MidiTrackData t(kSongCapacity, TrackState::Connected);
    for (int i = 0; i < 45; ++i)
        addNote(t, 0, i == 0 ? 0 : 240, 60, 100, 240);
    EXPECT_TRUE(t.append(makeEndOfTrack(240)));
    const MelodyPhrases p = findPhrases(t, 0, 480);
    EXPECT_EQ(p.noteCounts, (std::vector<int>{20, 20, 5}));
    ASSERT_EQ(p.noteStarts.size(), 45u);
    EXPECT_EQ(p.noteStarts[20], 20 * 240);
    EXPECT_EQ(p.startTimes, (std::vector<int>{0, 20 * 240, 40 * 240}));

    // A track that ends on a note still sings it.
    MidiTrackData open(kSongCapacity, TrackState::Connected);
    addNote(open, 0, 0, 60, 100, 240);
    addNote(open, 0, 240, 62, 100, 240);
    addNote(open, 0, 240, 64, 100, 240);
    EXPECT_EQ(findPhrases(open, 0, 480).noteCounts, (std::vector<int>{3}));

    EXPECT_TRUE(findPhrases(melody({}), 0, 480).noteCounts.empty());
}

TEST(JoinLoneNotes, ALoneNoteJoinsTheNeighbourAcrossTheShorterRest) {
    // Notes 240 long: a phrase of three, a lone note 500 ticks after it and
    // 1000 before the next phrase of two, then two lone notes far apart.
    MelodyPhrases p = findPhrases(melody({{0, 0, 240},
                                          {0, 240, 240},
                                          {0, 480, 240},
                                          {0, 1220, 240},
                                          {0, 2460, 240},
                                          {0, 2700, 240},
                                          {0, 4000, 240},
                                          {0, 6000, 240}},
                                         240),
                                  0, 480);
    ASSERT_EQ(p.noteCounts, (std::vector<int>{3, 1, 2, 1, 1}));
    joinLoneNotes(p);
    EXPECT_EQ(p.noteCounts, (std::vector<int>{4, 4}));
    EXPECT_EQ(p.startTimes, (std::vector<int>{0, 2460}));

    // A lone note between full phrases keeps its own phrase; a lone note
    // before the first phrase joins it and takes its start.
    MelodyPhrases q;
    q.noteCounts = {20, 1, 20};
    q.startTimes = {0, 10000, 11000};
    for (int i = 0; i < 41; ++i) {
        q.noteStarts.push_back(i < 20 ? i * 240 : i == 20 ? 10000 : 11000 + (i - 21) * 240);
        q.noteLengths.push_back(200);
    }
    joinLoneNotes(q);
    EXPECT_EQ(q.noteCounts, (std::vector<int>{20, 1, 20}));
    MelodyPhrases r;
    r.noteCounts = {1, 3};
    r.startTimes = {0, 1000};
    r.noteStarts = {0, 1000, 1200, 1400};
    r.noteLengths = {100, 100, 100, 100};
    joinLoneNotes(r);
    EXPECT_EQ(r.noteCounts, (std::vector<int>{4}));
    EXPECT_EQ(r.startTimes, (std::vector<int>{0}));
}

TEST(SplitPoint, WidestRestNearestTheMiddleTwoNotesEachSide) {
    const std::vector<int> lengths(8, 100);
    // Rests of 20, 100 before the seventh note and 220 before the last: the
    // cut keeps two notes after it, so the widest allowed rest is the 100.
    std::vector<int> starts{0, 120, 240, 360, 480, 600, 800, 1120};
    EXPECT_EQ(splitPoint(starts, lengths), 6);
    starts = {0, 500, 600, 700, 800, 900, 1000, 1100};
    EXPECT_EQ(splitPoint(starts, lengths), 4); // the rest after the first note is off limits
    // No rests at all: the middle.
    starts = {0, 100, 200, 300, 400, 500, 600, 700};
    EXPECT_EQ(splitPoint(starts, lengths), 4);
    EXPECT_EQ(splitPoint(std::vector<int>{0, 100, 200}, std::vector<int>{100, 100, 100}), 1);
    EXPECT_EQ(splitPoint(std::vector<int>{0, 100}, std::vector<int>{100, 100}), 1);
}

TEST(FillPhrase, EveryNoteHasAWordButOneNoteParts) {
    std::vector<int> starts, lengths;
    for (int i = 0; i < 20; ++i) {
        starts.push_back(i * 240);
        lengths.push_back(200);
    }
    const std::string space = "\x81\x40";
    for (int type = 0; type < 5; ++type) {
        const LyricClass lc = lyricClassOf(type);
        EngineRandom random;
        random.seed(11);
        for (int n = 1; n <= 20; ++n) {
            for (int run = 0; run < 10; ++run) {
                const LyricText p =
                    fillPhrase(std::span<const int>(starts).first(static_cast<std::size_t>(n)),
                               std::span<const int>(lengths).first(static_cast<std::size_t>(n)),
                               lc.styleClass, lc.variantMask, random);
                ASSERT_EQ(p.reading.size(), static_cast<std::size_t>(2 * n));
                // Parts are separated by a wide space; "あ～" stands only as a
                // part of its own.
                std::size_t from = 0;
                for (;;) {
                    const std::size_t to = p.display.find(space, from);
                    const std::string part = p.display.substr(from, to - from);
                    EXPECT_TRUE(part == kShownA || part.find(kShownA) == std::string::npos)
                        << cp932ToUtf8(p.display);
                    if (to == std::string::npos) break;
                    from = to + space.size();
                }
            }
        }
    }
    // One note alone sings "あ".
    EngineRandom random;
    random.seed(3);
    const LyricText one = fillPhrase(std::span<const int>(starts).first(1),
                                     std::span<const int>(lengths).first(1), kPopsStyle, kYoungPops, random);
    EXPECT_EQ(one.reading, kA);
    EXPECT_EQ(one.display, kShownA);
}

TEST(Legato, NotesReachTheNextOneButNotPastTwoBeats) {
    MidiTrackData t = melody({{0, 0, 240},
                              {0, 1200, 240},
                              {0, 1800, 240},
                              {5, 1900, 50},
                              {0, 2000, 1200},
                              {0, 4000, 600},
                              {0, 4300, 100}});
    applyLegato(t, 0, 480);
    // 240 -> 960 (two beats), 240 -> 600, a note that overlaps the next is
    // not shortened, a 1200-tick note with 2000 ticks to go is cut to two
    // beats, and the last note keeps its length.
    EXPECT_EQ(lengthsOn(t, 0), (std::vector<int>{960, 600, 240, 960, 600, 100}));
    EXPECT_EQ(lengthsOn(t, 5), (std::vector<int>{50}));
}
