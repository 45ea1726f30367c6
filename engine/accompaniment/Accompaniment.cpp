#include "engine/accompaniment/Accompaniment.h"

#include "engine/EngineErrors.h"
#include "engine/accompaniment/AccompanimentPatterns.h"
#include "engine/accompaniment/GridPlayer.h"
#include "engine/accompaniment/PartSetup.h"
#include "midi/MidiTrackEdit.h"

#include <algorithm>

namespace harmolin {
namespace {

using accomp::NoteWriter;
using accomp::PatternContext;

// Runs the generator of a pattern number; false for a number without one.
bool runPattern(CompositionState& state, NoteWriter& writer, const PatternContext& context) {
    const int n = context.number;
    if (n < 1 || n > 60 || n == 48) return false;
    switch (n) {
    case 1:
    case 2:
    case 28:
        accomp::playSustainedChords(state, writer, context);
        return true;
    case 3:
        accomp::playArpeggio(state, writer, context);
        return true;
    case 4:
        accomp::playBlockChords(state, writer, context);
        return true;
    case 5:
        accomp::playUpDownArpeggio(state, writer, context);
        return true;
    case 6:
        accomp::playRunningArpeggio(state, writer, context);
        return true;
    case 13:
        accomp::playCounterLine(state, writer, context);
        return true;
    case 22:
        accomp::playBrokenChords(state, writer, context);
        return true;
    case 27:
        accomp::playHarpRoll(state, writer, context);
        return true;
    case 47:
        accomp::playHarmonyGrid(state, writer, context.part);
        return true;
    case 51:
        accomp::playTripletArpeggio(state, writer, context);
        return true;
    default:
        return accomp::playCompRhythm(state, writer, context);
    }
}

void applyOctaveShift(const CompositionState& state, MidiTrackData& track, int part) {
    if (part < 0 || part >= static_cast<int>(state.style.octaveShift.size())) return;
    const int shift = state.style.octaveShift[static_cast<std::size_t>(part)];
    if (shift != 0) transpose(track, part, 12 * shift);
}

} // namespace

void buildAccompanimentPart(CompositionState& state, int part, int pattern, int percent,
                            std::vector<MidiTrackData>& tracks) {
    const int program = state.style.programs[static_cast<std::size_t>(part & 0x0F)];
    if (program == kNoProgram) return;
    MidiTrackData track = newPartTrack();
    writePartHeader(state, track, part, program);
    addEngineNote(track, part, state.leadIn(), 0, 0, 1);
    NoteWriter writer(track, part);
    if (!runPattern(state, writer, {part, pattern, percent}))
        reportEngineError(engine_error::kBackingPattern);
    applyOctaveShift(state, track, part);
    if (part == kPartHarmony && state.style.mixer[kPartHarmony][kMixDoubling] != 0)
        tracks.push_back(makeDoubledCopy(state, track, part));
    tracks.push_back(std::move(track));
}

void buildPartEight(CompositionState& state, std::vector<MidiTrackData>& tracks) {
    const int program = state.style.programs[kPartEight];
    if (program == kNoProgram) return;
    MidiTrackData track = newPartTrack();
    writePartHeader(state, track, kPartEight, program);
    addEngineNote(track, kPartEight, state.leadIn(), 0, 0, 1);
    NoteWriter writer(track, kPartEight);
    // An open fifth under the harmony, struck at each bar and chord: it
    // thickens the sound without doubling the harmony's thirds.
    const int velocity = std::clamp(50 * state.style.patternParams[kPartEight] / 100, 1, 127);
    static const accomp::SlotRhythm kPad = {{{"R---------------"}}, {{"R-----------"}}};
    accomp::walkSlots(state, kPad, 6, false, [&](const accomp::SlotHit& hit) {
        const accomp::ChordTones tones = accomp::chordTones(*hit.span->chord);
        if (tones.empty()) return;
        const int root = accomp::placeAbove(tones.root, 48);
        writer.note(hit.at, root, velocity, hit.length);
        writer.note(hit.at, root + (tones.fifth >= 0 ? (tones.fifth - tones.root + 12) % 12 : 7), velocity,
                    hit.length);
    });
    applyOctaveShift(state, track, kPartEight);
    tracks.push_back(std::move(track));
}

} // namespace harmolin
