// The drum step codes: each code names one to four drum sounds struck
// together, with notes that depend on the style's kit value.
#include "engine/accompaniment/DrumsPlayer.h"

#include "engine/EngineErrors.h"
#include "engine/accompaniment/PartSetup.h"

#include <algorithm>

namespace harmolin::accomp {
namespace {

enum class Kit { One, Three, Four, Other };

Kit kitOf(const CompositionState& state) {
    switch (state.style.programs[kPartDrums]) {
    case 1:
        return Kit::One;
    case 3:
        return Kit::Three;
    case 4:
        return Kit::Four;
    default:
        return Kit::Other;
    }
}

struct Hit {
    int note;
    int velocity;
};

int closedHat(Kit k) {
    return k == Kit::Three ? 69 : 42;
}
int openHat(Kit k) {
    return k == Kit::Three ? 70 : 46;
}
int kick(Kit k) {
    return k == Kit::One ? 35 : k == Kit::Three ? 66 : 36;
}
int kickVelocity(Kit k) {
    return k == Kit::Four ? 127 : 90;
}
int snare(Kit k) {
    return k == Kit::One ? 38 : k == Kit::Three ? 65 : 40;
}

void writeHits(MidiTrackData& track, int channel, int& pending, int length, int gap,
               const std::vector<Hit>& hits) {
    bool first = true;
    for (const Hit& h : hits) {
        addEngineNote(track, channel, first ? pending : 0, h.note, std::clamp(h.velocity, 0, 127), length);
        first = false;
    }
    pending = length + gap;
}

} // namespace

void playDrumStep(CompositionState& state, int code, int& pending, int length, int gap, int channel,
                  MidiTrackData& track, int velocityOffset) {
    if (code < 1 || code > 52) {
        reportEngineError(engine_error::kDrumSound);
        return;
    }
    const Kit kit = kitOf(state);
    auto r = [&state](int a, int b) { return state.rng.randRange(a, b); };
    auto ride = [&]() { return r(1, 2) == 1 ? 51 : 59; };

    if (code == 31) code = 13;
    if (code == 32) code = 16;

    if (code == 50) {
        // Hi-hat and snare twice within the step.
        const int half = length / 2;
        const int halfGap = gap / 2;
        writeHits(track, channel, pending, half, halfGap,
                  {{closedHat(kit), 40}, {snare(kit), 50 + r(1, 50)}});
        writeHits(track, channel, pending, length - half, 0,
                  {{closedHat(kit), 40}, {snare(kit), 50 + r(1, 50)}});
        pending = length + gap - halfGap - half;
        return;
    }

    std::vector<Hit> hits;
    switch (code) {
    case 1:
        hits = {{closedHat(kit), 40 + velocityOffset}};
        break;
    case 2:
        hits = {{kick(kit), kickVelocity(kit)}};
        break;
    case 3:
        hits = {{snare(kit), 80}};
        break;
    case 4:
        hits = {{snare(kit), 80}, {closedHat(kit), 40}};
        break;
    case 5:
        hits = {{kick(kit), kickVelocity(kit)}, {closedHat(kit), 40}};
        break;
    case 6:
        hits = {{0, 0}};
        break;
    case 7:
        hits = {{50, 80}};
        break;
    case 8:
        hits = {{47, 80}};
        break;
    case 9:
        hits = {{45, 80}};
        break;
    case 10:
        hits = {{54, 80}};
        break;
    case 11:
        hits = {{62, 80}};
        break;
    case 12:
        hits = {{63, 80}};
        break;
    case 13:
        hits = {{64, 80}};
        break;
    case 14:
        hits = {{52, 70}};
        break;
    case 15:
        hits = {{openHat(kit), 50}};
        break;
    case 16:
        hits = {{60, 60}};
        break;
    case 17:
        hits = {{67, 60}};
        break;
    case 18:
        hits = {{68, 60}};
        break;
    case 19:
        hits = {{75, 70}};
        break;
    case 20:
        hits = {{76, 80}};
        break;
    case 21: {
        const int note = kit == Kit::Three ? 79 : ride();
        hits = {{note, 30 + r(1, 40)}};
        break;
    }
    case 22: {
        const int kickVel = kit == Kit::Four ? 47 + r(1, 20) : 10 + r(1, 20);
        const int rideNote = kit == Kit::Three ? 79 : ride();
        hits = {{kick(kit), kickVel}, {rideNote, 30 + r(1, 40)}};
        break;
    }
    case 23: {
        const int snareVel = 40 + r(1, 20);
        const int rideNote = kit == Kit::Three ? 78 : ride();
        hits = {{snare(kit), snareVel}, {rideNote, 30 + r(1, 40)}};
        break;
    }
    case 24:
        hits = {{37, 90}};
        break;
    case 25:
        hits = {{80, 60 + r(1, 50)}};
        break;
    case 26: {
        const int note = r(1, 2) == 1 ? 17 : 18;
        hits = {{note, std::min(127, 80 + r(1, 50))}};
        break;
    }
    case 27:
        hits = {{41, 100}};
        break;
    case 28:
        hits = {{41, 100}, {67, 60}};
        break;
    case 29:
        hits = {{60, 60}, {67, 40 - r(1, 20)}};
        break;
    case 30:
        hits = {{60, 60}, {67, 40}, {41, 100 - r(1, 20)}};
        break;
    case 33:
        hits = {{kick(kit), kickVelocity(kit)}, {closedHat(kit), 40}, {56, 85 + r(0, 20)}};
        break;
    case 34:
        hits = {{54, 90}, {closedHat(kit), 40}, {snare(kit), 100}, {56, 85 + r(0, 20)}};
        break;
    case 35:
        hits = {{54, 64}, {closedHat(kit), 40}, {kick(kit), kickVelocity(kit)}};
        break;
    case 36:
        hits = {{54, 90}, {closedHat(kit), 40}};
        break;
    case 37:
        hits = {{kit == Kit::Three ? 70 : 49, 90}, {kick(kit), kickVelocity(kit)}};
        break;
    case 38: {
        const int kickVel = kit == Kit::Four ? 72 + r(0, 10) : 35 + r(0, 10);
        hits = {{kick(kit), kickVel}, {snare(kit), 70 + r(0, 10)}};
        break;
    }
    case 39:
        hits = {{kit == Kit::Three ? 70 : 44, 20}, {snare(kit), 70 + r(0, 10)}};
        break;
    case 40:
        hits = {{84, 90}};
        break;
    case 41:
        hits = {{81, 60 + r(1, 50)}};
        break;
    case 42:
        hits = {{83, 60 + r(1, 50)}};
        break;
    case 43:
        hits = {{closedHat(kit), 40}, {75, 70}};
        break;
    case 44:
        hits = {{closedHat(kit), 10 + r(1, 50)}, {62, 127}};
        break;
    case 45:
        hits = {{closedHat(kit), 40}, {snare(kit), 50 + r(1, 50)}, {75, 70}};
        break;
    case 46:
        hits = {{closedHat(kit), 40}, {62, 80}, {75, 70}};
        break;
    case 47:
        hits = {{closedHat(kit), 40}, {35, 80}, {79, 70 + r(1, 10)}};
        break;
    case 48: {
        const int whistle = 90 + r(1, 10);
        hits = {{71, whistle}, {closedHat(kit), 40}, {35, 80}, {78, 70 + r(1, 10)}};
        break;
    }
    case 49:
        hits = {{71, 90 + r(1, 10)}, {closedHat(kit), 40}, {35, 80}};
        break;
    case 51:
        hits =
            kit == Kit::Three ? std::vector<Hit>{{56, 80}, {69, 40}} : std::vector<Hit>{{35, 80}, {46, 40}};
        break;
    case 52:
        hits = {{61, 60}};
        break;
    default:
        break;
    }
    writeHits(track, channel, pending, length, gap, hits);
}

void playStepPattern(CompositionState& state, int& pending, int span, int channel, MidiTrackData& track,
                     const std::vector<int>& codes, int step) {
    if (codes.empty() || step <= 0) return;
    const int steps = span / step;
    if (steps == 0) {
        // Nothing fits, but the chord's time still passes: the drums stay on the bar.
        pending += span;
        return;
    }
    const int remainder = span % step;
    const bool triplet = state.style.triplet();
    for (int i = 0; i < steps; ++i) {
        const int code = codes[static_cast<std::size_t>(i) % codes.size()];
        const int length = step - 1 + (i == steps - 1 ? remainder : 0);
        int offset = 0;
        if (triplet)
            offset = -state.rng.randRange(1, 10);
        else if (i % 2 == 1)
            offset = -state.rng.randRange(10, 25);
        else
            offset = 10 - state.rng.randRange(1, 20);
        playDrumStep(state, code, pending, length, 1, channel, track, offset);
    }
}

} // namespace harmolin::accomp
