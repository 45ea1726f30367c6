// The live audio output: one ALSA PCM stream (stereo, 16-bit, 44100 Hz) fed
// by its own thread, into which every live source is mixed: the voice ring
// of the VST host and the embedded General MIDI synthesizer. One stream means
// one clock, so the voice and the accompaniment stay in step.
#pragma once

#include "playback/MidiOutput.h"
#include "playback/WaveOutput.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace harmolin {

class LiveAudio {
  public:
    static constexpr int kRate = 44100;

    // Adds `frames` frames starting at clock frame `start` into left/right
    // (already holding what earlier sources mixed). Called on the audio
    // thread; must not block.
    using Source = std::function<void(float* left, float* right, int frames, std::int64_t start)>;

    // The process's output (one per process, like the sound card it stands for).
    [[nodiscard]] static LiveAudio& instance();

    // ALSA PCM name to open: "default" unless set ("null" plays nowhere
    // in real time, for machines without a sound card).
    void setDeviceName(const std::string& name);
    [[nodiscard]] std::string deviceName() const;

    // Opens the stream when no user holds it yet; counted. False with the
    // reason in error when the device cannot be opened.
    [[nodiscard]] bool acquire(std::string& error);
    void release();
    [[nodiscard]] bool isOpen() const;

    // Frames mixed so far: the clock every live source schedules against.
    [[nodiscard]] std::int64_t position() const;

    // When the first non-silent sample was written to the device since the
    // last reset (or the process began): how soon a song is heard.
    [[nodiscard]] std::optional<std::chrono::steady_clock::time_point> firstSound() const;
    void resetFirstSound();

    [[nodiscard]] int addSource(Source source);
    void removeSource(int id);

    ~LiveAudio();

  private:
    LiveAudio();
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The VST host's ring played through the live audio output.
[[nodiscard]] std::unique_ptr<WaveOutBackend> makeLiveWaveOut();

// Device -1: FluidSynth with the GM SoundFont, sounding through the live
// audio output. Messages sound `leadFrames` after the output clock at the
// time they are sent, the same lead the voice has, so both stay in step.
inline constexpr int kSynthLeadFrames = 2469;
[[nodiscard]] std::unique_ptr<MidiOutPort> openSynthPort(std::string& error,
                                                         int leadFrames = kSynthLeadFrames);

} // namespace harmolin
