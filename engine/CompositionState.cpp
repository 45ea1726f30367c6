#include "engine/CompositionState.h"

namespace harmolin {

void TuneStructure::clear() {
    blockCount = 0;
    for (auto& b : blocks) {
        b.chords.clear();
        b.melody.clear();
        b.secondMelody.clear();
        b.work.fill(0);
    }
    sequence.clear();
    songChords.clear();
    melodyTrack.clear();
    secondMelodyTrack.clear();
    markerTrack.clear();
    tuneBars = 0;
}

} // namespace harmolin
