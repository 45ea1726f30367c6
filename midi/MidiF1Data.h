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

    [[nodiscard]] bool load(const std::string& path);
    // Copies the bytes; a format-1 image is parsed and connected, and gets a
    // master volume (reported when asked).
    [[nodiscard]] bool fromMemory(const std::uint8_t* bytes, int length, bool reportMasterVolume);
    // Parses and connects an image as it is, adding nothing.
    [[nodiscard]] bool loadBytes(const std::uint8_t* bytes, int length);
    [[nodiscard]] static MidiF1Data fromSong(const MidiF0Data& song);
    [[nodiscard]] static MidiF1Data fromTracks(const std::vector<const MidiTrackData*>& tracks, int division,
                                               int capacity = kSongCapacity);

    [[nodiscard]] int addEmptyTrack();
    [[nodiscard]] bool checkHeader();
    [[nodiscard]] bool parseAll();
    [[nodiscard]] bool connectAll();
    [[nodiscard]] bool splitAll();
    [[nodiscard]] bool serialize();
    [[nodiscard]] bool save(const std::string& path);
    [[nodiscard]] bool mergeInto(MidiF0Data& song) const;
    [[nodiscard]] bool removeMeta(int type, bool all);
    [[nodiscard]] int masterVolume() const;
    void ensureMasterVolume(bool report);
    [[nodiscard]] bool repairNotes();
    void gmSystemOnFirst();

    [[nodiscard]] int division() const { return division_; }
    [[nodiscard]] TrackState state() const { return state_; }
    [[nodiscard]] int trackCount() const { return static_cast<int>(tracks_.size()); }
    [[nodiscard]] MidiF1TrackData& track(int i) { return *tracks_[static_cast<std::size_t>(i)]; }
    [[nodiscard]] const MidiF1TrackData& track(int i) const { return *tracks_[static_cast<std::size_t>(i)]; }

  private:
    [[nodiscard]] bool loadImage();
    int division_;
    TrackState state_ = TrackState::Connected;
    std::vector<std::unique_ptr<MidiF1TrackData>> tracks_;
};

} // namespace harmolin
