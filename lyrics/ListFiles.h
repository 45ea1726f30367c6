// The word-list loader: small two-column text lists ("kanji.csv",
// "english.csv") in code page 932.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace harmolin {

// Limits of a list file: the whole file is read at once.
inline constexpr int kListMaxBytes = 0x100000;
inline constexpr int kListMaxRows = 40000;
inline constexpr int kListMaxFieldBytes = 254;

struct ListFile {
    std::vector<std::array<std::string, 2>> rows; // fields as CP932 bytes
    bool complete = false; // false when the file was missing or an error stopped the loading
};

// Reads a list of two fields a row. Errors are reported (GNLL line, then the
// path) and the rows read before the error are kept. A name without a folder
// is taken from the current directory.
[[nodiscard]] ListFile loadListFile(const std::string& path, char separator = ',');

// The same from bytes already in memory; `where` names them in reports.
[[nodiscard]] ListFile parseListFile(const std::string& bytes, const std::string& where,
                                     char separator = ',');

} // namespace harmolin
