#include "playback/LiveWaveOut.h"

#include "playback/LiveAudio.h"

#include <algorithm>

namespace harmolin {

LiveWaveOut::~LiveWaveOut() {
    (void)close(); // best effort on the way out
}

std::string LiveWaveOut::name() const {
    return "ALSA " + LiveAudio::instance().deviceName();
}

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
        queue_.attach(&pool);
        done_ = std::move(done);
        finished_.clear();
        finished_.reserve(static_cast<std::size_t>(pool.bufferCount()));
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
        queue_.detach();
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
    queue_.giveBackAll();
}

bool LiveWaveOut::write(int buffer) {
    std::lock_guard lock(mutex_);
    return open_ && queue_.push(buffer);
}

void LiveWaveOut::play(float* left, float* right, int frames) {
    finished_.clear();
    {
        std::lock_guard lock(mutex_);
        if (!open_ || paused_) return;
        constexpr float kScale = kVoiceLevel / 32768.0f;
        const int played = queue_.play(
            frames,
            [&](std::int16_t sample, int i) {
                const float v = static_cast<float>(sample) * kScale;
                left[i] += v;
                right[i] += v;
            },
            finished_);
        played_.fetch_add(played);
    }
    // Outside the lock: the handler usually writes the buffer straight back.
    // done_ changes only while this source is not installed.
    if (done_)
        for (int b : finished_)
            done_(b);
}

std::string LiveWaveOut::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

std::unique_ptr<WaveOutBackend> makeLiveWaveOut() {
    return std::make_unique<LiveWaveOut>();
}

} // namespace harmolin
