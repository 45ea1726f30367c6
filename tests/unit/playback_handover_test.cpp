// Events handed from player threads to the render thread while it renders
// against a wall clock: none lost, none corrupted, each sender's order kept.
// Also run under ThreadSanitizer.
#include "playback_host_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace harmolin {
namespace {

using test::CollectReports;
using test::pluginLog;
using test::testPlugin;

TEST(VstHostThreads, EventsCrossToTheRenderThreadIntact) {
    CollectReports reports;
    CVstHostMain host(std::make_unique<ClockedNullSink>());
    ASSERT_TRUE(host.loadSingingPlugin(testPlugin("harmolin_test_sine")));
    ASSERT_TRUE(host.isRunning());

    constexpr int kPerSender = 1500;
    std::atomic<bool> go{false};
    auto sender = [&](int controller) {
        while (!go.load())
            std::this_thread::yield();
        for (int i = 0; i < kPerSender; ++i) {
            // The number travels in the two data bytes.
            while (!host.queueMidi(0xB0, controller + ((i >> 7) & 1), i & 0x7F))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (i % 4 == 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    std::thread a(sender, 20), b(sender, 40);
    go.store(true);
    // Meanwhile the owner reads the level and changes the gain.
    double sum = 0;
    for (int i = 0; i < 50; ++i) {
        sum += host.peak() + (host.clipped() ? 1 : 0);
        host.setGain(i % 2 ? 1.0 : 0.5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    a.join();
    b.join();
    // Everything queued is due within one lead; give the render thread time.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    host.stopOutput();
    EXPECT_FALSE(host.isRunning());
    EXPECT_GE(sum, 0.0);

    const auto* log = pluginLog(host);
    ASSERT_NE(log, nullptr);
    ASSERT_EQ(log->eventCount, 2 * kPerSender);
    int next[2] = {0, 0};
    std::int64_t lastAt = -1;
    for (int k = 0; k < log->eventCount; ++k) {
        const auto& e = log->events[k];
        ASSERT_EQ(e.byteSize, 32);
        ASSERT_EQ(e.midi[0], 0xB0);
        ASSERT_GE(e.deltaFrames, 0);
        ASSERT_LT(e.deltaFrames, host.blockLimit());
        ASSERT_GE(e.at, lastAt);
        lastAt = e.at;
        const int sender = e.midi[1] >= 40 ? 1 : 0;
        const int number = ((e.midi[1] - (sender ? 40 : 20)) << 7) | e.midi[2];
        ASSERT_EQ(number, next[sender] % 256) << "sender " << sender; // the bytes carry 8 bits
        ++next[sender];
    }
    EXPECT_EQ(next[0], kPerSender);
    EXPECT_EQ(next[1], kPerSender);
}

TEST(VstHostThreads, StartStopWhileSendingIsSafe) {
    CVstHostMain host(std::make_unique<ClockedNullSink>());
    ASSERT_TRUE(host.loadSingingPlugin(testPlugin("harmolin_test_sine")));
    std::atomic<bool> done{false};
    std::thread sender([&] {
        int i = 0;
        while (!done.load()) {
            (void)host.queueMidi(0x90, 60 + (i++ % 12),
                                 100); // a full queue drops a note; the handover is what is tested
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    for (int round = 0; round < 5; ++round) {
        host.stopOutput();
        ASSERT_TRUE(host.startOutput());
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    done.store(true);
    sender.join();
    host.shutdown();
    EXPECT_EQ(host.loadedCount(), 0);
}

} // namespace
} // namespace harmolin
