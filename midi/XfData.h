// Songs in Yamaha's XF form: a format-0 file whose track chunk is followed by
// an "XFIH" information chunk and an "XFKM" chunk with the lyric events.
#pragma once

#include "midi/MidiF0Data.h"

#include <memory>
#include <vector>

namespace harmolin {

class CXfData : public MidiF0Data {
  public:
    CXfData();
    // A song from a connected track and a lyric track (note-on/off form).
    CXfData(const MidiTrackData& songTrack, MidiTrackData karaokeTrack, int division);

    // Without a result flag a file that is not XF is reported "Not XF
    // Format!"; with one the outcome goes to the flag (1 XF, 0 not) silently.
    [[nodiscard]] bool load(const std::string& path, int pauseMs = 0, int* result = nullptr);
    [[nodiscard]] bool loadBytes(const std::uint8_t* bytes, int length, int pauseMs = 0,
                                 int* result = nullptr);
    [[nodiscard]] bool save(const std::string& path);
    // The whole file image, as save writes it.
    [[nodiscard]] bool image(std::vector<std::uint8_t>& out);

    void removeRuby();
    [[nodiscard]] bool masterVolumeAfterReset(bool insert);

    [[nodiscard]] const std::vector<std::uint8_t>& headerBytes() const { return header_; }
    [[nodiscard]] MidiTrackData& karaokeTrack() { return karaoke_; }
    [[nodiscard]] const MidiTrackData& karaokeTrack() const { return karaoke_; }

  private:
    [[nodiscard]] bool loadXfImage(int pauseMs, int* result);
    std::vector<std::uint8_t> header_;
    MidiTrackData karaoke_;
    int pause_ = 0;
};

} // namespace harmolin
