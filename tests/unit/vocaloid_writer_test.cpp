// The sung-part file: master, voice and delayed accompaniment tracks.
#include "base/ErrorCodes.h"
#include "base/TextCodec.h"
#include "lyrics/VocaloidWriter.h"
#include "lyrics/VoiceList.h"
#include "midi/MidiF1Data.h"
#include "midi/MidiTrackEdit.h"
#include "midi/XfData.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

using namespace harmolin;

namespace {

std::string sj(const char* utf8) {
    return utf8ToCp932(utf8).value();
}

SyllableRecord syllable(int start, int note, int length, const char* kana, const char* symbols,
                        int consonant) {
    return {start, note, length, sj(kana), symbols, consonant};
}

// か (C4) and あ (D4) on two quarter notes, then the closing record.
std::vector<SyllableRecord> threeSyllables() {
    return {syllable(0, 60, 600, "か", "k a", 64), syllable(480, 62, 470, "あ", "a", 0),
            syllable(960, -1, 0, "あ", "a", 64)};
}

// 120 BPM, melody on channel 1, accompaniment on channels 2 and 10.
MidiTrackData songTrack(int startTempo = 500000) {
    MidiTrackData t(kSongCapacity, TrackState::Connected);
    EXPECT_TRUE(t.append(makeTempo(0, startTempo)));
    addNote(t, 0, 0, 60, 100, 480);
    addNote(t, 1, 0, 48, 90, 240);
    addNote(t, 9, 0, 36, 100, 60);
    addNote(t, 0, 480, 62, 100, 470);
    addNote(t, 1, 0, 50, 90, 240);
    addNote(t, 1, 960, 52, 90, 240);
    ensureEndOfTrack(t);
    return t;
}

struct Pair {
    int delta, controller, value;
};

std::vector<Pair> controlChanges(const MidiTrackData& track) {
    std::vector<Pair> out;
    int delta = 0;
    for (const MusicEvent& e : track.events()) {
        delta += e.delta;
        if (e.kind != kControlChange) continue;
        out.push_back({delta, e.type, e.value});
        delta = 0;
    }
    return out;
}

// Note-on ticks of one track in a file.
std::vector<int> noteOnTicks(const MidiTrackData& track) {
    std::vector<int> ticks;
    const auto times = absoluteTimes(track);
    for (int i = 0; i < track.count(); ++i)
        if (track.event(i).kind == kConnectedNote || track.event(i).isNoteOn()) ticks.push_back(times[i]);
    return ticks;
}

class VocaloidWriterTest : public ::testing::Test {
  protected:
    std::string path(const std::string& name) const { return test::tempPath("vocaloid-" + name); }

    bool write(const MidiTrackData& source, const std::vector<SyllableRecord>& notes, int mode,
               const std::string& file, int delay = 100) {
        CVocaloidFileWriter writer(source, notes, 0, 0, "Alto", 3, 0, mode);
        writer.addAccompaniment(0, delay, 480);
        return writer.save(file);
    }

    bool load(const std::string& file) { return song.load(file); }

    // The "DM:" events of the voice track: counters in order, each at most
    // 127 bytes; returns the joined text.
    std::string sequenceText() {
        std::string text;
        int counter = 0;
        for (const MusicEvent& e : song.track(1).events()) {
            if (!e.isMeta(kMetaText)) continue;
            const std::string body(e.data.begin(), e.data.end());
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "DM:%04d:", counter++);
            EXPECT_EQ(body.substr(0, 8), prefix);
            EXPECT_LE(body.size(), 127u);
            EXPECT_EQ(body.back(), '\n');
            text += body.substr(8);
        }
        return cp932ToUtf8(text);
    }

    test::CollectReports reports;
    MidiF1Data song{480, 0xF0000};
};

TEST_F(VocaloidWriterTest, SequenceTextFormsTheIniSections) {
    ASSERT_TRUE(write(songTrack(), threeSyllables(), kVocaloidMode, path("text.mid")));
    ASSERT_TRUE(load(path("text.mid")));
    ASSERT_EQ(song.trackCount(), 1 + 1 + 15);
    EXPECT_EQ(firstMetaText(song.track(0), kMetaTrackName), "Master Track");
    EXPECT_EQ(firstMetaText(song.track(1), kMetaTrackName), "Voice1");

    const std::string text = sequenceText();
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::vector<std::string> sections;
    for (const auto& l : lines)
        if (!l.empty() && l[0] == '[' && l.back() == ']' && l.find('=') == std::string::npos)
            sections.push_back(l);
    const std::vector<std::string> expected = {
        "[Common]", "[Master]", "[Mixer]",  "[EventList]", "[ID#0000]", "[ID#0001]", "[ID#0002]",
        "[h#0000]", "[h#0001]", "[h#0002]", "[h#0003]",    "[h#0004]",  "[h#0005]",  "[h#0006]"};
    EXPECT_EQ(sections, expected);

    auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("7680=ID#0001"));
    EXPECT_TRUE(has("8160=ID#0002"));
    EXPECT_TRUE(has("8640=EOS"));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Type=Anote"), 2);
    EXPECT_TRUE(has("Length=480")); // 600 cut to the next start
    EXPECT_TRUE(has("Length=470"));
    EXPECT_TRUE(has("Note#=60"));
    EXPECT_TRUE(has("Note#=62"));
    EXPECT_TRUE(has("IDS=Alto"));
    EXPECT_TRUE(has("L0=\"か\",\"k a\",1.000000,64,0,0"));
    EXPECT_TRUE(has("L0=\"あ\",\"a\",1.000000,0,0,0"));
    EXPECT_TRUE(has("L0=\"あ\",\"a\",1.000000,64,0,0"));
    EXPECT_EQ(lines.front(), "[Common]");
    EXPECT_EQ(lines.back(), "RateBPNum=0");
    EXPECT_TRUE(reports.lines.empty());
}

TEST_F(VocaloidWriterTest, NrpnStreamPerNote) {
    ASSERT_TRUE(write(songTrack(), threeSyllables(), kVocaloidMode, path("nrpn.mid")));
    ASSERT_TRUE(load(path("nrpn.mid")));
    const auto pairs = controlChanges(song.track(1));
    for (const Pair& p : pairs)
        EXPECT_EQ(p.controller == 0x63 || p.controller == 0x62 || p.controller == 0x06 ||
                      p.controller == 0x26,
                  true);
    ASSERT_GE(pairs.size(), 12u);
    EXPECT_EQ(pairs[9].controller, 0x63);
    EXPECT_EQ(pairs[9].value, 0x53);
    EXPECT_EQ(pairs[11].value, 3); // voice number

    // Note messages run from (63,50) to the end message (63,65).
    std::vector<std::size_t> starts, ends;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (pairs[i].controller == 0x63 && pairs[i].value == 0x50) starts.push_back(i);
        if (pairs[i].controller == 0x63 && pairs[i].value == 0x65) ends.push_back(i);
    }
    ASSERT_EQ(starts.size(), 2u);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[0] - starts[0], 3u * 3 + 51);     // "k a": three characters
    EXPECT_EQ(ends[1] - starts[1], 3u * 1 + 51 + 1); // "a"
    EXPECT_EQ(pairs.size(), ends[1] + 6);
    EXPECT_EQ(pairs[starts[0]].delta, 0);
    EXPECT_EQ(pairs[starts[1]].delta, 480);
    EXPECT_EQ(pairs[starts[0] + 8].value, 60); // note
    EXPECT_EQ(pairs[starts[1] + 8].value, 62);
    EXPECT_EQ(pairs[starts[0] + 12].value, 500 / 128); // duration
    EXPECT_EQ(pairs[starts[0] + 13].value, 500 % 128);

    // "k a": no data-entry LSB after the space.
    const std::vector<std::pair<int, int>> symbols = {{0x62, 0x13}, {0x06, 'k'},  {0x26, 64},  {0x62, 0x14},
                                                      {0x06, ' '},  {0x62, 0x15}, {0x06, 'a'}, {0x26, 0}};
    for (std::size_t j = 0; j < symbols.size(); ++j) {
        EXPECT_EQ(pairs[starts[0] + 26 + j].controller, symbols[j].first) << j;
        EXPECT_EQ(pairs[starts[0] + 26 + j].value, symbols[j].second) << j;
    }
}

// Duration field of every note message, in milliseconds.
std::vector<int> sentDurations(const MidiTrackData& voice) {
    const auto pairs = controlChanges(voice);
    std::vector<int> durations;
    for (std::size_t i = 0; i + 13 < pairs.size(); ++i)
        if (pairs[i].controller == 0x63 && pairs[i].value == 0x50)
            durations.push_back(pairs[i + 12].value * 128 + pairs[i + 13].value);
    return durations;
}

// Velocity field of every note message.
std::vector<int> sentVelocities(const MidiTrackData& voice) {
    const auto pairs = controlChanges(voice);
    std::vector<int> velocities;
    for (std::size_t i = 0; i + 10 < pairs.size(); ++i)
        if (pairs[i].controller == 0x63 && pairs[i].value == 0x50) velocities.push_back(pairs[i + 10].value);
    return velocities;
}

TEST_F(VocaloidWriterTest, EachNoteSendsItsOwnLengthThroughTheTempoMap) {
    // 120 BPM, then 60 BPM from tick 960 and 240 BPM from tick 2400: a note
    // across a change is timed piece by piece; lengths end at the next start.
    MidiTrackData source = songTrack();
    source.insertAtTime(960, makeTempo(0, 1000000));
    source.insertAtTime(2400, makeTempo(0, 250000));
    const std::vector<SyllableRecord> notes = {
        syllable(0, 60, 240, "か", "k a", 64),       // an eighth at 120: 250 ms
        syllable(480, 62, 960, "あ", "a", 0),        // 480 ticks at 120, 480 at 60: 1500 ms
        syllable(960 + 480, 64, 1920, "あ", "a", 0), // 960 at 60, 960 at 240: 2500 ms
        syllable(4320, 65, 1, "あ", "a", 0),         // one tick: the shortest sendable note
        syllable(4321, 67, 480 * 100, "あ", "a", 0), // 100 beats at 240: 25 s, beyond the field
        syllable(4321 + 480 * 100, -1, 0, "あ", "a", 64)};
    ASSERT_TRUE(write(source, notes, kVocaloidMode, path("durations.mid")));
    ASSERT_TRUE(load(path("durations.mid")));
    EXPECT_EQ(sentDurations(song.track(1)), (std::vector<int>{250, 1500, 2500, 1, kMaxNoteDurationMs}));
    // The melody's velocity where it has a note at the syllable's start
    // (100 at ticks 0 and 480), the neutral 64 elsewhere.
    EXPECT_EQ(sentVelocities(song.track(1)), (std::vector<int>{100, 100, 64, 64, 64}));
    // The text part keeps the lengths in ticks, cut to the next start.
    EXPECT_NE(sequenceText().find("[ID#0002]\nLength=960\n"), std::string::npos);
}

TEST_F(VocaloidWriterTest, ReadableByMido) {
    const std::string file = path("mido.mid");
    ASSERT_TRUE(write(songTrack(), threeSyllables(), kVocaloidMode, file));
    const std::string script = "import mido,sys\n"
                               "m=mido.MidiFile(sys.argv[1])\n"
                               "dm=[x for x in m.tracks[1] if x.type=='text' and x.text.startswith('DM:')]\n"
                               "cc=[x for x in m.tracks[1] if x.type=='control_change']\n"
                               "tempo=[x.tempo for x in m.tracks[0] if x.type=='set_tempo']\n"
                               "print(m.type, len(m.tracks), len(dm) > 0, len(cc), tempo[0])\n";
    const std::string scriptPath = path("check.py");
    std::ofstream(scriptPath) << script;
    FILE* pipe = ::popen(("/usr/bin/python3 " + scriptPath + " " + file + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    // 12 header pairs, 60 + 6 and 55 + 6 for the two notes.
    EXPECT_EQ(output, "1 17 True 139 500000\n");
}

TEST_F(VocaloidWriterTest, AccompanimentDelayedThroughTheTempoMap) {
    // 100 ms at 120 BPM is 96 ticks; at 60 BPM (from tick 960) it is 48, so
    // later events move back by 48.
    MidiTrackData source = songTrack();
    source.insertAtTime(960, makeTempo(0, 1000000));
    ASSERT_TRUE(write(source, threeSyllables(), kVocaloidMode, path("delay.mid")));
    ASSERT_TRUE(load(path("delay.mid")));
    const MidiTrackData* bass = nullptr;
    const MidiTrackData* drums = nullptr;
    for (int i = 2; i < song.trackCount(); ++i) {
        for (const MusicEvent& e : song.track(i).events()) {
            if (e.channel == 1) bass = &song.track(i);
            if (e.channel == 9) drums = &song.track(i);
        }
    }
    ASSERT_NE(bass, nullptr);
    ASSERT_NE(drums, nullptr);
    EXPECT_EQ(noteOnTicks(*bass), (std::vector<int>{96, 576, 1488}));
    EXPECT_EQ(noteOnTicks(*drums), (std::vector<int>{96}));
    // The voice is not delayed, and keeps its own channel.
    for (const MusicEvent& e : song.track(1).events())
        if (e.isChannelEvent()) {
            EXPECT_EQ(e.channel, 0);
        }
    // The master keeps both tempos at their ticks.
    std::vector<std::pair<int, int>> tempos;
    const auto times = absoluteTimes(song.track(0));
    for (int i = 0; i < song.track(0).count(); ++i)
        if (song.track(0).event(i).isMeta(kMetaTempo))
            tempos.push_back({times[i], song.track(0).event(i).value});
    EXPECT_EQ(tempos, (std::vector<std::pair<int, int>>{{0, 500000}, {960, 1000000}}));
}

TEST_F(VocaloidWriterTest, SyllableProgramMode) {
    std::vector<SyllableRecord> notes = threeSyllables();
    notes.insert(notes.begin() + 2, syllable(484, 64, 200, "ぴょ", "p' o", 64));
    notes[1].length = 4;
    notes[2].start = 484;
    notes[3].start = 684 + 100;
    ASSERT_TRUE(write(songTrack(), notes, kSyllableProgramMode, path("programs.mid")));
    ASSERT_TRUE(load(path("programs.mid")));
    const MidiTrackData& voice = song.track(1);
    const auto times = absoluteTimes(voice);
    std::vector<std::pair<int, int>> programs, sung;
    for (int i = 0; i < voice.count(); ++i) {
        const MusicEvent& e = voice.event(i);
        if (e.kind == kProgramChange) programs.push_back({times[i], e.value});
        if (e.kind == kConnectedNote) sung.push_back({times[i], e.length});
        if (e.isControl(32)) {
            EXPECT_EQ(e.value, 3);
        }
    }
    // か 5, あ 0, ぴょ 90 two ticks ahead of a note 4 ticks after the last,
    // and the closing record's program with no note.
    EXPECT_EQ(programs, (std::vector<std::pair<int, int>>{{0, 5}, {470, 0}, {482, 90}, {774, 0}}));
    EXPECT_EQ(sung, (std::vector<std::pair<int, int>>{{0, 416}, {480, 4}, {484, 136}}));
    for (const MusicEvent& e : voice.events())
        EXPECT_FALSE(e.isMeta(kMetaText));
}

TEST_F(VocaloidWriterTest, ZeroStartTempoIsReportedAndTheFileStillWritten) {
    const std::string file = path("tempo0.mid");
    ASSERT_TRUE(write(songTrack(0), threeSyllables(), kVocaloidMode, file));
    EXPECT_TRUE(reports.saw("VOFW00000001 テンポの値が不正です。"));
    ASSERT_TRUE(load(file));
    for (const MusicEvent& e : song.track(0).events())
        EXPECT_FALSE(e.isMeta(kMetaTempo));
    // The delay then follows the tempo the file plays at (the default 120 BPM).
    for (int i = 2; i < song.trackCount(); ++i)
        for (int tick : noteOnTicks(song.track(i)))
            EXPECT_GE(tick, 96);
}

TEST_F(VocaloidWriterTest, EndRecordInTheMiddleSingsNote72) {
    std::vector<SyllableRecord> notes = threeSyllables();
    notes[0].note = -1;
    ASSERT_TRUE(write(songTrack(), notes, kVocaloidMode, path("noteerror.mid")));
    EXPECT_TRUE(reports.saw("VOFW00000002 note error"));
    ASSERT_TRUE(load(path("noteerror.mid")));
    const auto pairs = controlChanges(song.track(1));
    EXPECT_EQ(pairs[12 + 8].value, 72);
}

TEST_F(VocaloidWriterTest, BadInputWritesNothing) {
    const std::string file = path("kept.mid");
    std::ofstream(file) << "previous";
    std::vector<SyllableRecord> backwards = threeSyllables();
    std::swap(backwards[0].start, backwards[1].start);
    EXPECT_FALSE(write(songTrack(), backwards, kVocaloidMode, file));
    EXPECT_TRUE(reports.sawCode(errc::kBadParameter));

    std::vector<SyllableRecord> tooMany(kMaxSyllables + 1, threeSyllables()[0]);
    EXPECT_FALSE(write(songTrack(), tooMany, kVocaloidMode, file));

    // No singer list: nothing written.
    CXfData xf(songTrack(), MidiTrackData(kSongCapacity, TrackState::NoteOnOff), 480);
    VoiceList none;
    EXPECT_FALSE(writeSungPart(xf, threeSyllables(), 100, &none, false, file));
    EXPECT_TRUE(reports.saw("VOFW00000004 エラー発生、一旦終了してください。"));

    std::ifstream in(file);
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "previous");
}

TEST_F(VocaloidWriterTest, PipelineStepUsesTheFirstSinger) {
    const std::string dir = path("plugin");
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/voice.csv") << "Soprano,clear\nAlto,warm\n";
    VoiceList voices;
    ASSERT_TRUE(voices.loadVoiceList(dir + "/harmolin-voice.so", ""));
    CXfData xf(songTrack(), MidiTrackData(kSongCapacity, TrackState::NoteOnOff), 480);
    ASSERT_TRUE(writeSungPart(xf, threeSyllables(), 100, &voices, false, path("sung.mid")));
    ASSERT_TRUE(load(path("sung.mid")));
    EXPECT_NE(sequenceText().find("IDS=Soprano\n"), std::string::npos);

    ASSERT_TRUE(writeSungPart(xf, threeSyllables(), 100, &voices, true, path("sung-programs.mid")));
    ASSERT_TRUE(load(path("sung-programs.mid")));
    int programChanges = 0;
    for (const MusicEvent& e : song.track(1).events())
        programChanges += e.kind == kProgramChange;
    EXPECT_EQ(programChanges, 3);
}

} // namespace
