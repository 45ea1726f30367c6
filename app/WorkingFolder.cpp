#include "app/WorkingFolder.h"

#include "base/ErrorCodes.h"
#include "midi/ErrorReport.h"

#include <filesystem>
#include <system_error>

namespace harmolin {

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string currentWorkingFolder() {
    std::error_code ec;
    const auto path = std::filesystem::current_path(ec);
    if (ec) {
        reportError(ErrorClass::Gene, errc::kNoCurrentFolder);
        return {};
    }
    return path.string();
}

} // namespace harmolin
