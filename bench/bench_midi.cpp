// MIDI file layer benchmarks: load + connect + split + save of a format-1 song
// of 5000 notes. The song is made here, or taken from HARMOLIN_BENCH_FILE
// (scripts/bench-midi passes the file it also gives to mido).
#include "base/ErrorReport.h"
#include "midi/MidiF0Data.h"
#include "midi/MidiF1Data.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace harmolin;

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void putVarLen(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t tmp[5];
    int n = 0;
    do {
        tmp[n++] = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n > 1)
        out.push_back(static_cast<std::uint8_t>(tmp[--n] | 0x80));
    out.push_back(tmp[0]);
}

void putTrack(std::vector<std::uint8_t>& file, const std::vector<std::uint8_t>& events) {
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    put32(file, static_cast<std::uint32_t>(events.size()));
    file.insert(file.end(), events.begin(), events.end());
}

// A conductor track and four instrument tracks, 1250 notes each, with a
// control change every eighth note and chords on two of the tracks.
std::vector<std::uint8_t> makeSong(int notes) {
    const int tracks = 4;
    std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, tracks + 1, 0x01, 0xE0};
    std::vector<std::uint8_t> conductor = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x58,
                                           0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xFF, 0x2F, 0x00};
    putTrack(file, conductor);
    for (int t = 0; t < tracks; ++t) {
        std::vector<std::uint8_t> ev;
        const std::uint8_t ch = static_cast<std::uint8_t>(t == 3 ? 9 : t);
        ev.insert(ev.end(), {0x00, static_cast<std::uint8_t>(0xC0 | ch), static_cast<std::uint8_t>(t * 8)});
        const int perTrack = notes / tracks;
        const int chord = (t == 1 || t == 2) ? 3 : 1;
        int written = 0;
        int gap = 0;
        for (int i = 0; written < perTrack; ++i) {
            const std::uint8_t base = static_cast<std::uint8_t>(48 + (i * 7 + t * 5) % 36);
            const int n = std::min(chord, perTrack - written);
            for (int k = 0; k < n; ++k) {
                putVarLen(ev, k == 0 ? gap : 0);
                ev.insert(ev.end(), {static_cast<std::uint8_t>(0x90 | ch),
                                     static_cast<std::uint8_t>(base + 4 * k), 90});
            }
            putVarLen(ev, 200);
            ev.insert(ev.end(),
                      {static_cast<std::uint8_t>(0xB0 | ch), 11, static_cast<std::uint8_t>(i % 128)});
            for (int k = 0; k < n; ++k) {
                putVarLen(ev, k == 0 ? 20 : 0);
                ev.insert(ev.end(), {static_cast<std::uint8_t>(0x80 | ch),
                                     static_cast<std::uint8_t>(base + 4 * k), 64});
            }
            gap = 20;
            written += n;
        }
        ev.insert(ev.end(), {0x00, 0xFF, 0x2F, 0x00});
        putTrack(file, ev);
    }
    return file;
}

struct Fixture {
    std::string input;
    std::string output;
    std::vector<std::uint8_t> bytes;

    Fixture() {
        (void)setPresenter([](const ReportLine&) {}); // silent for the whole run
        const auto dir = std::filesystem::temp_directory_path();
        output = (dir / ("harmolin-bench-out-" + std::to_string(::getpid()) + ".mid")).string();
        if (const char* given = std::getenv("HARMOLIN_BENCH_FILE"); given && *given) {
            input = given;
            std::ifstream in(input, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        } else {
            input = (dir / ("harmolin-bench-in-" + std::to_string(::getpid()) + ".mid")).string();
            bytes = makeSong(5000);
            std::ofstream(input, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove(output, ec);
        if (!std::getenv("HARMOLIN_BENCH_FILE")) std::filesystem::remove(input, ec);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// The whole job as a user meets it: read the file, connect the notes (done by
// load), split them again and write the file.
void BM_Format1_LoadConnectSplitSave(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        MidiF1Data song;
        if (!song.load(f.input) || !song.splitAll() || !song.save(f.output)) {
            state.SkipWithError("load, split or save failed");
            break;
        }
        benchmark::DoNotOptimize(song.trackCount());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(f.bytes.size()));
}
BENCHMARK(BM_Format1_LoadConnectSplitSave)->Unit(benchmark::kMillisecond);

// The same without the file system: parse, connect, split, serialize.
void BM_Format1_InMemory(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        MidiF1Data song;
        if (!song.loadBytes(f.bytes.data(), static_cast<int>(f.bytes.size())) || !song.splitAll() ||
            !song.serialize()) {
            state.SkipWithError("in-memory cycle failed");
            break;
        }
        benchmark::DoNotOptimize(song.used());
    }
}
BENCHMARK(BM_Format1_InMemory)->Unit(benchmark::kMillisecond);

// Loading the format-1 file as one merged song and saving it as format 0.
void BM_Format0_MergeLoadSave(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        MidiF0Data song;
        if (!song.load(f.input) || !song.save(f.output)) {
            state.SkipWithError("format-0 load or save failed");
            break;
        }
    }
}
BENCHMARK(BM_Format0_MergeLoadSave)->Unit(benchmark::kMillisecond);

} // namespace

// bench_midi --write-song PATH writes the benchmark song and exits, so that
// scripts/bench-midi can time other programs on the very same file.
int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-song") == 0) {
        const std::vector<std::uint8_t> bytes = makeSong(5000);
        std::ofstream out(argv[2], std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return out ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
