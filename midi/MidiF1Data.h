// A song as up to 64 tracks (format 1). Loads format-0 files by splitting
// them by channel.
#pragma once

#include "midi/ByteBuffer.h"
#include "midi/MidiF1TrackData.h"

#include <memory>
#include <string>
#include <vector>

namespace harmolin {

class MidiF0Data;

class MidiF1Data : public ByteBuffer {
  public:
    static constexpr int kMaxTracks = 64;

    explicit MidiF1Data(int division = 960, int capacity = kSongCapacity);

    bool load(const std::string& path);
    // Copies the bytes; a format-1 image is parsed and connected, and gets a
    // master volume (reported when asked).
    bool fromMemory(const std::uint8_t* bytes, int length, bool reportMasterVolume);
    // Parses and connects an image as it is, adding nothing.
    bool loadBytes(const std::uint8_t* bytes, int length);
    static MidiF1Data fromSong(const MidiF0Data& song);
    static MidiF1Data fromTracks(const std::vector<const MidiTrackData*>& tracks, int division,
                                 int capacity = kSongCapacity);

    int addEmptyTrack();
    bool checkHeader();
    bool parseAll();
    bool connectAll();
    bool splitAll();
    bool serialize();
    bool save(const std::string& path);
    bool mergeInto(MidiF0Data& song) const;
    bool removeMeta(int type, bool all);
    int masterVolume() const;
    void ensureMasterVolume(bool report);
    bool repairNotes();
    void gmSystemOnFirst();

    int division() const { return division_; }
    TrackState state() const { return state_; }
    int trackCount() const { return static_cast<int>(tracks_.size()); }
    MidiF1TrackData& track(int i) { return *tracks_[static_cast<std::size_t>(i)]; }
    const MidiF1TrackData& track(int i) const { return *tracks_[static_cast<std::size_t>(i)]; }

  private:
    bool loadImage();
    int division_;
    TrackState state_ = TrackState::Connected;
    std::vector<std::unique_ptr<MidiF1TrackData>> tracks_;
};

} // namespace harmolin
