// A MIDI file flattened for measuring: every track merged into one list in
// time order, each event stamped with the sample at which it sounds, worked
// out from the ticks through the file's tempo map.
#pragma once

#include "midi/MusicEvent.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace harmolin {

struct TimedEvent {
    std::int64_t sample = 0;
    long long tick = 0;
    MusicEvent event;
};

struct MidiSchedule {
    int division = 480;
    std::vector<TimedEvent> events; // channel messages and system exclusive only
    std::int64_t lastSample = 0;    // the last event of any kind, end of track included
    long long lastTick = 0;
};

// Samples per second of everything the renderer makes.
inline constexpr int kRenderRate = 44100;

// Reads a Standard MIDI File (format 0 or 1). False when it cannot be read;
// the reason has then been reported.
[[nodiscard]] bool loadMidiSchedule(const std::string& path, MidiSchedule& out);

// Microseconds per quarter note as a player takes them: absurdly slow tempos
// play at 10 beats per minute, impossible ones at 60.
[[nodiscard]] int playableTempo(int microsecondsPerQuarter);

class MidiF0Data;

// Walks a song's events with the second each is played at, by its tempo map
// as the player takes it, until `visit` returns false. Gives the second it
// stopped at, else the song's last.
double walkSongSeconds(const MidiF0Data& song,
                       const std::function<bool(double seconds, const MusicEvent& event)>& visit);

// The seconds a song lasts by its tempo map.
[[nodiscard]] double songSeconds(const MidiF0Data& song);

} // namespace harmolin
