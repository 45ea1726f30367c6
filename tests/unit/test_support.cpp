#include "test_support.h"

#include <filesystem>
#include <unistd.h>

namespace harmolin::test {

std::string tempPath(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / ("harmolin-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

} // namespace harmolin::test
