// Generate with the person's words beside plain Generate, for every song type:
// the same composition and preparation, then a 16-line text (kana, kanji,
// digits, English) read and fitted instead of lyrics written. Each iteration
// uses a new seed. The fitting alone is timed on one prepared song.
#include "app/LyricPipeline.h"
#include "app/SongPipeline.h"
#include "app/SongPreparation.h"
#include "app/WordsPipeline.h"
#include "app/WorkingFolder.h"
#include "bench/BenchSetup.h"

#include <benchmark/benchmark.h>

#include <string>

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
    static const std::string folder = bench::makeScratchFolder("harmolin-bench-words-");
    return folder;
}

using bench::data;

const std::vector<WordsLine>& words() {
    static const std::vector<WordsLine> lines = parseWords(kWords).lines;
    return lines;
}

void Generate(benchmark::State& state) {
    bench::generateSongs(state, benchFolder());
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
    return bench::runBenchmarks(argc, argv, benchFolder);
}
