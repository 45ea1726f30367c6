// Generate with the person's words beside plain Generate, for every song type:
// the same composition and preparation, then a 16-line text (kana, kanji,
// digits, English) read and fitted instead of lyrics written. Each iteration
// uses a new seed. The fitting alone is timed on one prepared song.
#include "app/DataFolder.h"
#include "app/LyricPipeline.h"
#include "app/SongPipeline.h"
#include "app/SongPreparation.h"
#include "app/WordsPipeline.h"
#include "app/WorkingFolder.h"
#include "midi/ErrorReport.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <unistd.h>

using namespace harmolin;

namespace {

constexpr const char* kWords = "夜空に星がひとつ\n"
                               "きらきら光る\n"
                               "小さな声で\n"
                               "君の名前を呼ぶ\n"
                               "\n"
                               "風が吹いたら\n"
                               "Love you forever\n"
                               "明日もきっと\n"
                               "2人で歌おう\n"
                               "\n"
                               "春の海を見つめて\n"
                               "ゆらゆら揺れる心\n"
                               "遠い町の灯り\n"
                               "my heart is dreaming\n"
                               "\n"
                               "さよならは言わない\n"
                               "また会う日まで\n"
                               "この歌を君に\n"
                               "ずっと歌い続けよう\n";

std::string benchFolder() {
    static const std::string folder = [] {
        const std::string f =
            (std::filesystem::temp_directory_path() / ("harmolin-bench-words-" + std::to_string(::getpid())))
                .string();
        std::filesystem::create_directories(f);
        return f;
    }();
    return folder;
}

std::string data() {
    static const std::string d = [] {
        const char* env = std::getenv("HARMOLIN_DATA");
        return std::string(env ? env : dataFolder());
    }();
    return d;
}

const std::vector<WordsLine>& words() {
    static const std::vector<WordsLine> lines = parseWords(kWords).lines;
    return lines;
}

void Generate(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    const auto choice = styleChoice(type, 1);
    std::uint32_t seed = 1;
    for (auto _ : state) {
        SongComposer composer(data(), seed++);
        auto song = generateSong(composer, type, *choice, benchFolder(), 100);
        if (!song) state.SkipWithError("generate failed");
        benchmark::DoNotOptimize(song);
    }
    state.SetLabel(kSongTypes[static_cast<std::size_t>(type)]);
}

void GenerateWords(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    const auto choice = styleChoice(type, 1);
    std::uint32_t seed = 1;
    for (auto _ : state) {
        SongComposer composer(data(), seed++);
        WordsSong made = generateSongWithWords(composer, *choice, words(), benchFolder(), data(), 100);
        if (!made.song) state.SkipWithError("generate --words failed");
        benchmark::DoNotOptimize(made.song);
    }
    state.SetLabel(kSongTypes[static_cast<std::size_t>(type)]);
}

// Reading the 16 lines and fitting them to one prepared song.
void FitWords(benchmark::State& state) {
    SongComposer composer(data(), 5);
    const std::string composed = joinPath(benchFolder(), "fit-znr.mid");
    const std::string prepared = joinPath(benchFolder(), "fit-dv.mid");
    if (!composer.composeSong(*styleChoice(0, 1), composed) ||
        !prepareSong(composed, PrepareOptions{}, prepared)) {
        state.SkipWithError("compose failed");
        return;
    }
    const SongSections sections = composedSections(composer.state(), kLyricDivision);
    for (auto _ : state)
        benchmark::DoNotOptimize(singWords(prepared, words(), &sections, benchFolder(), data()));
}

BENCHMARK(Generate)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(GenerateWords)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(FitWords)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setPresenter([](const ReportLine&) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove_all(benchFolder());
    return 0;
}
