// The measured delay of a singing plug-in, kept in the working folder so a
// song starts without a test note: one line per plug-in and way of
// measuring, valid while the plug-in file keeps its path, time and size.
#pragma once

#include <optional>
#include <string>

namespace harmolin {

inline constexpr const char* kVoiceDelayFile = "voicedelay.txt";

// How the delay was found: on the offline renderer's sample clock, in a
// private instance of the plug-in that nothing hears; or by the user's Auto
// Adjust through the live output (or a figure the user set in setup.ini),
// which Play prefers to the offline one.
[[nodiscard]] std::string offlineDelayKind();
[[nodiscard]] std::string adjustedDelayKind();

// The delay kept for the plug-in, when its file has not changed since.
[[nodiscard]] std::optional<int> cachedVoiceDelay(const std::string& workingFolder, const std::string& kind,
                                                  const std::string& pluginPath);

// Whether any delay was ever kept for the plug-in at this path, whatever
// its file was then: false means the cache knows nothing of it.
[[nodiscard]] bool voiceDelayKeptForPath(const std::string& workingFolder, const std::string& pluginPath);

// The delay Play uses, in the window and the terminal alike: the adjusted
// figure for the plug-in as its file is now, else the offline one.
[[nodiscard]] std::optional<int> keptPlayDelay(const std::string& workingFolder,
                                               const std::string& pluginPath);

// Keeps the delay for the plug-in as its file is now (replacing an older
// line). False when the plug-in or the cache file cannot be reached; the
// delay is then simply measured again next time.
[[nodiscard]] bool storeVoiceDelay(const std::string& workingFolder, const std::string& kind,
                                   const std::string& pluginPath, int delayMs);

} // namespace harmolin
