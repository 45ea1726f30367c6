// Whole songs through the lyric writer: composed and prepared songs get one
// syllable per melody note, lines made of the song type's words, and an XF
// file that another MIDI reader accepts.
#include "app/DataFolder.h"
#include "app/SongPipeline.h"
#include "app/SongPreparation.h"
#include "base/ErrorCodes.h"
#include "base/TextCodec.h"
#include "lyrics/LyricWriter.h"
#include "lyrics/WordTable.h"
#include "midi/MidiTrackEdit.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace harmolin;
using namespace harmolin::test;

namespace {

std::string dataDir() {
#ifdef HARMOLIN_TEST_DATA
    return std::string(HARMOLIN_TEST_DATA) + "/../../data";
#else
    return dataFolder();
#endif
}

// Composes a song of the type and prepares it as the pipeline does.
std::string preparedSong(int type, int variant, std::uint32_t seed) {
    const auto choice = styleChoice(type, variant);
    if (!choice) return {};
    SongComposer composer(dataDir(), seed);
    const std::string composed = tempPath("lyrics-compose.mid");
    const std::string prepared = tempPath("lyrics-dv.mid");
    if (!composer.composeSong(*choice, composed)) return {};
    if (!prepareSong(composed, PrepareOptions{}, prepared)) return {};
    return prepared;
}

struct Timed {
    int tick;
    std::string text;
};

std::vector<Timed> lyricEvents(const MidiTrackData& t) {
    std::vector<Timed> out;
    int time = 0;
    for (const auto& e : t.events()) {
        time += e.delta;
        if (e.isMeta(kMetaLyric)) out.push_back({time, std::string(e.data.begin(), e.data.end())});
    }
    return out;
}

std::vector<int> noteStarts(const MidiTrackData& t, int channel) {
    std::vector<int> out;
    int time = 0;
    for (const auto& e : t.events()) {
        time += e.delta;
        if (e.kind == kConnectedNote && e.channel == channel) out.push_back(time);
    }
    return out;
}

bool allowed(const LyricWord& w, const LyricClass& lc) {
    return (w.styleClass == lc.styleClass || w.styleClass == 0) && (w.variantMask & lc.variantMask) != 0;
}

// Whether the line splits into words of the vocabulary whose readings, in
// order, are the syllables sung, or is the fallback of "あ～" per syllable.
bool readsAsPhrase(const std::string& line, const std::string& sung, const LyricClass& lc) {
    const std::string shownA = "\x82\xa0\x81\x60", sungA = "\x82\xa0", space = "\x81\x40";
    // reachable[d][r]: the first d bytes of the line read as the first r of the syllables.
    std::vector<std::vector<char>> reachable(line.size() + 1, std::vector<char>(sung.size() + 1, 0));
    reachable[0][0] = 1;
    for (std::size_t d = 0; d < line.size(); ++d)
        for (std::size_t r = 0; r <= sung.size(); ++r) {
            if (!reachable[d][r]) continue;
            // Parts of a phrase cut in two, and a single note sung on "あ".
            if (line.compare(d, space.size(), space) == 0) reachable[d + space.size()][r] = 1;
            if (line.compare(d, shownA.size(), shownA) == 0 && sung.compare(r, sungA.size(), sungA) == 0)
                reachable[d + shownA.size()][r + sungA.size()] = 1;
            for (const LyricWord& w : kWordTable) {
                if (!allowed(w, lc)) continue;
                const std::string shown = w.display, reading = w.reading;
                if (line.compare(d, shown.size(), shown) == 0 &&
                    sung.compare(r, reading.size(), reading) == 0)
                    reachable[d + shown.size()][r + reading.size()] = 1;
            }
        }
    return reachable[line.size()][sung.size()] != 0;
}

// Checks a written song against its prepared file.
void checkSong(const std::string& prepared, const LyricSong& song, const LyricClass& lc) {
    MidiF0Data source;
    EXPECT_TRUE(source.load(prepared));
    const std::vector<int> melody = noteStarts(source.track(), 0);
    MelodyPhrases phrases = findPhrases(source.track(), 0, source.division());
    joinLoneNotes(phrases);
    const std::vector<Timed> lyrics = lyricEvents(song.xfData().karaokeTrack());

    EXPECT_EQ(song.xfData().division(), 480);
    EXPECT_EQ(totalLength(song.xfData().karaokeTrack()), totalLength(song.xfData().track()));
    EXPECT_EQ(song.lineCount(), static_cast<int>(phrases.noteCounts.size()));
    EXPECT_GT(song.lineCount(), 3);

    // Every melody note has its syllable at its own start.
    EXPECT_EQ(lyrics.size(), phrases.noteStarts.size());
    EXPECT_EQ(lyrics.size(), melody.size());
    std::size_t m = 0;
    for (const Timed& l : lyrics) {
        while (m < melody.size() && melody[m] < l.tick)
            ++m;
        EXPECT_TRUE(m < melody.size() && melody[m] == l.tick) << "lyric at " << l.tick << " on no note";
        if (m < melody.size()) ++m;
        EXPECT_EQ(l.text.size(), 2u);
        if (l.text.size() != 2) continue;
        EXPECT_EQ(static_cast<unsigned char>(l.text[0]), 0x82);
        EXPECT_GE(static_cast<unsigned char>(l.text[1]), 0x9F);
        EXPECT_LE(static_cast<unsigned char>(l.text[1]), 0xF1);
    }

    std::size_t next = 0;
    for (int p = 0; p < song.lineCount() && next <= lyrics.size(); ++p) {
        std::string sung;
        for (int q = 0; q < phrases.noteCounts[static_cast<std::size_t>(p)] && next < lyrics.size(); ++q)
            sung += lyrics[next++].text;
        const std::string& line = song.lines()[static_cast<std::size_t>(p)];
        EXPECT_LE(line.size(), 1024u);
        EXPECT_TRUE(readsAsPhrase(line, sung, lc))
            << "line " << p << ": " << cp932ToUtf8(line) << " / " << cp932ToUtf8(sung);
    }
}

std::string runPython(const std::string& script, const std::string& arg) {
    const std::string scriptPath = tempPath("check_xf.py");
    std::ofstream(scriptPath) << script;
    const std::string command = "/usr/bin/python3 " + scriptPath + " " + arg + " 2>&1";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        ::pclose(pipe);
    }
    return out;
}

} // namespace

TEST(LyricSong, EveryTypeSingsItsMelodyInItsOwnWords) {
    CollectReports reports;
    for (int type = 0; type < kSongTypeCount; ++type)
        for (int variant = 1; variant <= 2; ++variant)
            for (std::uint32_t seed : {3u, 8u}) {
                const std::string prepared = preparedSong(type, variant, seed);
                if (!styleChoice(type, variant)) continue;
                ASSERT_FALSE(prepared.empty()) << type << ' ' << variant;
                EngineRandom random;
                random.seed(seed);
                const LyricClass lc = lyricClassOf(type);
                auto song = writeLyrics(prepared, 0, lc.styleClass, lc.variantMask, random);
                ASSERT_TRUE(song);
                SCOPED_TRACE(std::string(kSongTypes[static_cast<std::size_t>(type)]) + " seed " +
                             std::to_string(seed));
                checkSong(prepared, *song, lc);
            }
    EXPECT_TRUE(reports.lines.empty()) << reports.lines.front().text;
}

TEST(LyricSong, ChildSongsNeverSingAnotherTypesWords) {
    const LyricClass child = lyricClassOf(3);
    for (std::uint32_t seed = 100; seed < 130; ++seed) {
        const std::string prepared = preparedSong(3, 1, seed);
        ASSERT_FALSE(prepared.empty());
        EngineRandom random;
        random.seed(seed);
        auto song = writeLyrics(prepared, 0, child.styleClass, child.variantMask, random);
        ASSERT_TRUE(song);
        SCOPED_TRACE("seed " + std::to_string(seed));
        checkSong(prepared, *song, child);
    }
}

TEST(LyricSong, ShortPhrasesLegatoAndTrackLength) {
    // Melody on channel 1: a lone note, a rest of 960 ticks, three notes.
    MidiF0Data source;
    source.setDivision(480);
    MidiTrackData& t = source.track();
    addNote(t, 9, 0, 36, 100, 10);
    addNote(t, 0, 0, 60, 100, 240);
    addNote(t, 0, 1200, 62, 100, 240);
    addNote(t, 0, 240, 64, 100, 240);
    addNote(t, 0, 240, 65, 100, 240);
    EXPECT_TRUE(t.append(makeEndOfTrack(960)));
    EngineRandom random;
    random.seed(1);
    auto song = writeLyrics(source, 0, kPopsStyle, kOceanSong, random);
    ASSERT_TRUE(song);
    // The lone note sings the first word of the phrase after it.
    ASSERT_EQ(song->lineCount(), 1);
    const std::vector<Timed> lyrics = lyricEvents(song->xfData().karaokeTrack());
    ASSERT_EQ(lyrics.size(), 4u);
    EXPECT_EQ(lyrics[0].tick, 0);
    EXPECT_EQ(lyrics[3].tick, 1680);
    EXPECT_TRUE(readsAsPhrase(song->lines()[0],
                              lyrics[0].text + lyrics[1].text + lyrics[2].text + lyrics[3].text,
                              lyricClassOf(2)));
    // The lone note now lasts two beats; the source song is untouched.
    std::vector<int> lengths;
    for (const auto& e : song->xfData().track().events())
        if (e.kind == kConnectedNote && e.channel == 0) lengths.push_back(e.length);
    EXPECT_EQ(lengths, (std::vector<int>{960, 240, 240, 240}));
    EXPECT_EQ(source.track().event(1).length, 240);
    EXPECT_EQ(totalLength(song->xfData().karaokeTrack()), 1680 + 960);
    EXPECT_EQ(song->xfData().karaokeTrack().state(), TrackState::NoteOnOff);

    // A melody of one note has nothing to join: it sings "あ".
    MidiF0Data single;
    single.setDivision(480);
    addNote(single.track(), 0, 0, 60, 100, 240);
    EXPECT_TRUE(single.track().append(makeEndOfTrack(240)));
    auto lone = writeLyrics(single, 0, kPopsStyle, kOceanSong, random);
    ASSERT_TRUE(lone);
    ASSERT_EQ(lone->lineCount(), 1);
    EXPECT_EQ(lone->linesUtf8()[0], "あ～");
}

// The fallback "あ" is rare in every song type: at most 3 % of the notes over
// ten seeds of each song type and variant.
TEST(LyricSong, FallbackIsRareInEverySongType) {
    CollectReports reports;
    const std::string shownA = "\x82\xa0\x81\x60";
    for (int type = 0; type < kSongTypeCount; ++type) {
        int notes = 0, fallback = 0;
        const LyricClass lc = lyricClassOf(type);
        for (int variant = 1; variant <= 2; ++variant) {
            if (!styleChoice(type, variant)) continue;
            for (std::uint32_t seed = 1; seed <= 10; ++seed) {
                const std::string prepared = preparedSong(type, variant, seed);
                ASSERT_FALSE(prepared.empty());
                EngineRandom random;
                random.seed(seed);
                auto song = writeLyrics(prepared, 0, lc.styleClass, lc.variantMask, random);
                ASSERT_TRUE(song);
                notes += static_cast<int>(lyricEvents(song->xfData().karaokeTrack()).size());
                for (const std::string& line : song->lines())
                    for (std::size_t at = line.find(shownA); at != std::string::npos;
                         at = line.find(shownA, at + shownA.size()))
                        ++fallback;
            }
        }
        ASSERT_GT(notes, 500);
        EXPECT_LE(fallback * 100, notes * 3)
            << kSongTypes[static_cast<std::size_t>(type)] << ": " << fallback << " of " << notes;
        std::printf("%s: %d of %d notes on the fallback\n", kSongTypes[static_cast<std::size_t>(type)],
                    fallback, notes);
    }
}

TEST(LyricSong, AChordInTheMelodyGetsOneSyllableAfterPreparation) {
    MidiF0Data source;
    source.setDivision(480);
    MidiTrackData& t = source.track();
    addNote(t, 1, 0, 60, 100, 480); // three-note chord on channel 2
    addNote(t, 1, 0, 64, 100, 480);
    addNote(t, 1, 0, 67, 100, 480);
    addNote(t, 0, 0, 40, 100, 1440); // the part that moves to channel 2
    addNote(t, 1, 480, 65, 100, 480);
    addNote(t, 1, 480, 64, 100, 480);
    addNote(t, 9, 0, 36, 100, 10);
    EXPECT_TRUE(t.append(makeEndOfTrack(480)));
    ASSERT_TRUE(prepareSongData(source, PrepareOptions{}));
    EngineRandom random;
    random.seed(4);
    auto song = writeLyrics(source, 0, kChildStyle, kAllVariants, random);
    ASSERT_TRUE(song);
    const std::vector<Timed> lyrics = lyricEvents(song->xfData().karaokeTrack());
    ASSERT_EQ(lyrics.size(), 3u);
    EXPECT_EQ(lyrics[0].tick, 0);
    EXPECT_EQ(lyrics[1].tick, 480);
    EXPECT_EQ(lyrics[2].tick, 960);
    ASSERT_EQ(song->lineCount(), 1);
    EXPECT_TRUE(
        readsAsPhrase(song->lines()[0], lyrics[0].text + lyrics[1].text + lyrics[2].text, lyricClassOf(3)));
}

TEST(LyricSong, XfFileReadByAnotherReader) {
    const std::string prepared = preparedSong(0, 1, 3);
    ASSERT_FALSE(prepared.empty());
    EngineRandom random;
    random.seed(3);
    auto song = writeLyrics(prepared, 0, kPopsStyle, kYoungPops, random);
    ASSERT_TRUE(song);
    const std::string path = tempPath("lyrics-xf.mid");
    ASSERT_TRUE(song->xfData().save(path));

    // The chunks in order, and the information chunk byte for byte.
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 40u);
    EXPECT_EQ(bytes.substr(0, 14), std::string("MThd\0\0\0\x06\0\0\0\x01\x01\xe0", 14));
    const std::size_t xfih = bytes.find("XFIH");
    ASSERT_NE(xfih, std::string::npos);
    EXPECT_EQ(bytes.substr(xfih, 21), std::string("XFIH\0\0\0\x0d\0\xff\x01\x05XFln:\0\xff\x2f\0", 21));
    EXPECT_EQ(bytes.substr(xfih + 21, 4), "XFKM");
    EXPECT_EQ(bytes.substr(14, 4), "MTrk");

    // mido reads the song chunk as it is, and the lyric chunk when it is
    // given the song's header.
    const char* script = R"PY(
import io, struct, sys, mido
data = open(sys.argv[1], 'rb').read()
song = mido.MidiFile(file=io.BytesIO(data))
print('notes', sum(1 for m in song.tracks[0] if m.type == 'note_on' and m.velocity > 0 and m.channel == 0))
pos = 14
while pos < len(data):
    name, size = data[pos:pos + 4], struct.unpack('>I', data[pos + 4:pos + 8])[0]
    if name == b'XFKM':
        lyric = mido.MidiFile(file=io.BytesIO(data[:14] + b'MTrk' + data[pos + 4:pos + 8 + size]))
        tick = 0
        for m in lyric.tracks[0]:
            tick += m.time
            if m.type == 'lyrics':
                print('lyric', tick, m.text.encode('latin1').decode('cp932'))
    pos += 8 + size
)PY";
    const std::string out = runPython(script, path);
    MidiF0Data source;
    ASSERT_TRUE(source.load(prepared));
    std::ostringstream expected;
    expected << "notes " << noteStarts(source.track(), 0).size() << '\n';
    for (const Timed& l : lyricEvents(song->xfData().karaokeTrack()))
        expected << "lyric " << l.tick << ' ' << cp932ToUtf8(l.text) << '\n';
    EXPECT_EQ(out, expected.str());
}

TEST(LyricSong, LinesSavedAsTextAndBadInputRefused) {
    const std::string prepared = preparedSong(4, 1, 5);
    ASSERT_FALSE(prepared.empty());
    EngineRandom random;
    random.seed(5);
    auto song = writeLyrics(prepared, 0, kGhostStyle, kAllVariants, random);
    ASSERT_TRUE(song);

    const std::string utf8Path = tempPath("lyrics.txt");
    const std::string cp932Path = tempPath("lyrics-cp932.txt");
    ASSERT_TRUE(song->saveLines(utf8Path, TextEncoding::Utf8));
    ASSERT_TRUE(song->saveLines(cp932Path, TextEncoding::Cp932));
    std::ifstream a(utf8Path, std::ios::binary), b(cp932Path, std::ios::binary);
    const std::string utf8((std::istreambuf_iterator<char>(a)), std::istreambuf_iterator<char>());
    const std::string cp932((std::istreambuf_iterator<char>(b)), std::istreambuf_iterator<char>());
    std::string joined;
    for (const std::string& line : song->linesUtf8())
        joined += line + "\r\n";
    EXPECT_EQ(utf8, joined);
    EXPECT_EQ(cp932ToUtf8(cp932), joined);

    {
        // A folder that does not exist: one report, nothing written.
        CollectReports reports;
        EXPECT_FALSE(song->saveLines("/nonexistent-folder/lyrics.txt", TextEncoding::Utf8));
        EXPECT_TRUE(reports.sawCode(errc::kCannotOpenFile));
        EXPECT_FALSE(std::filesystem::exists("/nonexistent-folder/lyrics.txt"));
    }
    {
        CollectReports reports;
        EXPECT_FALSE(writeLyrics(tempPath("no-such-song.mid"), 0, 1, 1, random));
        EXPECT_FALSE(reports.lines.empty());
    }
    {
        CollectReports reports;
        EXPECT_FALSE(writeLyrics(prepared, 16, 1, 1, random));
        EXPECT_FALSE(writeLyrics(prepared, -1, 1, 1, random));
        EXPECT_TRUE(reports.sawCode(errc::kBadParameter));
    }
    // A file that is not a MIDI song at all.
    const std::string text = tempPath("not-a-song.mid");
    std::ofstream(text) << "hello";
    CollectReports reports;
    EXPECT_FALSE(writeLyrics(text, 0, 1, 1, random));
    EXPECT_FALSE(reports.lines.empty());
}
