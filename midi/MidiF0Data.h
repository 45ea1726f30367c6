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
    [[nodiscard]] static MidiF0Data fromTrack(const MidiTrackData& track, int division,
                                              int capacity = kSongCapacity);

    // Reads a Standard MIDI File of format 0 or 1 (format 1 is merged). False
    // when the file could not be read or its data was damaged; the song is
    // then empty or holds what could be read.
    [[nodiscard]] bool load(const std::string& path);
    [[nodiscard]] bool loadBytes(const std::uint8_t* bytes, int length);

    // Checks the header at the position (skipping a 128-byte Macintosh
    // header); on success the division is read and the position is 14.
    [[nodiscard]] bool checkHeader(bool report);

    [[nodiscard]] bool parse();
    [[nodiscard]] bool connect();
    [[nodiscard]] bool split();
    [[nodiscard]] bool serialize();
    // Saves from any state and returns to it.
    [[nodiscard]] bool save(const std::string& path);

    // False (reported) when the song would grow too long for a file.
    [[nodiscard]] bool rescale(int newDivision, bool dropShortNotes);
    void removeChannel(int channel);
    [[nodiscard]] bool usesChannel(int channel) const;
    [[nodiscard]] int ticksPerMeasure() const;
    [[nodiscard]] int skipLeadingEmptyMeasures();

    [[nodiscard]] int division() const { return division_; }
    void setDivision(int division) { division_ = division; }
    // The track owns the state; the song's bytes follow it (Serialized: the
    // file image is in the song's buffer).
    [[nodiscard]] TrackState state() const { return track_->state(); }
    [[nodiscard]] int timeSignatureOverride() const { return timeSigOverride_; }
    void setTimeSignatureOverride(int code) { timeSigOverride_ = code; }
    [[nodiscard]] MidiTrackData& track() { return *track_; }
    [[nodiscard]] const MidiTrackData& track() const { return *track_; }

  protected:
    [[nodiscard]] bool loadImage(); // parses the bytes in the buffer
    int division_ = 960;
    int timeSigOverride_ = 0;
    std::unique_ptr<MidiTrackData> track_;
};

// Finds "MThd" at offset 0 or after a 128-byte Macintosh header; returns the
// offset of the header or -1.
[[nodiscard]] int findMidiHeader(const std::uint8_t* bytes, int length);

// The 14-byte "MThd" chunk.
[[nodiscard]] std::vector<std::uint8_t> midiHeader(int format, int tracks, int division);

} // namespace harmolin
