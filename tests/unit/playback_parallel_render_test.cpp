// The accompaniment played by several synthesizers at once must sound as
// one synthesizer's, and the file must not depend on how many threads made
// it. A FluidSynth instance (2.3) is not exactly the sum of its channels: a
// voice taken from the pool fades its mix level in over its first 64 samples
// from the level the voice's previous note ended with (pan, reverb and
// chorus sends), and which previous note that was depends on every channel
// of the instance. All of the difference lies in those first 64 samples of
// notes (reverb spreads the sends' part); with that fade starting from zero
// the groups match one synthesizer to -142 dB. Note timing, polyphony and
// the effects themselves add nothing, so the bound is -40 dB, not rounding.
#include "app/LyricPipeline.h"
#include "app/SingingPipeline.h"
#include "app/SongPipeline.h"
#include "midi/MidiF0Data.h"
#include "playback/OfflineRenderer.h"
#include "playback/VstHost.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace harmolin {
namespace {

namespace fs = std::filesystem;

std::vector<float> readAudio(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ParallelRenderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (defaultSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
        folder_ = fs::temp_directory_path() / ("harmolin-parallel-render-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        // A whole composed song: drums, bass, chords and melody on their channels.
        SongComposer composer(HARMOLIN_DATA_FOLDER, 7u);
        song_ = (folder_ / "song.mid").string();
        ASSERT_TRUE(composer.composeSong(*styleChoice(0, 1), song_, 64));
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path render(const std::string& name, int groups, int threads, const std::string& plugin = {}) {
        RenderOptions options;
        options.accompanimentGroups = groups;
        options.threads = threads;
        options.pluginPath = plugin;
        const fs::path out = folder_ / name;
        const RenderResult result =
            renderMidiToFile(plugin.empty() ? song_ : sungPart(), out.string(), options);
        EXPECT_TRUE(result.ok) << result.error;
        return out;
    }

    // The song as our singer sings it: its control stream on the voice channel.
    std::string sungPart() {
        const fs::path sung = folder_ / "sung.mid";
        if (fs::exists(sung)) return sung.string();
        SongComposer composer(HARMOLIN_DATA_FOLDER, 7u);
        const auto withLyrics = generateSong(composer, 0, *styleChoice(0, 1), folder_.string());
        const std::string xf = (folder_ / "lyrics.mid").string();
        EXPECT_TRUE(withLyrics && withLyrics->xfData().save(xf));
        SungPartRequest request;
        request.singers = singersBeside(HARMOLIN_VOICE_PLUGIN, request.kind, HARMOLIN_DATA_FOLDER);
        EXPECT_TRUE(writeSungFile(xf, folder_.string(), HARMOLIN_DATA_FOLDER, request, sung.string()));
        return sung.string();
    }

    fs::path folder_;
    std::string song_;
};

TEST_F(ParallelRenderTest, GroupsSoundAsOneSynthesizerAndThreadsChangeNoByte) {
    const auto one = readAudio(render("one.wav", 1, 1));
    const fs::path twoOnOne = render("two-1.wav", 2, 1);
    const fs::path twoOnThree = render("two-3.wav", 2, 3);
    const auto two = readAudio(twoOnOne);
    ASSERT_GT(one.size(), 44100u * 2 * 20);
    ASSERT_EQ(one.size(), two.size());
    // Each file is scaled to keep its own peak below full scale: the level
    // of the one is matched to the other before they are compared.
    double signal = 0, cross = 0, other = 0;
    for (std::size_t i = 0; i < one.size(); ++i) {
        signal += double(one[i]) * one[i];
        cross += double(one[i]) * two[i];
        other += double(two[i]) * two[i];
    }
    ASSERT_GT(signal, 0.0);
    ASSERT_GT(other, 0.0);
    const double gain = cross / other;
    EXPECT_NEAR(20.0 * std::log10(gain), 0.0, 0.1);
    double difference = 0;
    for (std::size_t i = 0; i < one.size(); ++i)
        difference += std::pow(one[i] - gain * two[i], 2);
    const double differenceDb = 10.0 * std::log10(std::max(difference, 1e-30) / signal);
    EXPECT_LT(differenceDb, -40.0);
    std::printf("groups against one synthesizer: %.1f dB of difference, level %+.3f dB\n", differenceDb,
                20.0 * std::log10(gain));
    EXPECT_EQ(bytesOf(twoOnOne), bytesOf(twoOnThree));
    EXPECT_EQ(bytesOf(twoOnOne), bytesOf(render("two-again.wav", 2, 2)));
}

TEST_F(ParallelRenderTest, TheSungVoiceOnItsOwnThreadChangesNoByte) {
    const fs::path alone = render("sung-1.wav", 2, 1, HARMOLIN_VOICE_PLUGIN);
    const fs::path beside = render("sung-3.wav", 2, 3, HARMOLIN_VOICE_PLUGIN);
    EXPECT_EQ(bytesOf(alone), bytesOf(beside));
}

TEST_F(ParallelRenderTest, AVoiceBalancedFromItsOwnRenderSoundsAsIfSungAtThatGain) {
    RenderOptions options;
    options.pluginPath = HARMOLIN_VOICE_PLUGIN;
    options.balanceVoice = true;
    const RenderResult balanced = renderMidiToFile(sungPart(), (folder_ / "balanced.wav").string(), options);
    ASSERT_TRUE(balanced.ok) << balanced.error;
    // Decided from the song, not the kind's fixed gain.
    EXPECT_NE(balanced.voiceGain, voiceGainOf(options.pluginKind));
    EXPECT_GT(balanced.voiceGain, 0.05);
    EXPECT_LT(balanced.voiceGain, 20.0);

    // Sung again with the host at that gain from the start, clipping where
    // the host clips: the same file up to rounding.
    MidiF0Data song(0x400000);
    ASSERT_TRUE(song.load(sungPart()));
    ASSERT_TRUE(song.state() == TrackState::NoteOnOff || song.split());
    std::string error;
    const auto host = openOfflineHost(HARMOLIN_VOICE_PLUGIN, options.pluginKind, 0, error);
    ASSERT_TRUE(host) << error;
    host->setGain(balanced.voiceGain);
    const fs::path fixedPath = folder_ / "fixed.wav";
    const RenderResult fixed = renderSong(
        song, host.get(), [&host](int, long long, MusicEvent& e) { (void)host->routeVoiceEvent(e); },
        fixedPath.string(), RenderOptions{});
    ASSERT_TRUE(fixed.ok) << fixed.error;
    EXPECT_EQ(balanced.pluginClipped, fixed.pluginClipped);
    EXPECT_NEAR(balanced.scaled, fixed.scaled, 1e-4);
    const auto a = readAudio(folder_ / "balanced.wav");
    const auto b = readAudio(fixedPath);
    ASSERT_EQ(a.size(), b.size());
    double signal = 0, difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        signal += double(a[i]) * a[i];
        difference += std::pow(double(a[i]) - b[i], 2);
    }
    EXPECT_LT(10.0 * std::log10(std::max(difference, 1e-30) / signal), -80.0);
}

} // namespace
} // namespace harmolin
