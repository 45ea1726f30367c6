// The glottal source: the Liljencrants-Fant model of the flow derivative,
// shaped by one number, Rd (0.3 pressed .. 2.7 breathy). Its abrupt closure
// gives the voice the natural tilt of a real larynx (about -12 dB per octave
// of flow, less above the return-phase corner), where a smooth pulse leaves
// a muffled voice.
#pragma once

#include "voice/SynthDsp.h"

namespace hvoice::dsp {

// One period's shape, in fractions of the period, with the negative peak Ee
// at 1: rise and fall of the open phase E0 exp(alpha t) sin(pi t / tp) up to
// te, then an exponential return of constant ta.
struct LfShape {
    float tp = 0.48f, te = 0.65f, ta = 0.04f;
    float alpha = 0, epsilon = 25, e0 = 1;
};

// The shape for this Rd, from a table worked out once (zero net flow per
// period, the return-phase equation solved by Newton's method).
[[nodiscard]] LfShape lfShape(float rd);

class LfSource {
  public:
    // One sample of flow derivative at f0 Hz; a new period takes f0, rd and
    // its own jitter and shimmer. Runs on recursions: no exp or sin per sample.
    [[nodiscard]] float next(float f0, float rd, float sampleRate, Noise& noise, float jitter,
                             float shimmer) {
        t_ += h_;
        if (t_ >= 1.0) {
            startPeriod(f0, rd, sampleRate, noise, jitter, shimmer);
        } else if (!returning_) {
            if (t_ >= shape_.te) {
                enterReturn();
            } else {
                const double n = c1_ * s_ - c2_ * sPrev_;
                sPrev_ = s_;
                s_ = n;
            }
        } else {
            d_ *= decay_;
        }
        return gain_ * static_cast<float>(returning_ ? -k_ * (d_ - dEnd_) : s_);
    }
    // Position in the period, 0..1, and whether the folds are apart.
    [[nodiscard]] float phase() const { return static_cast<float>(t_); }
    [[nodiscard]] bool open() const { return !returning_; }
    void reset() { *this = LfSource{}; }

  private:
    void startPeriod(float f0, float rd, float sampleRate, Noise& noise, float jitter, float shimmer);
    void enterReturn();

    LfShape shape_{};
    double t_ = 1.0; // position in the period; 1 starts the next one
    double h_ = 0.0; // step per sample
    double s_ = 0, sPrev_ = 0, c1_ = 0, c2_ = 0;
    double d_ = 0, decay_ = 1, k_ = 0, dEnd_ = 0;
    bool returning_ = false;
    float gain_ = 1;
};

} // namespace hvoice::dsp
