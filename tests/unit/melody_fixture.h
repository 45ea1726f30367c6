// A composition state set up the way the song pipeline sets up the melody,
// and small readers of event lists, for the melody tests.
#pragma once

#include "engine/ChordProgression.h"
#include "engine/CompositionState.h"
#include "engine/EventList.h"
#include "engine/StyleRecord.h"

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

namespace harmolin::test {

inline std::unique_ptr<CompositionState> melodyState(std::uint32_t seed = 1) {
    auto state = std::make_unique<CompositionState>();
    state->rng.seed(seed);
    initStyleDefaults(state->style, state->rng);
    auto& a = state->style.sectionA();
    a[kMelPartMode] = 5;
    a[kMelPitchMethod] = 6;
    a[kMelHighest] = 70;
    a[kMelLowest] = 56;
    a[kMelDissonance] = 9;
    state->style.melodyJumpWeights = {40, 20, 30, 90, 90, 95, 99, 99};
    state->style.melodyJumpSizes = {-25, -25, 0, 10, 20, 30, 40, 50};
    state->style.patternParams[kPartMelody] = 120;
    state->patterns.tonic = ChordCode("CMPS");
    buildChordScaleTable(*state);
    return state;
}

inline EventList chordList(std::initializer_list<std::pair<int, const char*>> chords) {
    EventList list;
    for (const auto& [length, code] : chords)
        list.appendChord(length, ChordCode(code));
    return list;
}

struct Note {
    int length;
    int pitch;
    int chord; // index of the chord event before it
};

inline std::vector<Note> notesOf(const EventList& list) {
    std::vector<Note> notes;
    int chord = -1;
    for (const EngineEvent& e : list) {
        if (e.kind == kEngineChord) ++chord;
        if (e.kind == kEngineNote) notes.push_back({e.length, e.value, chord});
    }
    return notes;
}

inline int totalLength(const EventList& list) {
    int sum = 0;
    for (const EngineEvent& e : list)
        if (e.kind == kEngineNote) sum += e.length;
    return sum;
}

} // namespace harmolin::test
