#pragma once

#include "cli/CommandLine.h"
#include "lyrics/VoiceList.h"
#include "midi/PluginKind.h"

#include <optional>
#include <string>

namespace harmolin {
class CXfData;
}

namespace harmolin::cli {

// render: a generated or given XF song sung (or played) into a WAV file.
[[nodiscard]] int renderCommand(const Arguments& args, const std::string& workdir);

// The song Play starts from, saved as an XF file at `saved` and read back
// into `song`: generated from --type/--style/--group, or copied from --song.
// 0, or the exit code after reporting why not.
[[nodiscard]] int savePlayedSong(const Arguments& args, const std::string& workdir, const std::string& saved,
                                 CXfData& song);

// The sound Play uses, from --sound, --plugin and --plugin-kind: the plug-in
// when the voice sings (it must exist), none for the instrument.
struct SoundChoice {
    bool sung = true;
    std::string plugin; // empty unless sung
    PluginKind kind = PluginKind::VocaloidStream;
    std::optional<VoiceList> singers; // read beside the plug-in; none for an instrument
};
// Nothing after printing why; exitCode is then 2 for a wrong option, 1 for a
// missing plug-in.
[[nodiscard]] std::optional<SoundChoice> chooseSound(const Arguments& args, int& exitCode);

} // namespace harmolin::cli
