// Generate against compose: the whole Generate road (compose, prepare, write
// the lyrics) beside the composition alone, for every song type, and the
// lyric writer and the singing preparation on their own. Each iteration
// uses a new seed, so the figures are the mean over many different songs.
#include "app/LyricPipeline.h"
#include "app/SongPipeline.h"
#include "app/SongPreparation.h"
#include "app/WorkingFolder.h"
#include "bench/BenchSetup.h"
#include "lyrics/KanaConversion.h"
#include "lyrics/LyricWriter.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace harmolin;

namespace {

std::string benchFolder() {
    static const std::string folder = bench::makeScratchFolder("harmolin-bench-");
    return folder;
}

using bench::data;

void Compose(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    const auto choice = styleChoice(type, 1);
    const std::string path = joinPath(benchFolder(), kComposedFile);
    std::uint32_t seed = 1;
    for (auto _ : state) {
        SongComposer composer(data(), seed++);
        benchmark::DoNotOptimize(composer.composeSong(*choice, path));
    }
    state.SetLabel(kSongTypes[static_cast<std::size_t>(type)]);
}

void Generate(benchmark::State& state) {
    bench::generateSongs(state, benchFolder());
}

// The lyric writer alone, on one prepared song of each type.
void WriteLyrics(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    SongComposer composer(data(), 5);
    const std::string composed = joinPath(benchFolder(), "lyrics-znr.mid");
    const std::string prepared = joinPath(benchFolder(), "lyrics-dv.mid");
    if (!composer.composeSong(*styleChoice(type, 1), composed) ||
        !prepareSong(composed, PrepareOptions{}, prepared)) {
        state.SkipWithError("compose failed");
        return;
    }
    MidiF0Data song;
    if (!song.load(prepared)) {
        state.SkipWithError("the prepared song could not be read");
        return;
    }
    const LyricClass lc = lyricClassOf(type);
    EngineRandom random;
    random.seed(5);
    for (auto _ : state)
        benchmark::DoNotOptimize(writeLyrics(song, 0, lc.styleClass, lc.variantMask, random));
    state.SetLabel(kSongTypes[static_cast<std::size_t>(type)]);
}

// Lyrics made singable for the voice, as Play does it (MeCab reads nothing
// here: the writer's lyrics are kana).
void PrepareSinging(benchmark::State& state) {
    SongComposer composer(data(), 5);
    auto song = generateSong(composer, 0, *styleChoice(0, 1), benchFolder(), 100);
    if (!song) {
        state.SkipWithError("generate failed");
        return;
    }
    for (auto _ : state) {
        CXfData copy = song->xfData();
        benchmark::DoNotOptimize(prepareSinging(copy, 0, benchFolder(), data()));
    }
}

BENCHMARK(Compose)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(Generate)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteLyrics)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(PrepareSinging)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return bench::runBenchmarks(argc, argv, benchFolder);
}
