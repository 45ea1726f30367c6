// A track of timed MIDI events, with its serialized chunk.
//
// A track is in one of three forms: serialized (the chunk holds a track
// chunk), note-on/off (events as in a file) or connected (each note one event
// with its length, the form in which notes are composed and edited).
//
// The class keeps the events, the form and the chunk, and the operations
// that move between the forms or keep the list's deltas and size in bounds.
// What is built from those (event factories, queries, transformations) is
// in midi/MidiTrackEdit.h as free functions.
#pragma once

#include "base/ErrorReport.h"
#include "midi/ByteBuffer.h"
#include "midi/MusicEvent.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harmolin {

enum class TrackState : int { Empty = -1, Serialized = 0, NoteOnOff = 1, Connected = 2 };

enum class Placement { After, First };

class MidiTrackData {
  public:
    // More events than this before an append is refused.
    static constexpr int kMaxEvents = 0x1FFFF;
    // The longest track: the largest time a file's four-byte delta can hold.
    static constexpr int kMaxTicks = 0x0FFFFFFF;

    explicit MidiTrackData(int capacity = kSongCapacity, TrackState state = TrackState::Empty);
    virtual ~MidiTrackData() = default;
    MidiTrackData(const MidiTrackData&) = default;
    MidiTrackData& operator=(const MidiTrackData&) = default;
    MidiTrackData(MidiTrackData&&) = default;
    MidiTrackData& operator=(MidiTrackData&&) = default;

    // Deep copy of a connected track (a source in another state is reported).
    [[nodiscard]] static MidiTrackData copyOf(const MidiTrackData& source, int capacity = kSongCapacity);

    [[nodiscard]] TrackState state() const { return state_; }
    void setState(TrackState s) { state_ = s; }
    [[nodiscard]] int count() const { return static_cast<int>(events_.size()); }
    [[nodiscard]] MusicEvent& event(int i) { return events_[static_cast<std::size_t>(i)]; }
    [[nodiscard]] const MusicEvent& event(int i) const { return events_[static_cast<std::size_t>(i)]; }
    [[nodiscard]] std::vector<MusicEvent>& events() { return events_; }
    [[nodiscard]] const std::vector<MusicEvent>& events() const { return events_; }
    // The serialized chunk: filled by serialize, read by parse.
    [[nodiscard]] ByteBuffer& chunk() { return chunk_; }
    [[nodiscard]] const ByteBuffer& chunk() const { return chunk_; }

    // --- life cycle -------------------------------------------------------
    // Copies the track chunk at offset of source (available bytes) and parses
    // it into note-on/off form. Returns false when the chunk was refused or
    // the events ran past its end.
    [[nodiscard]] bool parse(int available, int offset, const std::uint8_t* source, int pauseMs = 0);
    [[nodiscard]] bool connectNotes(); // note-on/off -> connected
    [[nodiscard]] bool splitNotes();   // connected -> note-on/off
    [[nodiscard]] bool serialize(std::string_view chunkName = "MTrk",
                                 bool reorderTicks = true); // note-on/off -> serialized
    // The reordering of tick groups done before serializing: other events to
    // the front, system exclusive first, note-offs before note-ons.
    void orderTickGroups();

    // --- editing -----------------------------------------------------------
    // Inserts are refused (and reported) past kMaxEvents; remove and compact
    // carry a dropped event's delta on, so the events after keep their ticks.
    [[nodiscard]] bool append(MusicEvent event);
    void insertAt(int index, bool before, MusicEvent event);
    void insertAtTime(int tick, MusicEvent event, Placement placement = Placement::After);
    void remove(int index);
    // Drops the events marked deleted, their deltas carried to the next.
    void compact();
    void clear() { events_.clear(); }

    // Reports a track-class code: MDTK for plain tracks, M1TK for format-1 tracks.
    virtual void report(std::uint32_t code) const { reportError(ErrorClass::Mdtk, code); }
    // Data warnings stay in the track class whatever the owner.
    void warnOnce(std::uint32_t code) const { reportOnce(ErrorClass::Mdtk, code); }
    // True in state s; otherwise reports and false.
    [[nodiscard]] bool requireState(TrackState s) const;

  protected:
    std::vector<MusicEvent> events_;
    TrackState state_;

  private:
    [[nodiscard]] bool parseEvents(int& pos, int pauseMs);

    ByteBuffer chunk_;
};

} // namespace harmolin
