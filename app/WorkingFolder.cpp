#include "app/WorkingFolder.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"

#include <filesystem>
#include <system_error>

namespace harmolin {

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
