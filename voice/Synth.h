// The singer: schedules what the control stream asks for at its sample times
// and renders a source-filter voice (glottal pulse and noise through formant
// resonators) into mono float blocks.
#pragma once

#include "voice/ControlStream.h"
#include "voice/Phonemes.h"
#include "voice/SynthDsp.h"

#include <array>
#include <cstdint>

namespace hvoice {

// What drives the filter and sources at one instant of a syllable.
struct VoiceParams {
    float voicing = 0;    // glottal pulse level
    float aspiration = 0; // noise at the glottis, through the formants
    float frication = 0;  // noise through the frication band, beside the formants
    float fricFreq = 5000;
    float fricBandwidth = 2000;
    float f1 = 500, f2 = 1500, f3 = 2800;
    float bandwidthScale = 1;
    float nasal = 0;      // 0 oral .. 1 fully nasal
    float nasalZero = 1000;
};

// A syllable as keyframes in milliseconds from its note's start; the last one
// holds until the note ends.
struct SyllablePlan {
    struct Key {
        float ms;
        VoiceParams p;
    };
    std::array<Key, 10> keys{};
    int count = 0;
    void add(float ms, const VoiceParams& p);
    VoiceParams at(float ms) const;
};

// Builds the keyframes of a syllable. legato: the voice is already sounding.
SyllablePlan planSyllable(const Syllable& syllable, bool legato);

// The formant targets of a vowel for this voice (Hz).
VoiceParams vowelTarget(Vowel v);

class Synth {
public:
    static constexpr int kMaxScheduled = 4096;

    void setSampleRate(float rate);
    float sampleRate() const { return rate_; }
    // Queues a command offsetFrames into the next block. Commands beyond the
    // queue's room are dropped (the oldest queued ones are kept).
    void schedule(const VoiceCommand& command, int offsetFrames);
    void render(float* out, int frames);
    // Silence now and forget everything queued (suspend, reset).
    void reset();
    bool sounding() const { return active_; }

private:
    void apply(const VoiceCommand& command);
    void renderSpan(float* out, int frames);
    void controlUpdate();

    struct Scheduled {
        std::int64_t time;
        VoiceCommand command;
    };
    std::array<Scheduled, kMaxScheduled> queue_{};
    int queueHead_ = 0, queueCount_ = 0;

    float rate_ = 44100.0f;
    std::int64_t clock_ = 0; // samples rendered so far

    // The note being sung.
    bool active_ = false;
    bool released_ = false;
    std::int64_t noteStart_ = 0;
    std::int64_t noteEnd_ = INT64_MAX;
    std::int64_t releaseStart_ = 0;
    SyllablePlan plan_{};
    float targetLogF0_ = 0;
    float logF0_ = 0;
    float level_ = 1;
    bool glide_ = false;

    // Smoothed state.
    VoiceParams current_{};
    float voicing_ = 0, aspiration_ = 0, frication_ = 0;
    float voicingTarget_ = 0, aspirationTarget_ = 0, fricationTarget_ = 0;
    float f0_ = 220;
    float drift_ = 0, driftTarget_ = 0;
    int driftCountdown_ = 0;
    float vibratoPhase_ = 0;
    int controlCountdown_ = 0;

    dsp::Noise noise_{};
    dsp::Noise fricNoise_{0x1234567u};
    dsp::Glottis glottis_{};
    float tilt_ = 0;
    float lastCascade_ = 0;
    std::array<dsp::Resonator, 5> formants_{};
    dsp::Resonator nasalPole_{};
    dsp::AntiResonator nasalZero_{};
    dsp::BandPass fricBand_{};
    float limiterEnv_ = 0;
};

} // namespace hvoice
