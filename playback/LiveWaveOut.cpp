#include "playback/LiveWaveOut.h"

#include "playback/LiveAudio.h"

#include <algorithm>

namespace harmolin {

LiveWaveOut::~LiveWaveOut() { close(); }

std::string LiveWaveOut::name() const { return "ALSA " + LiveAudio::instance().deviceName(); }

bool LiveWaveOut::supports(const WaveFormat& format) const {
    return format.channels == 1 && format.bitsPerSample == 16 && format.blockAlign == 2 &&
           format.sampleRate == LiveAudio::kRate;
}

bool LiveWaveOut::open(const WaveFormat& format, WaveBufferPool& pool, DoneHandler done) {
    {
        std::lock_guard lock(mutex_);
        if (open_) {
            lastError_ = "the wave output is already open";
            return false;
        }
        if (!supports(format) || !pool.usable()) {
            lastError_ = "the wave output plays only 16-bit mono at 44100 Hz";
            return false;
        }
    }
    std::string error;
    if (!LiveAudio::instance().acquire(error)) {
        std::lock_guard lock(mutex_);
        lastError_ = error;
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        pool_ = &pool;
        done_ = std::move(done);
        queue_.assign(static_cast<std::size_t>(pool.bufferCount()), 0);
        finished_.clear();
        finished_.reserve(static_cast<std::size_t>(pool.bufferCount()));
        head_ = 0;
        count_ = 0;
        offsetInFront_ = 0;
        paused_ = false;
        played_.store(0);
        open_ = true;
        lastError_.clear();
    }
    // Added last: from here on the audio thread plays the queued buffers.
    const int id = LiveAudio::instance().addSource(
        [this](float* left, float* right, int frames, std::int64_t) { play(left, right, frames); });
    std::lock_guard lock(mutex_);
    sourceId_ = id;
    return true;
}

bool LiveWaveOut::close() {
    int id = 0;
    {
        std::lock_guard lock(mutex_);
        if (!open_) return true;
        id = sourceId_;
        sourceId_ = 0;
    }
    // Without our lock: the audio thread may be handing a buffer back through
    // write() while removeSource waits for its step to end.
    LiveAudio::instance().removeSource(id);
    {
        std::lock_guard lock(mutex_);
        open_ = false;
        paused_ = false;
        count_ = 0;
        head_ = 0;
        offsetInFront_ = 0;
        pool_ = nullptr;
        done_ = nullptr;
        played_.store(0);
    }
    LiveAudio::instance().release();
    return true;
}

void LiveWaveOut::pause() {
    std::lock_guard lock(mutex_);
    paused_ = true;
}

void LiveWaveOut::restart() {
    std::lock_guard lock(mutex_);
    paused_ = false;
}

void LiveWaveOut::reset() {
    std::lock_guard lock(mutex_);
    paused_ = true;
    if (!pool_) return;
    for (int k = 0; k < count_; ++k) {
        const int b = queue_[static_cast<std::size_t>((head_ + k) % static_cast<int>(queue_.size()))];
        pool_->flags(b).fetch_and(~kBufferQueued);
        pool_->flags(b).fetch_or(kBufferDone);
    }
    head_ = 0;
    count_ = 0;
    offsetInFront_ = 0;
}

bool LiveWaveOut::write(int buffer) {
    std::lock_guard lock(mutex_);
    if (!open_ || !pool_ || buffer < 0 || buffer >= pool_->bufferCount()) return false;
    const int size = static_cast<int>(queue_.size());
    if (count_ >= size) return false; // every buffer is queued already
    queue_[static_cast<std::size_t>((head_ + count_) % size)] = buffer;
    ++count_;
    pool_->flags(buffer).fetch_or(kBufferQueued);
    return true;
}

void LiveWaveOut::play(float* left, float* right, int frames) {
    finished_.clear();
    {
        std::lock_guard lock(mutex_);
        if (!open_ || paused_ || !pool_) return;
        const int perBuffer = pool_->samplesPerBuffer();
        const int size = static_cast<int>(queue_.size());
        constexpr float kScale = kVoiceLevel / 32768.0f;
        int played = 0;
        while (played < frames && count_ > 0) {
            const int buffer = queue_[static_cast<std::size_t>(head_)];
            const int take = std::min(frames - played, perBuffer - offsetInFront_);
            for (int i = 0; i < take; ++i) {
                const float v = static_cast<float>(pool_->sample(buffer, offsetInFront_ + i)) * kScale;
                left[played + i] += v;
                right[played + i] += v;
            }
            offsetInFront_ += take;
            played += take;
            if (offsetInFront_ == perBuffer) {
                head_ = (head_ + 1) % size;
                --count_;
                offsetInFront_ = 0;
                pool_->flags(buffer).fetch_and(~kBufferQueued);
                pool_->flags(buffer).fetch_or(kBufferDone);
                finished_.push_back(buffer);
            }
        }
        played_.fetch_add(played);
    }
    // Outside the lock: the handler usually writes the buffer straight back.
    // done_ changes only while this source is not installed.
    if (done_)
        for (int b : finished_) done_(b);
}

std::string LiveWaveOut::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

std::unique_ptr<WaveOutBackend> makeLiveWaveOut() { return std::make_unique<LiveWaveOut>(); }

} // namespace harmolin
