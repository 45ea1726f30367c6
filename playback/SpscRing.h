// A fixed-size ring that hands items from one producer thread to one consumer
// thread without locks: the consumer (a render thread) never waits for the
// producer. Several producers must take turns under a lock of their own; the
// lock's ordering then carries over from one producer to the next.
//
// Memory order: the producer writes the slot, then publishes it by storing
// tail with release; the consumer loads tail with acquire before reading the
// slot. The other way round, the consumer stores head with release after it
// has read the slot, and the producer loads head with acquire before it
// overwrites it. Each side loads its own index relaxed.
//
// Besides the fixed storage the ring has a limit (at most Size) on how many
// items it holds; it can be changed while both sides run.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace harmolin {

template <typename T, std::size_t Size> class SpscRing {
    static_assert(Size > 0 && (Size & (Size - 1)) == 0, "the size must be a power of two");

  public:
    static constexpr std::size_t kSize = Size;

    explicit SpscRing(std::size_t limit = Size) { setLimit(limit); }
    SpscRing(const SpscRing&) = delete;
    SpscRing& operator=(const SpscRing&) = delete;

    // --- producer ---

    // Queues a copy of item; false (nothing queued) when limit() items wait.
    bool push(const T& item) {
        const std::uint64_t t = tail_.load(std::memory_order_relaxed);
        if (t - head_.load(std::memory_order_acquire) >= limit_.load(std::memory_order_relaxed)) return false;
        slots_[t & (Size - 1)] = item;
        tail_.store(t + 1, std::memory_order_release);
        return true;
    }

    // --- consumer ---

    // Copies the oldest item without taking it; false when empty.
    bool peek(T& out) const {
        const std::uint64_t h = head_.load(std::memory_order_relaxed);
        if (h == tail_.load(std::memory_order_acquire)) return false;
        out = slots_[h & (Size - 1)];
        return true;
    }

    // Drops the oldest item; only after a peek that returned true.
    void pop() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

    // peek and pop in one; false when empty.
    bool tryPop(T& out) {
        if (!peek(out)) return false;
        pop();
        return true;
    }

    // Drops everything queued so far. Items pushed meanwhile may survive.
    void discard() { head_.store(tail_.load(std::memory_order_acquire), std::memory_order_release); }

    // --- either side ---

    // The most items the ring holds, clamped to Size. Lowering it below what
    // waits drops nothing: pushes fail until the consumer has caught up.
    void setLimit(std::size_t limit) {
        limit_.store(std::min<std::size_t>(limit, Size), std::memory_order_relaxed);
    }
    std::size_t limit() const { return static_cast<std::size_t>(limit_.load(std::memory_order_relaxed)); }

    // Exact on a quiet ring; a snapshot while the other side runs.
    std::size_t size() const {
        const std::uint64_t h = head_.load(std::memory_order_acquire);
        return static_cast<std::size_t>(tail_.load(std::memory_order_acquire) - h);
    }
    bool empty() const { return size() == 0; }

  private:
    // The indexes only grow (64 bits do not run out); a slot is index & (Size - 1).
    // Apart, so the two sides do not share a cache line.
    alignas(64) std::atomic<std::uint64_t> head_{0}; // consumer's
    alignas(64) std::atomic<std::uint64_t> tail_{0}; // producer's
    std::atomic<std::uint64_t> limit_{Size};
    std::unique_ptr<T[]> slots_{new T[Size]};
};

} // namespace harmolin
