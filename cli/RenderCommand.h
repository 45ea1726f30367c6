#pragma once

#include "cli/CommandLine.h"

namespace harmolin::cli {

// render: a generated or given XF song sung (or played) into a WAV file.
int renderCommand(const Arguments& args, const std::string& workdir);

} // namespace harmolin::cli
