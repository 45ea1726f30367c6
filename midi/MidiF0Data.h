// A song as one merged track: the form that is saved, played and handed
// between the parts of the program. Loads format-1 files by merging.
#pragma once

#include "midi/ByteBuffer.h"
#include "midi/MidiTrackData.h"

#include <memory>
#include <string>
#include <vector>

namespace harmolin {

class MidiF0Data : public ByteBuffer {
  public:
    explicit MidiF0Data(int capacity = kSongCapacity);
    MidiF0Data(const MidiF0Data& other);
    MidiF0Data& operator=(const MidiF0Data& other);
    virtual ~MidiF0Data();

    // A song holding a copy of a connected track.
    static MidiF0Data fromTrack(const MidiTrackData& track, int division, int capacity = kSongCapacity);

    // Reads a Standard MIDI File of format 0 or 1 (format 1 is merged). False
    // when the file could not be read or its data was damaged; the song is
    // then empty or holds what could be read.
    bool load(const std::string& path);
    bool loadBytes(const std::uint8_t* bytes, int length);

    // Checks the header at the position (skipping a 128-byte Macintosh
    // header); on success the division is read and the position is 14.
    bool checkHeader(bool report);

    bool parse();
    bool connect();
    bool split();
    bool serialize();
    // Saves from any state and returns to it.
    bool save(const std::string& path);

    // False (reported) when the song would grow too long for a file.
    bool rescale(int newDivision, bool dropShortNotes);
    void removeChannel(int channel);
    bool usesChannel(int channel) const;
    int ticksPerMeasure() const;
    int skipLeadingEmptyMeasures();

    int division() const { return division_; }
    void setDivision(int division) { division_ = division; }
    TrackState state() const { return state_; }
    int timeSignatureOverride() const { return timeSigOverride_; }
    void setTimeSignatureOverride(int code) { timeSigOverride_ = code; }
    MidiTrackData& track() { return *track_; }
    const MidiTrackData& track() const { return *track_; }

  protected:
    bool loadImage(); // parses the bytes in the buffer
    int division_ = 960;
    TrackState state_ = TrackState::Connected;
    int timeSigOverride_ = 0;
    std::unique_ptr<MidiTrackData> track_;
};

// Finds "MThd" at offset 0 or after a 128-byte Macintosh header; returns the
// offset of the header or -1.
int findMidiHeader(const std::uint8_t* bytes, int length);

// The 14-byte "MThd" chunk.
std::vector<std::uint8_t> midiHeader(int format, int tracks, int division);

} // namespace harmolin
