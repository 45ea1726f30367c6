// The onset pattern of a style: 96 steps of onset weights (0 = no onset,
// else a strength up to 127), laid over as many bars as they fill. Beats are
// strong, the sub-beats of the drawn subdivision are played at random, and a
// drawn period adds syncopated onsets that run across the bar lines.
#include "base/EngineRandom.h"
#include "engine/StyleRecord.h"

#include <algorithm>

namespace harmolin {
namespace {

// True when the step (within its beat) is where one of the beat's
// subdivision notes begins.
bool startsSubBeat(int stepInBeat, int stepsPerBeat, int subdivision) {
    for (int k = 1; k < subdivision; ++k) {
        const int start = (k * stepsPerBeat + subdivision - 1) / subdivision;
        if (start == stepInBeat) return true;
    }
    return false;
}

} // namespace

void drawOnsetPattern(StyleRecord& style, EngineRandom& random) {
    const bool triplet = style.feel == 3;
    // Steps of a quarter: 32nds in straight time, triplet 16ths with the
    // triplet feel (a 4/4 bar of 32 or 24 steps, a 3/4 bar of 24 or 18).
    const int stepsPerBeat = triplet ? 6 : 8;
    const int barSteps = style.meter == 0   ? 4 * stepsPerBeat
                         : style.meter == 1 ? 3 * stepsPerBeat
                                            : 7 * stepsPerBeat / 2;

    const int subdivision = random.randRange(2, 4); // notes per beat at most
    const int accent = random.randRange(4, 8);      // strength of the bar's first beat
    const int period = random.oneIn(2) ? random.randRange(4, 8) : random.randRange(4, 32);

    for (int i = 0; i < static_cast<int>(style.onsetPattern.size()); ++i) {
        const int step = i % barSteps;
        const int stepInBeat = step % stepsPerBeat;
        int weight = 0;
        if (step == 0) {
            weight = std::min(127, 16 * accent);
        } else if (stepInBeat == 0) {
            weight = 8 * accent + random.randRange(16, 32);
        } else if (startsSubBeat(stepInBeat, stepsPerBeat, subdivision) && random.oneIn(2)) {
            weight = random.randRange(24, 48);
        }
        if (weight == 0 && i % period == period - 1 && !random.oneIn(3)) weight = random.randRange(36, 56);
        style.onsetPattern[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(weight);
    }
}

} // namespace harmolin
