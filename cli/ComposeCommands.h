#pragma once

#include "cli/CommandLine.h"

namespace harmolin::cli {

int composeCommand(const Arguments& args, const std::string& workdir);
int generateCommand(const Arguments& args, const std::string& workdir);
int loadCommand(const Arguments& args, const std::string& workdir);
int stylesCommand(const Arguments& args);
int typesCommand();

} // namespace harmolin::cli
