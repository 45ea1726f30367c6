#pragma once

#include "cli/CommandLine.h"

namespace harmolin::cli {

[[nodiscard]] int inspectCommand(const Arguments& args);
[[nodiscard]] int copyCommand(const Arguments& args);
[[nodiscard]] int prepareCommand(const Arguments& args, const std::string& workdir);

} // namespace harmolin::cli
