// The live audio output on ALSA's null device: the stream's life and clock,
// sources coming and going while it runs, the wave output ring played as a
// source (alone and under a running VST host), and the synthesizer port's
// events applied in order at their stamped frames. Also run under
// ThreadSanitizer.
#include "playback/LiveAudio.h"
#include "playback/LiveSynth.h"
#include "playback/LiveWaveOut.h"
#include "playback/OfflineRenderer.h"
#include "playback_host_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// FluidSynth loads SoundFont samples on OpenMP's thread pool; libgomp is not
// built for ThreadSanitizer, which then mistakes the pool's own hand-overs for
// races. Weak, so another test file may bring the same list.
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() {
    return "called_from_lib:libgomp.so.1\n";
}

namespace harmolin {
namespace {

using namespace std::chrono_literals;
using test::CollectReports;
using test::pluginLog;
using test::testPlugin;

LiveAudio& audio() {
    return LiveAudio::instance();
}

class LiveAudioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(audio().isOpen()) << "an earlier test left the output held";
        audio().setDeviceName("null");
    }
    void TearDown() override { audio().setDeviceName("default"); }
};

// Records the mix as the sources before it left it, from the first step it
// sees on.
class Tap {
  public:
    explicit Tap(double seconds) : left_(std::size_t(seconds * LiveAudio::kRate)), right_(left_.size()) {
        id_ = audio().addSource([this](float* l, float* r, int n, std::int64_t start) {
            if (first_ < 0) first_ = start;
            const std::int64_t have = frames_.load(std::memory_order_relaxed);
            if (start != first_ + have) gap_ = true;
            if (have + n > std::int64_t(left_.size())) return;
            std::copy_n(l, n, left_.begin() + have);
            std::copy_n(r, n, right_.begin() + have);
            frames_.store(have + n, std::memory_order_release);
        });
    }
    ~Tap() { stop(); }
    void stop() {
        if (id_) audio().removeSource(id_);
        id_ = 0;
    }
    std::int64_t frames() const { return frames_.load(std::memory_order_acquire); }
    // Waits until the tap holds the clock frame `frame`.
    bool waitFor(std::int64_t frame, std::chrono::milliseconds limit = 5s) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            if (frames() > 0 && first_ + frames() > frame) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
    // Valid once frames() has been read, or after stop().
    std::int64_t first() const { return first_; }
    bool gap() const { return gap_; }
    float left(std::int64_t frame) const { return left_[std::size_t(frame - first_)]; }
    float right(std::int64_t frame) const { return right_[std::size_t(frame - first_)]; }
    // First clock frame at or after `from` louder than `threshold`, or -1.
    std::int64_t onset(std::int64_t from, float threshold) const {
        for (std::int64_t f = std::max(from, first_); f < first_ + frames(); ++f)
            if (std::fabs(left(f)) > threshold || std::fabs(right(f)) > threshold) return f;
        return -1;
    }

  private:
    std::vector<float> left_, right_;
    std::int64_t first_ = -1;
    bool gap_ = false;
    std::atomic<std::int64_t> frames_{0};
    int id_ = 0;
};

// ---- the stream ----

TEST_F(LiveAudioTest, AcquireReleaseIsCountedAndRepeatable) {
    std::string error;
    for (int cycle = 0; cycle < 5; ++cycle) {
        ASSERT_TRUE(audio().acquire(error)) << error;
        ASSERT_TRUE(audio().acquire(error)) << error;
        EXPECT_TRUE(audio().isOpen());
        audio().release();
        EXPECT_TRUE(audio().isOpen()) << "one user still holds it";
        audio().release();
        EXPECT_FALSE(audio().isOpen());
    }
    audio().release(); // one too many does nothing
    EXPECT_FALSE(audio().isOpen());

    // The clock never goes back across reopenings: stamps stay ordered.
    ASSERT_TRUE(audio().acquire(error));
    std::this_thread::sleep_for(30ms);
    const std::int64_t before = audio().position();
    audio().release();
    ASSERT_TRUE(audio().acquire(error));
    EXPECT_GE(audio().position(), before);
    audio().release();
}

TEST_F(LiveAudioTest, ClockRunsAtRealTimeWithoutGaps) {
    std::string error;
    ASSERT_TRUE(audio().acquire(error)) << error;
    Tap tap(2.0);
    std::this_thread::sleep_for(100ms);
    const std::int64_t p0 = audio().position();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1s);
    const std::int64_t p1 = audio().position();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    tap.stop();
    audio().release();

    const double played = double(p1 - p0) / LiveAudio::kRate;
    RecordProperty("clockPerWallSecond", std::to_string(played / wall));
    EXPECT_GT(played, 0.8 * wall);
    EXPECT_LT(played, 1.3 * wall);
    // Every source sees consecutive spans of the clock, starting from silence.
    EXPECT_FALSE(tap.gap());
    ASSERT_GT(tap.frames(), 0);
    EXPECT_EQ(tap.onset(tap.first(), 0.0f), -1);
}

TEST_F(LiveAudioTest, UnopenableDeviceFailsQuicklyWithItsName) {
    CollectReports reports;
    audio().setDeviceName("harmolin_no_such_pcm");
    std::string error;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(audio().acquire(error));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s); // a hang guard, not a speed check
    EXPECT_FALSE(audio().isOpen());
    EXPECT_NE(error.find("\"harmolin_no_such_pcm\""), std::string::npos) << error;
    EXPECT_GT(error.find(": "), 0u);
    EXPECT_LT(error.find(": ") + 2, error.size()) << "the ALSA reason follows the name: " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    audio().release(); // nothing held: harmless

    // The wave output and the synthesizer refuse cleanly too.
    WaveOutDevice device(-1, WaveFormat{}, 2048, 4, makeLiveWaveOut());
    EXPECT_TRUE(device.checkFormat());
    EXPECT_FALSE(device.open([](int) {}));
    EXPECT_TRUE(reports.sawMessage("再生デバイスのオープンに失敗しました。"));
    EXPECT_NE(static_cast<LiveWaveOut&>(device.backend()).lastError().find("harmolin_no_such_pcm"),
              std::string::npos);
    std::string synthError;
    EXPECT_EQ(openSynthPort(synthError), nullptr);
    EXPECT_NE(synthError.find("harmolin_no_such_pcm"), std::string::npos) << synthError;
    EXPECT_FALSE(audio().isOpen());

    // Back on a working device the same process opens fine.
    audio().setDeviceName("null");
    ASSERT_TRUE(audio().acquire(error)) << error;
    audio().release();
}

TEST_F(LiveAudioTest, SourcesComeAndGoWhileItRuns) {
    std::string error;
    ASSERT_TRUE(audio().acquire(error)) << error;
    // A steady source first, the tap after it sees its contribution.
    const int steady = audio().addSource([](float* l, float*, int n, std::int64_t) {
        for (int i = 0; i < n; ++i)
            l[i] += 0.25f;
    });
    Tap tap(1.0);

    std::atomic<bool> lateCall{false};
    auto churn = [&] {
        for (int k = 0; k < 100; ++k) {
            auto removed = std::make_shared<std::atomic<bool>>(false);
            const int id = audio().addSource([removed, &lateCall](float*, float* r, int n, std::int64_t) {
                if (removed->load()) lateCall.store(true);
                for (int i = 0; i < n; ++i)
                    r[i] += 0.0f;
            });
            std::this_thread::sleep_for(std::chrono::microseconds(500 + 37 * (k % 7)));
            audio().removeSource(id);
            removed->store(true); // from here on it must never run again
        }
    };
    std::thread a(churn), b(churn);
    a.join();
    b.join();
    audio().removeSource(12345678); // unknown: ignored
    ASSERT_TRUE(tap.waitFor(audio().position() + 512));
    tap.stop();
    audio().removeSource(steady);
    audio().release();

    EXPECT_FALSE(lateCall.load()) << "a source ran after removeSource returned";
    ASSERT_GT(tap.frames(), 1000);
    for (std::int64_t f = tap.first(); f < tap.first() + tap.frames(); ++f) {
        ASSERT_EQ(tap.left(f), 0.25f) << f;
        ASSERT_EQ(tap.right(f), 0.0f) << f;
    }
}

// ---- the wave output ring ----

TEST_F(LiveAudioTest, WaveRingPlaysInOrderAndHandsBuffersBack) {
    WaveOutDevice device(-1, WaveFormat{}, 2048, 4, makeLiveWaveOut());
    std::atomic<int> doneCount{0};
    ASSERT_TRUE(device.checkFormat());
    ASSERT_TRUE(device.open([&](int buffer) {
        ++doneCount;
        (void)device.requeue(buffer); // a stopping device refuses; nothing to do
    }));
    EXPECT_TRUE(audio().isOpen());
    ASSERT_TRUE(device.queueAll());
    // Each buffer holds its own level: the order shows in the mix.
    const int S = device.pool().samplesPerBuffer();
    for (int b = 0; b < 4; ++b) {
        std::vector<std::int16_t> level(std::size_t(S), std::int16_t(4096 * (b + 1)));
        device.writeSamples(b, 0, level.data(), S);
    }
    Tap tap(2.0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(device.position(), 0) << "paused after queueAll";
    device.restart();
    std::this_thread::sleep_for(400ms);
    const std::int64_t played = device.position();
    EXPECT_GT(played, 3 * 4096) << "the ring went round several times";
    EXPECT_GE(doneCount.load(), int(played / S) - 1);

    device.pause();
    std::this_thread::sleep_for(20ms);
    const std::int64_t paused = device.position();
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(device.position(), paused);
    tap.stop();

    // The mix carries the ring's levels, mono on both sides, buffer after buffer.
    std::int64_t start = tap.onset(tap.first(), 0.01f);
    ASSERT_GE(start, 0);
    int expect = 1, runs = 0;
    std::int64_t f = start;
    while (f + S <= tap.first() + tap.frames() && runs < 8) {
        const float want = LiveWaveOut::kVoiceLevel * 4096.0f * float(expect) / 32768.0f;
        if (std::fabs(tap.left(f)) < 1e-6f) break; // paused from here on
        ASSERT_FLOAT_EQ(tap.left(f), want) << "run " << runs;
        ASSERT_FLOAT_EQ(tap.right(f), want);
        ASSERT_FLOAT_EQ(tap.left(f + S - 1), want);
        f += S;
        expect = expect % 4 + 1;
        ++runs;
    }
    EXPECT_GE(runs, 8);

    device.reset();
    for (int b = 0; b < 4; ++b)
        EXPECT_TRUE(device.pool().flags(b).load() & kBufferDone) << b;
    EXPECT_TRUE(device.close());
    EXPECT_EQ(device.position(), 0);
    EXPECT_FALSE(audio().isOpen()) << "closing released the output";
}

TEST_F(LiveAudioTest, HostRendersThroughTheLiveRingInStepWithTheClock) {
    CollectReports reports;
    CVstHostMain host(makeLiveWaveOut());
    ASSERT_TRUE(host.loadSingingPlugin(testPlugin("harmolin_test_sine")));
    ASSERT_TRUE(host.isRunning()) << (reports.lines.empty() ? "" : reports.lines[0].text);
    EXPECT_TRUE(audio().isOpen());
    Tap tap(2.0);

    std::this_thread::sleep_for(300ms);
    const std::int64_t rendered = host.renderedUpTo();
    EXPECT_GT(host.device().position(), 4096) << "buffers came back and were played again";
    EXPECT_GE(host.renderedUpTo(), host.device().position());
    EXPECT_LE(host.renderedUpTo(), host.device().position() + host.leadSamples());

    // A note queued now sounds one lead later on the output clock.
    const std::int64_t sentAt = audio().position();
    ASSERT_TRUE(host.queueMidi(0x90, 69, 100));
    ASSERT_TRUE(tap.waitFor(sentAt + 2469 + 4410));
    std::this_thread::sleep_for(50ms);
    EXPECT_GT(host.renderedUpTo(), rendered + 4410) << "the host keeps rendering";
    host.stopOutput();
    tap.stop();
    EXPECT_FALSE(audio().isOpen());
    const auto* log = pluginLog(host);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->eventCount, 1);

    const std::int64_t onset = tap.onset(tap.first(), 0.001f);
    ASSERT_GE(onset, 0);
    RecordProperty("voiceLeadFrames", int(onset - sentAt));
    // Reading the two clocks is not one atomic step: one mixing step of slack.
    EXPECT_GE(onset - sentAt, 2469 - 300);
    EXPECT_LE(onset - sentAt, 2469 + 300);
    float loudest = 0.0f;
    for (std::int64_t f = onset; f < onset + 1000; ++f)
        loudest = std::max(loudest, std::fabs(tap.left(f)));
    EXPECT_NEAR(loudest, 0.5f * LiveWaveOut::kVoiceLevel, 0.01f); // the sine's 0.5 at the voice's level
}

// ---- the synthesizer port ----

class LiveSynthTest : public LiveAudioTest {
  protected:
    void SetUp() override {
        LiveAudioTest::SetUp();
        if (defaultSoundFont().empty()) GTEST_SKIP() << "no GM SoundFont installed";
    }

    std::unique_ptr<LiveSynthPort> open(int lead = 2469) {
        std::string error;
        auto port = openSynthPort(error, lead);
        EXPECT_NE(port, nullptr) << error;
        return std::unique_ptr<LiveSynthPort>(static_cast<LiveSynthPort*>(port.release()));
    }
};

struct Applied {
    std::int64_t frame;
    std::vector<std::uint8_t> bytes;
};

TEST_F(LiveSynthTest, EventsFromSeveralSendersArriveInOrder) {
    auto port = open();
    ASSERT_NE(port, nullptr);
    EXPECT_NE(port->name().find(".sf2"), std::string::npos);
    std::mutex mutex;
    std::vector<Applied> applied;
    port->setEventListener([&](std::int64_t frame, const std::uint8_t* bytes, int length) {
        std::lock_guard lock(mutex);
        applied.push_back({frame, std::vector<std::uint8_t>(bytes, bytes + length)});
    });

    const std::uint8_t gmOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_TRUE(port->longMessage(gmOn, 6));
    // Bursts far beyond the queue's first size, from two threads at once.
    constexpr int kPerSender = 3000;
    auto sender = [&](int channel) {
        for (int i = 0; i < kPerSender; ++i)
            port->shortMessage(std::uint8_t(0xB0 | channel), std::uint8_t((i >> 7) & 0x7F),
                               std::uint8_t(i & 0x7F));
    };
    std::thread a(sender, 1), b(sender, 2);
    a.join();
    b.join();
    const std::uint8_t escape[] = {0xF7, 0x02, 0x90, 0x40};
    EXPECT_FALSE(port->longMessage(escape, 4)) << "raw bytes are not for the synthesizer";
    std::vector<std::uint8_t> huge(300, 0x10);
    huge.front() = 0xF0;
    huge.back() = 0xF7;
    EXPECT_FALSE(port->longMessage(huge.data(), int(huge.size())));
    EXPECT_TRUE(port->reset());

    const auto until = std::chrono::steady_clock::now() + 10s;
    auto count = [&] {
        std::lock_guard lock(mutex);
        return applied.size();
    };
    while (count() < 2 * kPerSender + 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    port.reset(); // the listener is not called any more
    EXPECT_FALSE(audio().isOpen());

    ASSERT_EQ(applied.size(), std::size_t(2 * kPerSender + 2));
    EXPECT_EQ(applied.front().bytes, std::vector<std::uint8_t>(gmOn, gmOn + 6));
    EXPECT_TRUE(applied.back().bytes.empty()) << "the reset comes last, after everything sent before it";
    int next[3] = {0, 0, 0};
    for (std::size_t k = 1; k < applied.size(); ++k) {
        ASSERT_GE(applied[k].frame, applied[k - 1].frame);
        if (k + 1 == applied.size()) break;
        const auto& m = applied[k].bytes;
        ASSERT_EQ(m.size(), 3u);
        const int channel = m[0] & 0x0F;
        ASSERT_TRUE(channel == 1 || channel == 2);
        ASSERT_EQ((m[1] << 7) | m[2], next[channel]) << "sender " << channel;
        ++next[channel];
    }
    EXPECT_EQ(next[1], kPerSender);
    EXPECT_EQ(next[2], kPerSender);
}

TEST_F(LiveSynthTest, NoteSoundsAtItsStampedFrame) {
    auto port = open(2469);
    ASSERT_NE(port, nullptr);
    std::atomic<std::int64_t> noteFrame{-1};
    port->setEventListener([&](std::int64_t frame, const std::uint8_t* bytes, int length) {
        if (length == 3 && bytes[0] == 0x90) noteFrame.store(frame);
    });
    Tap tap(3.0);
    port->shortMessage(0xC0, 0, 0); // piano: a sharp attack
    std::this_thread::sleep_for(100ms);
    const std::int64_t before = audio().position();
    port->shortMessage(0x90, 72, 127);
    const std::int64_t after = audio().position();
    ASSERT_TRUE(tap.waitFor(after + 2469 + 4410));
    port->shortMessage(0x80, 72, 0);
    tap.stop();
    port.reset();

    const std::int64_t frame = noteFrame.load();
    ASSERT_GE(frame, before + 2469);
    ASSERT_LE(frame, after + 2469);
    // Silent up to the note's frame, sounding within one synthesizer block of it.
    const std::int64_t onset = tap.onset(tap.first(), 1e-4f);
    ASSERT_GE(onset, 0);
    RecordProperty("synthOnsetAfterStamp", int(onset - frame));
    EXPECT_GE(onset, frame);
    EXPECT_LT(onset, frame + 64 + 64);
    float loudest = 0.0f;
    for (std::int64_t f = onset; f < onset + 4410; ++f)
        loudest = std::max(loudest, std::fabs(tap.left(f)));
    EXPECT_GT(loudest, 0.01f);
}

TEST_F(LiveSynthTest, ResetSilencesHeldNotesAfterWhatCameBefore) {
    auto port = open(2469);
    ASSERT_NE(port, nullptr);
    std::atomic<std::int64_t> noteFrame{-1}, resetFrame{-1};
    port->setEventListener([&](std::int64_t frame, const std::uint8_t* bytes, int length) {
        if (length == 3 && bytes[0] == 0x90) noteFrame.store(frame);
        if (length == 0) resetFrame.store(frame);
    });
    Tap tap(4.0);
    port->shortMessage(0xC0, 16, 0); // drawbar organ: it holds as long as the key
    port->shortMessage(0x90, 60, 110);
    std::this_thread::sleep_for(700ms);
    EXPECT_TRUE(port->reset());
    ASSERT_TRUE(tap.waitFor(audio().position() + 2469 + LiveAudio::kRate));
    tap.stop();
    port.reset();
    EXPECT_FALSE(audio().isOpen());

    ASSERT_GE(noteFrame.load(), 0);
    ASSERT_GT(resetFrame.load(), noteFrame.load());
    auto rms = [&](std::int64_t from, int frames) {
        double sum = 0;
        for (std::int64_t f = from; f < from + frames; ++f)
            sum += double(tap.left(f)) * tap.left(f);
        return std::sqrt(sum / frames);
    };
    const double held = rms(resetFrame.load() - 4410, 4410);
    const double after =
        rms(resetFrame.load() + LiveAudio::kRate / 2, 4410); // past most of the reverb's tail
    EXPECT_GT(held, 0.02);
    EXPECT_LT(after, 0.1 * held);
}

TEST_F(LiveSynthTest, UnloadableSoundFontIsAClearErrorAndReleasesTheOutput) {
    std::string error;
    {
        LiveSynthPort port(2469);
        EXPECT_FALSE(port.open("/nonexistent/harmolin.sf2", error));
    }
    EXPECT_NE(error.find("/nonexistent/harmolin.sf2"), std::string::npos) << error;
    EXPECT_FALSE(audio().isOpen());
}

TEST_F(LiveSynthTest, VoiceAndAccompanimentShareTheLead) {
    CollectReports reports;
    CVstHostMain host(makeLiveWaveOut());
    ASSERT_TRUE(host.loadSingingPlugin(testPlugin("harmolin_test_sine")));
    auto port = open(host.leadSamples());
    ASSERT_NE(port, nullptr);
    std::atomic<std::int64_t> synthFrame{-1};
    port->setEventListener([&](std::int64_t frame, const std::uint8_t* bytes, int length) {
        if (length == 3 && bytes[0] == 0x91) synthFrame.store(frame);
    });
    // The synthesizer's note is kept inaudible so the mix shows the voice alone.
    port->shortMessage(0xB1, 7, 0);
    Tap tap(2.0);
    std::this_thread::sleep_for(200ms);
    // Sent together, as the player sends a bar's first notes.
    ASSERT_TRUE(host.queueMidi(0x90, 69, 100));
    port->shortMessage(0x91, 60, 100);
    ASSERT_TRUE(tap.waitFor(audio().position() + 4410));
    tap.stop();
    port.reset();
    host.stopOutput();

    ASSERT_GE(synthFrame.load(), 0);
    const std::int64_t voiceOnset = tap.onset(tap.first(), 0.001f);
    ASSERT_GE(voiceOnset, 0);
    RecordProperty("voiceMinusSynthFrames", int(voiceOnset - synthFrame.load()));
    // Same clock, same lead: apart by no more than one mixing step.
    EXPECT_LE(std::abs(voiceOnset - synthFrame.load()), 300) << voiceOnset << " vs " << synthFrame.load();
}

} // namespace
} // namespace harmolin
