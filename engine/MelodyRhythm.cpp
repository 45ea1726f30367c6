// The rhythm generator: note lengths by the part's mode, clipped at the
// ends of the bar and of the chord.
#include "engine/Melody.h"
#include "engine/MelodyDetail.h"

#include <algorithm>
#include <vector>

namespace harmolin {

using namespace melody_detail;

namespace {

constexpr int kTripletRunNotes = 3;
constexpr int kTripletNote = 64;

struct RhythmCall {
    int part;
    int mode;
    int u; // position in the bar
    int t; // bar length
    int c; // chord length, counted from the bar's start
    int e; // previous length in sixteenths
};

int defaultRhythm(CompositionState& state, const RhythmCall& call) {
    EngineRandom& rng = state.rng;
    RhythmMemory& rm = state.rhythmMemory;
    const int feel = state.style.feel;
    const int mode = call.mode;
    const int u = call.u;
    const int restSwitch = setting(state, call.part, kMelRestSwitch);

    bool run = false;
    int g = 0;
    if (rm.tripletRun != 0) {
        ++rm.tripletRun;
        run = true;
    } else if (mode == 5) {
        g = rng.randRange(1, 2) * 2;
    } else if (u % 96 != 0) {
        if (u % 48 != 0)
            g = restSwitch == 1 && rng.oneIn(2) ? 2 : rng.randRange(mode, 2);
        else if (mode == 4)
            g = rng.randRange(1, 2);
        else
            g = restSwitch == 1 && rng.oneIn(2) ? 4 : rng.randRange(mode, 4);
    } else {
        if (mode == 4) {
            g = rng.randRange(1, 2);
            if (g == 2) g = rng.randRange(1, 2);
        } else {
            g = rng.randRange(mode, 10);
        }
        if (g == 9) {
            g = 2;
        } else if (g == 10) {
            // A run starts only where all three notes fit, so a run is
            // never cut by the bar or the chord.
            const bool fits = u + kTripletRunNotes * kTripletNote <= std::min(call.t, call.c);
            if (feel == 1 && fits) {
                rm.tripletRun = 1;
                run = true;
            } else {
                g = 2;
            }
        }
        if (!run && restSwitch == 1 && rng.randRange(1, 3) <= 2) g = 1;
    }

    int length = 0;
    if (run) {
        length = kTripletNote;
        if (rm.tripletRun >= kTripletRunNotes) rm.tripletRun = 0;
    } else {
        if (g <= 0 || g == 3 || g == 5 || g == 6 || g == 7) {
            const int e = call.e;
            g = e <= 0 || e == 3 || e == 5 || e == 6 || e == 7 ? 4 : e;
        }
        length = g * 24;
    }

    if (feel == 3) {
        if (mode == 5) {
            length = rng.oneIn(3) ? 96 : rng.randRange(1, 3) * 32;
        } else if (rm.tripletFlag) {
            length = 16;
            rm.tripletFlag = false;
        } else if (rng.oneIn(8)) {
            length = 32;
            if (rng.oneIn(4)) {
                length = 16;
                rm.tripletFlag = true;
            }
        } else {
            length = 64;
        }
    }
    if (mode == 3) length = rng.oneIn(3) ? (rng.oneIn(3) ? 288 : 192) : 96;
    return length;
}

// Mode 7: a pattern per chord that places long notes early or late.
int patternRhythm(CompositionState& state, const RhythmCall& call) {
    EngineRandom& rng = state.rng;
    RhythmMemory& rm = state.rhythmMemory;
    const int u = call.u;
    if (u == 0) {
        rm.pattern = call.c < 384 ? rng.randRange(0, 2) : rng.randRange(0, 5);
        if (rm.pattern == 5) rm.pattern = 0;
    }
    const bool early = u < 96;
    const bool late = u > 288;
    const bool firstHalf = u < 192;

    if (state.style.feel != 3) {
        const auto plain = [&] {
            const int h = rng.randRange(1, 3);
            return (h == 3 ? 1 : h) * 48;
        };
        const auto longDraw = [&] {
            const int h = rng.randRange(2, 9);
            return h == 9 ? 144 : h * 48;
        };
        const auto medium = [&] { return rng.randRange(2, 5) * 48; };
        switch (rm.pattern) {
        case 1:
            return firstHalf ? plain() : longDraw();
        case 2:
            return firstHalf ? longDraw() : plain();
        case 3:
            return early || late ? plain() : medium();
        case 4:
            return early || late ? medium() : plain();
        default:
            return plain();
        }
    }

    int units = 1;
    switch (rm.pattern) {
    case 1:
        units = firstHalf ? rng.randRange(1, 3) : rng.randRange(3, 12);
        break;
    case 2:
        units = firstHalf ? rng.randRange(3, 12) : rng.randRange(1, 3);
        break;
    case 3:
        units = early || late ? rng.randRange(1, 3) : rng.randRange(3, 8);
        break;
    case 4:
        units = early || late ? rng.randRange(3, 8) : rng.randRange(1, 3);
        break;
    default: {
        const int h = rng.randRange(1, 5);
        units = h <= 3 ? h : 1;
        break;
    }
    }
    if (units > 3 && rng.oneIn(3)) units = 3;
    return units * 32;
}

// Mode 6: a singer's long phrase: long notes on strong beats, a shorter
// note only to lead into the next beat.
int longPhraseRhythm(CompositionState& state, const RhythmCall& call) {
    EngineRandom& rng = state.rng;
    const int u = call.u;
    const int bar = call.t;
    if (state.style.feel == 3) {
        if (u % 96 != 0) return 96 - u % 96;
        if (u == 0) {
            const int r = rng.randRange(1, 4);
            return r == 1 ? bar : r == 2 ? 288 : 192;
        }
        const int r = rng.randRange(1, 6);
        return r <= 3 ? 96 : r <= 5 ? 192 : 64;
    }
    if (u % 96 != 0) return 96 - u % 96;
    if (u == 0) {
        const int r = rng.randRange(1, 8);
        return r <= 2 ? bar : r <= 4 ? 288 : r <= 7 ? 192 : 144;
    }
    if (u % 192 == 0) {
        const int r = rng.randRange(1, 4);
        return r <= 2 ? 192 : r == 3 ? 144 : 96;
    }
    return rng.randRange(1, 3) <= 2 ? 96 : 48;
}

// Length of the element of a looping pattern that covers position u.
int lengthAt(const int* lengths, int count, int u) {
    int period = 0;
    for (int i = 0; i < count; ++i)
        period += lengths[i];
    if (period <= 0) return 96;
    int at = u % period;
    for (int i = 0; i < count; ++i) {
        if (at < lengths[i]) return lengths[i] - at;
        at -= lengths[i];
    }
    return 96;
}

// Mode 8: syncopated bar patterns (3-3-2 and off-beat pushes), one per
// chord, read by position.
int secondPatternRhythm(CompositionState& state, const RhythmCall& call) {
    struct BarPatterns {
        int bar;
        bool triplet;
        int count;
        int lengths[5][8];
    };
    static const BarPatterns kPatterns[] = {
        {384,
         false,
         5,
         {{144, 144, 96}, {96, 48, 96, 48, 96}, {48, 96, 48, 96, 96}, {192, 48, 48, 96}, {96, 96, 144, 48}}},
        {288, false, 4, {{144, 144}, {96, 48, 144}, {48, 96, 48, 96}, {192, 96}}},
        {336, false, 4, {{96, 96, 144}, {144, 96, 96}, {96, 144, 96}, {48, 48, 96, 144}}},
        {384,
         true,
         4,
         {{64, 32, 64, 32, 96, 96}, {96, 64, 32, 96, 96}, {32, 64, 32, 64, 96, 96}, {160, 32, 96, 96}}},
        {288, true, 3, {{64, 32, 96, 96}, {96, 64, 32, 96}, {160, 32, 96}}},
    };
    static const int kGeneral[3] = {96, 48, 48};

    RhythmMemory& rm = state.rhythmMemory;
    const bool triplet = state.style.feel == 3;
    const BarPatterns* found = nullptr;
    for (const auto& p : kPatterns)
        if (p.bar == call.t && p.triplet == triplet) found = &p;
    if (found == nullptr) return lengthAt(kGeneral, 3, call.u);
    if (call.u == 0) rm.pattern = state.rng.randRange(0, found->count - 1);
    const int which = std::clamp(rm.pattern, 0, found->count - 1);
    const int* lengths = found->lengths[which];
    int count = 0;
    while (count < 8 && lengths[count] > 0)
        ++count;
    return lengthAt(lengths, count, call.u);
}

struct ChordTemplates {
    int length;
    std::vector<std::vector<int>> choices;
};

const std::vector<ChordTemplates>& chordTemplates() {
    static const std::vector<ChordTemplates> table = {
        {48, {{48}}},
        {96, {{96}, {48, 48}}},
        {144, {{96, 48}, {48, 96}, {144}}},
        {192, {{96, 96}, {144, 48}, {48, 48, 96}, {192}}},
        {240, {{96, 96, 48}, {144, 96}, {48, 96, 96}}},
        {336, {{96, 96, 144}, {144, 96, 96}, {96, 48, 96, 96}}},
        {384, {{96, 96, 96, 96}, {144, 48, 96, 96}, {192, 96, 96}, {96, 48, 48, 192}}},
        {432, {{96, 96, 96, 144}, {144, 48, 96, 144}, {192, 96, 144}}},
        {720, {{96, 96, 96, 96, 96, 96, 144}, {192, 96, 96, 96, 96, 144}, {144, 48, 96, 96, 192, 144}}},
    };
    return table;
}

// Fills the template of a chord of the given length into the memory.
void fillChordTemplate(CompositionState& state, int length) {
    EngineRandom& rng = state.rng;
    RhythmMemory& rm = state.rhythmMemory;
    std::vector<int> notes;
    const auto& table = chordTemplates();
    const auto known =
        std::find_if(table.begin(), table.end(), [&](const ChordTemplates& t) { return t.length == length; });
    if (known != table.end()) {
        notes = known->choices[static_cast<std::size_t>(
            rng.randRange(0, static_cast<int>(known->choices.size()) - 1))];
    } else if (length == 288 || length == 576 || length == 672) {
        // Three-beat groups, the last one cut where the chord ends.
        static const std::vector<std::vector<int>> kGroups = {
            {96, 96, 96}, {144, 48, 96}, {192, 96}, {96, 48, 48, 96}};
        int sum = 0;
        while (sum < length) {
            for (int n : kGroups[static_cast<std::size_t>(rng.randRange(0, 3))]) {
                if (sum >= length) break;
                notes.push_back(std::min(n, length - sum));
                sum += notes.back();
            }
        }
    } else {
        // Quarters with an occasional pair of eighths.
        int sum = 0;
        while (sum < length) {
            if (rng.oneIn(4)) {
                notes.push_back(std::min(48, length - sum));
                sum += notes.back();
                if (sum >= length) break;
                notes.push_back(std::min(48, length - sum));
            } else {
                notes.push_back(std::min(96, length - sum));
            }
            sum += notes.back();
        }
    }
    rm.templCount = static_cast<int>(std::min(notes.size(), rm.templ.size()));
    std::copy_n(notes.begin(), rm.templCount, rm.templ.begin());
    rm.templIndex = 0;
}

// Mode 9: a rhythm template chosen by the chord's length, read by position.
int chordTemplateRhythm(CompositionState& state, const RhythmCall& call) {
    RhythmMemory& rm = state.rhythmMemory;
    if (call.u == 0 || rm.templCount == 0) fillChordTemplate(state, call.c);
    int start = 0;
    for (int i = 0; i < rm.templCount; ++i) {
        const int n = rm.templ[static_cast<std::size_t>(i)];
        if (call.u < start + n) {
            rm.templIndex = i + 1;
            return start + n - call.u;
        }
        start += n;
    }
    return call.c - call.u;
}

} // namespace

int nextNoteLength(CompositionState& state, int part, int position, int barLength, int chordLength,
                   int previousSixteenths) {
    RhythmCall call{
        part, setting(state, part, kMelPartMode), position, barLength, chordLength, previousSixteenths};
    if (call.t <= 0) call.t = call.c;
    if (call.u < 0 || call.u >= call.t || call.u >= call.c) return 0;
    if (call.u == 0) {
        // A new bar or chord: nothing of a run or a pair may hang over.
        state.rhythmMemory.tripletRun = 0;
        state.rhythmMemory.tripletFlag = false;
    }

    int g = 0;
    switch (call.mode) {
    case 6:
        while (call.c > 384 && call.u >= 384) {
            call.c -= 384;
            call.u -= 384;
        }
        g = longPhraseRhythm(state, call);
        break;
    case 7:
        g = patternRhythm(state, call);
        break;
    case 8:
        g = secondPatternRhythm(state, call);
        break;
    case 9:
        g = chordTemplateRhythm(state, call);
        break;
    default:
        g = defaultRhythm(state, call);
        break;
    }
    if (g <= 0) g = 96;
    if (call.u + g > call.t) g = call.t - call.u;
    if (call.u + g > call.c) g = call.c - call.u;
    return g;
}

} // namespace harmolin
