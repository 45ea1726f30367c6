// Fuzz target: the singer lists read beside a plug-in. The input is used as a
// "voice.csv", and as a "voice.map" with a voice description file, in a
// folder of the fuzzer's own.
#include "base/ErrorReport.h"
#include "lyrics/VoiceList.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace harmolin;

namespace {
std::string folder;

void write(const std::string& name, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)setPresenter([](const ReportLine&) {});
    folder = (std::filesystem::temp_directory_path() / ("harmolin-fuzz-voices-" + std::to_string(::getpid())))
                 .string();
    std::filesystem::create_directories(folder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    write("voice.csv", data, size);
    std::vector<VoiceCsvEntry> rows;
    (void)VoiceCsvReader(folder + "/voice.csv").getVoiceList(rows);
    if (rows.size() > VoiceCsvReader::kMaxEntries) std::abort();
    for (const auto& r : rows)
        if (r.name.size() > 63 || r.value.size() > 259) std::abort();

    VoiceList list;
    if (!list.loadVoiceList(folder + "/Cantrix.so", folder)) std::abort();
    if (list.count() > VoiceList::kMaxEntries || list.first().name.size() > VoiceList::kMaxNameBytes)
        std::abort();

    // The same bytes as the voice databases' map and as its first description.
    write("voice.map", data, size);
    write("vvoice1.vvd", data, size);
    list.readVoiceDatabases(folder);
    for (int i = 0; i < list.count(); ++i)
        if (list.entry(i).name.size() > VoiceList::kMaxNameBytes) std::abort();
    return 0;
}
