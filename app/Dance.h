// The dancing figure without any GUI: dance sets and their pictures, poses,
// random dances, the beat that steps them, the busy animation and the lyric
// ticker. The figure composes itself into an RGB image (black is
// transparent, parts OR-ed, left halves mirrored) that a window only blits.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace harmolin {

struct MusicEvent;

// An RGB picture, 0x00RRGGBB per pixel, rows top to bottom.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    [[nodiscard]] bool empty() const { return width <= 0 || height <= 0; }
    [[nodiscard]] std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * width + x];
    }
};

// Reads an uncompressed Windows bitmap (1, 4, 8, 24 or 32 bits); an empty
// image when the file is missing or damaged.
[[nodiscard]] RgbImage loadBmp(const std::string& path);
// The same from the bytes of a file (for the fuzz target).
[[nodiscard]] RgbImage decodeBmp(const std::uint8_t* data, std::size_t size);
// Writes a 24-bit bitmap (for the artwork generator and tests).
[[nodiscard]] bool saveBmp(const std::string& path, const RgbImage& image);

struct DanceSet {
    const char* name; // folder in the data folder's "dance"
    int headTop;
    int bodyTop;
    int legsTop;
};

// The set of each song type 0..4: "Bunny", "Pops", "Man", "Child", "Horror".
[[nodiscard]] const DanceSet& danceSet(int songType);
inline constexpr int kDanceSets = 5;

struct Pose {
    int head = 0, leftBody = 0, rightBody = 0, leftLeg = 0, rightLeg = 0; // -1: not drawn
    bool operator==(const Pose&) const = default;
};

inline constexpr Pose kStartPose{0, 0, 1, 0, 1};
inline constexpr Pose kRestPose{0, 0, 0, 0, 0};

class DanceFigure {
  public:
    // randRange(lo, hi): an integer in lo..hi inclusive (the engine's generator).
    using RandomRange = std::function<int(int lo, int hi)>;

    DanceFigure(int width, int height, RandomRange random);

    // Called after every change of the pose or the ticker, on the thread that
    // made it and outside the figure's lock (a window queues a repaint).
    void setOnChange(std::function<void()> onChange);

    // Loads the set's pictures from dataFolder/dance/<name>/; missing or
    // unreadable files are left out of the part's list.
    void changeSet(int songType, const std::string& dataFolder);
    [[nodiscard]] int set() const;

    void setPose(const Pose& pose);
    [[nodiscard]] Pose pose() const;
    // New random dance of n poses (n > 10 is reported and cut to 10).
    void makeDance(int n, bool keepAFoot);
    // The dance's next pose, from its first again after the last.
    void nextStep();
    // A beat: every 24th makes a new dance first; then the next pose.
    void danceStep();
    // Timer 1 while a song is being prepared: alternates two poses.
    void busyStep();
    // Rest pose and an empty ticker.
    void stop();

    void setShowLyrics(bool on);
    void addLyric(const std::string& cp932);
    [[nodiscard]] std::string ticker() const; // CP932 bytes

    // The figure drawn on black (without the ticker text, which the window
    // draws with its own font).
    [[nodiscard]] RgbImage render() const;

    [[nodiscard]] int width() const { return width_; }
    [[nodiscard]] int height() const { return height_; }
    [[nodiscard]] int headCount() const;
    [[nodiscard]] int bodyCount() const;
    [[nodiscard]] int legCount() const;

  private:
    int width_;
    int height_;
    RandomRange random_;
    mutable std::mutex mutex_; // the player's thread steps, the window draws
    int set_ = 0;
    std::vector<RgbImage> heads_, bodies_, legs_;
    Pose pose_ = kStartPose;
    std::vector<Pose> dance_;
    int step_ = 0;
    long long steps_ = 0;
    bool busyToggle_ = false;
    bool showLyrics_ = false;
    std::string ticker_;
    std::function<void()> onChange_;

    void makeDanceLocked(int n, bool keepAFoot);
    void nextStepLocked();
    void changed();
};

// Whether an event is a dance beat for the mode: mode 1, a note-on on channel
// 10 with note 35, 36, 38 or 40; mode 2, a note-on on channel 11; each at a
// tick other than the last beat's. Channels count from 0 as in MusicEvent
// (9 is channel 10), kind is the event kind (0x90 note-on; velocity 0 is a
// note-off).
class DanceBeat {
  public:
    [[nodiscard]] bool isBeat(int mode, int channel, int kind, int note, int velocity, long long tick);
    [[nodiscard]] bool isBeat(int mode, const MusicEvent& event, long long tick);
    void reset() { lastTick_ = -1; }

  private:
    long long lastTick_ = -1;
};

} // namespace harmolin
