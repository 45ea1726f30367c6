#pragma once

#include "cli/CommandLine.h"

namespace harmolin::cli {

// export: the sung melody of an XF song as a MusicXML score.
[[nodiscard]] int exportCommand(const Arguments& args);

} // namespace harmolin::cli
