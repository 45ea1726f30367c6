// The settings record: the singing plug-in, the measured delay of its voice,
// the playback sound, the dance mode, the guide-melody volume and the lyric
// ticker switch. "setup.ini" in the working folder holds it byte for byte:
// 292 bytes, little-endian, no header.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace harmolin {

inline constexpr int kSettingsFileSize = 292;
inline constexpr int kSettingsPathBytes = 260;
inline constexpr const char* kSettingsFileName = "setup.ini";

struct SettingsRecord {
    std::string pluginPath; // at most 259 bytes are kept
    std::int32_t delayCorrection = -1;
    std::int32_t playbackSound = -1; // -1 voice, else a GM program
    std::int32_t danceMode = 2;      // 0 none, 1 drums, 2 guide melody
    std::int32_t guideVolume = 42;   // 0..127
    std::int32_t showLyrics = 0;
    std::array<std::uint8_t, 12> reserved{};

    // The defaults: the project's own singing plug-in beside the program.
    [[nodiscard]] static SettingsRecord defaults();

    [[nodiscard]] std::array<std::uint8_t, kSettingsFileSize> toBytes() const;
    [[nodiscard]] static SettingsRecord fromBytes(const std::uint8_t* bytes);
};

// Reads "setup.ini" at path; the defaults when it is missing, short or unreadable.
[[nodiscard]] SettingsRecord loadSettings(const std::string& path, const SettingsRecord& defaults);
// Writes through a temporary file renamed over path; a failure is reported
// (errc::kCannotOpenFile) and leaves any previous file as it was.
[[nodiscard]] bool storeSettings(const std::string& path, const SettingsRecord& record);

} // namespace harmolin
