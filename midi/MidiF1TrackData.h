// One track of a format-1 song, with the melody-shaping operations.
#pragma once

#include "midi/MidiTrackData.h"

namespace harmolin {

class MidiF1TrackData : public MidiTrackData {
  public:
    explicit MidiF1TrackData(int capacity = kSongCapacity / 2, TrackState state = TrackState::Empty);
    explicit MidiF1TrackData(const MidiTrackData& track);

    [[nodiscard]] int pitchBendSensitivity() const;
    void removeSensitivityEntries();
    void setSensitivity(int semitones);
    void legato(int maximumTicks);
    void pitchBendToNotes(int sensitivity);
    void thinPitchBends();
    void glide(int window, int steps, int range);
    void delayedVibrato(int delay);
    void expressionAttack(int window, int steps);

    // Removes all controllers of a number (modulation, sustain, expression).
    void removeControlChanges(int controller);
    // The shaping a melody loaded from a file gets before it is sung.
    void prepareMelodyForSinging();

    void report(std::uint32_t code) const override { reportError(ErrorClass::M1tk, code); }
};

// Velocity of a note bent d semitones away from its own pitch.
[[nodiscard]] int decayedVelocity(int velocity, int distance);

} // namespace harmolin
