// Set-up shared by the benchmarks that run the song pipelines.
#pragma once

#include "app/DataFolder.h"
#include "app/LyricPipeline.h"
#include "app/SongPipeline.h"
#include "base/ErrorReport.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace harmolin::bench {

// A scratch folder of this process's own, made once; main removes it.
inline std::string makeScratchFolder(const std::string& prefix) {
    const std::string f =
        (std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(f);
    return f;
}

// HARMOLIN_DATA overrides the installed data folder.
inline const std::string& data() {
    static const std::string d = [] {
        const char* env = std::getenv("HARMOLIN_DATA");
        return std::string(env ? env : dataFolder());
    }();
    return d;
}

// Plain Generate of the song type in range(0), a new seed each iteration;
// both pipeline benchmarks report it beside what they add.
inline void generateSongs(benchmark::State& state, const std::string& folder) {
    const int type = static_cast<int>(state.range(0));
    const auto choice = styleChoice(type, 1);
    std::uint32_t seed = 1;
    for (auto _ : state) {
        SongComposer composer(data(), seed++);
        auto song = generateSong(composer, type, *choice, folder, 100);
        if (!song) state.SkipWithError("generate failed");
        benchmark::DoNotOptimize(song);
    }
    state.SetLabel(kSongTypes[static_cast<std::size_t>(type)]);
}

// Runs the registered benchmarks with the program's messages silenced, then
// removes the scratch folder.
inline int runBenchmarks(int argc, char** argv, std::string (*scratchFolder)()) {
    (void)setPresenter([](const ReportLine&) {}); // silent for the whole run
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove_all(scratchFolder());
    return 0;
}

} // namespace harmolin::bench
