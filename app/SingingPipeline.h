// Play's file stages before singing: the current song saved as
// "temp_plsv.mid", read back, its lyrics made singable, the sung part written.
#pragma once

#include "lyrics/VoiceList.h"
#include "midi/PluginKind.h"

#include <optional>
#include <string>

namespace harmolin {

// What the sung part is written for.
struct SungPartRequest {
    int delayMs = 0; // the accompaniment is held back by it
    // The voice track's form: the control stream for a control-stream
    // singer, notes with syllable programs for the other kinds.
    PluginKind kind = PluginKind::VocaloidStream;
    // The singer list loaded beside the plug-in. A singer without one cannot
    // be sequenced (reported); an instrument needs none.
    std::optional<VoiceList> singers;
};

// The singer list of the plug-in at pluginPath as its kind finds it (none for
// an instrument).
[[nodiscard]] std::optional<VoiceList> singersBeside(const std::string& pluginPath, PluginKind kind,
                                                     const std::string& dataFolder);

// Writes the sung part of the XF song at xfSong to output. False (reported)
// when a stage fails; nothing is written then.
[[nodiscard]] bool writeSungFile(const std::string& xfSong, const std::string& workingFolder,
                                 const std::string& dataFolder, const SungPartRequest& request,
                                 const std::string& output);

// The same from the song already saved as "temp_plsv.mid" at saved: read
// back, made singable, sequenced.
[[nodiscard]] bool writeSungFileFromSaved(const std::string& saved, const std::string& workingFolder,
                                          const std::string& dataFolder, const SungPartRequest& request,
                                          const std::string& output);

} // namespace harmolin
