// The wave output ring played through the live audio output: a source of
// the mixing thread that reads the queued buffers in order at its own
// position and hands each finished buffer back to the device's owner.
#pragma once

#include "playback/WaveOutput.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace harmolin {

class LiveWaveOut : public WaveOutBackend {
  public:
    // The voice's share of the mix, the same in a render: the host's output
    // as it is, its gain set by the plug-in's kind.
    static constexpr float kVoiceLevel = 1.0f;

    LiveWaveOut() = default;
    ~LiveWaveOut() override;
    LiveWaveOut(const LiveWaveOut&) = delete;
    LiveWaveOut& operator=(const LiveWaveOut&) = delete;

    [[nodiscard]] std::string name() const override;
    [[nodiscard]] bool supports(const WaveFormat& format) const override;
    // Acquires the live audio output; false (reason in lastError) when it
    // cannot be opened or this output is already open.
    [[nodiscard]] bool open(const WaveFormat& format, WaveBufferPool& pool, DoneHandler done) override;
    [[nodiscard]] bool close() override;
    void pause() override;
    void restart() override;
    void reset() override;
    [[nodiscard]] bool prepare(int) override { return true; }
    [[nodiscard]] bool unprepare(int) override { return true; }
    [[nodiscard]] bool write(int buffer) override;
    [[nodiscard]] std::int64_t position() const override { return played_.load(); }

    [[nodiscard]] std::string lastError() const;

  private:
    // Runs on the audio thread.
    void play(float* left, float* right, int frames);

    mutable std::mutex mutex_;
    DoneHandler done_;
    QueuedBuffers queue_;
    bool open_ = false;
    bool paused_ = false;
    int sourceId_ = 0;
    std::string lastError_;
    std::vector<int> finished_; // audio thread only
    std::atomic<std::int64_t> played_{0};
};

} // namespace harmolin
