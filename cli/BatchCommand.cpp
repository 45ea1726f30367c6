// batch: N songs of a type, a style or every style, each generated in a
// forked worker process. The engine keeps process-wide state, so a song made
// in a fresh copy of the parent depends on its style and seed alone: the same
// seed gives the same files on any number of workers and in any order.
#include "cli/BatchCommand.h"

#include "app/AudioExport.h"
#include "app/DataFolder.h"
#include "app/LyricPipeline.h"
#include "app/MusicXmlWriter.h"
#include "app/SingingPipeline.h"
#include "app/WorkingFolder.h"
#include "cli/ComposeCommands.h"
#include "cli/RenderCommand.h"
#include "styles/StyleTable.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace harmolin::cli {
namespace {

namespace fs = std::filesystem;

struct BatchSong {
    int songType = 0;
    StyleChoice style{};
    std::uint32_t seed = 0;
    std::string name; // file name without extension: style and seed
};

struct BatchExtras {
    bool wav = false;
    bool stems = false;
    bool musicXml = false;
    std::string plugin;
    int voiceDelayMs = 0;
};

// "Evening Girls" -> "evening-girls".
std::string slugOf(const std::string& styleName) {
    std::string slug;
    for (const char c : styleName) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u)) {
            slug += static_cast<char>(std::tolower(u));
        } else if (!slug.empty() && slug.back() != '-') {
            slug += '-';
        }
    }
    while (!slug.empty() && slug.back() == '-')
        slug.pop_back();
    return slug.empty() ? "style" : slug;
}

// Runs in the worker: one song and its extras into outDir; false (after
// reporting why on standard error) when a step fails.
bool writeSong(const BatchSong& song, const BatchExtras& extras, const std::string& outDir,
               const std::string& workdir, const std::string& data, std::vector<std::string>& written) {
    ReportCollector reports;
    SongComposer composer(data, song.seed);
    auto lyricSong = generateSong(composer, song.songType, song.style, workdir);
    if (!lyricSong) {
        reports.fail(joinPath(workdir, kPreparedFile));
        return false;
    }
    const std::string base = joinPath(outDir, song.name);
    if (!lyricSong->xfData().save(base + ".mid")) {
        reports.fail(base + ".mid");
        return false;
    }
    written.push_back(base + ".mid");
    if (!lyricSong->saveLines(base + ".txt", TextEncoding::Utf8)) {
        reports.fail(base + ".txt");
        return false;
    }
    written.push_back(base + ".txt");
    if (extras.musicXml) {
        ScoreOptions options;
        options.lines = lyricSong->lines();
        std::string error;
        if (!exportMusicXml(lyricSong->xfData(), options, base + ".musicxml", error)) {
            reports.failWith(error);
            return false;
        }
        written.push_back(base + ".musicxml");
    }
    if (extras.wav) {
        AudioExportSettings sound;
        sound.sung = true;
        sound.pluginPath = extras.plugin;
        sound.pluginKind = pluginKindOf(extras.plugin);
        sound.voiceDelayMs = extras.voiceDelayMs;
        if (extras.stems) {
            sound.stemsFolder = base + "-stems";
            written.push_back(sound.stemsFolder + "/voice.wav");
            written.push_back(sound.stemsFolder + "/accompaniment.wav");
        }
        const RenderResult result = exportSongAudio(lyricSong->xfData(), sound, workdir, data, base + ".wav");
        if (!result.ok) {
            reports.failWith(result.error);
            return false;
        }
    }
    return true;
}

// A song is whole or absent: on failure the files this worker wrote go.
int makeSong(const BatchSong& song, const BatchExtras& extras, const std::string& outDir,
             const std::string& workdir, const std::string& data) {
    std::vector<std::string> written;
    if (writeSong(song, extras, outDir, workdir, data, written)) return 0;
    std::error_code ec;
    for (const std::string& path : written)
        fs::remove(path, ec);
    return 1;
}

// The first error line a worker wrote, without the program's prefix.
std::string failureOf(const std::string& errorFile) {
    std::ifstream in(errorFile);
    std::string first;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        const std::string error = "harmolin: error: ";
        if (line.rfind(error, 0) == 0) return line.substr(error.size());
        const std::string program = "harmolin: ";
        if (first.empty()) first = line.rfind(program, 0) == 0 ? line.substr(program.size()) : line;
    }
    return first.empty() ? "the worker stopped without saying why" : first;
}

// Forks a worker for one song; its output goes to files in its own folder.
pid_t startWorker(const BatchSong& song, const BatchExtras& extras, const std::string& outDir,
                  const std::string& songWorkdir, const std::string& data) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int quiet = ::open("/dev/null", O_WRONLY);
    const int errors = ::open((songWorkdir + "/errors.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (quiet >= 0) ::dup2(quiet, STDOUT_FILENO);
    if (errors >= 0) ::dup2(errors, STDERR_FILENO);
    const int rc = makeSong(song, extras, outDir, songWorkdir, data);
    std::fflush(stdout);
    std::fflush(stderr);
    // No exit handlers: they belong to the parent.
    ::_exit(rc);
}

// The plug-in's delay for the sung WAV files, measured once (in a worker,
// on the first song) unless the working folder keeps it already.
std::optional<int> batchVoiceDelay(const BatchSong& first, const std::string& plugin,
                                   const std::string& workdir, const std::string& scratch,
                                   const std::string& data) {
    if (const auto kept = knownVoiceDelay(plugin, workdir)) return kept;
    const std::string probeDir = joinPath(scratch, "delay");
    fs::create_directories(probeDir);
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) ::dup2(quiet, STDOUT_FILENO);
        SongComposer composer(data, first.seed);
        auto song = generateSong(composer, first.songType, first.style, probeDir);
        if (!song || !song->xfData().save(joinPath(probeDir, kPlaybackSaveFile))) ::_exit(1);
        const std::string sungPart = joinPath(probeDir, kSungFile);
        const PluginKind kind = pluginKindOf(plugin);
        SungPartRequest request;
        request.kind = kind;
        request.singers = singersBeside(plugin, kind, data);
        if (!writeSungFileFromSaved(joinPath(probeDir, kPlaybackSaveFile), probeDir, data, request, sungPart))
            ::_exit(1);
        std::string error;
        if (!measureAndKeepVoiceDelay(plugin, kind, sungPart, workdir, error)) {
            std::fprintf(stderr, "harmolin: error: %s\n", error.c_str());
            std::fflush(stderr);
            ::_exit(1);
        }
        // The parent reads what was kept; a delay that could not be kept is none.
        ::_exit(0);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return knownVoiceDelay(plugin, workdir);
}

// A bar on standard error, redrawn in place.
void drawProgress(int done, int total, int failed) {
    constexpr int kWidth = 30;
    const int filled = total > 0 ? done * kWidth / total : kWidth;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r[%s] %d/%d", bar.c_str(), done, total);
    if (failed > 0) std::fprintf(stderr, ", %d failed", failed);
    std::fflush(stderr);
}

} // namespace

int batchCommand(const Arguments& args, const std::string& workdir) {
    const std::string outDir = args.value("--output");
    const int chosen =
        (args.has("--type") ? 1 : 0) + (args.has("--style") ? 1 : 0) + (args.has("--all-styles") ? 1 : 0);
    if (outDir.empty() || chosen != 1 || !args.has("--count") || !args.positional.empty()) {
        printError(
            "batch takes one kind of song, a count and an output folder: harmolin batch (--type T "
            "[--variant V] | --style NAME | --all-styles) --count N [--jobs J] [--seed S] -o DIR [--wav] "
            "[--stems] [--musicxml]");
        return 2;
    }
    const auto count = parseNumber("--count", args.value("--count"), 1, 100000);
    if (!count) return 2;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const auto jobs = parseNumber("--jobs", args.value("--jobs", std::to_string(cores)), 1, 256);
    if (!jobs) return 2;
    std::optional<std::uint32_t> seed;
    if (!parseSeed(args, seed)) return 2;
    const std::uint32_t firstSeed = seed ? *seed : static_cast<std::uint32_t>(std::time(nullptr));

    BatchExtras extras;
    extras.stems = args.has("--stems");
    extras.wav = args.has("--wav") || extras.stems; // stems come with their mix
    extras.musicXml = args.has("--musicxml");
    if (extras.wav) {
        int exitCode = 0;
        const auto sound = chooseSound(args, exitCode);
        if (!sound) return exitCode;
        extras.plugin = sound->plugin;
        if (defaultSoundFont().empty()) {
            printError("no General MIDI SoundFont found (install fluid-soundfont-gm)");
            return 1;
        }
    }
    const auto data = requireDataFolder();
    if (!data) return 1;

    // The songs, in a fixed order: song i has seed S + i.
    EngineRandom random;
    StyleTable table;
    registerStyles(table, random);
    std::vector<std::pair<int, StyleChoice>> styles; // song type (vocabulary) and style
    if (args.has("--all-styles")) {
        for (int g = 0; g < StyleTable::kGroups; ++g)
            for (int s = 0; s < StyleTable::kSlots; ++s)
                if (!table.at(g, s).nameText().empty()) styles.push_back({0, StyleChoice{g, s}});
    } else {
        const auto choice = chooseStyle(args, table);
        if (!choice) return 2;
        const int songType = args.has("--type") ? parseSongType(args.value("--type")).value_or(0) : 0;
        styles.push_back({songType, *choice});
    }
    std::vector<BatchSong> songs;
    for (const auto& [songType, style] : styles)
        for (int i = 0; i < *count; ++i) {
            BatchSong song;
            song.songType = songType;
            song.style = style;
            song.seed = firstSeed + static_cast<std::uint32_t>(songs.size());
            song.name =
                slugOf(table.at(style.group, style.slot).nameText()) + "-" + std::to_string(song.seed);
            songs.push_back(song);
        }

    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir, ec)) {
        printError("cannot make the output folder " + outDir);
        return 1;
    }
    std::string scratchTemplate = (fs::temp_directory_path(ec) / "harmolin-batch-XXXXXX").string();
    if (::mkdtemp(scratchTemplate.data()) == nullptr) {
        printError("cannot make a temporary folder for the workers");
        return 1;
    }
    const std::string scratch = scratchTemplate;
    struct ScratchGuard {
        std::string path;
        ~ScratchGuard() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } guard{scratch};

    if (extras.wav) {
        const auto delay = batchVoiceDelay(songs.front(), extras.plugin, workdir, scratch, *data);
        if (!delay) {
            printError("the singing plug-in " + extras.plugin + " did not sing its test note");
            return 1;
        }
        extras.voiceDelayMs = *delay;
    }

    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    const auto started = std::chrono::steady_clock::now();
    std::map<pid_t, std::size_t> running;
    std::vector<std::uint32_t> failedSeeds;
    std::size_t next = 0;
    int done = 0;
    if (terminal) drawProgress(0, static_cast<int>(songs.size()), 0);
    while (next < songs.size() || !running.empty()) {
        while (next < songs.size() && static_cast<int>(running.size()) < *jobs) {
            const std::string songWorkdir = joinPath(scratch, std::to_string(next));
            fs::create_directories(songWorkdir, ec);
            const pid_t pid = startWorker(songs[next], extras, outDir, songWorkdir, *data);
            if (pid < 0) {
                if (running.empty()) {
                    printError("cannot start a worker process");
                    return 1;
                }
                break; // try again when one has finished
            }
            running[pid] = next++;
        }
        int status = 0;
        const pid_t pid = ::waitpid(-1, &status, 0);
        if (pid < 0) break;
        const auto it = running.find(pid);
        if (it == running.end()) continue;
        const std::size_t index = it->second;
        running.erase(it);
        ++done;
        const std::string songWorkdir = joinPath(scratch, std::to_string(index));
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            const BatchSong& song = songs[index];
            failedSeeds.push_back(song.seed);
            const std::string why = WIFSIGNALED(status)
                                        ? "the worker stopped on signal " + std::to_string(WTERMSIG(status))
                                        : failureOf(songWorkdir + "/errors.txt");
            if (terminal) std::fprintf(stderr, "\r\033[K");
            std::fprintf(stderr, "harmolin: error: song %s (seed %u) failed: %s\n", song.name.c_str(),
                         song.seed, why.c_str());
        }
        fs::remove_all(songWorkdir, ec);
        if (terminal)
            drawProgress(done, static_cast<int>(songs.size()), static_cast<int>(failedSeeds.size()));
    }
    if (terminal) std::fprintf(stderr, "\n");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int written = done - static_cast<int>(failedSeeds.size());
    std::printf("batch: %d of %zu songs written to %s in %.2f s (%.1f songs/s, %d workers)", written,
                songs.size(), outDir.c_str(), seconds, seconds > 0 ? written / seconds : 0.0, *jobs);
    if (!failedSeeds.empty()) {
        std::sort(failedSeeds.begin(), failedSeeds.end());
        std::printf("; failed seeds:");
        for (const std::uint32_t s : failedSeeds)
            std::printf(" %u", s);
    }
    std::printf("\n");
    std::fflush(stdout);
    return failedSeeds.empty() ? 0 : 1;
}

} // namespace harmolin::cli
