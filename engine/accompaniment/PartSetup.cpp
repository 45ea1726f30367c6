#include "engine/accompaniment/PartSetup.h"

#include "engine/EngineErrors.h"
#include "midi/MidiTrackEdit.h"

#include <algorithm>
#include <array>

namespace harmolin {
namespace {

struct InstrumentGroup {
    const char* name;
    std::vector<int> members;
};

// Program codes 136 + g stand for a family; a member is drawn each time a
// header is written, so the same style sounds a little different each song.
const std::array<InstrumentGroup, 9>& instrumentGroups() {
    static const std::array<InstrumentGroup, 9> groups = {{
        {"Piano Group", {0, 1, 2, 3, 4, 5, 6, 7}},
        {"Guitar Group", {24, 25, 26, 27, 46}},
        {"Piano Guitar Group", {0, 1, 2, 11, 4, 5, 6, 7, 24, 25, 26, 27, 30, 29}},
        {"Wind Group", {65, 22, 53, 21, 61, 62, 63, 71, 79, 56}},
        {"Melody Line Group", {65, 22, 53, 21, 61, 62, 63, 71, 79, 56, 53, 68, 80, 81, 100, 75, 90, 82}},
        {"Hard Sound Group", {8, 10, 11, 12, 15, 46, 98, 107, 108, 114}},
        {"Soft Sound Group", {49, 52, 54, 89, 91, 94, 97, 102}},
        {"Electric Group", {80, 21, 85, 87, 90, 100}},
        {"Acoustic Group", {0, 24, 48, 56, 65, 75, 71, 22, 53}},
    }};
    return groups;
}

int controllerValue(int byte) {
    return std::clamp(byte, 0, 127);
}

int wrap128(int value) {
    return ((value % 128) + 128) % 128;
}

} // namespace

int resolveProgram(CompositionState& state, int code, int /*part*/) {
    if (code < kFirstGroupProgram) return code;
    const int group = code - kFirstGroupProgram;
    const auto& groups = instrumentGroups();
    if (group >= static_cast<int>(groups.size())) {
        // Not a group: an instrument the module cannot play. Piano keeps the
        // part audible.
        reportEngineError(engine_error::kInstrument);
        return 0;
    }
    const auto& members = groups[static_cast<std::size_t>(group)].members;
    return members[static_cast<std::size_t>(state.rng.randRange(0, static_cast<int>(members.size()) - 1))];
}

void writePartHeader(CompositionState& state, MidiTrackData& track, int part, int program) {
    const int channel = part & 0x0F;
    const auto& mix = state.style.mixer[static_cast<std::size_t>(part & 0x0F)];
    int resolved = resolveProgram(state, program, part);
    // Some styles carry 128 to 131: a program byte has seven bits.
    if (resolved < 0 || resolved > 127) resolved &= 0x7F;
    addProgramChange(track, channel, resolved);
    addControlChange(track, channel, 7, controllerValue(mix[kMixVolume]));

    struct Send {
        int controller;
        int byte;
    };
    static constexpr Send kSends[] = {{91, kMixReverb},    {93, kMixChorus},  {74, kMixBrightness},
                                      {71, kMixResonance}, {72, kMixRelease}, {73, kMixAttack},
                                      {75, kMixDecay}};
    for (const Send& s : kSends) {
        const int value = mix[static_cast<std::size_t>(s.byte)];
        // A file for the user gets every controller, so a player that kept
        // the previous song's settings is reset.
        if (value != 64 || state.writeFile)
            addControlChange(track, channel, s.controller, controllerValue(value));
    }
    addControlChange(track, channel, 10, controllerValue(mix[kMixPan]));
    // Pitch-bend range of an octave.
    addControlChange(track, channel, 101, 0);
    addControlChange(track, channel, 100, 0);
    addControlChange(track, channel, 6, 12);
}

int drumKitProgram(const CompositionState& state) {
    const StyleRecord& s = state.style;
    const bool generalOrGs = state.soundModule == 0 || state.soundModule == 1;
    if (s.drumPattern == 1 && s.feel == 3 && (s.meter == 1 || s.programs[kPartDrums] != 2) && generalOrGs)
        return 40;
    if (s.drumPattern == 18 && state.soundModule == 1) return 49;
    return 0;
}

MidiTrackData makeDoubledCopy(const CompositionState& state, MidiTrackData& source, int part) {
    const int target = part == kPartMelody ? kPartMelodyCopy : kPartHarmonyCopy;
    const auto& mix = state.style.mixer[static_cast<std::size_t>(part & 0x0F)];
    MidiTrackData copy = MidiTrackData::copyOf(source);
    moveChannel(copy, part, target);
    if (copy.count() > 0) copy.event(0).delta += mix[kMixDoubling];

    // Fine tuning a little sharp, so the two voices beat against each other.
    const int fineTune[4][2] = {{101, 0}, {100, 1}, {6, 56}, {38, 0}};
    for (int i = 3; i >= 0; --i)
        copy.insertAt(0, true, makeChannelEvent(kControlChange, target, fineTune[i][0], fineTune[i][1]));

    const int copyPan = wrap128(mix[kMixPan] - 40);
    for (MusicEvent& e : copy.events())
        if (e.isControl(10)) e.value = copyPan;
    if (part == kPartHarmony) {
        const int sourcePan = wrap128(mix[kMixPan] + 40);
        for (MusicEvent& e : source.events())
            if (e.isControl(10)) e.value = sourcePan;
    }
    return copy;
}

void addEngineNote(MidiTrackData& track, int channel, int delta, int note, int velocity, int length) {
    if (length < 0) length = 0;
    if (delta < 0) delta = 0;
    velocity = std::min(velocity, 127);
    if (note >= 128 || (note < 13 && velocity != 0) || velocity <= 0) {
        note = 0;
        velocity = 0;
    }
    if (velocity == 0) length = 1;
    addNote(track, channel, delta, note, velocity, length);
}

MidiTrackData newPartTrack() {
    // The engine's track capacity counts events; a track's capacity here
    // counts bytes, so a track gets room for a whole song.
    return MidiTrackData(kSongCapacity, TrackState::Connected);
}

} // namespace harmolin
