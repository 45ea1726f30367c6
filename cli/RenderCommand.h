#pragma once

#include "cli/CommandLine.h"

namespace harmolin::cli {

// render: a generated or given XF song sung (or played) into a WAV file.
int renderCommand(const Arguments& args, const std::string& workdir);

// The song Play starts from, saved as an XF file at `saved`: generated from
// --type/--style/--group, or copied from --song. 0, or the exit code after
// reporting why not.
int savePlayedSong(const Arguments& args, const std::string& workdir, const std::string& saved);

} // namespace harmolin::cli
