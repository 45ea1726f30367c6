#pragma once

#include "cli/CommandLine.h"

namespace harmolin::cli {

int inspectCommand(const Arguments& args);
int copyCommand(const Arguments& args);
int prepareCommand(const Arguments& args, const std::string& workdir);

} // namespace harmolin::cli
