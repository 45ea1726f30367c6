// A composition state for the accompaniment tests: a default style with the
// parts under test switched on, chords written out by hand, and the notes of
// a built track read back with their absolute times.
#pragma once

#include "engine/CompositionState.h"
#include "engine/StyleRecord.h"
#include "midi/MidiTrackData.h"
#include "midi/MidiTrackEdit.h"
#include "test_support.h"

#include <memory>
#include <vector>

namespace harmolin::test {

inline std::unique_ptr<CompositionState> accompState(std::uint32_t seed = 7) {
    auto state = std::make_unique<CompositionState>();
    initStyleDefaults(state->style, state->rng);
    finaliseStyle(state->style);
    state->rng.seed(seed);
    state->writeFile = false;
    return state;
}

// A chord record without random octaves: third, fifth and seventh above the
// root (0 where the chord has none), bass two octaves down.
inline ChordRecord handChord(int length, int root, int third, int fifth, int seventh,
                             const char* code = "CMPS") {
    ChordRecord c;
    c.length = length;
    c.lengthHigh = length >> 8;
    c.lengthLow = length & 0xFF;
    c.code = ChordCode(code);
    c.codeCopy = c.code;
    c.root = root;
    c.bass = root > 0 ? root - 24 : 0;
    c.third = third;
    c.fifth = fifth;
    c.seventh = seventh;
    return c;
}

inline ChordRecord cMajor7(int length) {
    return handChord(length, 60, 64, 67, 71, "CMPS");
}
inline ChordRecord g7(int length) {
    return handChord(length, 67, 71, 74, 77, "GMPs");
}
inline ChordRecord aMinor7(int length) {
    return handChord(length, 69, 72, 76, 67, "AmPs");
}
inline ChordRecord fMajor(int length) {
    return handChord(length, 65, 69, 72, 0, "FMPd");
}

struct PlacedNote {
    int at;
    int note;
    int velocity;
    int length;
    int channel;
};

// Sounding notes (velocity above 0) with times counted from the first note
// event of the track (the lead-in rest), so generator time 0 is 0 here.
inline std::vector<PlacedNote> soundingNotes(const MidiTrackData& track) {
    std::vector<PlacedNote> out;
    const std::vector<int> times = absoluteTimes(track);
    int origin = -1;
    for (int i = 0; i < track.count(); ++i) {
        const MusicEvent& e = track.event(i);
        if (e.kind != kConnectedNote) continue;
        if (origin < 0) origin = times[static_cast<std::size_t>(i)];
        if (e.velocity > 0)
            out.push_back(
                {times[static_cast<std::size_t>(i)] - origin, e.note, e.velocity, e.length, e.channel});
    }
    return out;
}

inline int songLength(const CompositionState& state) {
    int total = 0;
    for (const ChordRecord& c : state.tune.songChords)
        total += c.length;
    return total;
}

} // namespace harmolin::test
