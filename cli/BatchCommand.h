#pragma once

#include "cli/CommandLine.h"

#include <string>

namespace harmolin::cli {

// batch: many generated songs at once, each in its own worker process.
[[nodiscard]] int batchCommand(const Arguments& args, const std::string& workdir);

} // namespace harmolin::cli
