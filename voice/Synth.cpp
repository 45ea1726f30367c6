#include "voice/Synth.h"

#include <algorithm>
#include <cmath>

namespace hvoice {
namespace {

constexpr int kControlPeriod = 32;     // samples between filter updates
constexpr float kReleaseMs = 70.0f;    // fade after a note's end
constexpr float kLegatoMs = 40.0f;     // a note starting this soon after the last one's end joins it
constexpr float kAmpSmoothMs = 3.0f;   // amplitude changes take this long: no clicks
constexpr float kFormantSmoothMs = 12.0f;
constexpr float kGlideMs = 30.0f;      // pitch glide between joined notes
constexpr float kVibratoDelayMs = 230.0f, kVibratoRampMs = 300.0f;
constexpr float kVibratoRate = 5.4f, kVibratoCents = 28.0f;
constexpr float kDriftCents = 3.0f;
constexpr float kJitter = 0.004f, kShimmer = 0.04f;
constexpr float kOutputGain = 0.55f;
constexpr float kCeiling = 0.89f;      // the limiter keeps every sample below this
constexpr float kNasalPole = 270.0f;
constexpr float kHighLift = 1.5f;

float lerp(float a, float b, float t) { return a + (b - a) * t; }

VoiceParams lerpParams(const VoiceParams& a, const VoiceParams& b, float t) {
    VoiceParams r;
    r.voicing = lerp(a.voicing, b.voicing, t);
    r.aspiration = lerp(a.aspiration, b.aspiration, t);
    r.frication = lerp(a.frication, b.frication, t);
    r.fricFreq = lerp(a.fricFreq, b.fricFreq, t);
    r.fricBandwidth = lerp(a.fricBandwidth, b.fricBandwidth, t);
    r.f1 = lerp(a.f1, b.f1, t);
    r.f2 = lerp(a.f2, b.f2, t);
    r.f3 = lerp(a.f3, b.f3, t);
    r.bandwidthScale = lerp(a.bandwidthScale, b.bandwidthScale, t);
    r.nasal = lerp(a.nasal, b.nasal, t);
    r.nasalZero = lerp(a.nasalZero, b.nasalZero, t);
    return r;
}

float smoothing(float ms, float rate, int step) { return 1.0f - std::exp(-static_cast<float>(step) / (0.001f * ms * rate)); }

// Formant frequencies where the tract is closed for a consonant: vowels move
// towards these at the consonant's end (second and third formant loci).
void locus(Place place, const VoiceParams& vowel, float& f2, float& f3) {
    switch (place) {
    case Place::Labial: f2 = 950; f3 = 2400; return;
    case Place::Alveolar: f2 = 1800; f3 = 2900; return;
    case Place::Palatal: f2 = 2350; f3 = 3100; return;
    case Place::Velar: f2 = std::min(2400.0f, vowel.f2 + 400); f3 = f2 + 450; return;
    case Place::Glottal: f2 = vowel.f2; f3 = vowel.f3; return;
    }
}

// Vowel onset after a consonant: part of the way from the locus to the vowel.
VoiceParams onsetFormants(const VoiceParams& vowel, Place place) {
    VoiceParams p = vowel;
    float f2, f3;
    locus(place, vowel, f2, f3);
    p.f1 = place == Place::Glottal ? vowel.f1 : std::min(vowel.f1, 320.0f);
    p.f2 = lerp(f2, vowel.f2, 0.35f);
    p.f3 = lerp(f3, vowel.f3, 0.35f);
    return p;
}

// Noise band of a burst or frication at each place.
void noiseBand(Place place, bool sibilant, const VoiceParams& vowel, float& freq, float& bandwidth) {
    if (sibilant) {
        if (place == Place::Palatal) { freq = 3600; bandwidth = 2200; }
        else { freq = 6200; bandwidth = 3200; }
        return;
    }
    switch (place) {
    case Place::Labial: freq = 1200; bandwidth = 2600; return;
    case Place::Alveolar: freq = 4200; bandwidth = 3000; return;
    case Place::Palatal: freq = 3300; bandwidth = 1800; return;
    case Place::Velar: freq = std::min(2600.0f, vowel.f2 + 600); bandwidth = 1400; return;
    case Place::Glottal: freq = 2500; bandwidth = 4000; return;
    }
}

} // namespace

VoiceParams vowelTarget(Vowel v) {
    // Japanese vowel averages raised by about 17 % for a woman's voice.
    VoiceParams p;
    p.voicing = 1;
    switch (v) {
    case Vowel::A: p.f1 = 880; p.f2 = 1620; p.f3 = 2950; break;
    case Vowel::I: p.f1 = 370; p.f2 = 2540; p.f3 = 3250; p.voicing = 0.85f; break;
    case Vowel::U: p.f1 = 430; p.f2 = 1560; p.f3 = 2750; p.voicing = 0.85f; break;
    case Vowel::E: p.f1 = 585; p.f2 = 2280; p.f3 = 3050; break;
    case Vowel::O: p.f1 = 610; p.f2 = 1170; p.f3 = 2850; break;
    case Vowel::N:
        p.f1 = 300; p.f2 = 1300; p.f3 = 2600; p.voicing = 0.7f; p.nasal = 1; p.nasalZero = 2100;
        p.bandwidthScale = 1.6f;
        break;
    }
    return p;
}

void SyllablePlan::add(float ms, const VoiceParams& p) {
    if (count < static_cast<int>(keys.size())) keys[static_cast<std::size_t>(count++)] = Key{ms, p};
}

VoiceParams SyllablePlan::at(float ms) const {
    if (count == 0) return VoiceParams{};
    if (ms <= keys[0].ms) return keys[0].p;
    for (int i = 1; i < count; ++i) {
        const Key& k = keys[static_cast<std::size_t>(i)];
        if (ms < k.ms) {
            const Key& prev = keys[static_cast<std::size_t>(i - 1)];
            const float span = k.ms - prev.ms;
            return lerpParams(prev.p, k.p, span > 0 ? (ms - prev.ms) / span : 1.0f);
        }
    }
    return keys[static_cast<std::size_t>(count - 1)].p;
}

SyllablePlan planSyllable(const Syllable& s, bool legato) {
    SyllablePlan plan;
    const VoiceParams vowel = vowelTarget(s.vowel);
    VoiceParams silent = vowel;
    silent.voicing = 0;

    if (!s.consonant) {
        if (legato) {
            plan.add(0, vowel);
        } else {
            plan.add(0, silent);
            plan.add(25, vowel);
        }
        return plan;
    }

    const Consonant& c = *s.consonant;
    VoiceParams onset = onsetFormants(vowel, c.place);
    VoiceParams closed = onset;
    float f2, f3;
    locus(c.place, vowel, f2, f3);
    closed.f1 = 250;
    closed.f2 = f2;
    closed.f3 = f3;
    closed.voicing = 0;
    // From silence the closure is inaudible: keep it short so the syllable
    // is heard on its beat.
    const float closure = legato ? 30.0f : 4.0f;

    switch (c.manner) {
    case Manner::Plosive:
    case Manner::Affricate: {
        const bool sibilant = c.manner == Manner::Affricate;
        VoiceParams hold = closed;
        if (c.voiced) hold.voicing = 0.12f; // the voice bar of b, d, g
        noiseBand(c.place, false, vowel, hold.fricFreq, hold.fricBandwidth);
        plan.add(0, hold);
        plan.add(closure, hold);
        VoiceParams burst = hold;
        burst.frication = c.voiced ? 0.6f : 2.0f;
        if (c.place == Place::Labial) burst.frication *= 0.6f;
        plan.add(closure + 1.5f, burst);
        float t = closure + 8.0f;
        if (sibilant) {
            VoiceParams fric = burst;
            noiseBand(c.place, true, vowel, fric.fricFreq, fric.fricBandwidth);
            fric.frication = c.voiced ? 0.35f : 0.7f;
            fric.voicing = c.voiced ? 0.3f : 0.0f;
            plan.add(t, fric);
            t += c.voiced ? 35.0f : 50.0f;
            plan.add(t, fric);
        } else if (!c.voiced) {
            VoiceParams aspirated = onset;
            aspirated.voicing = 0;
            aspirated.aspiration = 0.45f;
            aspirated.fricFreq = burst.fricFreq;
            aspirated.fricBandwidth = burst.fricBandwidth;
            aspirated.frication = 0.3f;
            plan.add(t, aspirated);
            t += c.place == Place::Velar || c.place == Place::Palatal ? 30.0f : 20.0f;
            aspirated.frication = 0;
            plan.add(t, aspirated);
        } else {
            VoiceParams after = burst;
            after.frication = 0;
            plan.add(t, after);
        }
        VoiceParams voiced = onset;
        plan.add(t + 12.0f, voiced);
        plan.add(t + 60.0f, vowel);
        return plan;
    }
    case Manner::Fricative: {
        VoiceParams fric = closed;
        fric.f1 = 300;
        const bool glottal = c.place == Place::Glottal;
        if (glottal) {
            // h: breath through the vowel's own shape.
            fric = vowel;
            fric.voicing = 0;
            fric.aspiration = 0.55f;
        } else {
            const bool sibilant = c.symbol == "s" || c.symbol == "S";
            noiseBand(c.place, sibilant, vowel, fric.fricFreq, fric.fricBandwidth);
            fric.frication = sibilant ? 0.8f : (c.place == Place::Labial ? 0.3f : 0.55f);
            fric.aspiration = sibilant ? 0.0f : 0.15f;
            if (c.symbol == "C") { fric.fricFreq = 4300; fric.fricBandwidth = 2200; }
        }
        VoiceParams start = fric;
        start.frication = 0;
        start.aspiration = 0;
        plan.add(0, start);
        plan.add(12, fric);
        const float length = glottal ? 70.0f : (c.symbol == "p\\" ? 65.0f : 90.0f);
        plan.add(length, fric);
        plan.add(length + 18, onset);
        plan.add(length + 65, vowel);
        return plan;
    }
    case Manner::Nasal: {
        VoiceParams murmur = closed;
        murmur.voicing = 0.7f;
        murmur.f1 = 280;
        murmur.nasal = 1;
        murmur.bandwidthScale = 1.6f;
        murmur.nasalZero = c.place == Place::Labial ? 1000.0f
                           : c.place == Place::Alveolar ? 1700.0f
                           : c.place == Place::Palatal ? 2300.0f : 2600.0f;
        if (c.symbol == "m'") murmur.nasalZero = 1100;
        VoiceParams start = murmur;
        if (!legato) start.voicing = 0;
        plan.add(0, start);
        plan.add(legato ? 8.0f : 15.0f, murmur);
        plan.add(60, murmur);
        VoiceParams released = onset;
        plan.add(75, released);
        plan.add(120, vowel);
        return plan;
    }
    case Manner::Flap: {
        VoiceParams tap = closed;
        tap.f1 = 330;
        tap.voicing = 0.8f;
        VoiceParams dip = tap;
        dip.voicing = 0.3f;
        VoiceParams start = tap;
        if (!legato) start.voicing = 0;
        plan.add(0, start);
        plan.add(10, tap);
        plan.add(16, dip);
        plan.add(26, dip);
        plan.add(38, onset);
        plan.add(85, vowel);
        return plan;
    }
    case Manner::Glide: {
        VoiceParams glide = vowel;
        glide.voicing = 0.8f;
        if (c.place == Place::Palatal) { glide.f1 = 300; glide.f2 = 2500; glide.f3 = 3200; }
        else { glide.f1 = 350; glide.f2 = 760; glide.f3 = 2500; }
        VoiceParams start = glide;
        if (!legato) start.voicing = 0;
        plan.add(0, start);
        plan.add(15, glide);
        plan.add(40, glide);
        plan.add(120, vowel);
        return plan;
    }
    case Manner::None:
        break;
    }
    plan.add(0, vowel);
    return plan;
}

void Synth::setSampleRate(float rate) {
    if (std::isfinite(rate) && rate >= 8000.0f && rate <= 384000.0f) rate_ = rate;
}

void Synth::reset() {
    // Field by field: the queue is too large for a temporary on a host's stack.
    queueHead_ = queueCount_ = 0;
    active_ = released_ = glide_ = false;
    current_ = VoiceParams{};
    voicing_ = aspiration_ = frication_ = 0;
    voicingTarget_ = aspirationTarget_ = fricationTarget_ = 0;
    glottis_ = dsp::Glottis{};
    tilt_ = 0;
    for (auto& r : formants_) r.clear();
    nasalPole_.clear();
    nasalZero_.clear();
    fricBand_.clear();
    limiterEnv_ = 0;
    controlCountdown_ = 0;
}

void Synth::schedule(const VoiceCommand& command, int offsetFrames) {
    if (queueCount_ >= kMaxScheduled) return;
    const std::int64_t time = clock_ + std::max(0, offsetFrames);
    // Kept in time order; events mostly come in order, so this walks little.
    int i = queueCount_;
    while (i > 0) {
        const Scheduled& prev = queue_[static_cast<std::size_t>((queueHead_ + i - 1) % kMaxScheduled)];
        if (prev.time <= time) break;
        queue_[static_cast<std::size_t>((queueHead_ + i) % kMaxScheduled)] = prev;
        --i;
    }
    queue_[static_cast<std::size_t>((queueHead_ + i) % kMaxScheduled)] = Scheduled{time, command};
    ++queueCount_;
}

void Synth::apply(const VoiceCommand& command) {
    switch (command.kind) {
    case VoiceCommand::Kind::SelectVoice:
        return; // one singer
    case VoiceCommand::Kind::Silence:
        if (active_ && !released_) {
            released_ = true;
            releaseStart_ = clock_;
        }
        return;
    case VoiceCommand::Kind::Release:
        if (active_ && !released_) {
            released_ = true;
            releaseStart_ = clock_;
        }
        return;
    case VoiceCommand::Kind::Sing:
        break;
    }
    Syllable syllable;
    if (!tryParseSyllable(command.symbolText(), syllable)) syllable = Syllable{};
    const float sinceRelease = released_ ? static_cast<float>(clock_ - releaseStart_) * 1000.0f / rate_ : 0.0f;
    const bool legato = active_ && (!released_ || sinceRelease < kLegatoMs);
    plan_ = planSyllable(syllable, legato);
    targetLogF0_ = std::log2(440.0f) + (static_cast<float>(command.note) - 69.0f) / 12.0f;
    glide_ = legato;
    if (!legato) {
        logF0_ = targetLogF0_;
        // Start from rest: the filter takes the syllable's first shape at once.
        const VoiceParams first = plan_.at(0);
        current_ = first;
        current_.voicing = current_.aspiration = current_.frication = 0;
        for (auto& r : formants_) r.clear();
        nasalPole_.clear();
        nasalZero_.clear();
        fricBand_.clear();
        controlCountdown_ = 0;
    }
    level_ = 0.7f + 0.3f * static_cast<float>(command.velocity) / 127.0f;
    active_ = true;
    released_ = false;
    noteStart_ = clock_;
    const float durationMs = command.durationMs > 0 ? static_cast<float>(command.durationMs) : 0.0f;
    noteEnd_ = durationMs > 0 ? clock_ + static_cast<std::int64_t>(durationMs * 0.001f * rate_) : INT64_MAX;
    vibratoPhase_ = 0;
}

void Synth::controlUpdate() {
    const float ms = static_cast<float>(clock_ - noteStart_) * 1000.0f / rate_;
    VoiceParams target = plan_.at(ms);
    float gate = active_ ? 1.0f : 0.0f;
    if (active_ && !released_ && clock_ >= noteEnd_) {
        released_ = true;
        releaseStart_ = noteEnd_;
    }
    if (released_) {
        const float since = static_cast<float>(clock_ - releaseStart_) * 1000.0f / rate_;
        gate = std::max(0.0f, 1.0f - since / kReleaseMs);
        if (since > kReleaseMs + 30.0f) active_ = false;
    }
    voicingTarget_ = target.voicing * gate * level_;
    aspirationTarget_ = target.aspiration * gate * level_;
    fricationTarget_ = target.frication * gate * level_;

    const float k = smoothing(kFormantSmoothMs, rate_, kControlPeriod);
    current_ = lerpParams(current_, target, k);

    // Pitch: glide into joined notes, vibrato after a delay, a slow wander.
    const float g = smoothing(kGlideMs, rate_, kControlPeriod);
    logF0_ = glide_ ? logF0_ + (targetLogF0_ - logF0_) * g : targetLogF0_;
    if (--driftCountdown_ <= 0) {
        driftTarget_ = kDriftCents * noise_.next();
        driftCountdown_ = static_cast<int>(0.15f * rate_ / kControlPeriod);
    }
    drift_ += (driftTarget_ - drift_) * smoothing(120.0f, rate_, kControlPeriod);
    const float vibratoDepth =
        kVibratoCents * std::clamp((ms - kVibratoDelayMs) / kVibratoRampMs, 0.0f, 1.0f);
    vibratoPhase_ += 2.0f * dsp::kPi * kVibratoRate * kControlPeriod / rate_;
    if (vibratoPhase_ > 2.0f * dsp::kPi) vibratoPhase_ -= 2.0f * dsp::kPi;
    const float cents = vibratoDepth * std::sin(vibratoPhase_) + drift_;
    f0_ = std::exp2(logF0_ + cents / 1200.0f);

    static constexpr float kBandwidths[5] = {120, 140, 200, 250, 300};
    const float bw = current_.bandwidthScale;
    formants_[0].set(current_.f1, kBandwidths[0] * bw, rate_);
    formants_[1].set(current_.f2, kBandwidths[1] * bw, rate_);
    formants_[2].set(current_.f3, kBandwidths[2] * bw, rate_);
    formants_[3].set(4100, kBandwidths[3], rate_);
    formants_[4].set(4900, kBandwidths[4], rate_);
    // Nasal pole and zero cancel when the tract is oral.
    nasalPole_.set(kNasalPole, 100, rate_);
    nasalZero_.set(lerp(kNasalPole, current_.nasalZero, current_.nasal), 100, rate_);
    fricBand_.set(current_.fricFreq, current_.fricBandwidth, rate_);
}

void Synth::renderSpan(float* out, int frames) {
    const float a = smoothing(kAmpSmoothMs, rate_, 1);
    for (int i = 0; i < frames; ++i) {
        if (controlCountdown_ <= 0) {
            controlUpdate();
            controlCountdown_ = kControlPeriod;
        }
        --controlCountdown_;
        voicing_ += (voicingTarget_ - voicing_) * a;
        aspiration_ += (aspirationTarget_ - aspiration_) * a;
        frication_ += (fricationTarget_ - frication_) * a;

        float y = 0;
        if (active_ || voicing_ > 1e-5f || aspiration_ > 1e-5f || frication_ > 1e-5f) {
            const float pulse = glottis_.next(f0_, rate_, noise_, kJitter, kShimmer);
            // Spectral tilt: a soft glottis loses its upper harmonics.
            tilt_ += (pulse - tilt_) * 0.95f;
            const float breath = noise_.next();
            // Breath rides on the open phase of each period.
            const float source = tilt_ * voicing_ +
                                 breath * (aspiration_ + voicing_ * (glottis_.open() ? 0.12f : 0.04f));
            float x = nasalZero_.process(nasalPole_.process(source));
            for (auto& r : formants_) x = r.process(x);
            // The resonators above the fifth are missing from the cascade;
            // a gentle lift of the top octaves stands in for them.
            const float lifted = x + kHighLift * (x - lastCascade_);
            lastCascade_ = x;
            x = lifted;
            const float fric = fricBand_.process(fricNoise_.next()) * frication_;
            y = (x + fric) * kOutputGain;
        }
        if (!std::isfinite(y)) {
            // Never pass on a broken value; start the filters afresh.
            for (auto& r : formants_) r.clear();
            nasalPole_.clear();
            nasalZero_.clear();
            fricBand_.clear();
            y = 0;
        }
        // Peak limiter with instant attack: no sample reaches the ceiling.
        const float magnitude = std::fabs(y);
        limiterEnv_ = magnitude > limiterEnv_ ? magnitude : limiterEnv_ * 0.9995f + magnitude * 0.0005f;
        if (limiterEnv_ > kCeiling) y *= kCeiling / limiterEnv_;
        out[i] = y;
        ++clock_;
    }
}

void Synth::render(float* out, int frames) {
    if (!out || frames <= 0) return;
    int done = 0;
    while (done < frames) {
        while (queueCount_ > 0 && queue_[static_cast<std::size_t>(queueHead_)].time <= clock_) {
            apply(queue_[static_cast<std::size_t>(queueHead_)].command);
            queueHead_ = (queueHead_ + 1) % kMaxScheduled;
            --queueCount_;
        }
        int span = frames - done;
        if (queueCount_ > 0) {
            const std::int64_t until = queue_[static_cast<std::size_t>(queueHead_)].time - clock_;
            span = static_cast<int>(std::min<std::int64_t>(span, until));
        }
        renderSpan(out + done, span);
        done += span;
    }
}

} // namespace hvoice
