#include "voice/GlottalSource.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace hvoice::dsp {
namespace {

constexpr float kRdMin = 0.3f, kRdMax = 2.7f;
constexpr int kTableSize = 64;
constexpr double kPiD = 3.14159265358979323846;

// Fant's 1995 regressions from Rd to the timing ratios, then the two
// constants that make the pulse continuous at te and its flow return to zero.
LfShape solveShape(double rd) {
    const double ra = (-1.0 + 4.8 * rd) / 100.0;
    const double rk = (22.4 + 11.8 * rd) / 100.0;
    const double rg = rk / (4.0 * (0.11 * rd / (0.5 + 1.2 * rk) - ra));
    const double tp = 1.0 / (2.0 * rg);
    const double te = tp * (1.0 + rk);
    const double ta = ra;
    const double tc = 1.0 - te;

    // Return phase: epsilon ta = 1 - exp(-epsilon (1 - te)).
    double eps = 1.0 / ta;
    for (int i = 0; i < 40; ++i) {
        const double e = std::exp(-eps * tc);
        const double f = eps * ta - 1.0 + e;
        const double df = ta - tc * e;
        if (std::fabs(df) < 1e-12) break;
        eps -= f / df;
    }
    const double e = std::exp(-eps * tc);
    const double returnArea = -(1.0 / (eps * ta)) * ((1.0 - e) / eps - tc * e);

    // Open phase ends at -1; alpha makes its area cancel the return's.
    const double wg = kPiD / tp;
    const double sinTe = std::sin(wg * te), cosTe = std::cos(wg * te);
    auto netFlow = [&](double alpha) {
        const double e0 = -1.0 / (std::exp(alpha * te) * sinTe);
        const double open =
            e0 * (std::exp(alpha * te) * (alpha * sinTe - wg * cosTe) + wg) / (alpha * alpha + wg * wg);
        return open + returnArea;
    };
    double lo = -100.0, hi = 500.0;
    for (int i = 0; i < 100; ++i) {
        const double mid = 0.5 * (lo + hi);
        (netFlow(mid) > 0 ? lo : hi) = mid;
    }
    const double alpha = 0.5 * (lo + hi);
    LfShape s;
    s.tp = static_cast<float>(tp);
    s.te = static_cast<float>(te);
    s.ta = static_cast<float>(ta);
    s.alpha = static_cast<float>(alpha);
    s.epsilon = static_cast<float>(eps);
    s.e0 = static_cast<float>(-1.0 / (std::exp(alpha * te) * sinTe));
    return s;
}

const std::array<LfShape, kTableSize>& shapeTable() {
    static const std::array<LfShape, kTableSize> table = [] {
        std::array<LfShape, kTableSize> t{};
        for (int i = 0; i < kTableSize; ++i)
            t[static_cast<std::size_t>(i)] = solveShape(kRdMin + (kRdMax - kRdMin) * i / (kTableSize - 1.0));
        return t;
    }();
    return table;
}

} // namespace

LfShape lfShape(float rd) {
    const auto& table = shapeTable();
    const float x = (std::clamp(rd, kRdMin, kRdMax) - kRdMin) / (kRdMax - kRdMin) * (kTableSize - 1);
    const int i = std::min(static_cast<int>(x), kTableSize - 2);
    const float f = x - static_cast<float>(i);
    const LfShape& a = table[static_cast<std::size_t>(i)];
    const LfShape& b = table[static_cast<std::size_t>(i + 1)];
    auto mix = [f](float p, float q) { return p + (q - p) * f; };
    return LfShape{mix(a.tp, b.tp),       mix(a.te, b.te),           mix(a.ta, b.ta),
                   mix(a.alpha, b.alpha), mix(a.epsilon, b.epsilon), mix(a.e0, b.e0)};
}

void LfSource::startPeriod(float f0, float rd, float sampleRate, Noise& noise, float jitter, float shimmer) {
    shape_ = lfShape(rd);
    const double period =
        std::max(4.0, static_cast<double>(sampleRate) / std::max(f0, 20.0f) * (1.0 + jitter * noise.next()));
    t_ -= std::floor(t_);
    h_ = 1.0 / period;
    gain_ = 1.0f + shimmer * noise.next();
    const double wg = kPiD / shape_.tp;
    const double alpha = shape_.alpha;
    c1_ = 2.0 * std::exp(alpha * h_) * std::cos(wg * h_);
    c2_ = std::exp(2.0 * alpha * h_);
    s_ = shape_.e0 * std::exp(alpha * t_) * std::sin(wg * t_);
    sPrev_ = shape_.e0 * std::exp(alpha * (t_ - h_)) * std::sin(wg * (t_ - h_));
    returning_ = false;
    if (t_ >= shape_.te) enterReturn();
}

void LfSource::enterReturn() {
    returning_ = true;
    const double eps = shape_.epsilon;
    d_ = std::exp(-eps * (t_ - shape_.te));
    decay_ = std::exp(-eps * h_);
    k_ = 1.0 / (eps * shape_.ta);
    dEnd_ = std::exp(-eps * (1.0 - shape_.te));
}

} // namespace hvoice::dsp
