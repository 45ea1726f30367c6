#include "app/PlaybackSession.h"
#include "app/VoiceDelayCache.h"
#include "app/WorkingFolder.h"
#include "base/ErrorCodes.h"
#include "midi/MidiTrackEdit.h"
#include "midi/XfData.h"
#include "playback/LiveAudio.h"
#include "playback/MidiOutput.h"
#include "playback/VstHost.h"
#include "playback_host_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

using namespace harmolin;
using namespace harmolin::test;

namespace {

// What the player sent, in order, from any thread.
struct Wire {
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> messages;
    void add(std::vector<std::uint8_t> m) {
        std::lock_guard<std::mutex> lock(mutex);
        messages.push_back(std::move(m));
    }
    std::vector<std::vector<std::uint8_t>> snapshot() {
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }
};

class WirePort : public MidiOutPort {
  public:
    explicit WirePort(std::shared_ptr<Wire> wire) : wire_(std::move(wire)) {}
    std::string name() const override { return "wire"; }
    void shortMessage(std::uint8_t s, std::uint8_t a, std::uint8_t b) override { wire_->add({s, a, b}); }
    bool longMessage(const std::uint8_t* bytes, int length) override {
        wire_->add(std::vector<std::uint8_t>(bytes, bytes + length));
        return true;
    }
    bool reset() override { return true; }

  private:
    std::shared_ptr<Wire> wire_;
};

class PlaybackSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = tempPath("session");
        std::filesystem::create_directories(folder);
        wire = std::make_shared<Wire>();
        setMidiPortOpener([w = wire](int, std::string&) { return std::make_unique<WirePort>(w); });
    }
    void TearDown() override { setMidiPortOpener(defaultMidiPortOpener()); }

    // A song of `beats` quarter notes at 120 bpm: melody on channel 1, kick
    // and snare together on every beat of channel 10, the guide melody on 11.
    static CXfData song(int beats, bool sung = false) {
        MidiTrackData track(0x60000, TrackState::Connected);
        addTempo(track, 500000);
        addProgramChange(track, 0, 64);
        int previous = 0;
        for (int i = 0; i < beats; ++i) {
            const int at = i * 480;
            addNote(track, 0, at - previous, 60 + i % 12, 100, 400);
            addNote(track, 9, 0, 36, 100, 60);
            addNote(track, 9, 0, 38, 100, 60);
            addNote(track, 10, 2, 60 + i % 12, 60, 400);
            previous = at + 2;
        }
        ensureEndOfTrack(track, 480);
        MidiTrackData lyrics(0x10000, TrackState::NoteOnOff);
        for (int i = 0; sung && i < beats; ++i)
            EXPECT_TRUE(lyrics.append(makeTextMeta(i == 0 ? 0 : 480, kMetaLyric, "\x82\xA0")));
        ensureEndOfTrack(lyrics);
        return CXfData(track, lyrics, 480);
    }

    PlaybackSettings instrument(int danceMode) const {
        PlaybackSettings s;
        s.playbackSound = 64;
        s.danceMode = danceMode;
        return s;
    }

    std::string folder;
    std::shared_ptr<Wire> wire;
};

int countStatus(const std::vector<std::vector<std::uint8_t>>& messages, int status, int velocityAbove = 0) {
    int n = 0;
    for (const auto& m : messages)
        if (m.size() == 3 && m[0] == status && m[2] > velocityAbove) ++n;
    return n;
}

} // namespace

TEST_F(PlaybackSessionTest, TheSingerListBesideThePluginIsTheOneSung) {
    CollectReports reports;
    CVstHostMain host;
    PlaybackSession session(host, folder, HARMOLIN_DATA_FOLDER);
    const std::string sung = joinPath(folder, kSungFile);
    PlaybackSettings voice;
    voice.playbackSound = kVoicePlayback;
    voice.delayCorrectionMs = 0;
    voice.pluginKind = PluginKind::VocaloidStream;

    // A singer with no list: the sequence cannot name a singer and is not written.
    std::filesystem::remove(sung);
    EXPECT_FALSE(session.prepare(song(4, true), voice));
    EXPECT_TRUE(reports.saw("VOFW00000004 エラー発生、一旦終了してください。"));
    EXPECT_FALSE(std::filesystem::exists(sung));

    // The list read beside the plug-in names the singer of the sequence.
    const std::string plugins = joinPath(folder, "plugins");
    std::filesystem::create_directories(plugins);
    std::ofstream(joinPath(plugins, "voice.csv"), std::ios::binary) << "Alto,low\r\nTenor,high\r\n";
    voice.singers = VoiceList();
    ASSERT_TRUE(voice.singers->loadVoiceList(joinPath(plugins, "harmolin-voice.so"), voice.pluginKind, ""));
    ASSERT_TRUE(session.prepare(song(4, true), voice));
    std::ifstream in(sung, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find("Alto"), std::string::npos);
    EXPECT_EQ(bytes.find("Tenor"), std::string::npos);

    // An instrument needs no singer.
    PlaybackSettings instrumentKind = voice;
    instrumentKind.singers.reset();
    instrumentKind.pluginKind = PluginKind::Instrument;
    reports.lines.clear();
    EXPECT_TRUE(session.prepare(song(4, true), instrumentKind));
    EXPECT_FALSE(reports.sawCode(4));
}

TEST_F(PlaybackSessionTest, PlaysToTheEndWithOneDanceStepPerBeat) {
    CollectReports reports;
    CVstHostMain host;
    PlaybackSession session(host, folder, "");
    ASSERT_TRUE(session.prepare(song(4), instrument(1)));
    EXPECT_EQ(session.playedFile(), joinPath(folder, kPlaybackSaveFile));
    EXPECT_TRUE(std::filesystem::exists(session.playedFile()));
    EXPECT_NEAR(session.duration(), 2.0, 0.1);

    std::atomic<int> steps{0};
    std::atomic<bool> ended{false};
    PlaybackListener listener;
    listener.danceStep = [&] { ++steps; };
    listener.ended = [&] { ended = true; };
    ASSERT_TRUE(session.start(listener));
    EXPECT_TRUE(session.playing());
    for (int i = 0; i < 500 && !ended; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(ended);
    EXPECT_FALSE(session.playing());
    session.stop();

    // Kick and snare on the same tick make one step.
    EXPECT_EQ(steps.load(), 4);
    const auto sent = wire->snapshot();
    ASSERT_FALSE(sent.empty());
    // GM System On first, then every note of the three channels.
    EXPECT_EQ(sent.front(), (std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(countStatus(sent, 0x90), 4);
    EXPECT_EQ(countStatus(sent, 0x99), 8);
    EXPECT_EQ(countStatus(sent, 0x9A), 4);
    EXPECT_EQ(host.gain(), 0.0);
}

TEST_F(PlaybackSessionTest, GuideMelodyStepsTheDanceInModeTwoAndNothingInModeZero) {
    CollectReports reports;
    CVstHostMain host;
    for (int mode : {2, 0}) {
        PlaybackSession session(host, folder, "");
        ASSERT_TRUE(session.prepare(song(3), instrument(mode)));
        std::atomic<int> steps{0};
        std::atomic<bool> ended{false};
        PlaybackListener listener;
        listener.danceStep = [&] { ++steps; };
        listener.ended = [&] { ended = true; };
        ASSERT_TRUE(session.start(listener));
        for (int i = 0; i < 500 && !ended; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(ended);
        EXPECT_EQ(steps.load(), mode == 2 ? 3 : 0) << "mode " << mode;
    }
}

TEST_F(PlaybackSessionTest, StopSilencesAtOnceAndNothingIsSentAfterIt) {
    CollectReports reports;
    CVstHostMain host;
    PlaybackSession session(host, folder, "");
    ASSERT_TRUE(session.prepare(song(40), instrument(0)));
    std::atomic<bool> ended{false};
    PlaybackListener listener;
    listener.ended = [&] { ended = true; };
    ASSERT_TRUE(session.start(listener));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    session.stop();
    EXPECT_FALSE(session.playing());
    EXPECT_EQ(host.gain(), 0.0);
    const auto atStop = wire->snapshot().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(wire->snapshot().size(), atStop);
    EXPECT_FALSE(ended) << "a stop is not the end of the song";
    session.stop(); // twice is harmless

    // And it plays again from the start after a stop.
    ASSERT_TRUE(session.start(listener));
    EXPECT_TRUE(session.playing());
    session.stop();
}

TEST_F(PlaybackSessionTest, NoDeviceMeansNoPlaybackAndAClearReport) {
    CollectReports reports;
    setMidiPortOpener([](int, std::string& error) {
        error = "no device here";
        return std::unique_ptr<MidiOutPort>();
    });
    MidiControler::resetOpenFailureNotice();
    CVstHostMain host;
    PlaybackSession session(host, folder, "");
    ASSERT_TRUE(session.prepare(song(2), instrument(0)));
    PlaybackListener listener;
    EXPECT_FALSE(session.start(listener));
    EXPECT_FALSE(session.playing());
    EXPECT_TRUE(reports.sawCode(errc::kDeviceCannotOpen));
}

TEST_F(PlaybackSessionTest, PrepareRefusesToRunUnderAPlayingSong) {
    CollectReports reports;
    CVstHostMain host;
    PlaybackSession session(host, folder, "");
    ASSERT_TRUE(session.prepare(song(20), instrument(0)));
    ASSERT_TRUE(session.start({}));
    EXPECT_FALSE(session.prepare(song(2), instrument(0)));
    session.stop();
    EXPECT_TRUE(session.prepare(song(2), instrument(0)));
}

TEST_F(PlaybackSessionTest, PlayStopCyclesOnTheLiveOutput) {
    // The whole Play and Stop road against a running host on ALSA's null
    // device, the voice channel routed to a plug-in that renders: no hang, no
    // race (this test runs under ThreadSanitizer too), and every Stop is
    // prompt. HARMOLIN_PLAY_STOP_CYCLES sets the count (200 by default).
    CollectReports reports;
    int cycles = 200;
    if (const char* n = std::getenv("HARMOLIN_PLAY_STOP_CYCLES")) cycles = std::max(1, std::atoi(n));
    LiveAudio::instance().setDeviceName("null");
    std::string error;
    ASSERT_TRUE(LiveAudio::instance().acquire(error)) << error;
    {
        CVstHostMain host(makeLiveWaveOut());
        ASSERT_TRUE(host.loadSingingPlugin(testPlugin("harmolin_test_sine")));
        ASSERT_TRUE(host.isRunning());
        PlaybackSession session(host, folder, HARMOLIN_DATA_FOLDER);
        PlaybackSettings played = instrument(2);
        played.playbackSound = kVoicePlayback;
        played.delayCorrectionMs = 0;
        played.pluginKind = PluginKind::Instrument; // the melody's notes go to the plug-in
        ASSERT_TRUE(session.prepare(song(40, true), played));
        std::atomic<int> steps{0};
        PlaybackListener listener;
        listener.danceStep = [&] { ++steps; };
        std::chrono::nanoseconds slowest{0};
        for (int i = 0; i < cycles; ++i) {
            ASSERT_TRUE(session.start(listener)) << "cycle " << i;
            std::this_thread::sleep_for(std::chrono::milliseconds(i % 7));
            const auto before = std::chrono::steady_clock::now();
            session.stop();
            slowest = std::max(slowest, std::chrono::steady_clock::now() - before);
            ASSERT_FALSE(session.playing());
            ASSERT_EQ(host.gain(), 0.0);
        }
        // Generous: the target is well under 100 ms, a loaded test machine
        // (or a sanitizer) must not make this flaky.
        EXPECT_LT(slowest, std::chrono::milliseconds(500));
        std::printf("slowest stop of %d: %.2f ms\n", cycles,
                    std::chrono::duration<double, std::milli>(slowest).count());
        EXPECT_TRUE(host.isRunning());
    }
    LiveAudio::instance().release();
    LiveAudio::instance().setDeviceName("default");
}

TEST(LiveDelayMeasurement, TimesTheVoicesFirstSoundAndGivesUpOnASilentPlugin) {
    CollectReports reports;
    LiveAudio::instance().setDeviceName("null");
    std::string error;
    ASSERT_TRUE(LiveAudio::instance().acquire(error)) << error;
    {
        // Our singer answers the test syllable; the delay is the time to its
        // first sound, scaled as the sequence writer expects.
        // Both singer kinds: the control stream, and a syllable program
        // with its note.
        for (PluginKind kind : {PluginKind::VocaloidStream, PluginKind::SyllableProgram}) {
            CVstHostMain host(makeLiveWaveOut());
            ASSERT_TRUE(host.loadSingingPlugin(HARMOLIN_VOICE_PLUGIN, kind));
            VoiceList singers;
            EXPECT_EQ(singers.loadVoiceList(HARMOLIN_VOICE_PLUGIN, kind, HARMOLIN_DATA_FOLDER),
                      kind != PluginKind::Instrument);
            const auto delay = measureLiveDelay(host, kind, &singers, std::chrono::seconds(5));
            ASSERT_TRUE(delay.has_value()) << pluginKindName(kind);
            EXPECT_GE(*delay, 0);
            EXPECT_LT(*delay, 1000);
            EXPECT_EQ(host.gain(), 1.0) << "the gain is left as it was";
        }
    }
    {
        // A plug-in that only sounds on note-ons stays silent when driven as
        // a control-stream singer: the measurement ends at its time-out
        // instead of waiting for ever.
        CVstHostMain host(makeLiveWaveOut());
        ASSERT_TRUE(host.loadSingingPlugin(testPlugin("harmolin_test_sine")));
        host.setGain(0.0);
        const auto began = std::chrono::steady_clock::now();
        EXPECT_FALSE(
            measureLiveDelay(host, PluginKind::VocaloidStream, nullptr, std::chrono::milliseconds(300))
                .has_value());
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
        EXPECT_EQ(host.gain(), 0.0);
        // As the instrument it is, it plays the test note.
        EXPECT_TRUE(
            measureLiveDelay(host, PluginKind::Instrument, nullptr, std::chrono::seconds(5)).has_value());
    }
    {
        // Nothing loaded: nothing to measure.
        CVstHostMain host(makeLiveWaveOut());
        EXPECT_FALSE(measureLiveDelay(host, PluginKind::Instrument, nullptr, std::chrono::milliseconds(100))
                         .has_value());
    }
    LiveAudio::instance().release();
    LiveAudio::instance().setDeviceName("default");
}

// Play's delay without a sound: a private instance of the plug-in sings the
// test syllable offline, and the figure is kept per plug-in file.
TEST(OfflineDelayMeasurement, TimesThePluginUnheardAndKeepsItPerFile) {
    CollectReports reports;
    std::string error;
    for (PluginKind kind : {PluginKind::VocaloidStream, PluginKind::SyllableProgram}) {
        VoiceList singers;
        ASSERT_TRUE(singers.loadVoiceList(HARMOLIN_VOICE_PLUGIN, kind, HARMOLIN_DATA_FOLDER));
        const auto delay = measureOfflineDelay(HARMOLIN_VOICE_PLUGIN, kind, &singers, error);
        ASSERT_TRUE(delay.has_value()) << error;
        // Our voice starts its consonants before the beat: a quarter of a second.
        EXPECT_GT(*delay, 100) << pluginKindName(kind);
        EXPECT_LT(*delay, 1000) << pluginKindName(kind);
        EXPECT_EQ(measureOfflineDelay(HARMOLIN_VOICE_PLUGIN, kind, &singers, error), delay)
            << "the sample clock gives the same figure every time";
    }
    // The sine answers at once as the instrument it is, and not at all as a
    // control-stream singer.
    const auto sine =
        measureOfflineDelay(testPlugin("harmolin_test_sine"), PluginKind::Instrument, nullptr, error);
    ASSERT_TRUE(sine.has_value()) << error;
    EXPECT_LE(*sine, 15);
    EXPECT_FALSE(
        measureOfflineDelay(testPlugin("harmolin_test_sine"), PluginKind::VocaloidStream, nullptr, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(measureOfflineDelay(tempPath("no-such-plugin.so"), PluginKind::Instrument, nullptr, error));
    EXPECT_NE(error.find("Failed to load VST plugin"), std::string::npos) << error;

    // Kept: measured the first time only; the user's Auto Adjust figure
    // comes first; a changed plug-in file is measured again.
    const std::string folder = tempPath("offline-delay");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string plugin = folder + "/harmolin-voice.so";
    std::filesystem::copy_file(HARMOLIN_VOICE_PLUGIN, plugin);
    bool measured = false;
    const auto first = playDelay(folder, plugin, PluginKind::VocaloidStream, nullptr, measured, error);
    ASSERT_TRUE(first.has_value()) << error;
    EXPECT_TRUE(measured);
    EXPECT_EQ(playDelay(folder, plugin, PluginKind::VocaloidStream, nullptr, measured, error), first);
    EXPECT_FALSE(measured);
    EXPECT_EQ(cachedVoiceDelay(folder, offlineDelayKind(), plugin), first) << "render reads it too";
    ASSERT_TRUE(storeVoiceDelay(folder, adjustedDelayKind(), plugin, *first + 40));
    EXPECT_EQ(playDelay(folder, plugin, PluginKind::VocaloidStream, nullptr, measured, error), *first + 40);
    EXPECT_FALSE(measured);
    {
        std::ofstream grow(plugin, std::ios::app | std::ios::binary);
        grow.put('\0');
    }
    EXPECT_FALSE(keptPlayDelay(folder, plugin).has_value());
    EXPECT_TRUE(voiceDelayKeptForPath(folder, plugin));
    EXPECT_EQ(playDelay(folder, plugin, PluginKind::VocaloidStream, nullptr, measured, error), first);
    EXPECT_TRUE(measured);
    std::filesystem::remove_all(folder);
}
