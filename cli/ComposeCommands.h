#pragma once

#include "app/SongPipeline.h"
#include "cli/CommandLine.h"

#include <cstdint>
#include <optional>

namespace harmolin::cli {

// The style a command names: --style NAME, --group G --slot S, or
// --type T [--variant V]. Nothing after printing why.
[[nodiscard]] std::optional<StyleChoice> chooseStyle(const Arguments& args, const StyleTable& table);
// False (after printing why) when --seed is not a 32-bit whole number.
[[nodiscard]] bool parseSeed(const Arguments& args, std::optional<std::uint32_t>& seed);

[[nodiscard]] int composeCommand(const Arguments& args, const std::string& workdir);
[[nodiscard]] int generateCommand(const Arguments& args, const std::string& workdir);
[[nodiscard]] int loadCommand(const Arguments& args, const std::string& workdir);
[[nodiscard]] int stylesCommand(const Arguments& args);
[[nodiscard]] int typesCommand();

} // namespace harmolin::cli
