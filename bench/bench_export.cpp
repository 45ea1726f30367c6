// Export benchmarks on a whole generated song (HARMOLIN_BENCH_SONG, an XF
// file, and HARMOLIN_BENCH_LINES, its lyric lines; scripts/bench-export
// makes both): the MusicXML score from reading the XF file to the written
// file, and the audio render into each file type, whose difference from WAV
// is the encoding's cost.
#include "app/MusicXmlWriter.h"
#include "base/ErrorReport.h"
#include "base/TextCodec.h"
#include "midi/XfData.h"
#include "playback/OfflineRenderer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace harmolin;

namespace {

std::string songPath() {
    const char* path = std::getenv("HARMOLIN_BENCH_SONG");
    return path ? path : "";
}

std::vector<std::string> lines() {
    std::vector<std::string> out;
    const char* path = std::getenv("HARMOLIN_BENCH_LINES");
    if (!path) return out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (const auto cp932 = utf8ToCp932(line); cp932 && !line.empty()) out.push_back(*cp932);
    }
    return out;
}

std::string scratch(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("harmolin-bench-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

void exportScore(benchmark::State& state, const char* extension) {
    const std::string song = songPath();
    if (song.empty()) {
        state.SkipWithError("HARMOLIN_BENCH_SONG is not set");
        return;
    }
    ScoreOptions options;
    options.withChords = true;
    options.lines = lines();
    const std::string out = scratch(std::string("score") + extension);
    (void)setPresenter([](const ReportLine&) {}); // silent for the whole run
    for (auto _ : state) {
        CXfData xf;
        if (!xf.load(song)) {
            state.SkipWithError("the song could not be read");
            break;
        }
        std::string error;
        if (!exportMusicXml(xf, options, out, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    std::filesystem::remove(out);
}

void BM_ExportMusicXml(benchmark::State& state) {
    exportScore(state, ".musicxml");
}
void BM_ExportMxl(benchmark::State& state) {
    exportScore(state, ".mxl");
}
BENCHMARK(BM_ExportMusicXml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportMxl)->Unit(benchmark::kMillisecond);

// The melody played by the synthesizer, so that the plug-in's share does not
// hide the encoders'.
void renderAudio(benchmark::State& state, const char* extension) {
    const std::string song = songPath();
    if (song.empty()) {
        state.SkipWithError("HARMOLIN_BENCH_SONG is not set");
        return;
    }
    const std::string out = scratch(std::string("audio") + extension);
    double seconds = 0;
    for (auto _ : state) {
        const RenderResult result = renderMidiToFile(song, out, RenderOptions{});
        if (!result.ok) {
            state.SkipWithError(result.error.c_str());
            break;
        }
        seconds = result.seconds;
    }
    state.counters["audio_s"] = seconds;
    std::error_code ec;
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(out, ec)) / 1e6;
    std::filesystem::remove(out, ec);
}

void BM_RenderWav(benchmark::State& state) {
    renderAudio(state, ".wav");
}
void BM_RenderFlac(benchmark::State& state) {
    renderAudio(state, ".flac");
}
void BM_RenderOgg(benchmark::State& state) {
    renderAudio(state, ".ogg");
}
BENCHMARK(BM_RenderWav)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_RenderFlac)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_RenderOgg)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

} // namespace

BENCHMARK_MAIN();
