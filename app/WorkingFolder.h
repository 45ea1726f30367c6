// The working folder: where the working files and the settings live.
#pragma once

#include "base/Files.h"

#include <string>

namespace harmolin {

// The names of the files each stage hands to the next.
inline constexpr const char* kComposedFile = "temp_znr.mid";
inline constexpr const char* kPreparedFile = "temp_dv.mid";
inline constexpr const char* kPlaybackSaveFile = "temp_plsv.mid";
inline constexpr const char* kSungFile = "temp_pl.mid";

// The current directory, or an empty string when it cannot be read (reported).
[[nodiscard]] std::string currentWorkingFolder();

} // namespace harmolin
