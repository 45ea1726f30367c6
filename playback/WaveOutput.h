// The wave output ring: a few small PCM buffers kept queued on an output
// that plays them in a loop, while the VST host overwrites the part ahead of
// the playing position. The ring logic lives here; what actually plays the
// buffers (a sound card, memory, a file, or nothing) is a WaveOutBackend.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace harmolin {

struct WaveFormat {
    int channels = 1;
    int sampleRate = 44100;
    int bytesPerSecond = 88200;
    int blockAlign = 2;
    int bitsPerSample = 16;
};

// Header flags of a ring buffer, as the device sees it.
inline constexpr std::uint32_t kBufferDone = 1;
inline constexpr std::uint32_t kBufferPrepared = 2;
inline constexpr std::uint32_t kBufferQueued = 4;

// The ring's buffers. Samples are atomics (plain moves on this platform) so
// that the render thread writing ahead and a device thread reading behind
// never form a data race.
class WaveBufferPool {
  public:
    WaveBufferPool(int bufferBytes, int bufferCount, const WaveFormat& format);

    [[nodiscard]] bool usable() const { return usable_; }
    [[nodiscard]] int bufferBytes() const { return bufferBytes_; }
    [[nodiscard]] int bufferCount() const { return bufferCount_; }
    [[nodiscard]] int samplesPerBuffer() const { return samplesPerBuffer_; }
    [[nodiscard]] int totalSamples() const { return samplesPerBuffer_ * bufferCount_; }

    [[nodiscard]] std::int16_t sample(int buffer, int offset) const;
    void setSample(int buffer, int offset, std::int16_t value);
    void zero();

    [[nodiscard]] std::atomic<std::uint32_t>& flags(int buffer) {
        return flags_[static_cast<std::size_t>(buffer)];
    }

  private:
    int bufferBytes_;
    int bufferCount_;
    int samplesPerBuffer_;
    bool usable_ = false;
    std::unique_ptr<std::atomic<std::int16_t>[]> samples_;
    std::unique_ptr<std::atomic<std::uint32_t>[]> flags_;
};

// A position in the ring: buffer index and offset, set from an absolute
// sample count.
class RingPosition {
  public:
    RingPosition(int samplesPerBuffer, int bufferCount)
        : samplesPerBuffer_(samplesPerBuffer), bufferCount_(bufferCount) {}

    void set(std::int64_t samples);
    [[nodiscard]] int buffer() const { return buffer_; }
    [[nodiscard]] int offset() const { return offset_; }
    [[nodiscard]] std::int64_t absolute() const { return absolute_; }

    // Samples from this position forward to `to` around the ring: negative or
    // 0 within one buffer when `to` lies behind, 0 when `to` cannot be
    // reached within bufferCount - 1 buffer steps.
    [[nodiscard]] int distanceTo(const RingPosition& to) const;

  private:
    int samplesPerBuffer_;
    int bufferCount_;
    int buffer_ = 0;
    int offset_ = 0;
    std::int64_t absolute_ = 0;
};

// The buffers handed to a backend, in the order it plays them, and how far
// it has played into the first. Its owner locks around it; after attach it
// never allocates, so an audio thread may use it.
class QueuedBuffers {
  public:
    // Empties the queue; it holds at most the pool's buffer count.
    void attach(WaveBufferPool* pool);
    void detach() { attach(nullptr); }
    [[nodiscard]] WaveBufferPool* pool() const { return pool_; }
    [[nodiscard]] bool empty() const { return count_ == 0; }
    // Samples left in the first queued buffer (0 when none is queued).
    [[nodiscard]] int frontRemaining() const;

    // Marks the buffer queued; false when detached, out of range or full.
    [[nodiscard]] bool push(int buffer);
    // Every queued buffer marked done (no longer queued); the queue empties.
    void giveBackAll();
    // Plays up to `frames` samples in order, calling visit(sample, i) for
    // the i-th; every buffer played to its end is marked done and appended
    // to finished. Returns the samples played.
    template <class Visit> int play(int frames, Visit&& visit, std::vector<int>& finished);

  private:
    void finishFront();

    WaveBufferPool* pool_ = nullptr;
    std::vector<int> ring_;
    int head_ = 0;
    int count_ = 0;
    int offset_ = 0;
};

template <class Visit> int QueuedBuffers::play(int frames, Visit&& visit, std::vector<int>& finished) {
    int played = 0;
    while (played < frames && count_ > 0) {
        const int buffer = ring_[static_cast<std::size_t>(head_)];
        const int take = std::min(frames - played, pool_->samplesPerBuffer() - offset_);
        for (int i = 0; i < take; ++i)
            visit(pool_->sample(buffer, offset_ + i), played + i);
        offset_ += take;
        played += take;
        if (offset_ == pool_->samplesPerBuffer()) {
            finished.push_back(buffer);
            finishFront();
        }
    }
    return played;
}

// What plays the ring. A backend plays the queued buffers in order, marks a
// finished buffer done and calls the done handler with its index (from any
// thread). Each step may fail, and the device reports which one.
class WaveOutBackend {
  public:
    using DoneHandler = std::function<void(int buffer)>;
    virtual ~WaveOutBackend() = default;

    [[nodiscard]] virtual std::string name() const = 0;
    [[nodiscard]] virtual bool supports(const WaveFormat& format) const = 0;
    [[nodiscard]] virtual bool open(const WaveFormat& format, WaveBufferPool& pool, DoneHandler done) = 0;
    [[nodiscard]] virtual bool close() = 0;
    virtual void pause() = 0;
    virtual void restart() = 0;
    // Stops playing and gives every queued buffer back, marked done.
    virtual void reset() = 0;
    [[nodiscard]] virtual bool prepare(int buffer) = 0;
    [[nodiscard]] virtual bool unprepare(int buffer) = 0;
    [[nodiscard]] virtual bool write(int buffer) = 0;
    // Samples played since open.
    [[nodiscard]] virtual std::int64_t position() const = 0;
};

// A backend that plays into memory when told to: `advance` plays that many
// samples from the queued buffers, hands them to the consumer (a WAV writer,
// a test) and returns finished buffers. Its clock is the samples advanced,
// which makes it the sample clock of offline rendering.
class MemoryWaveSink : public WaveOutBackend {
  public:
    using Consumer = std::function<void(const std::int16_t* samples, int count)>;
    explicit MemoryWaveSink(Consumer consumer = {});

    // Plays up to `samples` samples; returns how many were played (fewer when
    // paused, closed or no buffer is queued).
    [[nodiscard]] int advance(int samples);

    [[nodiscard]] std::string name() const override { return "memory"; }
    [[nodiscard]] bool supports(const WaveFormat& format) const override;
    [[nodiscard]] bool open(const WaveFormat& format, WaveBufferPool& pool, DoneHandler done) override;
    [[nodiscard]] bool close() override;
    void pause() override;
    void restart() override;
    void reset() override;
    [[nodiscard]] bool prepare(int) override { return true; }
    [[nodiscard]] bool unprepare(int) override { return true; }
    [[nodiscard]] bool write(int buffer) override;
    [[nodiscard]] std::int64_t position() const override { return played_.load(); }

  private:
    Consumer consumer_;
    mutable std::mutex mutex_;
    DoneHandler done_;
    QueuedBuffers queue_;
    bool open_ = false;
    bool paused_ = false;
    std::atomic<std::int64_t> played_{0};
};

// A backend without sound whose clock follows the wall clock at the format's
// rate while playing, like a sound card's null device. It never reads the
// ring and never finishes buffers.
class ClockedNullSink : public WaveOutBackend {
  public:
    [[nodiscard]] std::string name() const override { return "null"; }
    [[nodiscard]] bool supports(const WaveFormat& format) const override { return format.sampleRate > 0; }
    [[nodiscard]] bool open(const WaveFormat& format, WaveBufferPool& pool, DoneHandler done) override;
    [[nodiscard]] bool close() override;
    void pause() override;
    void restart() override;
    void reset() override { pause(); }
    [[nodiscard]] bool prepare(int) override { return true; }
    [[nodiscard]] bool unprepare(int) override { return true; }
    [[nodiscard]] bool write(int) override { return true; }
    [[nodiscard]] std::int64_t position() const override;

  private:
    mutable std::mutex mutex_;
    int rate_ = 44100;
    bool open_ = false;
    bool playing_ = false;
    std::int64_t base_ = 0;
    std::int64_t startNs_ = 0;
};

class WaveOutDevice {
  public:
    WaveOutDevice(int deviceNumber, const WaveFormat& format, int bufferBytes, int bufferCount,
                  std::unique_ptr<WaveOutBackend> backend);
    ~WaveOutDevice();
    WaveOutDevice(const WaveOutDevice&) = delete;
    WaveOutDevice& operator=(const WaveOutDevice&) = delete;

    [[nodiscard]] bool checkFormat();
    [[nodiscard]] bool open(WaveOutBackend::DoneHandler done);
    [[nodiscard]] bool close();
    void pause();
    void restart();
    void reset();
    [[nodiscard]] bool queueAll();
    // Hands a finished buffer back; ignored unless it is marked both done
    // and prepared.
    [[nodiscard]] bool requeue(int buffer);

    void writeSamples(int buffer, int offset, const std::int16_t* samples, int count);
    [[nodiscard]] std::int64_t position() const;

    [[nodiscard]] bool isOpen() const { return open_.load(); }
    [[nodiscard]] int deviceNumber() const { return deviceNumber_; }
    [[nodiscard]] const WaveFormat& format() const { return format_; }
    [[nodiscard]] WaveBufferPool& pool() { return pool_; }
    [[nodiscard]] WaveOutBackend& backend() { return *backend_; }

  private:
    int deviceNumber_;
    WaveFormat format_;
    WaveBufferPool pool_;
    std::unique_ptr<WaveOutBackend> backend_;
    std::atomic<bool> open_{false};
};

} // namespace harmolin
