// The program's own data (pattern databases, word lists, pictures): in
// share/harmolin next to an installed executable, data/ in the source tree.
#pragma once

#include <string>

namespace harmolin {

// The data folder, found from the running executable (HARMOLIN_DATA in the
// environment overrides it). Empty when none exists.
[[nodiscard]] std::string dataFolder();

// The folder of the running executable; empty when it cannot be found.
[[nodiscard]] std::string executableFolder();

// Our own singing plug-in "harmolin-voice.so" beside the program: lib/ of the
// build tree, lib/harmolin/ when installed. When neither exists, the build
// tree's place (so a message names where it was looked for); empty when the
// executable's folder is unknown.
[[nodiscard]] std::string defaultPluginPath();

} // namespace harmolin
