#pragma once

#include "cli/CommandLine.h"

namespace harmolin::cli {

int sequenceCommand(const Arguments& args, const std::string& workdir);

} // namespace harmolin::cli
