#include "voice/Synth.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace hvoice {
namespace {

constexpr int kControlPeriod = 32;   // samples between filter updates
constexpr float kReleaseMs = 45.0f;  // fade after a note's end
constexpr float kLegatoMs = 60.0f;   // a syllable starting this soon after the last one's end joins it
constexpr float kAmpSmoothMs = 3.0f; // amplitude changes take this long: no clicks
constexpr float kFormantSmoothMs = 12.0f;
constexpr float kLeadShare = 0.4f;     // a consonant takes at most this share of the note before
constexpr float kPhraseGapMs = 300.0f; // a rest this long ends a phrase (and leaves time to breathe)
constexpr float kBreathMaxMs = 240.0f, kBreathMinMs = 90.0f, kBreathLevel = 0.05f;
constexpr float kBreathRestMaxMs = 3000.0f; // a longer silence is not a rest inside a song
constexpr float kDriftCents = 3.0f;
constexpr float kJitter = 0.004f, kShimmer = 0.03f;
constexpr float kBreathiness = 0.022f; // turbulence riding on the voiced source
constexpr float kOutputGain = 0.05f;
constexpr float kTractReference = 4.0f; // tract power the level follower aims at
constexpr float kCeiling = 0.89f;       // the limiter keeps every sample below this
constexpr float kNasalPole = 270.0f;
// The resonances above the eighth, and the digital resonators' extra fall
// towards the Nyquist frequency: together a steep rise of the top octaves,
// given as high shelves (corner Hz, gain dB).
constexpr float kUpperShelves[3][2] = {{4000, 18}, {6500, 32}, {8500, 40}};

float lerp(float a, float b, float t) {
    return a + (b - a) * t;
}

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

float smoothing(float ms, float rate, int step) {
    return 1.0f - std::exp(-static_cast<float>(step) / (0.001f * ms * rate));
}

float smoothStep(float u) {
    u = std::clamp(u, 0.0f, 1.0f);
    return u * u * (3.0f - 2.0f * u);
}

// Formant frequencies where the tract is closed for a consonant: vowels move
// towards these at the consonant's end (second and third formant loci).
void locus(Place place, const VoiceParams& vowel, float& f2, float& f3) {
    switch (place) {
    case Place::Labial:
        f2 = 950;
        f3 = 2400;
        return;
    case Place::Alveolar:
        f2 = 1800;
        f3 = 2900;
        return;
    case Place::Palatal:
        f2 = 2350;
        f3 = 3100;
        return;
    case Place::Velar:
        f2 = std::min(2400.0f, vowel.f2 + 400);
        f3 = f2 + 450;
        return;
    case Place::Glottal:
        f2 = vowel.f2;
        f3 = vowel.f3;
        return;
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
        if (place == Place::Palatal) {
            freq = 3600;
            bandwidth = 2200;
        } else {
            freq = 6200;
            bandwidth = 3200;
        }
        return;
    }
    switch (place) {
    case Place::Labial:
        freq = 1200;
        bandwidth = 2600;
        return;
    case Place::Alveolar:
        freq = 4200;
        bandwidth = 3000;
        return;
    case Place::Palatal:
        freq = 3300;
        bandwidth = 1800;
        return;
    case Place::Velar:
        freq = std::min(2600.0f, vowel.f2 + 600);
        bandwidth = 1400;
        return;
    case Place::Glottal:
        freq = 2500;
        bandwidth = 4000;
        return;
    }
}

// Voice onset time of a voiceless stop: velars longest (Japanese VOT, a
// little shortened as singers do).
float voiceOnsetMs(Place place) {
    switch (place) {
    case Place::Velar:
    case Place::Palatal:
        return 45.0f;
    case Place::Alveolar:
        return 25.0f;
    default:
        return 20.0f;
    }
}

} // namespace

VoiceParams vowelTarget(Vowel v) {
    // Japanese vowel averages raised by about 17 % for a woman's voice.
    struct Row {
        float f1, f2, f3, voicing;
    };
    static constexpr Row kRows[] = {
        {880, 1630, 2900, 1},     // A
        {370, 2560, 3200, 0.85f}, // I
        {430, 1570, 2750, 0.85f}, // U
        {585, 2300, 2950, 1},     // E
        {610, 1120, 2850, 1},     // O
        {300, 1300, 2600, 0.7f},  // N
    };
    static_assert(std::size(kRows) == static_cast<std::size_t>(Vowel::N) + 1);
    const Row& row = kRows[static_cast<std::size_t>(v)];
    VoiceParams p;
    p.f1 = row.f1;
    p.f2 = row.f2;
    p.f3 = row.f3;
    p.voicing = row.voicing;
    if (v == Vowel::N) {
        p.nasal = 1;
        p.nasalZero = 2100;
        p.bandwidthScale = 1.6f;
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

float SyllablePlan::leadMs() const {
    return count > 0 ? std::max(0.0f, -keys[0].ms) : 0.0f;
}

void SyllablePlan::fitLead(float lead) {
    const float natural = leadMs();
    if (natural <= lead || natural <= 0) return;
    const float factor = std::max(0.0f, lead) / natural;
    for (int i = 0; i < count; ++i) {
        Key& k = keys[static_cast<std::size_t>(i)];
        if (k.ms < 0) k.ms *= factor;
    }
}

SyllablePlan planSyllable(const Syllable& s, bool legato) {
    SyllablePlan plan;
    const VoiceParams vowel = vowelTarget(s.vowel);
    VoiceParams silent = vowel;
    silent.voicing = 0;

    if (!s.consonant) {
        if (legato) {
            // A new vowel on the same breath: the shape moves under the join
            // and the voice dips a little, so the note is heard anew.
            VoiceParams dip = vowel;
            dip.voicing *= 0.7f;
            plan.add(-25, vowel);
            plan.add(-5, dip);
            plan.add(15, vowel);
        } else {
            plan.add(-6, silent);
            plan.add(12, vowel);
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

    switch (c.manner) {
    case Manner::Plosive: {
        VoiceParams hold = closed;
        if (c.voiced) hold.voicing = 0.12f; // the voice bar of b, d, g
        noiseBand(c.place, false, vowel, hold.fricFreq, hold.fricBandwidth);
        VoiceParams burst = hold;
        burst.frication = c.voiced ? 0.6f : 2.0f;
        if (c.place == Place::Labial) burst.frication *= 0.6f;
        if (c.voiced) {
            // Voice bar through the closure, a weak burst, then the vowel.
            const float closure = legato ? 40.0f : 25.0f;
            plan.add(-8 - closure, hold);
            plan.add(-8, hold);
            plan.add(-6.5f, burst);
            VoiceParams after = burst;
            after.frication = 0;
            after.voicing = 0.3f;
            plan.add(-1, after);
        } else {
            // Silence of the closure (inaudible from rest), the burst, then
            // aspiration until the voice starts on the beat.
            const float vot = voiceOnsetMs(c.place);
            const float closure = legato ? 45.0f : 5.0f;
            plan.add(-vot - closure, hold);
            plan.add(-vot, hold);
            plan.add(-vot + 1.5f, burst);
            VoiceParams aspirated = onset;
            aspirated.voicing = 0;
            aspirated.aspiration = 0.45f;
            aspirated.fricFreq = burst.fricFreq;
            aspirated.fricBandwidth = burst.fricBandwidth;
            aspirated.frication = 0.3f;
            plan.add(-vot + 8, aspirated);
            aspirated.frication = 0;
            plan.add(-2, aspirated);
        }
        plan.add(5, onset);
        plan.add(55, vowel);
        return plan;
    }
    case Manner::Affricate: {
        VoiceParams hold = closed;
        if (c.voiced) hold.voicing = 0.12f;
        noiseBand(c.place, false, vowel, hold.fricFreq, hold.fricBandwidth);
        VoiceParams burst = hold;
        burst.frication = c.voiced ? 0.6f : 2.0f;
        VoiceParams fric = burst;
        noiseBand(c.place, true, vowel, fric.fricFreq, fric.fricBandwidth);
        fric.frication = c.voiced ? 0.2f : 0.38f;
        fric.voicing = c.voiced ? 0.3f : 0.0f;
        const float noise = c.voiced ? 40.0f : 55.0f;
        const float closure = legato ? 35.0f : (c.voiced ? 10.0f : 4.0f);
        plan.add(-noise - 4 - closure, hold);
        plan.add(-noise - 4, hold);
        plan.add(-noise - 2.5f, burst);
        plan.add(-noise + 3, fric);
        plan.add(-6, fric);
        plan.add(3, onset);
        plan.add(50, vowel);
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
            fric.frication = sibilant ? 0.38f : (c.place == Place::Labial ? 0.3f : 0.55f);
            fric.aspiration = sibilant ? 0.0f : 0.15f;
            if (c.symbol == "C") {
                fric.fricFreq = 4300;
                fric.fricBandwidth = 2200;
            }
        }
        VoiceParams start = fric;
        start.frication = 0;
        start.aspiration = 0;
        if (legato) start.voicing = 0;
        const float length =
            glottal ? 70.0f : (c.symbol == "p\\" ? 65.0f : (c.symbol == "C" ? 85.0f : 100.0f));
        plan.add(-length, start);
        plan.add(-length + 15, fric);
        plan.add(-8, fric);
        VoiceParams voiced = onset;
        voiced.aspiration = glottal ? 0.15f : 0.0f;
        plan.add(2, voiced);
        plan.add(50, vowel);
        return plan;
    }
    case Manner::Nasal: {
        VoiceParams murmur = closed;
        murmur.voicing = 0.7f;
        murmur.f1 = 280;
        murmur.nasal = 1;
        murmur.bandwidthScale = 1.6f;
        murmur.nasalZero = c.place == Place::Labial     ? 1000.0f
                           : c.place == Place::Alveolar ? 1700.0f
                           : c.place == Place::Palatal  ? 2300.0f
                                                        : 2600.0f;
        if (c.symbol == "m'") murmur.nasalZero = 1100;
        VoiceParams start = murmur;
        if (!legato) start.voicing = 0;
        plan.add(-60, start);
        plan.add(legato ? -52.0f : -45.0f, murmur);
        plan.add(-12, murmur);
        plan.add(2, onset);
        plan.add(45, vowel);
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
        plan.add(-28, start);
        plan.add(-18, tap);
        plan.add(-12, dip);
        plan.add(-4, dip);
        plan.add(6, onset);
        plan.add(50, vowel);
        return plan;
    }
    case Manner::Glide: {
        VoiceParams glide = vowel;
        glide.voicing = 0.8f;
        if (c.place == Place::Palatal) {
            glide.f1 = 300;
            glide.f2 = 2500;
            glide.f3 = 3200;
        } else {
            glide.f1 = 350;
            glide.f2 = 760;
            glide.f3 = 2500;
        }
        VoiceParams start = glide;
        if (!legato) start.voicing = 0;
        plan.add(-55, start);
        plan.add(-42, glide);
        plan.add(-20, glide);
        plan.add(65, vowel);
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

int Synth::lookAheadFrames() const {
    return static_cast<int>(kLookAheadMs * 0.001f * rate_);
}

void Synth::reset() {
    // Field by field: the queue is too large for a temporary on a host's stack.
    queueHead_ = queueCount_ = 0;
    lastId_ = 0;
    lastVowelAt_ = lastEnd_ = INT64_MIN;
    active_ = released_ = false;
    activeId_ = 0;
    phraseIndex_ = 0;
    averageVelocity_ = 64;
    current_ = VoiceParams{};
    voicing_ = aspiration_ = frication_ = 0;
    voicingTarget_ = aspirationTarget_ = fricationTarget_ = 0;
    breath_ = breathTarget_ = 0;
    breathStart_ = breathEnd_ = 0;
    vibratoNow_ = 0;
    glottis_.reset();
    aspirationHp_ = lastNoise_ = 0;
    for (auto& r : formants_)
        r.clear();
    for (auto& b : breathBands_)
        b.clear();
    for (auto& b : upperPoles_)
        b.clear();
    nasalPole_.clear();
    nasalZero_.clear();
    fricBand_.clear();
    limiterEnv_ = 0;
    tractPower_ = 0;
    tractGain_ = 1;
    controlCountdown_ = 0;
}

void Synth::push(const Scheduled& s) {
    if (queueCount_ >= kMaxScheduled) return;
    // Kept in time order; events mostly come in order, so this walks little.
    int i = queueCount_;
    while (i > 0) {
        const Scheduled& prev = queue_[static_cast<std::size_t>((queueHead_ + i - 1) % kMaxScheduled)];
        if (prev.time <= s.time) break;
        queue_[static_cast<std::size_t>((queueHead_ + i) % kMaxScheduled)] = prev;
        --i;
    }
    queue_[static_cast<std::size_t>((queueHead_ + i) % kMaxScheduled)] = s;
    ++queueCount_;
}

void Synth::schedule(const VoiceCommand& command, int offsetFrames) {
    if (queueCount_ >= kMaxScheduled) return;
    const std::int64_t now = clock_ + std::max(0, offsetFrames);
    const std::int64_t at = now + lookAheadFrames();
    Scheduled s{};
    s.command = command;
    s.time = at;
    s.vowelAt = at;
    switch (command.kind) {
    case VoiceCommand::Kind::SelectVoice:
        s.time = now;
        push(s);
        return;
    case VoiceCommand::Kind::Silence:
        push(s);
        // Everything stops: what comes next starts afresh, without a breath.
        lastEnd_ = lastVowelAt_ = INT64_MIN;
        return;
    case VoiceCommand::Kind::Release:
        s.id = lastId_;
        push(s);
        if (lastEnd_ == INT64_MAX) lastEnd_ = at;
        return;
    case VoiceCommand::Kind::Sing:
        break;
    }

    Syllable syllable;
    if (!tryParseSyllable(command.symbolText(), syllable)) syllable = Syllable{};
    const bool afterNote = lastEnd_ != INT64_MIN;
    s.legato = afterNote && (lastEnd_ == INT64_MAX || framesToMs(at - lastEnd_) <= kLegatoMs);
    float lead = planSyllable(syllable, s.legato).leadMs();
    if (lastVowelAt_ != INT64_MIN) lead = std::min(lead, kLeadShare * framesToMs(at - lastVowelAt_));
    s.time = at - msToFrames(std::max(0.0f, lead));
    s.id = ++lastId_;

    // A rest long enough to breathe in: the breath fills the end of it.
    if (afterNote && !s.legato && lastEnd_ != INT64_MAX) {
        const float restMs = framesToMs(s.time - lastEnd_);
        const std::int64_t end = s.time - msToFrames(15.0f);
        const std::int64_t start =
            std::max({now, lastEnd_ + msToFrames(160.0f), end - msToFrames(kBreathMaxMs)});
        if (restMs >= kPhraseGapMs && restMs < kBreathRestMaxMs && framesToMs(end - start) >= kBreathMinMs) {
            Scheduled breath{};
            breath.time = start;
            breath.vowelAt = end;
            breath.breath = true;
            push(breath);
        }
    }
    push(s);
    lastVowelAt_ = at;
    lastEnd_ = command.durationMs > 0 ? at + msToFrames(static_cast<float>(command.durationMs)) : INT64_MAX;
}

void Synth::apply(const Scheduled& s) {
    const VoiceCommand& command = s.command;
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
        // A late release of a note already followed by the next one is not
        // the new note's end.
        if (active_ && !released_ && s.id == activeId_) {
            released_ = true;
            releaseStart_ = clock_;
        }
        return;
    case VoiceCommand::Kind::Sing:
        break;
    }
    if (s.breath) {
        breathStart_ = clock_;
        breathEnd_ = s.vowelAt;
        return;
    }
    startSyllable(s);
}

void Synth::startSyllable(const Scheduled& s) {
    const VoiceCommand& command = s.command;
    Syllable syllable;
    if (!tryParseSyllable(command.symbolText(), syllable)) syllable = Syllable{};
    const float sinceRelease = released_ ? framesToMs(clock_ - releaseStart_) : 0.0f;
    const bool legato = active_ && (!released_ || sinceRelease < kLegatoMs);
    const float leadMs = framesToMs(s.vowelAt - clock_);
    plan_ = planSyllable(syllable, legato);
    plan_.fitLead(leadMs);

    const float target = std::log2(440.0f) + (static_cast<float>(command.note) - 69.0f) / 12.0f;
    if (legato) {
        // The pitch moves under the consonant and lands just after the
        // vowel starts, with a brief overshoot on a leap.
        fromLogF0_ = baseLogF0_;
        glideStartMs_ = -std::clamp(leadMs, 20.0f, 45.0f);
        glideEndMs_ = 20.0f;
        const float cents = (target - fromLogF0_) * 1200.0f;
        overshootCents_ = std::fabs(cents) < 150.0f
                              ? 0.0f
                              : std::copysign(std::min(0.08f * std::fabs(cents), 14.0f), cents);
    } else {
        // From rest: a small scoop up into the note, finished as the vowel starts.
        fromLogF0_ = target - 25.0f / 1200.0f;
        glideStartMs_ = -leadMs;
        glideEndMs_ = 15.0f;
        overshootCents_ = 0;
        const bool silent = voicing_ < 1e-4f && aspiration_ < 1e-4f && frication_ < 1e-4f;
        if (silent) {
            // Nothing is ringing: the filters take the syllable's first shape
            // at once. (While a note still fades they glide there instead.)
            current_ = plan_.at(-leadMs);
            current_.voicing = current_.aspiration = current_.frication = 0;
            for (auto& r : formants_)
                r.clear();
            for (auto& b : upperPoles_)
                b.clear();
            nasalPole_.clear();
            nasalZero_.clear();
            fricBand_.clear();
            controlCountdown_ = 0;
        }
    }
    targetLogF0_ = target;

    // A phrase starts after a rest; loudness grows through it.
    const float restMs = !active_ ? 1e9f : (released_ ? framesToMs(s.vowelAt - releaseStart_) : 0.0f);
    phraseIndex_ = restMs >= kPhraseGapMs ? 0 : phraseIndex_ + 1;
    noteMs_ = command.durationMs > 0 ? static_cast<float>(command.durationMs) : 0.0f;
    // Accents: a note louder than the melody's recent ones stands out.
    const float velocity = static_cast<float>(command.velocity);
    const float accentDb = std::clamp(0.1f * (velocity - averageVelocity_), -4.0f, 4.0f);
    averageVelocity_ += (velocity - averageVelocity_) * 0.2f;
    const float pitchDb = std::clamp((static_cast<float>(command.note) - 65.0f) * 0.3f, -3.0f, 3.0f);
    const float phraseDb = std::min(0.5f * static_cast<float>(phraseIndex_), 2.0f) - 1.0f;
    level_ = std::pow(10.0f, (accentDb + pitchDb + phraseDb) / 20.0f);

    // Vibrato of this note: later, deeper and a little faster on long notes,
    // lighter at a phrase's start, never twice the same.
    const float r1 = noise_.next(), r2 = noise_.next();
    const float lengthMs = noteMs_ > 0 ? noteMs_ : 600.0f;
    vibratoRate_ = 5.6f + 0.4f * r1;
    vibratoDelayMs_ = std::clamp(0.3f * lengthMs, 150.0f, 450.0f);
    vibratoCents_ = std::clamp(12.0f + 0.02f * lengthMs, 12.0f, 40.0f) * (1.0f + 0.15f * r2) *
                    (phraseIndex_ == 0 ? 0.8f : 1.0f);

    active_ = true;
    released_ = false;
    activeId_ = s.id;
    vowelStart_ = s.vowelAt;
    noteEnd_ = noteMs_ > 0 ? vowelStart_ + msToFrames(noteMs_) : INT64_MAX;
}

float Synth::pitchAt(float ms) const {
    if (ms <= glideStartMs_) return fromLogF0_;
    if (ms < glideEndMs_) {
        const float u = (ms - glideStartMs_) / (glideEndMs_ - glideStartMs_);
        return lerp(fromLogF0_, targetLogF0_, smoothStep(u));
    }
    constexpr float kOvershootMs = 80.0f;
    const float u = (ms - glideEndMs_) / kOvershootMs;
    const float bump = u < 1.0f ? overshootCents_ * std::sin(dsp::kPi * u) * (1.0f - u) : 0.0f;
    return targetLogF0_ + bump / 1200.0f;
}

void Synth::controlUpdate() {
    const float ms = framesToMs(clock_ - vowelStart_);
    VoiceParams target = plan_.at(ms);
    float gate = active_ ? 1.0f : 0.0f;
    if (active_ && !released_ && clock_ >= noteEnd_) {
        released_ = true;
        releaseStart_ = noteEnd_;
    }
    if (released_) {
        const float since = framesToMs(clock_ - releaseStart_);
        gate = since < kReleaseMs ? 0.5f + 0.5f * std::cos(dsp::kPi * since / kReleaseMs) : 0.0f;
        if (since > kReleaseMs + 20.0f) active_ = false;
    }
    // Long notes swell and then fade a little before their end.
    float swellDb = 0;
    if (noteMs_ >= 600.0f && ms > 0) {
        const float u = std::min(ms / noteMs_, 1.0f);
        swellDb = u < 0.5f ? 1.5f * std::sin(dsp::kPi * u) : 1.5f - 4.5f * (u - 0.5f) / 0.5f;
    }
    const float level = level_ * std::pow(10.0f, swellDb / 20.0f);
    voicingTarget_ = target.voicing * gate * level;
    aspirationTarget_ = target.aspiration * gate * level;
    fricationTarget_ = target.frication * gate * level;

    const float k = smoothing(kFormantSmoothMs, rate_, kControlPeriod);
    current_ = lerpParams(current_, target, k);

    // Pitch: the move into the note, vibrato after a delay, a slow wander.
    baseLogF0_ = pitchAt(ms);
    if (--driftCountdown_ <= 0) {
        driftTarget_ = kDriftCents * noise_.next();
        driftCountdown_ = static_cast<int>(0.15f * rate_ / kControlPeriod);
    }
    drift_ += (driftTarget_ - drift_) * smoothing(120.0f, rate_, kControlPeriod);
    const float depth = vibratoCents_ * std::clamp((ms - vibratoDelayMs_) / 250.0f, 0.0f, 1.0f);
    vibratoNow_ += (depth - vibratoNow_) * smoothing(40.0f, rate_, kControlPeriod);
    const float rise = noteMs_ > 0 ? 1.0f + 0.08f * std::clamp(ms / noteMs_, 0.0f, 1.0f) : 1.0f;
    vibratoPhase_ += 2.0f * dsp::kPi * vibratoRate_ * rise * kControlPeriod / rate_;
    if (vibratoPhase_ > 2.0f * dsp::kPi) vibratoPhase_ -= 2.0f * dsp::kPi;
    const float cents = vibratoNow_ * std::sin(vibratoPhase_) + drift_;
    f0_ = std::exp2(baseLogF0_ + cents / 1200.0f);

    // The folds close harder on loud and low notes (brighter), softer high up.
    const float loudDb = 20.0f * std::log10(std::max(level, 1e-3f));
    rd_ = std::clamp(0.85f + 0.25f * std::clamp((f0_ - 250.0f) / 500.0f, 0.0f, 1.0f) - 0.05f * loudDb, 0.6f,
                     2.0f);

    // Sopranos open the jaw on high notes: F1 stays above the pitch.
    const float f1 = std::max(current_.f1, std::min(1.05f * f0_, 1100.0f));
    static constexpr float kBandwidths[3] = {80, 100, 150};
    const float bw = current_.bandwidthScale;
    formants_[0].set(f1, kBandwidths[0] * bw, rate_);
    formants_[1].set(current_.f2, kBandwidths[1] * bw, rate_);
    formants_[2].set(current_.f3, kBandwidths[2] * bw, rate_);
    if (fixedFiltersRate_ != rate_) {
        // The upper formants: a cluster near 3.5 kHz gives the voice its
        // ring; the poles above keep the top octaves alive at this rate.
        formants_[3].set(3500, 200, rate_);
        formants_[4].set(4300, 260, rate_);
        formants_[5].set(5300, 450, rate_);
        formants_[6].set(6400, 650, rate_);
        formants_[7].set(std::min(7600.0f, 0.45f * rate_), 900, rate_);
        for (std::size_t i = 0; i < upperPoles_.size(); ++i)
            upperPoles_[i].highShelf(kUpperShelves[i][0], kUpperShelves[i][1], rate_);
        nasalPole_.set(kNasalPole, 100, rate_);
        fixedFiltersRate_ = rate_;
    }
    // Nasal pole and zero cancel when the tract is oral: they are left out
    // then, and start from rest (where they cancel exactly) when needed.
    const bool nasal = current_.nasal > 1e-3f;
    if (nasal && !nasalActive_) {
        nasalPole_.clear();
        nasalZero_.clear();
    }
    nasalActive_ = nasal;
    if (nasal) nasalZero_.set(lerp(kNasalPole, current_.nasalZero, current_.nasal), 100, rate_);
    if (fricationTarget_ > 1e-6f || frication_ > 1e-6f)
        fricBand_.set(current_.fricFreq, current_.fricBandwidth, rate_);

    tractGain_ =
        tractPower_ > 0 ? std::clamp(std::pow(kTractReference / tractPower_, 0.4f), 0.25f, 4.0f) : 1.0f;

    // The in-breath: a soft rise and fall of noise through open-tract resonances.
    breathTarget_ = 0;
    if (clock_ >= breathStart_ && clock_ < breathEnd_) {
        const float u =
            static_cast<float>(clock_ - breathStart_) / static_cast<float>(breathEnd_ - breathStart_);
        breathTarget_ = kBreathLevel * std::sin(dsp::kPi * u);
        breathBands_[0].set(500, 400, rate_);
        breathBands_[1].set(1500, 700, rate_);
        breathBands_[2].set(2500, 900, rate_);
    }
}

void Synth::renderSpan(float* out, int frames) {
    int done = 0;
    while (done < frames) {
        if (controlCountdown_ <= 0) {
            controlUpdate();
            controlCountdown_ = kControlPeriod;
        }
        const int n = std::min(controlCountdown_, frames - done);
        renderChunk(out + done, n);
        controlCountdown_ -= n;
        done += n;
    }
}

void Synth::renderChunk(float* out, int frames) {
    const float a = smoothing(kAmpSmoothMs, rate_, 1);
    // One-pole high-pass near 1.5 kHz for the glottal turbulence.
    const float hp = 1.0f / (1.0f + 2.0f * dsp::kPi * 1500.0f / rate_);
    const float powerFollow = smoothing(80.0f, rate_, 1);
    // The state lives in locals for the chunk, so that it stays in registers
    // instead of going through memory on every sample.
    float voicing = voicing_, aspiration = aspiration_, frication = frication_, breath = breath_;
    float aspirationHp = aspirationHp_, lastNoise = lastNoise_, tractPower = tractPower_,
          limiterEnv = limiterEnv_;
    dsp::Noise noise = noise_, fricNoise = fricNoise_, breathNoise = breathNoise_;
    dsp::LfSource glottis = glottis_;
    std::array<dsp::Resonator, 8> formants = formants_;
    std::array<dsp::Biquad, 3> shelves = upperPoles_;
    dsp::Resonator nasalPole = nasalPole_;
    dsp::AntiResonator nasalZero = nasalZero_;
    dsp::BandPass fricBand = fricBand_;
    std::array<dsp::BandPass, 3> breathBands = breathBands_;
    const bool nasal = nasalActive_;
    const float gain = tractGain_;
    for (int i = 0; i < frames; ++i) {
        voicing += (voicingTarget_ - voicing) * a;
        aspiration += (aspirationTarget_ - aspiration) * a;
        frication += (fricationTarget_ - frication) * a;
        breath += (breathTarget_ - breath) * a;

        float y = 0;
        if (active_ || voicing > 1e-5f || aspiration > 1e-5f || frication > 1e-5f) {
            const float pulse = glottis.next(f0_, rd_, rate_, noise, kJitter, kShimmer);
            const float n = noise.next();
            aspirationHp = hp * (aspirationHp + n - lastNoise);
            lastNoise = n;
            // Turbulence is strongest while the folds are apart.
            const float turbulence = voicing * kBreathiness * (glottis.open() ? 1.0f : 0.3f);
            const float source = pulse * voicing + aspirationHp * (aspiration * 0.35f + turbulence);
            float x = nasal ? nasalZero.process(nasalPole.process(source)) : source;
            for (auto& r : formants)
                x = r.process(x);
            for (auto& b : shelves)
                x = b.process(x);
            // A harmonic on a formant makes some notes far louder than others
            // (an A4 "a" 13 dB over a C4 one); a slow level follower evens
            // most of that out, as a singer would.
            if (voicing > 0.3f) {
                const float p = x * x / (voicing * voicing);
                tractPower += (p - tractPower) * powerFollow;
            }
            x *= gain;
            float fric = 0;
            if (frication > 1e-6f) fric = fricBand.process(fricNoise.next()) * frication * 12.0f;
            y = (x + fric) * kOutputGain;
        }
        if (breath > 1e-6f) {
            const float n = breathNoise.next();
            y += breath * (breathBands[0].process(n) + 0.6f * breathBands[1].process(n) +
                           0.35f * breathBands[2].process(n));
        }
        if (!std::isfinite(y)) {
            // Never pass on a broken value; start the filters afresh.
            for (auto& r : formants)
                r.clear();
            for (auto& b : shelves)
                b.clear();
            nasalPole.clear();
            nasalZero.clear();
            fricBand.clear();
            for (auto& b : breathBands)
                b.clear();
            glottis.reset();
            tractPower = 0;
            y = 0;
        }
        // Peak limiter with instant attack: no sample reaches the ceiling.
        const float magnitude = std::fabs(y);
        limiterEnv = magnitude > limiterEnv ? magnitude : limiterEnv * 0.9995f + magnitude * 0.0005f;
        if (limiterEnv > kCeiling) y *= kCeiling / limiterEnv;
        out[i] = y;
    }
    clock_ += frames;
    voicing_ = voicing;
    aspiration_ = aspiration;
    frication_ = frication;
    breath_ = breath;
    aspirationHp_ = aspirationHp;
    lastNoise_ = lastNoise;
    tractPower_ = std::isfinite(tractPower) ? tractPower : 0.0f;
    limiterEnv_ = limiterEnv;
    noise_ = noise;
    fricNoise_ = fricNoise;
    breathNoise_ = breathNoise;
    glottis_ = glottis;
    formants_ = formants;
    upperPoles_ = shelves;
    nasalPole_ = nasalPole;
    nasalZero_ = nasalZero;
    fricBand_ = fricBand;
    breathBands_ = breathBands;
}

void Synth::render(float* out, int frames) {
    if (!out || frames <= 0) return;
    int done = 0;
    while (done < frames) {
        while (queueCount_ > 0 && queue_[static_cast<std::size_t>(queueHead_)].time <= clock_) {
            const Scheduled s = queue_[static_cast<std::size_t>(queueHead_)];
            queueHead_ = (queueHead_ + 1) % kMaxScheduled;
            --queueCount_;
            apply(s);
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
