#pragma once

#include "cli/CommandLine.h"

namespace harmolin::cli {

// play: a generated or given XF song sung (or played) in real time.
[[nodiscard]] int playCommand(const Arguments& args, const std::string& workdir);

} // namespace harmolin::cli
