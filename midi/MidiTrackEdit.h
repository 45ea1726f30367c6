// What the engine, the song pipeline and the writers do to a track once it is
// in memory: event factories, queries and transformations, built on the
// track's own editing operations. Problems are reported in the track's class.
#pragma once

#include "midi/MidiTrackData.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harmolin {

// --- factories: each appends (or inserts) one event ------------------------------
void addNote(MidiTrackData& track, int channel, int delta, int note, int velocity, int length);
void addControlChange(MidiTrackData& track, int channel, int controller, int value, int delta = 0);
void addProgramChange(MidiTrackData& track, int channel, int program, int delta = 0);
void addBankProgram(MidiTrackData& track, int channel, int bankMsb, int bankLsb, int program);
void addBankProgram(MidiTrackData& track, int channel, int bankMsb, int program);
void addTempo(MidiTrackData& track, int microsecondsPerQuarter, int delta = 0);
void addTimeSignature(MidiTrackData& track, int numerator, int denominatorPower, int delta = 0);
void addKeySignature(MidiTrackData& track, int tonic, bool minor, int delta = 0);
void addMeta(MidiTrackData& track, int delta, int type, const std::uint8_t* bytes, int length);
void addMarker(MidiTrackData& track, int delta, std::string_view text);
void addTextAtStart(MidiTrackData& track, int type, std::string_view text);
void addGmSystemOn(MidiTrackData& track, int delta = 0);
void addGsReset(MidiTrackData& track, int delta = 0);
void addXgSystemOn(MidiTrackData& track, int delta = 0);
void insertMasterVolume(MidiTrackData& track, int value, int index);
void addXgDisplayText(MidiTrackData& track, int delta, std::string_view text);
void addGsDisplayText(MidiTrackData& track, int delta, std::string_view text);
// An end of track after the last event, unless there is one already.
void ensureEndOfTrack(MidiTrackData& track, int delta = 0);

// --- removals -------------------------------------------------------------------------
[[nodiscard]] bool removeMeta(MidiTrackData& track, int type, bool all);
[[nodiscard]] bool removeFirstControlChange(MidiTrackData& track, int controller);
void removeAllPitchBends(MidiTrackData& track);
void swapEvents(MidiTrackData& track, int i, int j);

// --- queries --------------------------------------------------------------------------
[[nodiscard]] int tempoAt(const MidiTrackData& track, int tick);  // 600000 when there is none
[[nodiscard]] int firstTempo(const MidiTrackData& track);         // 600000 when there is none
[[nodiscard]] int firstTimeSignature(const MidiTrackData& track); // code, 0 when there is none
[[nodiscard]] std::optional<std::string> firstMetaText(const MidiTrackData& track, int type);
[[nodiscard]] int programOf(const MidiTrackData& track, int channel); // -1 when none
[[nodiscard]] bool programAbove15(const MidiTrackData& track, int channel);
[[nodiscard]] int masterVolume(const MidiTrackData& track); // -1 when none
[[nodiscard]] bool isDrumChannel(const MidiTrackData& track, int channel);
[[nodiscard]] int firstChannel(const MidiTrackData& track); // -1 when no channel event
[[nodiscard]] int noteCount(const MidiTrackData& track);
[[nodiscard]] int firstNoteIndex(const MidiTrackData& track);             // -1 when none
[[nodiscard]] int ticksToNextNote(const MidiTrackData& track, int index); // -1 when none
[[nodiscard]] int totalLength(const MidiTrackData& track);
// Absolute tick of every event (same order as the list).
[[nodiscard]] std::vector<int> absoluteTimes(const MidiTrackData& track);
// Rewrites the deltas from absolute ticks (same order as the list).
void setAbsoluteTimes(MidiTrackData& track, const std::vector<int>& times);

// --- transformations (connected form) ----------------------------------------------
[[nodiscard]] bool rescale(MidiTrackData& track, int oldDivision, int newDivision, bool dropShortNotes);
void transpose(MidiTrackData& track, int channel, int semitones);
void velocityOffset(MidiTrackData& track, int amount);
void reduceToTopVoice(MidiTrackData& track);
void swing(MidiTrackData& track, int window);
void setControllerValue(MidiTrackData& track, int controller, int value, int channel);
void swapChannels(MidiTrackData& track, int a, int b);
void moveChannel(MidiTrackData& track, int from, int to);
void moveToFrontOfTick(MidiTrackData& track, int kind, int type, std::string_view pattern = {});
// Replaces the track's events by the sources' merged in time order (one end
// of track, at the latest source's end). False (track unchanged) when there
// are no sources or the result would be too long.
[[nodiscard]] bool merge(MidiTrackData& track, const std::vector<const MidiTrackData*>& sources);

} // namespace harmolin
