// The sung song as an audio file: the Play road (song saved, sung part
// sequenced with the voice's own delay measured, the same session, player
// and host) run against a sample clock into WAV, FLAC or Ogg Vorbis by the
// file's extension. The window's Save and the terminal's render both come
// here. No GUI code; the window runs it on a worker thread.
#pragma once

#include "midi/PluginKind.h"
#include "playback/OfflineRenderer.h"

#include <functional>
#include <optional>
#include <string>

namespace harmolin {

class CXfData;

struct AudioExportSettings {
    bool sung = true;                                   // false: the melody played on melodyProgram
    int melodyProgram = 64;                             // GM program, 0..127
    std::string pluginPath;                             // the singing plug-in when sung
    PluginKind pluginKind = PluginKind::VocaloidStream; // how it is driven (pluginKindOf)
    // The plug-in's delay when already known; otherwise the one kept in the
    // working folder for this plug-in, else measured (and then kept).
    std::optional<int> voiceDelayMs;
    std::string stemsFolder; // empty: no stems
};

// The offline delay kept in the working folder for this plug-in, while the
// plug-in file is unchanged.
[[nodiscard]] std::optional<int> knownVoiceDelay(const std::string& pluginPath,
                                                 const std::string& workingFolder);

// Measures the plug-in's offline delay on the sung part at sungPart (sequenced
// without correction) and keeps it in the working folder for this plug-in
// file. Nothing when the measurement fails: error then says why.
[[nodiscard]] std::optional<int> measureAndKeepVoiceDelay(const std::string& pluginPath, PluginKind kind,
                                                          const std::string& sungPart,
                                                          const std::string& workingFolder,
                                                          std::string& error);

// Renders the song into outputPath, using the working folder's playback
// files. progress (any thread) gets the share done and may return false to
// stop; the result says why when it fails, and nothing is written then. The
// result also carries the voice delay used.
[[nodiscard]] RenderResult exportSongAudio(const CXfData& song, const AudioExportSettings& settings,
                                           const std::string& workingFolder, const std::string& dataFolder,
                                           const std::string& outputPath,
                                           std::function<bool(double done)> progress = {});

} // namespace harmolin
