#pragma once

#include "cli/CommandLine.h"

namespace harmolin::cli {

[[nodiscard]] int sequenceCommand(const Arguments& args, const std::string& workdir);

} // namespace harmolin::cli
