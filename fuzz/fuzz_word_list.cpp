// Fuzz target: the word-list reader of "kanji.csv" and "english.csv" (the
// user's own files in the working folder), with both separators it is used
// with.
#include "base/ErrorReport.h"
#include "lyrics/ListFiles.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace harmolin;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)setPresenter([](const ReportLine&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (const char separator : {',', '\t'}) {
        const ListFile list = parseListFile(bytes, "fuzz.csv", separator);
        if (list.rows.size() > static_cast<std::size_t>(kListMaxRows)) std::abort();
        for (const auto& row : list.rows)
            for (const auto& field : row)
                if (field.size() > static_cast<std::size_t>(kListMaxFieldBytes)) std::abort();
    }
    return 0;
}
