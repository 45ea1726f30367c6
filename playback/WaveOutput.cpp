#include "playback/WaveOutput.h"

#include "base/ErrorReport.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace harmolin {
namespace {

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

// ---- pool ----

WaveBufferPool::WaveBufferPool(int bufferBytes, int bufferCount, const WaveFormat& format)
    : bufferBytes_(bufferBytes), bufferCount_(bufferCount),
      samplesPerBuffer_(format.blockAlign > 0 && bufferBytes > 0 ? bufferBytes / format.blockAlign : 0) {
    if (samplesPerBuffer_ <= 0 || bufferCount_ <= 0) {
        samplesPerBuffer_ = 0;
        bufferCount_ = 0;
        return;
    }
    const auto total = static_cast<std::size_t>(samplesPerBuffer_) * static_cast<std::size_t>(bufferCount_);
    samples_.reset(new (std::nothrow) std::atomic<std::int16_t>[total]);
    flags_.reset(new (std::nothrow) std::atomic<std::uint32_t>[static_cast<std::size_t>(bufferCount_)]);
    if (!samples_ || !flags_) {
        reportMessage("バッファの確保に失敗しました。");
        samplesPerBuffer_ = 0;
        bufferCount_ = 0;
        return;
    }
    for (int b = 0; b < bufferCount_; ++b)
        flags_[static_cast<std::size_t>(b)].store(0);
    usable_ = true;
    zero();
}

std::int16_t WaveBufferPool::sample(int buffer, int offset) const {
    return samples_[static_cast<std::size_t>(buffer * samplesPerBuffer_ + offset)].load(
        std::memory_order_relaxed);
}

void WaveBufferPool::setSample(int buffer, int offset, std::int16_t value) {
    samples_[static_cast<std::size_t>(buffer * samplesPerBuffer_ + offset)].store(value,
                                                                                  std::memory_order_relaxed);
}

void WaveBufferPool::zero() {
    for (int i = 0; i < totalSamples(); ++i)
        samples_[static_cast<std::size_t>(i)].store(0, std::memory_order_relaxed);
}

// ---- ring position ----

void RingPosition::set(std::int64_t samples) {
    absolute_ = samples;
    if (samplesPerBuffer_ <= 0 || bufferCount_ <= 0) return;
    // Floor division keeps a negative position inside the ring.
    std::int64_t block = samples / samplesPerBuffer_;
    std::int64_t offset = samples % samplesPerBuffer_;
    if (offset < 0) {
        offset += samplesPerBuffer_;
        --block;
    }
    std::int64_t index = block % bufferCount_;
    if (index < 0) index += bufferCount_;
    buffer_ = static_cast<int>(index);
    offset_ = static_cast<int>(offset);
}

int RingPosition::distanceTo(const RingPosition& to) const {
    if (to.buffer_ == buffer_) return to.offset_ - offset_;
    for (int k = 1; k < bufferCount_; ++k) {
        if ((buffer_ + k) % bufferCount_ == to.buffer_)
            return to.offset_ + samplesPerBuffer_ - offset_ + (k - 1) * samplesPerBuffer_;
    }
    return 0;
}

// ---- queued buffers ----

void QueuedBuffers::attach(WaveBufferPool* pool) {
    pool_ = pool;
    ring_.assign(pool ? static_cast<std::size_t>(pool->bufferCount()) : 0u, 0);
    head_ = 0;
    count_ = 0;
    offset_ = 0;
}

int QueuedBuffers::frontRemaining() const {
    return count_ > 0 ? pool_->samplesPerBuffer() - offset_ : 0;
}

bool QueuedBuffers::push(int buffer) {
    const int size = static_cast<int>(ring_.size());
    if (!pool_ || buffer < 0 || buffer >= pool_->bufferCount() || count_ >= size) return false;
    ring_[static_cast<std::size_t>((head_ + count_) % size)] = buffer;
    ++count_;
    pool_->flags(buffer).fetch_or(kBufferQueued);
    return true;
}

void QueuedBuffers::finishFront() {
    const int buffer = ring_[static_cast<std::size_t>(head_)];
    pool_->flags(buffer).fetch_and(~kBufferQueued);
    pool_->flags(buffer).fetch_or(kBufferDone);
    head_ = (head_ + 1) % static_cast<int>(ring_.size());
    --count_;
    offset_ = 0;
}

void QueuedBuffers::giveBackAll() {
    while (count_ > 0)
        finishFront();
    head_ = 0;
}

// ---- memory sink ----

MemoryWaveSink::MemoryWaveSink(Consumer consumer) : consumer_(std::move(consumer)) {}

bool MemoryWaveSink::supports(const WaveFormat& format) const {
    return format.channels == 1 && format.bitsPerSample == 16 && format.blockAlign == 2 &&
           format.sampleRate > 0;
}

bool MemoryWaveSink::open(const WaveFormat&, WaveBufferPool& pool, DoneHandler done) {
    std::lock_guard lock(mutex_);
    queue_.attach(&pool);
    done_ = std::move(done);
    open_ = true;
    paused_ = false;
    played_.store(0);
    return true;
}

bool MemoryWaveSink::close() {
    std::lock_guard lock(mutex_);
    open_ = false;
    queue_.detach();
    done_ = nullptr;
    played_.store(0);
    return true;
}

void MemoryWaveSink::pause() {
    std::lock_guard lock(mutex_);
    paused_ = true;
}

void MemoryWaveSink::restart() {
    std::lock_guard lock(mutex_);
    paused_ = false;
}

void MemoryWaveSink::reset() {
    std::lock_guard lock(mutex_);
    paused_ = true;
    queue_.giveBackAll();
}

bool MemoryWaveSink::write(int buffer) {
    std::lock_guard lock(mutex_);
    return open_ && queue_.push(buffer);
}

int MemoryWaveSink::advance(int samples) {
    int played = 0;
    std::vector<std::int16_t> chunk;
    std::vector<int> finished;
    while (played < samples) {
        DoneHandler done;
        finished.clear();
        {
            std::lock_guard lock(mutex_);
            if (!open_ || paused_ || queue_.empty()) break;
            // One buffer (or what is asked of it) at a time, so the consumer
            // and the done handler see the ring in play order.
            const int take = std::min(samples - played, queue_.frontRemaining());
            chunk.resize(static_cast<std::size_t>(take));
            queue_.play(
                take, [&](std::int16_t v, int i) { chunk[static_cast<std::size_t>(i)] = v; }, finished);
            played += take;
            played_.fetch_add(take);
            if (!finished.empty()) done = done_;
        }
        if (consumer_ && !chunk.empty()) consumer_(chunk.data(), static_cast<int>(chunk.size()));
        // Outside the lock: the handler usually writes the buffer back.
        if (done)
            for (int b : finished)
                done(b);
    }
    return played;
}

// ---- clocked null sink ----

bool ClockedNullSink::open(const WaveFormat& format, WaveBufferPool&, DoneHandler) {
    std::lock_guard lock(mutex_);
    rate_ = format.sampleRate;
    open_ = true;
    playing_ = true;
    base_ = 0;
    startNs_ = nowNs();
    return true;
}

bool ClockedNullSink::close() {
    std::lock_guard lock(mutex_);
    open_ = false;
    playing_ = false;
    base_ = 0;
    return true;
}

void ClockedNullSink::pause() {
    std::lock_guard lock(mutex_);
    if (!playing_) return;
    base_ += (nowNs() - startNs_) * rate_ / 1000000000;
    playing_ = false;
}

void ClockedNullSink::restart() {
    std::lock_guard lock(mutex_);
    if (playing_ || !open_) return;
    startNs_ = nowNs();
    playing_ = true;
}

std::int64_t ClockedNullSink::position() const {
    std::lock_guard lock(mutex_);
    if (!open_) return 0;
    if (!playing_) return base_;
    return base_ + (nowNs() - startNs_) * rate_ / 1000000000;
}

// ---- device ----

WaveOutDevice::WaveOutDevice(int deviceNumber, const WaveFormat& format, int bufferBytes, int bufferCount,
                             std::unique_ptr<WaveOutBackend> backend)
    : deviceNumber_(deviceNumber), format_(format), pool_(bufferBytes, bufferCount, format),
      backend_(backend ? std::move(backend) : std::make_unique<MemoryWaveSink>()) {}

WaveOutDevice::~WaveOutDevice() {
    if (open_.load()) {
        reset();
        (void)close(); // best effort on the way out
    }
}

bool WaveOutDevice::checkFormat() {
    if (backend_->supports(format_)) return true;
    reportMessage("オーディオデバイスがないか、サポートされていないフォーマットです。");
    return false;
}

bool WaveOutDevice::open(WaveOutBackend::DoneHandler done) {
    if (open_.load()) {
        reportMessage("再生デバイスはオープン済みです。");
        return false;
    }
    if (!pool_.usable() || !backend_->open(format_, pool_, std::move(done))) {
        reportMessage("再生デバイスのオープンに失敗しました。");
        return false;
    }
    open_.store(true);
    return true;
}

bool WaveOutDevice::close() {
    const bool ok = backend_->close();
    open_.store(false); // the handle is gone whatever the result
    if (!ok) reportMessage("再生デバイスのクローズに失敗しました。");
    return ok;
}

void WaveOutDevice::pause() {
    if (open_.load()) backend_->pause();
}

void WaveOutDevice::restart() {
    if (open_.load()) backend_->restart();
}

void WaveOutDevice::reset() {
    if (!open_.load()) return;
    backend_->reset();
    for (int b = 0; b < pool_.bufferCount(); ++b) {
        auto& flags = pool_.flags(b);
        if ((flags.load() & (kBufferDone | kBufferPrepared)) == (kBufferDone | kBufferPrepared)) {
            backend_->unprepare(b);
            flags.fetch_and(~kBufferPrepared);
        }
    }
}

bool WaveOutDevice::queueAll() {
    if (!pool_.usable() || !open_.load()) return false;
    pool_.zero();
    backend_->pause();
    for (int b = 0; b < pool_.bufferCount(); ++b) {
        pool_.flags(b).store(0);
        if (!backend_->prepare(b)) {
            reportMessage("バッファが再生用に準備できませんでした。");
            return false;
        }
        pool_.flags(b).fetch_or(kBufferPrepared);
        if (!backend_->write(b)) {
            reportMessage("バッファを再生キューに登録できませんでした。");
            return false;
        }
    }
    return true;
}

bool WaveOutDevice::requeue(int buffer) {
    if (buffer < 0 || buffer >= pool_.bufferCount() || !open_.load()) return false;
    auto& flags = pool_.flags(buffer);
    if ((flags.load() & (kBufferDone | kBufferPrepared)) != (kBufferDone | kBufferPrepared)) return false;
    if (!backend_->unprepare(buffer)) {
        reportMessage("再生用バッファの開放に失敗しました。");
        return false;
    }
    flags.store(0);
    if (!backend_->prepare(buffer)) {
        reportMessage("バッファを再生用に準備できませんでした。");
        return false;
    }
    flags.fetch_or(kBufferPrepared);
    if (!backend_->write(buffer)) {
        reportMessage("バッファを再生キューに登録できませんでした。");
        return false;
    }
    return true;
}

void WaveOutDevice::writeSamples(int buffer, int offset, const std::int16_t* samples, int count) {
    const int S = pool_.samplesPerBuffer();
    const int B = pool_.bufferCount();
    if (!pool_.usable() || !samples || count <= 0) return;
    buffer = std::clamp(buffer, 0, B - 1);
    offset = std::clamp(offset, 0, S - 1);
    count = std::min(count, S * B);

    int done = 0;
    auto copy = [&](int into, int from, int n) {
        for (int i = 0; i < n; ++i)
            pool_.setSample(into, from + i, samples[done + i]);
        done += n;
    };
    copy(buffer, offset, std::min(count, S - offset));
    int next = (buffer + 1) % B;
    while (count - done >= S) {
        copy(next, 0, S);
        next = (next + 1) % B;
    }
    if (count > done) copy(next, 0, count - done);
}

std::int64_t WaveOutDevice::position() const {
    return open_.load() ? backend_->position() : 0;
}

} // namespace harmolin
