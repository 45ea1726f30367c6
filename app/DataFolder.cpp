#include "app/DataFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace harmolin {
namespace fs = std::filesystem;

namespace {

bool hasPatterns(const fs::path& folder) {
    std::error_code ec;
    return fs::is_regular_file(folder / "patterns" / "PATTERN.DB", ec);
}

constexpr const char* kPluginFile = "harmolin-voice.so";

} // namespace

std::string executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

std::string dataFolder() {
    if (const char* env = std::getenv("HARMOLIN_DATA"); env && *env) return env;
    std::error_code ec;
    if (const std::string folder = executableFolder(); !folder.empty()) {
        const fs::path bin = folder;
        for (const fs::path& candidate :
             {bin / ".." / "share" / "harmolin", bin / ".." / "data", bin / "data"})
            if (hasPatterns(candidate)) return fs::weakly_canonical(candidate, ec).string();
    }
#ifdef HARMOLIN_SOURCE_DATA_DIR
    if (hasPatterns(HARMOLIN_SOURCE_DATA_DIR)) return HARMOLIN_SOURCE_DATA_DIR;
#endif
    return {};
}

std::string defaultPluginPath() {
    const std::string folder = executableFolder();
    if (folder.empty()) return {};
    const fs::path prefix = fs::path(folder).parent_path();
    std::error_code ec;
    for (const fs::path& candidate :
         {prefix / "lib" / kPluginFile, prefix / "lib" / "harmolin" / kPluginFile})
        if (fs::is_regular_file(candidate, ec)) return candidate.string();
    return (prefix / "lib" / kPluginFile).string();
}

} // namespace harmolin
