// Small signal blocks of the formant singer: noise, resonators, the glottal
// pulse. All state is plain floats so a voice can be copied and reset freely.
#pragma once

#include <cmath>
#include <cstdint>

namespace hvoice::dsp {

inline constexpr float kPi = 3.14159265358979f;

// White noise in -1..1 from a 32-bit xorshift: cheap and repeatable.
struct Noise {
    std::uint32_t state = 0x9E3779B9u;
    [[nodiscard]] float next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float>(static_cast<std::int32_t>(state)) * (1.0f / 2147483648.0f);
    }
};

// Two-pole resonator with unit gain at 0 Hz, so that a cascade of them keeps
// the relative formant levels of a vocal tract.
struct Resonator {
    float a = 1, b = 0, c = 0, y1 = 0, y2 = 0;
    void set(float freq, float bandwidth, float sampleRate) {
        const float r = std::exp(-kPi * bandwidth / sampleRate);
        c = -r * r;
        b = 2.0f * r * std::cos(2.0f * kPi * freq / sampleRate);
        a = 1.0f - b - c;
    }
    [[nodiscard]] float process(float x) {
        const float y = a * x + b * y1 + c * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
    void clear() { y1 = y2 = 0; }
};

// The inverse of a resonator: a spectral zero, used for the nasal branch.
struct AntiResonator {
    float a = 1, b = 0, c = 0, x1 = 0, x2 = 0;
    void set(float freq, float bandwidth, float sampleRate) {
        Resonator r;
        r.set(freq, bandwidth, sampleRate);
        a = 1.0f / r.a;
        b = -r.b / r.a;
        c = -r.c / r.a;
    }
    [[nodiscard]] float process(float x) {
        const float y = a * x + b * x1 + c * x2;
        x2 = x1;
        x1 = x;
        return y;
    }
    void clear() { x1 = x2 = 0; }
};

// The past two inputs and outputs of a second-order section, shared by the
// band-pass and the general biquad so both step and clear alike.
struct SectionState {
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    [[nodiscard]] float shift(float x, float y) {
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
    void clear() { x1 = x2 = y1 = y2 = 0; }
};

// Band-pass with 0 dB at its centre, for the frication and burst noise.
struct BandPass : SectionState {
    float b0 = 0, a1 = 0, a2 = 0;
    void set(float freq, float bandwidth, float sampleRate) {
        const float nyquistSafe = std::fmin(freq, 0.45f * sampleRate);
        const float w = 2.0f * kPi * nyquistSafe / sampleRate;
        const float q = std::fmax(0.3f, nyquistSafe / std::fmax(bandwidth, 1.0f));
        const float alpha = std::sin(w) / (2.0f * q);
        const float norm = 1.0f / (1.0f + alpha);
        b0 = alpha * norm;
        a1 = -2.0f * std::cos(w) * norm;
        a2 = (1.0f - alpha) * norm;
    }
    // b0 (x - x2): the biquad with b1 = 0 and b2 = -b0, one multiply fewer.
    [[nodiscard]] float process(float x) { return shift(x, b0 * (x - x2) - a1 * y1 - a2 * y2); }
};

// A general biquad; here the high shelf that stands in for the vocal tract's
// resonances above the last one modelled: without it the cascade loses the
// top octaves (each resonator falls 12 dB per octave above its pole).
struct Biquad : SectionState {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    void highShelf(float freq, float gainDb, float sampleRate) {
        const float A = std::pow(10.0f, gainDb / 40.0f);
        const float w = 2.0f * kPi * std::fmin(freq, 0.45f * sampleRate) / sampleRate;
        const float cw = std::cos(w);
        const float alpha = std::sin(w) / 2.0f * std::sqrt(2.0f);
        const float root = 2.0f * std::sqrt(A) * alpha;
        const float a0 = (A + 1) - (A - 1) * cw + root;
        b0 = A * ((A + 1) + (A - 1) * cw + root) / a0;
        b1 = -2 * A * ((A - 1) + (A + 1) * cw) / a0;
        b2 = A * ((A + 1) + (A - 1) * cw - root) / a0;
        a1 = 2 * ((A - 1) - (A + 1) * cw) / a0;
        a2 = ((A + 1) - (A - 1) * cw - root) / a0;
    }
    [[nodiscard]] float process(float x) { return shift(x, b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2); }
};

} // namespace hvoice::dsp
