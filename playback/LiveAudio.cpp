#include "playback/LiveAudio.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <system_error>
#include <thread>
#include <utility>

namespace harmolin {

namespace {

using Clock = std::chrono::steady_clock;

// Frames per mixing step: 5.8 ms, small enough for the lead to stay exact.
constexpr int kChunk = 256;
// Device latency asked for; the pacing never lets the mix run further ahead
// of the wall clock than this.
constexpr unsigned kLatencyUs = 30000;
constexpr int kMaxAheadFrames = LiveAudio::kRate * 40 / 1000;
// A device that takes no data for this long is given up: the clock then runs
// on the wall clock alone so that the player and the voice go on.
constexpr auto kStallLimit = std::chrono::seconds(1);
// Behind the wall clock by more than this (a stalled thread): start a new
// schedule instead of racing through the lost time.
constexpr int kResyncFrames = LiveAudio::kRate / 10;

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

void quietAlsaLog() {
    // alsa-lib prints its own lines for an unknown device; the caller gets
    // the reason as one line instead.
    static const bool once = [] {
        snd_lib_error_set_handler(&quietAlsa);
        return true;
    }();
    (void)once;
}

Clock::duration framesToDuration(std::int64_t frames) {
    const auto ns = std::chrono::nanoseconds(frames * 1000000000LL / LiveAudio::kRate);
    return std::chrono::duration_cast<Clock::duration>(ns);
}

} // namespace

struct LiveAudio::Impl {
    // Guards the device, the user count and the thread's life.
    mutable std::mutex stateMutex;
    std::string deviceName = "default";
    int users = 0;
    snd_pcm_t* pcm = nullptr;
    int aheadFrames = kMaxAheadFrames;
    std::thread thread;

    std::mutex stopMutex;
    std::condition_variable stopCv;
    bool stopRequested = false;

    // Sources are called under this lock, so removeSource returns only once
    // its source is no longer running; it is held for one mixing step at most.
    std::mutex sourceMutex;
    std::vector<std::pair<int, Source>> sources;
    int nextSourceId = 1;

    std::atomic<std::int64_t> position{0};
    // Steady-clock nanoseconds when the first sound of a non-silent chunk
    // went to the device; 0 until then.
    std::atomic<std::int64_t> firstSoundNs{0};

    ~Impl() { stop(); }

    bool open(std::string& error) {
        quietAlsaLog();
        snd_pcm_t* handle = nullptr;
        // Non-blocking: a device held by another program must not hang us.
        int err = snd_pcm_open(&handle, deviceName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        if (err < 0) {
            error = "cannot open audio device \"" + deviceName + "\": " + snd_strerror(err);
            return false;
        }
        err = snd_pcm_set_params(handle, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 2, kRate, 1,
                                 kLatencyUs);
        if (err < 0) {
            snd_pcm_close(handle);
            error = "audio device \"" + deviceName +
                    "\" does not play 16-bit stereo at 44100 Hz: " + snd_strerror(err);
            return false;
        }
        snd_pcm_uframes_t bufferSize = 0, periodSize = 0;
        if (snd_pcm_get_params(handle, &bufferSize, &periodSize) < 0 || bufferSize == 0)
            bufferSize = kMaxAheadFrames;
        aheadFrames = std::clamp(static_cast<int>(bufferSize), kChunk, kMaxAheadFrames);
        pcm = handle;
        return true;
    }

    bool start(std::string& error) {
        {
            std::lock_guard lock(stopMutex);
            stopRequested = false;
        }
        try {
            thread = std::thread([this] { run(); });
        } catch (const std::system_error& e) {
            stop();
            error = "cannot start the audio thread for \"" + deviceName + "\": " + e.what();
            return false;
        }
        return true;
    }

    void stop() {
        if (thread.joinable()) {
            {
                std::lock_guard lock(stopMutex);
                stopRequested = true;
            }
            stopCv.notify_all();
            thread.join();
        }
        if (pcm) {
            snd_pcm_drop(pcm);
            snd_pcm_close(pcm);
            pcm = nullptr;
        }
    }

    bool stopping() {
        std::lock_guard lock(stopMutex);
        return stopRequested;
    }

    // Sleeps until `deadline` or a stop request; true when asked to stop.
    bool sleepUntil(Clock::time_point deadline) {
        std::unique_lock lock(stopMutex);
        return stopCv.wait_until(lock, deadline, [this] { return stopRequested; });
    }

    void mix(float* left, float* right, std::int64_t start) {
        std::fill_n(left, kChunk, 0.0f);
        std::fill_n(right, kChunk, 0.0f);
        std::lock_guard lock(sourceMutex);
        for (auto& entry : sources)
            entry.second(left, right, kChunk, start);
    }

    // Writes one chunk; false when the device has failed or stalled for good.
    // `underran` tells that the device ran dry and was restarted.
    bool write(const std::int16_t* frames, bool& underran) {
        int left = kChunk;
        const auto since = Clock::now();
        while (left > 0) {
            const snd_pcm_sframes_t r = snd_pcm_writei(pcm, frames, static_cast<snd_pcm_uframes_t>(left));
            if (r > 0) {
                frames += 2 * r;
                left -= static_cast<int>(r);
                continue;
            }
            if (r == 0 || r == -EAGAIN) {
                if (stopping()) return true;
                if (Clock::now() - since > kStallLimit) return false;
                snd_pcm_wait(pcm, 10);
                continue;
            }
            // Underrun or suspend: recover and go on with this chunk.
            if (snd_pcm_recover(pcm, static_cast<int>(r), 1) < 0) return false;
            underran = true;
        }
        return true;
    }

    void run() {
        sched_param param{};
        param.sched_priority = sched_get_priority_max(SCHED_FIFO);
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param); // needs privileges; fine without

        std::vector<float> left(kChunk), right(kChunk);
        std::vector<std::int16_t> pcmFrames(2 * kChunk);
        bool deviceUsable = true;
        auto anchor = Clock::now();
        std::int64_t sinceAnchor = 0; // frames mixed since anchor
        while (true) {
            // Never more than the device buffer ahead of the wall clock: a
            // device that does not block (the null device) is paced here.
            const auto now = Clock::now();
            const std::int64_t wallFrames =
                std::chrono::duration_cast<std::chrono::nanoseconds>(now - anchor).count() * kRate /
                1000000000LL;
            if (wallFrames - sinceAnchor > kResyncFrames + aheadFrames) {
                anchor = now;
                sinceAnchor = 0;
            }
            const auto due = anchor + framesToDuration(sinceAnchor + kChunk - aheadFrames);
            if (due > now) {
                if (sleepUntil(due)) break;
            } else if (stopping()) {
                break;
            }

            const std::int64_t start = position.load(std::memory_order_relaxed);
            mix(left.data(), right.data(), start);
            position.store(start + kChunk);
            sinceAnchor += kChunk;

            if (!deviceUsable) continue;
            for (int i = 0; i < kChunk; ++i) {
                pcmFrames[static_cast<std::size_t>(2 * i)] = toPcm(left[static_cast<std::size_t>(i)]);
                pcmFrames[static_cast<std::size_t>(2 * i + 1)] = toPcm(right[static_cast<std::size_t>(i)]);
            }
            const bool sounding =
                firstSoundNs.load(std::memory_order_relaxed) == 0 &&
                std::any_of(pcmFrames.begin(), pcmFrames.end(), [](std::int16_t v) { return v != 0; });
            bool underran = false;
            deviceUsable = write(pcmFrames.data(), underran);
            if (sounding && deviceUsable)
                firstSoundNs.store(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
                        .count());
            if (underran) {
                // A device whose clock runs faster than ours drains its
                // buffer: let the next steps fill it again at once.
                anchor = Clock::now();
                sinceAnchor = 0;
            }
        }
    }

    static std::int16_t toPcm(float v) {
        v = std::clamp(v, -1.0f, 1.0f);
        return static_cast<std::int16_t>(v * 32767.0f);
    }
};

LiveAudio::LiveAudio() : impl_(std::make_unique<Impl>()) {}
LiveAudio::~LiveAudio() = default;

LiveAudio& LiveAudio::instance() {
    static LiveAudio audio;
    return audio;
}

void LiveAudio::setDeviceName(const std::string& name) {
    std::lock_guard lock(impl_->stateMutex);
    impl_->deviceName = name.empty() ? "default" : name;
}

std::string LiveAudio::deviceName() const {
    std::lock_guard lock(impl_->stateMutex);
    return impl_->deviceName;
}

bool LiveAudio::acquire(std::string& error) {
    std::lock_guard lock(impl_->stateMutex);
    if (impl_->users == 0) {
        if (!impl_->open(error) || !impl_->start(error)) return false;
    }
    ++impl_->users;
    return true;
}

void LiveAudio::release() {
    std::lock_guard lock(impl_->stateMutex);
    if (impl_->users == 0) return;
    if (--impl_->users == 0) impl_->stop();
}

bool LiveAudio::isOpen() const {
    std::lock_guard lock(impl_->stateMutex);
    return impl_->users > 0;
}

std::int64_t LiveAudio::position() const {
    return impl_->position.load();
}

std::optional<std::chrono::steady_clock::time_point> LiveAudio::firstSound() const {
    const std::int64_t ns = impl_->firstSoundNs.load();
    if (ns == 0) return std::nullopt;
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns));
}

void LiveAudio::resetFirstSound() {
    impl_->firstSoundNs.store(0);
}

int LiveAudio::addSource(Source source) {
    if (!source) return 0;
    std::lock_guard lock(impl_->sourceMutex);
    const int id = impl_->nextSourceId++;
    impl_->sources.emplace_back(id, std::move(source));
    return id;
}

void LiveAudio::removeSource(int id) {
    Source gone;
    {
        std::lock_guard lock(impl_->sourceMutex);
        auto& list = impl_->sources;
        auto it = std::find_if(list.begin(), list.end(), [id](const auto& e) { return e.first == id; });
        if (it == list.end()) return;
        gone = std::move(it->second);
        list.erase(it);
    }
    // `gone` dies here, outside the lock: what it holds may take locks of its own.
}

} // namespace harmolin
