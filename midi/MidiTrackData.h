// A track of timed MIDI events, with its serialized chunk.
//
// A track is in one of three forms: serialized (the buffer holds a track
// chunk), note-on/off (events as in a file) or connected (each note one event
// with its length, the form in which notes are composed and edited).
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

class MidiTrackData : public ByteBuffer {
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
    [[nodiscard]] bool append(MusicEvent event);
    void insertAt(int index, bool before, MusicEvent event);
    void insertAtTime(int tick, MusicEvent event, Placement placement = Placement::After);
    void remove(int index);
    [[nodiscard]] bool removeMeta(int type, bool all);
    [[nodiscard]] bool removeFirstControlChange(int controller);
    void removeAllPitchBends();
    void swapEvents(int i, int j);
    void compact();
    void clear() { events_.clear(); }
    void ensureEndOfTrack(int delta = 0);
    [[nodiscard]] bool merge(const std::vector<const MidiTrackData*>& sources);

    // --- factories -----------------------------------------------------------
    void addNote(int channel, int delta, int note, int velocity, int length);
    void addControlChange(int channel, int controller, int value, int delta = 0);
    void addProgramChange(int channel, int program, int delta = 0);
    void addBankProgram(int channel, int bankMsb, int bankLsb, int program);
    void addBankProgram(int channel, int bankMsb, int program);
    void addTempo(int microsecondsPerQuarter, int delta = 0);
    void addTimeSignature(int numerator, int denominatorPower, int delta = 0);
    void addKeySignature(int tonic, bool minor, int delta = 0);
    void addMeta(int delta, int type, const std::uint8_t* bytes, int length);
    void addMarker(int delta, std::string_view text);
    void addTextAtStart(int type, std::string_view text);
    void addGmSystemOn(int delta = 0);
    void addGsReset(int delta = 0);
    void addXgSystemOn(int delta = 0);
    void insertMasterVolume(int value, int index);
    void addXgDisplayText(int delta, std::string_view text);
    void addGsDisplayText(int delta, std::string_view text);

    // --- queries ----------------------------------------------------------------
    [[nodiscard]] int tempoAt(int tick) const;    // 600000 when there is none
    [[nodiscard]] int firstTempo() const;         // 600000 when there is none
    [[nodiscard]] int firstTimeSignature() const; // code, 0 when there is none
    [[nodiscard]] std::optional<std::string> firstMetaText(int type) const;
    [[nodiscard]] int programOf(int channel) const; // -1 when none
    [[nodiscard]] bool programAbove15(int channel) const;
    [[nodiscard]] int masterVolume() const; // -1 when none
    [[nodiscard]] bool isDrumChannel(int channel) const;
    [[nodiscard]] int firstChannel() const; // -1 when no channel event
    [[nodiscard]] int noteCount() const;
    [[nodiscard]] int firstNoteIndex() const;           // -1 when none
    [[nodiscard]] int ticksToNextNote(int index) const; // -1 when none
    [[nodiscard]] int totalLength() const;
    // Absolute tick of every event (same order as the list).
    [[nodiscard]] std::vector<int> absoluteTimes() const;
    // Rewrites the deltas from absolute ticks (same order as the list).
    void setAbsoluteTimes(const std::vector<int>& times);

    // --- transformations (connected form) ----------------------------------------
    [[nodiscard]] bool rescale(int oldDivision, int newDivision, bool dropShortNotes);
    void transpose(int channel, int semitones);
    void velocityOffset(int amount);
    void reduceToTopVoice();
    void swing(int window);
    void setControllerValue(int controller, int value, int channel);
    void swapChannels(int a, int b);
    void moveChannel(int from, int to);
    void moveToFrontOfTick(int kind, int type, std::string_view pattern = {});

  protected:
    // Reports a track-class code: MDTK for plain tracks, M1TK for format-1 tracks.
    virtual void report(std::uint32_t code) const { reportError(ErrorClass::Mdtk, code); }
    // Data warnings stay in the track class whatever the owner.
    void warnOnce(std::uint32_t code) const { reportOnce(ErrorClass::Mdtk, code); }
    [[nodiscard]] bool requireState(TrackState s) const;

    std::vector<MusicEvent> events_;
    TrackState state_;

  private:
    [[nodiscard]] bool parseEvents(int pauseMs);
    void renumberChannels(int a, int b, bool swap);
};

} // namespace harmolin
