// Fuzz target: "setup.ini", a hand-editable record read at every start. Any
// bytes give a record (kept byte for byte: the window bounds the values
// where it uses them), and it survives a store and load unchanged.
#include "app/Settings.h"
#include "base/ErrorReport.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace harmolin;

namespace {
std::string path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)setPresenter([](const ReportLine&) {});
    path = (std::filesystem::temp_directory_path() /
            ("harmolin-fuzz-setup-" + std::to_string(::getpid()) + ".ini"))
               .string();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    SettingsRecord defaults;
    defaults.pluginPath = "/default/harmolin-voice.so";
    const SettingsRecord record = loadSettings(path, defaults);
    if (record.pluginPath.size() >= static_cast<std::size_t>(kSettingsPathBytes)) std::abort();
    // Stored and read back, the record is the same.
    if (!storeSettings(path, record)) return 0;
    const SettingsRecord again = loadSettings(path, defaults);
    if (again.toBytes() != record.toBytes()) std::abort();
    return 0;
}
