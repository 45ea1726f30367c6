// The drum generators: step patterns played chord by chord, the grid drums
// and the march.
#include "engine/accompaniment/Accompaniment.h"
#include "engine/accompaniment/AccompanimentWriter.h"
#include "engine/accompaniment/DrumsPlayer.h"
#include "engine/accompaniment/PartSetup.h"
#include "midi/MidiTrackEdit.h"

#include "engine/EngineErrors.h"

#include <algorithm>

namespace harmolin::accomp {
namespace {

// Step codes by sound.
enum : int {
    HH = 1,     // closed hi-hat
    BD = 2,     // bass drum
    SN = 3,     // snare
    SH = 4,     // snare and hi-hat
    BH = 5,     // bass drum and hi-hat
    NO = 6,     // silent step
    TH = 7,     // high tom
    TM = 8,     // mid tom
    TL = 9,     // low tom
    TB = 10,    // tambourine
    CM = 11,    // muted high conga
    CO = 12,    // open high conga
    CL = 13,    // low conga
    OH = 15,    // open hi-hat
    BG = 16,    // high bongo
    CV = 19,    // claves
    RD = 21,    // ride
    KR = 22,    // bass drum and ride
    SR = 23,    // snare and ride
    SS = 24,    // side stick
    TR = 25,    // muted triangle
    FT = 27,    // low floor tom
    FA = 28,    // floor tom and agogo
    BA = 29,    // bongo and agogo
    BAF = 30,   // bongo, agogo and floor tom
    BHC = 33,   // bass drum, hi-hat and cowbell
    TSC = 34,   // tambourine, hi-hat, snare and cowbell
    TKH = 35,   // tambourine, hi-hat and bass drum
    CR = 37,    // crash and bass drum
    KS = 38,    // bass drum and snare
    SPLIT = 50, // hi-hat and snare twice
    BL = 52,    // low bongo
};

// The shared shuffle for grooves without a triplet form of their own.
const std::vector<int> kShuffle = {BH, NO, HH, SH, NO, HH, BH, NO, BH, SH, NO, HH};

struct Groove {
    int step = 48;                  // straight feel: 24 or 48 ticks
    std::vector<int> straight;      // whole 4/4 bars
    std::vector<int> triplet;       // whole 4/4 bars of twelve 32-tick steps
    std::vector<int> straightWaltz; // whole 3/4 bars
    std::vector<int> tripletWaltz;  // whole 3/4 bars of nine
};

Groove groove(int step, std::vector<int> straight, std::vector<int> triplet = {},
              std::vector<int> straightWaltz = {}, std::vector<int> tripletWaltz = {}) {
    return {step, std::move(straight), std::move(triplet), std::move(straightWaltz), std::move(tripletWaltz)};
}

// Each bar cut to its first `keep` steps (3/4 keeps three beats, 7/8 seven eighths).
std::vector<int> trimBars(const std::vector<int>& bars, int perBar, int keep) {
    std::vector<int> out;
    for (std::size_t start = 0; start + static_cast<std::size_t>(perBar) <= bars.size();
         start += static_cast<std::size_t>(perBar))
        out.insert(out.end(), bars.begin() + static_cast<std::ptrdiff_t>(start),
                   bars.begin() + static_cast<std::ptrdiff_t>(start) + keep);
    return out;
}

// The codes and step of a groove for the style's metre and feel.
std::pair<std::vector<int>, int> fitGroove(const StyleRecord& style, const Groove& g) {
    if (style.triplet()) {
        const std::vector<int>& bars = g.triplet.empty() ? kShuffle : g.triplet;
        if (style.meter == 1) return {g.tripletWaltz.empty() ? trimBars(bars, 12, 9) : g.tripletWaltz, 32};
        if (style.meter == 2) return {trimBars(bars, 12, 10), 32};
        return {bars, 32};
    }
    const int perBar = g.step == 24 ? 16 : 8;
    if (style.meter == 1)
        return {g.straightWaltz.empty() ? trimBars(g.straight, perBar, perBar * 3 / 4) : g.straightWaltz,
                g.step};
    if (style.meter == 2) return {trimBars(g.straight, perBar, perBar * 7 / 8), g.step};
    return {g.straight, g.step};
}

const std::vector<std::pair<int, Groove>>& grooves() {
    static const std::vector<std::pair<int, Groove>> table = {
        {5, groove(48, {BH, HH, SH, HH, BH, BH, SH, OH, BH, HH, SH, HH, BH, BH, SH, HH,
                        BH, HH, SH, HH, BH, BH, SH, OH, BH, HH, SH, HH, TH, TM, TL, FT},
                   {BH, NO, HH, SH, NO, HH, BH, NO, BH, SH, NO, OH})},
        {6, groove(24, {BH, HH, HH, BD, SH, HH, BH, HH, HH, BD, HH, HH, SH, HH, HH, OH,
                        BH, HH, HH, BD, SH, HH, BH, HH, HH, BD, BH, HH, SH, HH, SN, HH},
                   {BH, HH, HH, SH, HH, BD, HH, BH, HH, SH, HH, OH})},
        {7, groove(48, {BH, HH, HH, HH, SS, HH, HH, HH, BH, HH, HH, BH, SS, HH, HH, HH},
                   {BH, NO, HH, HH, NO, HH, SS, NO, HH, HH, NO, HH,
                    BH, NO, HH, HH, NO, BH, SS, NO, HH, HH, HH, HH})},
        {8, groove(24, {BH, HH, OH, HH, KS, HH, OH, HH, BH, HH, OH, HH, KS, HH, OH, HH})},
        {9, groove(48, {BH, HH, SH, HH, BH, BH, SH, HH, BH, HH, SH, BH, HH, BH, SH, SH},
                   {BH, NO, HH, SH, NO, HH, BH, NO, BH, SH, NO, HH})},
        {12, groove(24, {BH, NO, HH, NO, HH, NO, SS, BD, BH, NO, HH, NO, SS, NO, HH, BD,
                         BH, NO, HH, NO, SS, NO, HH, BD, BH, NO, SS, NO, HH, NO, HH, BD},
                    {BH, NO, HH, SS, NO, HH, BH, NO, HH, SS, NO, OH})},
        {13, groove(24, {TKH, TB, TB, TKH, TKH, TB, TB,  TKH, TKH, TB, TB, TKH, TKH, TB, TB,  TKH,
                         TKH, TB, TB, TKH, TKH, TB, TSC, TKH, TKH, TB, TB, TKH, TKH, TB, TSC, TKH})},
        {14, groove(48, {BH, HH, SH, HH, BH, BH, SH, HH, BH, HH, SH, HH, BH, BH, SH, HH,
                         BH, HH, SH, HH, BH, BH, SH, HH, BH, HH, SH, HH, BH, HH, SH, OH})},
        {15, groove(48, {KR, RD, KR, RD, KR, RD, KR, SR}, {KR, NO, NO, KR, NO, RD, KR, NO, NO, KR, NO, RD},
                    {}, {KR, NO, NO, KR, NO, RD, KR, NO, NO})},
        {16, groove(48, {BH, HH, SH, HH, BH, HH, SH, HH}, {}, {BH, HH, SH, HH, SH, HH},
                    {BH, NO, HH, SH, NO, HH, SH, NO, HH})},
        {18, groove(48, {CR, NO, NO, NO, BD, NO, NO, NO, BD, NO, NO, NO, BD, NO, TL, TM},
                    {CR, NO, NO, NO, NO, NO, BD, NO, NO, NO, NO, NO})},
        {19, groove(24, {BHC, NO, HH, NO, SH, NO, HH, CM, BHC, NO, HH, NO, SH, NO, CO, CL})},
        {20, groove(24, {BHC, NO, CM, NO, HH, NO, CO, CO, BHC, NO, CM, NO, HH, NO, CL, CL})},
        {21, groove(24, {NO, NO, HH, NO, NO, NO, HH, NO, KS, NO, HH, NO, NO, NO, HH, NO},
                    {NO, NO, HH, NO, NO, HH, KS, NO, HH, NO, NO, HH})},
        {22, groove(48, {BD, TR, NO, TR, SS, TR, NO, TR}, {BD, NO, TR, NO, NO, TR, SS, NO, TR, NO, NO, TR})},
        {23, groove(24, {BD, NO, HH, NO, SS, NO, HH, NO, BD, NO, HH, BD, SS, NO, HH, NO},
                    {BD, NO, HH, SS, NO, HH, BD, NO, BD, SS, NO, HH})},
        {24,
         groove(48, {BH, HH, SH, HH, BH, HH, SPLIT, HH}, {BH, NO, HH, SH, NO, HH, BH, NO, HH, SH, NO, BH})},
        {25, groove(24, {BD, NO, OH, NO, SN, NO, OH, NO, BD, NO, OH, NO, SN, NO, OH, NO},
                    {BD, NO, OH, SN, NO, OH, BD, NO, OH, SN, NO, OH})},
        {26, groove(24, {BH, NO, HH, NO, SH, NO, HH, BD, NO, BH, HH, NO, SH, NO, HH, NO,
                         BH, NO, HH, BD, SH, NO, HH, NO, NO, BD, BH, NO, SH, NO, OH, NO})},
        {27, groove(24, {BH, NO, OH, NO, KS, NO, OH, NO, BH, NO, OH, NO, KS, NO, OH, HH})},
        {29, groove(24, {BD, NO, CM, CO, TL, NO, CL, CM, BD, NO, CM, CO, TM, TL, CL, CO})},
        {30, groove(24, {BAF, NO, CV, NO, FT, CV, TH, NO, FA, NO, CV, NO, FT, FT, BA, NO})},
        {31, groove(24, {BG, BL, CM, CO, BG, BL, CL, CO, BG, BL, CM, CO, CL, CL, CO, CM})},
        {32, groove(48, {BH, HH, SS, HH, BH, HH, SS, HH}, {BH, NO, HH, SS, NO, HH, BH, NO, HH, SS, NO, HH})},
        {33, groove(24, {CL, NO, CM, NO, NO, NO, CM, NO, CL, NO, NO, NO, CM, NO, TB, NO})},
        {35, groove(24, {CO, BG, CM, BL, CL, BG, CO, CM, CO, BG, CM, BL, CL, CL, CO, BG})},
        {36, groove(24, {TR, BG, TR, BL, TR, BG, TR, BL, TR, BG, TR, BL, TR, BG, BG, BL})},
        {37, groove(24, {BH, HH, OH, HH, KS, HH, OH, HH, BH, HH, OH, HH, KS, HH, OH, OH})},
        {38, groove(48, {KR, NO, RD, RD, KR, NO, RD, RD}, {KR, NO, NO, RD, NO, RD, KR, NO, NO, RD, NO, RD},
                    {KR, NO, RD, RD, SR, NO}, {KR, NO, NO, RD, NO, RD, SR, NO, NO})},
    };
    return table;
}

void playPerChord(CompositionState& state, int& pending, MidiTrackData& track, const std::vector<int>& codes,
                  int step) {
    for (const ChordSpan& span : chordSpans(state))
        playStepPattern(state, pending, span.length, kDrumChannel, track, codes, step);
}

// Pattern 1: eighths of bass drum, hi-hat and snare; in 3/4 with a velocity
// curve of its own.
void generatorOne(CompositionState& state, int& pending, MidiTrackData& track) {
    const StyleRecord& style = state.style;
    if (style.triplet()) {
        static const std::vector<int> kTriplet = {BH, NO, HH, SH, NO, HH, BH, NO, HH, SH, NO, HH,
                                                  BH, NO, HH, SH, NO, HH, BH, NO, BH, SH, NO, HH};
        static const std::vector<int> kTripletWaltz = {BH, NO, HH, SH, NO, HH, SH, NO, HH, BH, NO, HH,
                                                       SH, NO, HH, SH, NO, HH, BH, NO, HH, SH, NO, HH};
        playPerChord(state, pending, track, style.meter == 1 ? kTripletWaltz : kTriplet, 32);
        return;
    }
    if (style.meter != 1) {
        std::vector<int> codes;
        for (int i = 0; i < 8; ++i)
            codes.insert(codes.end(), {BH, HH, SH, HH});
        playPerChord(state, pending, track, codes, 48);
        return;
    }
    static constexpr int kWaltz[32] = {5, 1,  5, 1, 4, 15, 5, 1, 5, 1, 4, 1, 5, 1,  5, 1,
                                       4, 15, 5, 1, 5, 1,  4, 1, 5, 1, 5, 1, 4, 15, 5, 1};
    static constexpr int kCurve[6] = {42, 32, 30, 32, 36, 36};
    for (const ChordSpan& span : chordSpans(state)) {
        const int steps = span.length / 48;
        for (int i = 0; i < steps; ++i) {
            const int offset = i == 31 ? 42 : kCurve[i % 6];
            playDrumStep(state, kWaltz[i % 32], pending, 47, 1, kDrumChannel, track, offset);
        }
        // The remainder is not sounded, but its time passes.
        pending += span.length - steps * 48;
    }
}

// Pattern 3: a sixteenth groove whose hi-hats sound with the percentage's chance.
void generatorThree(CompositionState& state, int percent, int& pending, MidiTrackData& track) {
    const int chance = std::clamp(percent, 0, 100);
    const bool triplet = state.style.triplet();
    for (const ChordSpan& span : chordSpans(state)) {
        std::vector<int> codes = triplet
                                     ? std::vector<int>{BH, NO, 0, SH, NO, 0, BH, NO, 0, SH, NO, 0}
                                     : std::vector<int>{BH, 0, 0, 0, SH, 0, BH, 0, BH, 0, 0, 0, SH, 0, 0, 0};
        for (int& c : codes)
            if (c == 0) c = state.rng.randRange(1, 100) <= chance ? HH : NO;
        if (state.style.meter == 1) codes = trimBars(codes, triplet ? 12 : 16, triplet ? 9 : 12);
        playStepPattern(state, pending, span.length, kDrumChannel, track, codes, triplet ? 32 : 24);
    }
}

// Pattern 10: ride cymbal with snare comping at a quarter of the percentage.
void generatorTen(CompositionState& state, int percent, int& pending, MidiTrackData& track) {
    const int chance = std::clamp(percent, 0, 400) / 4;
    const bool triplet = state.style.triplet();
    const bool waltz = state.style.meter == 1;
    for (const ChordSpan& span : chordSpans(state)) {
        std::vector<int> codes;
        if (triplet)
            codes = waltz ? std::vector<int>{KR, NO, 0, RD, NO, RD, KR, NO, 0}
                          : std::vector<int>{KR, NO, 0, KR, NO, RD, KR, NO, 0, KR, NO, RD};
        else
            codes = waltz ? std::vector<int>{KR, 0, RD, RD, KR, 0}
                          : std::vector<int>{KR, 0, KR, RD, KR, 0, KR, RD};
        for (int& c : codes)
            if (c == 0) c = state.rng.randRange(1, 100) <= chance ? SR : NO;
        playStepPattern(state, pending, span.length, kDrumChannel, track, codes, triplet ? 32 : 48);
    }
}

// Pattern 11: a fresh bar of ride, bass drum, snare and side stick for every chord.
void generatorEleven(CompositionState& state, int& pending, MidiTrackData& track) {
    const bool triplet = state.style.triplet();
    auto draw = [&state](int percent) { return state.rng.randRange(1, 100) <= percent; };
    for (const ChordSpan& span : chordSpans(state)) {
        std::vector<int> codes;
        if (triplet) {
            for (int i = 0; i < 24; ++i) {
                if (i % 6 == 0)
                    codes.push_back(draw(75) ? KR : RD);
                else if (i % 6 == 3)
                    codes.push_back(draw(50) ? SR : RD);
                else if (i % 3 == 2)
                    codes.push_back(draw(50) ? RD : NO);
                else
                    codes.push_back(draw(12) ? SS : NO);
            }
        } else {
            for (int i = 0; i < 32; ++i) {
                if (i % 4 == 0)
                    codes.push_back(draw(75) ? KR : RD);
                else if (i % 4 == 2)
                    codes.push_back(draw(50) ? SR : RD);
                else
                    codes.push_back(draw(50) ? RD : (draw(12) ? SS : NO));
            }
        }
        playStepPattern(state, pending, span.length, kDrumChannel, track, codes, triplet ? 32 : 48);
    }
}

// Pattern 28: the style's drum grid.
void gridDrums(CompositionState& state, int& pending, MidiTrackData& track) {
    const StyleRecord& style = state.style;
    const bool triplet = style.triplet();
    const int stepTicks = triplet ? 32 : 24;
    const int wrap = triplet ? 12 : 16;
    const int length = triplet ? 31 : 23;
    for (const ChordSpan& span : chordSpans(state)) {
        const int steps = span.length / stepTicks;
        for (int k = 0; k < steps; ++k) {
            const int s = k % wrap;
            bool first = true;
            for (int row = 0; row < grid::kRows; ++row) {
                if (style.cell(grid::kDrumBlock, row, s) != 1) continue;
                const int note = style.rowValue(grid::kDrumBlock, row) + 35;
                const int velocity = (note == 42 || note == 46) ? 49 : 64;
                addEngineNote(track, kDrumChannel, first ? pending : 0, note, velocity, length);
                first = false;
            }
            if (first) addEngineNote(track, kDrumChannel, pending, 0, 0, length);
            pending = length + 1;
        }
        pending += span.length - steps * stepTicks;
    }
}

// Pattern 34: bass drum on the beats, tambourine and clap between; in
// triplet feel the off-beats move to the last third of the beat.
void march(CompositionState& state, int& pending, MidiTrackData& track) {
    const int firstEvent = track.count();
    for (const ChordSpan& span : chordSpans(state)) {
        const int eighths = span.length / 48;
        for (int k = 0; k < eighths; ++k) {
            if (k % 2 == 0) {
                addEngineNote(track, kDrumChannel, pending, 36, 80, 24);
            } else {
                addEngineNote(track, kDrumChannel, pending, 54, 80, 24);
                addEngineNote(track, kDrumChannel, 0, 39, 70, 24);
            }
            pending = 48;
        }
        pending += span.length - eighths * 48;
    }
    if (!state.style.triplet() || firstEvent == 0 || firstEvent >= track.count()) return;
    std::vector<int> times = absoluteTimes(track);
    const int origin = times[static_cast<std::size_t>(firstEvent - 1)];
    for (std::size_t i = static_cast<std::size_t>(firstEvent); i < times.size(); ++i)
        if ((times[i] - origin) % 96 == 48) times[i] += 16;
    setAbsoluteTimes(track, times);
}

} // namespace

bool runDrumGenerator(CompositionState& state, int number, int percent, int& pending, MidiTrackData& track) {
    const StyleRecord& style = state.style;
    switch (number) {
    case 1:
        generatorOne(state, pending, track);
        return true;
    case 2: {
        if (style.triplet()) {
            static const std::vector<int> kTriplet = {5, 1, 15, 4, 1, 15, 4, 1, 5,  5, 1, 15,
                                                      4, 1, 15, 4, 1, 15, 5, 1, 15, 4, 1, 15};
            playPerChord(state, pending, track, kTriplet, 32);
        } else {
            std::vector<int> codes;
            for (int i = 0; i < 4; ++i)
                codes.insert(codes.end(), {5, 1, 1, 1, 4, 1, 1, 1});
            playPerChord(state, pending, track, codes, 24);
        }
        return true;
    }
    case 3:
        generatorThree(state, percent, pending, track);
        return true;
    case 4: {
        // One random bar for the whole song.
        std::vector<int> codes;
        for (int i = 0; i < 32; ++i)
            codes.push_back(state.rng.randRange(1, 6));
        if (style.triplet()) codes.resize(24);
        playPerChord(state, pending, track, codes, style.triplet() ? 32 : 48);
        return true;
    }
    case 10:
        generatorTen(state, percent, pending, track);
        return true;
    case 11:
        generatorEleven(state, pending, track);
        return true;
    case 17: {
        if (style.triplet()) {
            std::vector<int> codes = {5, 1, 1, 24};
            codes.resize(24, 1);
            playPerChord(state, pending, track, codes, 32);
        } else {
            static const std::vector<int> kStraight = {5, 1, 1, 15, 5, 1, 1, 5, 5, 1, 1, 1, 5, 1, 1, 15,
                                                       5, 1, 1, 15, 5, 1, 1, 5, 5, 1, 1, 1, 5, 1, 1, 15};
            playPerChord(state, pending, track, kStraight, 48);
        }
        return true;
    }
    case 28:
        gridDrums(state, pending, track);
        return true;
    case 34:
        march(state, pending, track);
        return true;
    default:
        break;
    }
    for (const auto& [n, groove] : grooves()) {
        if (n != number) continue;
        const auto [codes, step] = fitGroove(style, groove);
        playPerChord(state, pending, track, codes, step);
        return true;
    }
    return false;
}

} // namespace harmolin::accomp

namespace harmolin {

void buildDrumPart(CompositionState& state, std::vector<MidiTrackData>& tracks) {
    if (state.style.programs[kPartDrums] == kNoProgram) return;
    MidiTrackData track = newPartTrack();
    writePartHeader(state, track, kPartDrums, drumKitProgram(state));
    addEngineNote(track, accomp::kDrumChannel, state.leadIn(), 0, 0, 1);
    int pending = 0;
    if (!accomp::runDrumGenerator(state, state.style.drumPattern, state.style.patternParams[kPartDrums],
                                  pending, track))
        reportEngineError(engine_error::kDrumPattern);
    tracks.push_back(std::move(track));
}

} // namespace harmolin
