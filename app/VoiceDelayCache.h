// The measured delay of a singing plug-in, kept in the working folder so a
// song starts without a test note: one line per plug-in and way of
// measuring, valid while the plug-in file keeps its path, time and size.
#pragma once

#include <optional>
#include <string>

namespace harmolin {

inline constexpr const char* kVoiceDelayFile = "voicedelay.txt";

// How the delay was measured: the offline renderer's sample clock, or a live
// audio device (by its name), whose own latency is part of the figure.
[[nodiscard]] std::string offlineDelayKind();
[[nodiscard]] std::string liveDelayKind(const std::string& audioDevice);

// The delay kept for the plug-in, when its file has not changed since.
[[nodiscard]] std::optional<int> cachedVoiceDelay(const std::string& workingFolder, const std::string& kind,
                                                  const std::string& pluginPath);

// Keeps the delay for the plug-in as its file is now (replacing an older
// line). False when the plug-in or the cache file cannot be reached; the
// delay is then simply measured again next time.
[[nodiscard]] bool storeVoiceDelay(const std::string& workingFolder, const std::string& kind,
                                   const std::string& pluginPath, int delayMs);

} // namespace harmolin
