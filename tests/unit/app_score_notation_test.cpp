#include "app/MusicXmlWriter.h"
#include "app/ScoreNotation.h"
#include "lyrics/WordTable.h"
#include "midi/MidiTrackEdit.h"
#include "midi/XfData.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace harmolin {
namespace {

const std::string kA = "\x82\xa0"; // あ
const std::string kI = "\x82\xa2"; // い

// A song built from events at absolute ticks.
struct SongBuilder {
    int division = 96;
    std::vector<std::pair<int, MusicEvent>> song;
    std::vector<std::pair<int, MusicEvent>> lyrics;

    void note(int tick, int pitch, int length, const std::string& lyric = kA, int channel = 0) {
        song.push_back({tick, makeConnectedNote(channel, 0, pitch, 100, length)});
        if (!lyric.empty())
            lyrics.push_back(
                {tick, makeMeta(0, kMetaLyric, reinterpret_cast<const std::uint8_t*>(lyric.data()),
                                static_cast<int>(lyric.size()))});
    }
    void meta(int tick, int type, std::vector<std::uint8_t> bytes) {
        song.push_back({tick, makeMeta(0, type, bytes.data(), static_cast<int>(bytes.size()))});
    }

    static MidiTrackData track(std::vector<std::pair<int, MusicEvent>> events, TrackState state) {
        std::stable_sort(events.begin(), events.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        MidiTrackData t(kSongCapacity, state);
        std::vector<int> times;
        for (auto& [tick, e] : events) {
            EXPECT_TRUE(t.append(e));
            times.push_back(tick);
        }
        EXPECT_TRUE(t.append(makeEndOfTrack()));
        times.push_back(times.empty() ? 0 : times.back());
        setAbsoluteTimes(t, times);
        return t;
    }

    CXfData build() const {
        return CXfData(track(song, TrackState::Connected), track(lyrics, TrackState::NoteOnOff), division);
    }
};

Score scoreOf(const SongBuilder& b, ScoreOptions options = {}) {
    std::string error;
    auto score = buildScore(b.build(), options, error);
    EXPECT_TRUE(score) << error;
    return score ? *score : Score{};
}

// Every measure is filled exactly, every value is one a score can print,
// and ties join pieces of one pitch.
void expectWellFormed(const Score& score) {
    const ScoreNote* previous = nullptr;
    for (const ScoreMeasure& m : score.measures) {
        int filled = 0;
        for (const ScoreNote& n : m.notes) {
            filled += n.duration;
            if (!n.wholeMeasureRest) {
                const int plain = n.triplet ? n.printed * 2 / 3 : n.printed;
                EXPECT_EQ(n.duration, plain + (n.dots ? plain / 2 : 0));
            }
            if (n.tieStop) {
                ASSERT_NE(previous, nullptr);
                EXPECT_TRUE(previous->tieStart);
                EXPECT_EQ(previous->pitch, n.pitch);
                EXPECT_TRUE(n.lyric.empty());
            }
            previous = &n;
        }
        EXPECT_EQ(filled, m.length) << "measure at " << m.start;
    }
}

std::vector<const ScoreNote*> sounded(const Score& score) {
    std::vector<const ScoreNote*> out;
    for (const ScoreMeasure& m : score.measures)
        for (const ScoreNote& n : m.notes)
            if (!n.rest && !n.tieStop) out.push_back(&n);
    return out;
}

TEST(ScoreNotation, OffGridNotesSnapTieAcrossBarsAndKeepTheirLyrics) {
    SongBuilder b;
    b.meta(0, kMetaTimeSignature, {4, 2, 24, 8});
    b.note(97, 60, 46);       // a tick late: the second beat
    b.note(143, 62, 49);      // a tick early
    b.note(336, 64, 120, kI); // over the bar line at 384
    b.note(600, 65, 10, "");  // no lyric
    b.note(1000, 67, 100);
    test::CollectReports reports;
    const Score score = scoreOf(b);
    expectWellFormed(score);
    const auto notes = sounded(score);
    ASSERT_EQ(notes.size(), 5u);
    EXPECT_EQ(score.lyricCount, 4);
    EXPECT_EQ(notes[2]->lyric, "い");
    EXPECT_TRUE(notes[2]->tieStart);
    EXPECT_TRUE(notes[3]->lyric.empty());
    // The first measure: a quarter rest, then the notes on the beat and half beat.
    const auto& first = score.measures[0].notes;
    ASSERT_GE(first.size(), 3u);
    EXPECT_TRUE(first[0].rest);
    EXPECT_EQ(first[0].duration, 480);
    EXPECT_EQ(first[1].duration, 240);
    EXPECT_EQ(first[1].pitch, 60);
}

TEST(ScoreNotation, TripletBeatsAreBracketedAndStraightBeatsAreNot) {
    SongBuilder b;
    for (int i = 0; i < 3; ++i)
        b.note(96 + 32 * i, 60 + i, 32); // triplet eighths on beat two
    b.note(192, 64, 48);
    b.note(240, 65, 48); // straight eighths on beat three
    b.note(288, 67, 64);
    b.note(352, 69, 64);
    b.note(416, 71, 64); // quarter triplets across beats four and one
    const Score score = scoreOf(b);
    expectWellFormed(score);
    int tuplets = 0;
    for (const ScoreMeasure& m : score.measures) {
        int inTuplet = -1;
        for (const ScoreNote& n : m.notes) {
            if (n.tupletStart) inTuplet = 0;
            if (inTuplet >= 0) {
                EXPECT_TRUE(n.triplet);
                inTuplet += n.duration;
            } else {
                EXPECT_FALSE(n.triplet);
            }
            if (n.tupletStop) {
                EXPECT_EQ(inTuplet, 480);
                inTuplet = -1;
                ++tuplets;
            }
        }
    }
    EXPECT_EQ(tuplets, 3);
    EXPECT_EQ(sounded(score).size(), 8u);
}

TEST(ScoreNotation, QuarterNoteTripletsOnAHalfBarShareOneBracket) {
    SongBuilder b;
    for (int i = 0; i < 3; ++i)
        b.note(64 * i, 60 + i, 64); // three quarter-note triplets over the first half bar
    b.note(192, 64, 192);
    const Score score = scoreOf(b);
    expectWellFormed(score);
    const auto& notes = score.measures[0].notes;
    ASSERT_GE(notes.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(notes[static_cast<std::size_t>(i)].triplet);
        EXPECT_EQ(notes[static_cast<std::size_t>(i)].duration, 320);
        EXPECT_EQ(notes[static_cast<std::size_t>(i)].printed, 480);
        EXPECT_FALSE(notes[static_cast<std::size_t>(i)].tieStart);
    }
    EXPECT_TRUE(notes[0].tupletStart);
    EXPECT_FALSE(notes[1].tupletStart || notes[1].tupletStop);
    EXPECT_TRUE(notes[2].tupletStop);
    EXPECT_FALSE(notes[3].triplet);
}

TEST(ScoreNotation, MeterKeyAndTempoChangesLandInTheirMeasures) {
    SongBuilder b;
    b.meta(0, kMetaTimeSignature, {4, 2, 24, 8});
    b.meta(0, kMetaKeySignature, {0xFE, 0});   // two flats
    b.meta(0, kMetaTempo, {0x07, 0xA1, 0x20}); // 120
    b.meta(384, kMetaTimeSignature, {3, 2, 24, 8});
    b.meta(384, kMetaKeySignature, {0xFE, 0});   // the same key again
    b.meta(672, kMetaKeySignature, {3, 1});      // F sharp minor
    b.meta(672, kMetaTempo, {0x09, 0x27, 0xC0}); // 100
    for (int t = 0; t < 960; t += 96)
        b.note(t, 70, 96);
    const Score score = scoreOf(b);
    expectWellFormed(score);
    ASSERT_EQ(score.measures.size(), 3u);
    EXPECT_EQ(score.measures[1].length, 1440);
    ASSERT_TRUE(score.measures[1].time);
    EXPECT_EQ(*score.measures[1].time, std::make_pair(3, 4));
    EXPECT_FALSE(score.measures[2].time);
    EXPECT_EQ(score.measures[0].key, std::make_pair(-2, false));
    EXPECT_FALSE(score.measures[1].key);
    EXPECT_EQ(score.measures[2].key, std::make_pair(3, true));
    ASSERT_EQ(score.measures[2].tempos.size(), 1u);
    EXPECT_DOUBLE_EQ(score.measures[2].tempos[0].bpm, 100.0);
    // Flats are spelled as flats in the flat key.
    const std::string xml = musicXmlText(score, "t");
    EXPECT_NE(xml.find("<step>B</step>\n          <alter>-1</alter>"), std::string::npos);
}

TEST(ScoreNotation, NotesCloserThanTheGridKeepTheFirstAndChordsTheirTop) {
    SongBuilder b;
    b.note(0, 60, 96);
    b.note(1, 62, 96);
    b.note(192, 64, 96);
    b.note(192, 67, 96);
    b.note(192, 55, 96);
    const Score score = scoreOf(b);
    expectWellFormed(score);
    EXPECT_EQ(score.droppedNotes, 3);
    const auto notes = sounded(score);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0]->pitch, 60);
    EXPECT_EQ(notes[1]->pitch, 67);
}

TEST(ScoreNotation, SongsWithoutMelodyOrBeyondAnyScoreAreRefused) {
    SongBuilder silent;
    silent.note(0, 40, 96, "", 1);
    std::string error;
    EXPECT_FALSE(buildScore(silent.build(), {}, error));
    EXPECT_FALSE(error.empty());

    // A note at the last tick a file can hold, at one tick per quarter: the
    // score would need millions of bars.
    SongBuilder far;
    far.division = 1;
    far.note(0, 60, 1);
    far.note(MidiTrackData::kMaxTicks - 10, 62, 4);
    error.clear();
    EXPECT_FALSE(buildScore(far.build(), {}, error));
    EXPECT_NE(error.find("too long"), std::string::npos);

    // Bars of one 128th note hold values shorter than any grid step.
    SongBuilder tiny;
    tiny.meta(0, kMetaTimeSignature, {1, 7, 24, 8});
    tiny.note(0, 60, 96);
    tiny.note(96, 62, 40);
    const Score score = scoreOf(tiny);
    for (const ScoreMeasure& m : score.measures) {
        int filled = 0;
        for (const ScoreNote& n : m.notes)
            filled += n.duration;
        EXPECT_EQ(filled, m.length);
    }
}

std::vector<std::string> syllablesOf(const std::string& reading) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i + 1 < reading.size(); i += 2)
        out.push_back(reading.substr(i, 2));
    return out;
}

void expectWordsValid(const std::vector<Syllabic>& marks) {
    bool inside = false;
    for (Syllabic s : marks) {
        EXPECT_EQ(s == Syllabic::Middle || s == Syllabic::End, inside);
        inside = s == Syllabic::Begin || s == Syllabic::Middle;
    }
    EXPECT_FALSE(inside);
}

TEST(ScoreNotation, LinesGiveWordBoundsAndSyllablesAloneStillMakeWords) {
    // Two lines of table words, each word of two or more syllables.
    std::vector<const LyricWord*> words;
    for (const LyricWord& w : kWordTable)
        if (std::string(w.reading).size() >= 4 && words.size() < 4) words.push_back(&w);
    ASSERT_EQ(words.size(), 4u);
    const std::vector<std::string> lines = {std::string(words[0]->display) + words[1]->display,
                                            std::string(words[2]->display) + words[3]->display};
    std::vector<std::string> syllables;
    std::vector<Syllabic> expected;
    for (const LyricWord* w : words) {
        const auto s = syllablesOf(w->reading);
        for (std::size_t i = 0; i < s.size(); ++i)
            expected.push_back(i == 0              ? Syllabic::Begin
                               : i + 1 == s.size() ? Syllabic::End
                                                   : Syllabic::Middle);
        syllables.insert(syllables.end(), s.begin(), s.end());
    }
    EXPECT_EQ(syllabicOf(syllables, lines), expected);

    // Without lines, or with lines that do not spell the syllables, every
    // syllable still gets a valid place in some word.
    for (const auto& other : {std::vector<std::string>{}, std::vector<std::string>{"\x82\xa9"}}) {
        const auto marks = syllabicOf(syllables, other);
        EXPECT_EQ(marks.size(), syllables.size());
        expectWordsValid(marks);
    }
    // Syllables no word reads stand alone.
    EXPECT_EQ(syllabicOf({"zz", "yy"}, {}), (std::vector<Syllabic>{Syllabic::Single, Syllabic::Single}));
}

TEST(ScoreNotation, ChordShapesAreFoundAtEveryRoot) {
    const std::vector<std::pair<std::string, std::vector<int>>> shapes = {{"major", {0, 4, 7}},
                                                                          {"minor", {0, 3, 7}},
                                                                          {"dominant", {0, 4, 7, 10}},
                                                                          {"minor-seventh", {0, 3, 7, 10}},
                                                                          {"major-seventh", {0, 4, 7, 11}},
                                                                          {"diminished", {0, 3, 6}}};
    for (const auto& [kind, tones] : shapes) {
        for (int root = 0; root < 12; ++root) {
            double weights[12] = {};
            for (int t : tones)
                weights[(root + t) % 12] = 1.0;
            const auto chord = recogniseChord(weights, 36 + root);
            ASSERT_TRUE(chord) << kind << " at " << root;
            EXPECT_EQ(chord->kind, kind);
            EXPECT_EQ(chord->root, root);
            EXPECT_EQ(chord->bass, root);
        }
    }
    // C major over E: a slash chord; silence and noise are no chord.
    double major[12] = {1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0};
    const auto slash = recogniseChord(major, 40);
    ASSERT_TRUE(slash);
    EXPECT_EQ(slash->root, 0);
    EXPECT_EQ(slash->bass, 4);
    double silent[12] = {};
    EXPECT_FALSE(recogniseChord(silent, -1));
    double cluster[12] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_FALSE(recogniseChord(cluster, 36));
}

TEST(ScoreNotation, ZipEntriesCarryTheirCrcAndSizes) {
    const std::string text(5000, 'a');
    const auto zip = zipArchive({{"mimetype", "application/vnd.recordare.musicxml"}, {"s.musicxml", text}});
    ASSERT_GT(zip.size(), 30u);
    EXPECT_EQ(zip[0], 'P');
    EXPECT_EQ(zip[1], 'K');
    EXPECT_EQ(zip[8], 0); // the media type is stored
    EXPECT_EQ(std::string(zip.begin() + 30, zip.begin() + 38), "mimetype");
    EXPECT_LT(zip.size(), 600u); // the score is deflated
    // The end record names both entries.
    const std::size_t end = zip.size() - 22;
    EXPECT_EQ(zip[end], 'P');
    EXPECT_EQ(zip[end + 10], 2);
}

} // namespace
} // namespace harmolin
