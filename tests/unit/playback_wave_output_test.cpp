// The wave output ring: where samples land, how far apart positions are, and
// the device's life cycle over the memory backend.
#include "playback/WaveOutput.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <numeric>

namespace harmolin {
namespace {

using test::CollectReports;

std::unique_ptr<WaveOutDevice> makeDevice(MemoryWaveSink** sink = nullptr,
                                          MemoryWaveSink::Consumer consumer = {}) {
    auto backend = std::make_unique<MemoryWaveSink>(std::move(consumer));
    if (sink) *sink = backend.get();
    return std::make_unique<WaveOutDevice>(-1, WaveFormat{}, 2048, 4, std::move(backend));
}

std::vector<std::int16_t> counting(int n) {
    std::vector<std::int16_t> v(static_cast<std::size_t>(n));
    std::iota(v.begin(), v.end(), std::int16_t{1});
    return v;
}

TEST(WaveRing, WriteSamplesWrapsAcrossBuffers) {
    auto device = makeDevice();
    WaveBufferPool& pool = device->pool();
    ASSERT_EQ(pool.samplesPerBuffer(), 1024);
    ASSERT_EQ(pool.totalSamples(), 4096);

    const auto samples = counting(1500);
    device->writeSamples(3, 1000, samples.data(), 1500);
    // 24 at the end of buffer 3, all of buffer 0, 452 at the start of buffer 1.
    EXPECT_EQ(pool.sample(3, 999), 0);
    EXPECT_EQ(pool.sample(3, 1000), 1);
    EXPECT_EQ(pool.sample(3, 1023), 24);
    EXPECT_EQ(pool.sample(0, 0), 25);
    EXPECT_EQ(pool.sample(0, 1023), 1048);
    EXPECT_EQ(pool.sample(1, 0), 1049);
    EXPECT_EQ(pool.sample(1, 451), 1500);
    EXPECT_EQ(pool.sample(1, 452), 0);
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(pool.sample(2, i), 0);
}

TEST(WaveRing, WriteSamplesClampsItsArguments) {
    auto device = makeDevice();
    WaveBufferPool& pool = device->pool();
    const auto samples = counting(10000);

    // Index past the ring goes to the last buffer, offset past a buffer to its last sample.
    device->writeSamples(9, 5000, samples.data(), 2);
    EXPECT_EQ(pool.sample(3, 1023), 1);
    EXPECT_EQ(pool.sample(0, 0), 2);

    // More than the ring holds is cut to one ring's worth: nothing overruns,
    // and the write ends just before where it began.
    pool.zero();
    device->writeSamples(1, 10, samples.data(), 10000);
    EXPECT_EQ(pool.sample(1, 10), 1);
    EXPECT_EQ(pool.sample(1, 9), 4096);

    // Negative values are treated as the smallest ones; nothing to write is nothing.
    pool.zero();
    device->writeSamples(-3, -7, samples.data(), 1);
    EXPECT_EQ(pool.sample(0, 0), 1);
    device->writeSamples(0, 0, samples.data(), 0);
    device->writeSamples(0, 0, nullptr, 5);
    device->writeSamples(0, 0, samples.data(), -5);
    EXPECT_EQ(pool.sample(0, 1), 0);
}

TEST(WaveRing, PositionsAndDistances) {
    RingPosition a(1024, 4), b(1024, 4);
    a.set(1024 + 1000);
    b.set(2 * 1024 + 10);
    EXPECT_EQ(a.buffer(), 1);
    EXPECT_EQ(a.offset(), 1000);
    EXPECT_EQ(a.distanceTo(b), 34);

    a.set(2 * 1024 + 10);
    b.set(2 * 1024 + 5);
    EXPECT_EQ(a.distanceTo(b), -5);
    EXPECT_EQ(a.distanceTo(a), 0);

    // Across the end of the ring, and the longest walk of three buffers.
    a.set(3 * 1024 + 1000);
    b.set(4 * 1024 + 24);
    EXPECT_EQ(b.buffer(), 0);
    EXPECT_EQ(a.distanceTo(b), 48);
    a.set(0);
    b.set(3 * 1024 + 7);
    EXPECT_EQ(a.distanceTo(b), 3 * 1024 + 7);

    // The ring forgets whole turns: a full ring ahead is the same place.
    b.set(4096 * 5 + 17);
    EXPECT_EQ(b.buffer(), 0);
    EXPECT_EQ(b.offset(), 17);
    EXPECT_EQ(b.absolute(), 4096 * 5 + 17);
    b.set(-1);
    EXPECT_EQ(b.buffer(), 3);
    EXPECT_EQ(b.offset(), 1023);
}

TEST(WaveDevice, LifeCycleAndRefusals) {
    CollectReports reports;
    MemoryWaveSink* sink = nullptr;
    auto device = makeDevice(&sink);
    EXPECT_EQ(device->position(), 0);
    EXPECT_FALSE(device->queueAll()); // not open

    ASSERT_TRUE(device->checkFormat());
    ASSERT_TRUE(device->open([](int) {}));
    EXPECT_FALSE(device->open([](int) {}));
    EXPECT_TRUE(reports.sawMessage("再生デバイスはオープン済みです。"));

    ASSERT_TRUE(device->queueAll());
    for (int b = 0; b < 4; ++b)
        EXPECT_EQ(device->pool().flags(b).load() & kBufferPrepared, kBufferPrepared);
    // A done message for a buffer that is not done is ignored.
    EXPECT_FALSE(device->requeue(2));
    EXPECT_FALSE(device->requeue(-1));
    EXPECT_FALSE(device->requeue(4));

    device->reset();
    for (int b = 0; b < 4; ++b)
        EXPECT_EQ(device->pool().flags(b).load() & kBufferPrepared, 0u);
    EXPECT_TRUE(device->close());
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(device->position(), 0);

    WaveFormat stereo;
    stereo.channels = 2;
    WaveOutDevice wrong(-1, stereo, 2048, 4, std::make_unique<MemoryWaveSink>());
    EXPECT_FALSE(wrong.checkFormat());
    EXPECT_TRUE(reports.sawMessage("オーディオデバイスがないか、サポートされていないフォーマットです。"));

    WaveOutDevice empty(-1, WaveFormat{}, 0, 4, std::make_unique<MemoryWaveSink>());
    EXPECT_FALSE(empty.pool().usable());
    EXPECT_FALSE(empty.open([](int) {}));
    empty.writeSamples(0, 0, counting(4).data(), 4); // harmless
}

TEST(WaveDevice, MemorySinkPlaysTheRingInALoop) {
    std::vector<std::int16_t> played;
    MemoryWaveSink* sink = nullptr;
    auto device =
        makeDevice(&sink, [&](const std::int16_t* s, int n) { played.insert(played.end(), s, s + n); });
    WaveOutDevice* d = device.get();
    ASSERT_TRUE(device->open([d](int b) { (void)d->requeue(b); })); // a stopping device refuses
    ASSERT_TRUE(device->queueAll());
    EXPECT_EQ(sink->advance(100), 0); // paused until restarted
    device->restart();

    const auto samples = counting(4096);
    device->writeSamples(0, 0, samples.data(), 4096);
    EXPECT_EQ(sink->advance(1500), 1500);
    EXPECT_EQ(device->position(), 1500);
    EXPECT_EQ(sink->advance(4096 - 1500), 4096 - 1500);
    ASSERT_EQ(played.size(), 4096u);
    EXPECT_EQ(played, samples);

    // Finished buffers went back to the device, so the ring plays on.
    EXPECT_EQ(sink->advance(1024), 1024);
    EXPECT_EQ(played[4096], 1);
    EXPECT_EQ(device->position(), 5120);
}

} // namespace
} // namespace harmolin
