#include "playback/SpscRing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

namespace harmolin {
namespace {

TEST(SpscRing, EmptyRingHasNothingToTake) {
    SpscRing<int, 4> ring;
    int v = -1;
    EXPECT_TRUE(ring.empty());
    EXPECT_FALSE(ring.peek(v));
    EXPECT_FALSE(ring.tryPop(v));
    EXPECT_EQ(v, -1);
    ring.discard(); // harmless when empty
    EXPECT_TRUE(ring.push(1));
    EXPECT_TRUE(ring.tryPop(v));
    EXPECT_EQ(v, 1);
    EXPECT_FALSE(ring.tryPop(v));
}

TEST(SpscRing, FullRingRefusesAndKeepsWhatItHolds) {
    SpscRing<int, 4> ring;
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(ring.push(i));
    EXPECT_FALSE(ring.push(99));
    EXPECT_EQ(ring.size(), 4u);
    int v = -1;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(ring.tryPop(v));
        EXPECT_EQ(v, i);
    }
    EXPECT_TRUE(ring.empty());
    // Room again after taking one.
    EXPECT_TRUE(ring.push(7));
}

TEST(SpscRing, PeekLeavesTheItemUntilPopped) {
    SpscRing<int, 4> ring;
    ASSERT_TRUE(ring.push(5));
    ASSERT_TRUE(ring.push(6));
    int v = 0;
    ASSERT_TRUE(ring.peek(v));
    EXPECT_EQ(v, 5);
    ASSERT_TRUE(ring.peek(v));
    EXPECT_EQ(v, 5);
    ring.pop();
    ASSERT_TRUE(ring.peek(v));
    EXPECT_EQ(v, 6);
}

TEST(SpscRing, WrapsAroundItsStorageInOrder) {
    SpscRing<int, 4> ring;
    int next = 0;
    int expected = 0;
    int v = 0;
    // Three in, two out, many times: the indexes pass the storage's end
    // again and again at every offset.
    for (int round = 0; round < 50; ++round) {
        while (ring.size() < 3)
            ASSERT_TRUE(ring.push(next++));
        for (int k = 0; k < 2; ++k) {
            ASSERT_TRUE(ring.tryPop(v));
            EXPECT_EQ(v, expected++);
        }
    }
    while (ring.tryPop(v))
        EXPECT_EQ(v, expected++);
    EXPECT_EQ(expected, next);
}

TEST(SpscRing, LimitBoundsTheItemsHeld) {
    SpscRing<int, 8> ring(0);
    EXPECT_EQ(ring.limit(), 0u);
    EXPECT_FALSE(ring.push(1)); // a zero limit takes nothing
    ring.setLimit(3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(ring.push(i));
    EXPECT_FALSE(ring.push(3));
    // Lowered below what waits: nothing is lost, pushes wait for the consumer.
    ring.setLimit(1);
    EXPECT_EQ(ring.size(), 3u);
    int v = 0;
    ASSERT_TRUE(ring.tryPop(v));
    ASSERT_TRUE(ring.tryPop(v));
    EXPECT_FALSE(ring.push(4));
    ASSERT_TRUE(ring.tryPop(v));
    EXPECT_EQ(v, 2);
    EXPECT_TRUE(ring.push(4));
    // Never above the storage.
    ring.setLimit(1000);
    EXPECT_EQ(ring.limit(), 8u);
}

TEST(SpscRing, DiscardDropsEverythingQueued) {
    SpscRing<int, 4> ring;
    ASSERT_TRUE(ring.push(1));
    ASSERT_TRUE(ring.push(2));
    ring.discard();
    EXPECT_TRUE(ring.empty());
    int v = 0;
    EXPECT_FALSE(ring.peek(v));
    ASSERT_TRUE(ring.push(3));
    ASSERT_TRUE(ring.tryPop(v));
    EXPECT_EQ(v, 3);
}

// A producer and a consumer thread pass many items through a small ring:
// every item arrives once, in order, with its payload intact (a torn or early
// read would show as a mismatch; ThreadSanitizer checks the ordering).
TEST(SpscRing, ThreadsPassEveryItemInOrder) {
    struct Item {
        std::uint64_t sequence = 0;
        std::uint64_t check = 0;
    };
    constexpr std::uint64_t kItems = 200000;
    SpscRing<Item, 64> ring;
    std::thread producer([&] {
        for (std::uint64_t i = 0; i < kItems;) {
            if (ring.push(Item{i, ~i}))
                ++i;
            else
                std::this_thread::yield();
        }
    });
    std::uint64_t received = 0;
    bool inOrder = true;
    Item item;
    while (received < kItems) {
        if (!ring.tryPop(item)) {
            std::this_thread::yield();
            continue;
        }
        if (item.sequence != received || item.check != ~received) inOrder = false;
        ++received;
    }
    producer.join();
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(received, kItems);
    EXPECT_TRUE(ring.empty());
}

} // namespace
} // namespace harmolin
