#pragma once

#include "app/SongPipeline.h"
#include "cli/CommandLine.h"

#include <cstdint>
#include <optional>

namespace harmolin::cli {

// The style a command names: --style NAME, --group G --slot S, or
// --type T [--variant V]. Nothing after printing why.
std::optional<StyleChoice> chooseStyle(const Arguments& args, const StyleTable& table);
// False (after printing why) when --seed is not a 32-bit whole number.
bool parseSeed(const Arguments& args, std::optional<std::uint32_t>& seed);

int composeCommand(const Arguments& args, const std::string& workdir);
int generateCommand(const Arguments& args, const std::string& workdir);
int loadCommand(const Arguments& args, const std::string& workdir);
int stylesCommand(const Arguments& args);
int typesCommand();

} // namespace harmolin::cli
