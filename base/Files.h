// Paths and whole-file writes, the same for every layer.
#pragma once

#include <cstddef>
#include <string>

namespace harmolin {

// Joins a file name to a folder with one separator; the root folder "/"
// (or any folder already ending in "/") gets none added.
[[nodiscard]] std::string joinPath(const std::string& folder, const std::string& name);

// Writes bytes to path through a temporary file and a rename; false on failure
// (nothing reported).
[[nodiscard]] bool writeFileAtomically(const std::string& path, const void* data, std::size_t length);

} // namespace harmolin
