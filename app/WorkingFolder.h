// The working folder: where the working files and the settings live.
#pragma once

#include <string>

namespace harmolin {

// The names of the files each stage hands to the next.
inline constexpr const char* kComposedFile = "temp_znr.mid";
inline constexpr const char* kPreparedFile = "temp_dv.mid";
inline constexpr const char* kPlaybackSaveFile = "temp_plsv.mid";
inline constexpr const char* kSungFile = "temp_pl.mid";

// Joins a file name to a folder with one separator; the root folder "/"
// (or any folder already ending in "/") gets none added.
[[nodiscard]] std::string joinPath(const std::string& folder, const std::string& name);

// The current directory, or an empty string when it cannot be read (reported).
[[nodiscard]] std::string currentWorkingFolder();

} // namespace harmolin
