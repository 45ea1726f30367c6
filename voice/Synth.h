// The singer: schedules what the control stream asks for at its sample times
// and renders a source-filter voice (LF glottal pulse and noise through
// formant resonators) into mono float blocks.
//
// It sings a fixed look-ahead behind its input: a note received at frame t
// has its vowel begin at t + lookAheadFrames(), so that its consonant can
// start before the beat. The plug-in declares this as its initial delay.
#pragma once

#include "voice/ControlStream.h"
#include "voice/GlottalSource.h"
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
    float nasal = 0; // 0 oral .. 1 fully nasal
    float nasalZero = 1000;
};

// A syllable as keyframes in milliseconds from its vowel onset: the consonant
// lies at negative times; the last key holds until the note ends.
struct SyllablePlan {
    struct Key {
        float ms;
        VoiceParams p;
    };
    std::array<Key, 10> keys{};
    int count = 0;
    void add(float ms, const VoiceParams& p);
    [[nodiscard]] VoiceParams at(float ms) const;
    // How long before the vowel the syllable begins.
    [[nodiscard]] float leadMs() const;
    // Squeezes the part before the vowel into leadMs (a short note before).
    void fitLead(float leadMs);
};

// Builds the keyframes of a syllable. legato: the voice is already sounding.
[[nodiscard]] SyllablePlan planSyllable(const Syllable& syllable, bool legato);

// The formant targets of a vowel for this voice (Hz).
[[nodiscard]] VoiceParams vowelTarget(Vowel v);

class Synth {
  public:
    static constexpr int kMaxScheduled = 4096;
    static constexpr float kLookAheadMs = 250.0f;

    void setSampleRate(float rate);
    [[nodiscard]] float sampleRate() const { return rate_; }
    [[nodiscard]] int lookAheadFrames() const;
    // Queues a command offsetFrames into the next block; it sounds a
    // look-ahead later. Commands beyond the queue's room are dropped (the
    // oldest queued ones are kept).
    void schedule(const VoiceCommand& command, int offsetFrames);
    void render(float* out, int frames);
    // Silence now and forget everything queued (suspend, reset).
    void reset();
    [[nodiscard]] bool sounding() const { return active_; }

  private:
    struct Scheduled {
        std::int64_t time;    // when it takes effect (a syllable: its consonant's start)
        std::int64_t vowelAt; // a syllable's vowel onset
        std::uint32_t id;     // the syllable a release belongs to
        bool legato;
        bool breath; // an in-breath before the syllable, not the syllable
        VoiceCommand command;
    };

    void push(const Scheduled& s);
    void apply(const Scheduled& s);
    void startSyllable(const Scheduled& s);
    void renderSpan(float* out, int frames);
    void renderChunk(float* out, int frames); // within one control period
    void controlUpdate();
    [[nodiscard]] float pitchAt(float msFromVowel) const;
    [[nodiscard]] float framesToMs(std::int64_t frames) const {
        return static_cast<float>(frames) * 1000.0f / rate_;
    }
    [[nodiscard]] std::int64_t msToFrames(float ms) const {
        return static_cast<std::int64_t>(ms * 0.001f * rate_);
    }

    std::array<Scheduled, kMaxScheduled> queue_{};
    int queueHead_ = 0, queueCount_ = 0;

    float rate_ = 44100.0f;
    std::int64_t clock_ = 0; // samples rendered so far

    // What has been scheduled: for the consonant lead, legato and breaths.
    std::uint32_t lastId_ = 0;
    std::int64_t lastVowelAt_ = INT64_MIN;
    std::int64_t lastEnd_ = INT64_MIN; // end of the last scheduled note (INT64_MAX: until released)

    // The note being sung.
    bool active_ = false;
    bool released_ = false;
    std::uint32_t activeId_ = 0;
    std::int64_t vowelStart_ = 0;
    std::int64_t noteEnd_ = INT64_MAX;
    std::int64_t releaseStart_ = 0;
    float noteMs_ = 0; // written length, 0: until released
    SyllablePlan plan_{};
    float targetLogF0_ = 0;
    float level_ = 1;
    int phraseIndex_ = 0;
    float averageVelocity_ = 64;

    // Pitch movement into the note: from fromLogF0_ over glideStart..glideEnd
    // (ms from the vowel onset), then a brief overshoot.
    float fromLogF0_ = 0;
    float glideStartMs_ = 0, glideEndMs_ = 0;
    float overshootCents_ = 0;
    float baseLogF0_ = 0;

    // Vibrato of this note.
    float vibratoDelayMs_ = 250, vibratoCents_ = 25, vibratoRate_ = 5.5f;
    float vibratoNow_ = 0;

    // Smoothed state.
    VoiceParams current_{};
    float voicing_ = 0, aspiration_ = 0, frication_ = 0;
    float voicingTarget_ = 0, aspirationTarget_ = 0, fricationTarget_ = 0;
    float f0_ = 220;
    float rd_ = 1.0f;
    float drift_ = 0, driftTarget_ = 0;
    int driftCountdown_ = 0;
    float vibratoPhase_ = 0;
    int controlCountdown_ = 0;

    // An in-breath between phrases.
    std::int64_t breathStart_ = 0, breathEnd_ = 0;
    float breath_ = 0, breathTarget_ = 0;

    dsp::Noise noise_{};
    dsp::Noise fricNoise_{0x1234567u};
    dsp::Noise breathNoise_{0x2468ACEu};
    dsp::LfSource glottis_{};
    float aspirationHp_ = 0, lastNoise_ = 0;
    std::array<dsp::Resonator, 8> formants_{};
    std::array<dsp::Biquad, 3> upperPoles_{};
    float fixedFiltersRate_ = 0; // rate the fixed filters were designed for
    bool nasalActive_ = false;
    dsp::Resonator nasalPole_{};
    dsp::AntiResonator nasalZero_{};
    dsp::BandPass fricBand_{};
    std::array<dsp::BandPass, 3> breathBands_{};
    float tractPower_ = 0; // smoothed power of the tract's output per unit of voicing
    float tractGain_ = 1;  // the level follower's correction, per control period
    float limiterEnv_ = 0;
};

} // namespace hvoice
