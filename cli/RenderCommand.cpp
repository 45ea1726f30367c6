// render: the Play road against a sample clock. The song is saved, sequenced
// and played exactly as Play does it, through the export the window's Save
// uses, into an audio file instead of the sound card.
#include "cli/RenderCommand.h"

#include "app/AudioExport.h"
#include "app/DataFolder.h"
#include "app/SingingPipeline.h"
#include "app/WorkingFolder.h"
#include "base/ErrorReport.h"
#include "cli/ComposeCommands.h"
#include "midi/XfData.h"
#include "playback/OfflineRenderer.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

namespace harmolin::cli {

namespace {

namespace fs = std::filesystem;

} // namespace

namespace {

int saveSong(const Arguments& args, const std::string& workdir, const std::string& saved) {
    if (!args.has("--song")) {
        Arguments generate = args;
        generate.values["--output"] = saved;
        return generateCommand(generate, workdir);
    }
    ReportCollector reports;
    const std::string input = args.value("--song");
    CXfData song;
    if (!song.load(input)) {
        reports.fail(input);
        return 1;
    }
    if (!song.save(saved)) {
        reports.fail(saved);
        return 1;
    }
    return 0;
}

} // namespace

int savePlayedSong(const Arguments& args, const std::string& workdir, const std::string& saved,
                   CXfData& song) {
    if (const int rc = saveSong(args, workdir, saved); rc != 0) return rc;
    ReportCollector reports;
    if (!song.load(saved)) {
        reports.fail(saved);
        return 1;
    }
    return 0;
}

std::optional<SoundChoice> chooseSound(const Arguments& args, int& exitCode) {
    const std::string sound = args.value("--sound", "voice");
    if (sound != "voice" && sound != "instrument") {
        printError("--sound is voice or instrument, not '" + sound + "'");
        exitCode = 2;
        return std::nullopt;
    }
    SoundChoice choice;
    choice.sung = sound == "voice";
    if (!choice.sung) return choice;
    const std::string kindName = args.value("--plugin-kind", "auto");
    if (!parsePluginKindName(kindName)) {
        printError("--plugin-kind is auto, vocaloid, syllable or instrument, not '" + kindName + "'");
        exitCode = 2;
        return std::nullopt;
    }
    choice.plugin = args.has("--plugin") ? args.value("--plugin") : defaultPluginPath();
    std::error_code ec;
    if (!fs::is_regular_file(choice.plugin, ec)) {
        const bool folder = fs::is_directory(choice.plugin, ec);
        printError("Failed to load VST plugin: " + choice.plugin +
                   (folder ? " is a folder, not a plug-in file" : " does not exist"));
        exitCode = 1;
        return std::nullopt;
    }
    choice.kind = pluginKindOf(choice.plugin, kindName);
    if (const auto data = dataFolder(); isSinger(choice.kind)) {
        // The list beside the plug-in; one that cannot be read is reported
        // and the unknown singer sings.
        choice.singers = singersBeside(choice.plugin, choice.kind, data);
    }
    return choice;
}

int renderCommand(const Arguments& args, const std::string& workdir) {
    const std::string output = args.value("--output");
    const bool generated = args.has("--type") || args.has("--style") || args.has("--group");
    const bool given = args.has("--song");
    if (output.empty() || generated == given || !args.positional.empty()) {
        printError("render takes a song type or a song and an output: harmolin render (--type T --variant V "
                   "[--seed N] | --song IN_XF.mid) -o FILE.wav|.flac|.ogg [--sound voice|instrument] "
                   "[--plugin PATH] [--stems DIR] [--plugin-kind K]");
        return 2;
    }
    if (!audioFileTypeOf(output)) {
        printError(unknownAudioTypeMessage(output));
        return 2;
    }
    int exitCode = 0;
    const auto sound = chooseSound(args, exitCode);
    if (!sound) return exitCode;
    const bool sung = sound->sung;
    const std::string& plugin = sound->plugin;
    if (defaultSoundFont().empty()) {
        printError("no General MIDI SoundFont found (install fluid-soundfont-gm)");
        return 1;
    }
    const auto data = requireDataFolder();
    if (!data) return 1;
    const auto started = std::chrono::steady_clock::now();

    // The song as Play saves it before playing.
    const std::string saved = joinPath(workdir, kPlaybackSaveFile);
    CXfData song;
    if (const int rc = savePlayedSong(args, workdir, saved, song); rc != 0) return rc;
    AudioExportSettings settings;
    settings.sung = sung;
    settings.pluginPath = plugin;
    settings.pluginKind = sound->kind;
    settings.stemsFolder = args.value("--stems");

    ReportCollector reports(true);
    const RenderResult result = exportSongAudio(song, settings, workdir, *data, output);
    if (result.voiceDelayMs)
        std::cout << "voice delay: " << *result.voiceDelayMs << " ms"
                  << (result.voiceDelayKept ? " (measured before)" : "") << std::endl;
    if (!result.ok) {
        reports.failWith(result.error);
        return 1;
    }
    reports.flush();
    const auto done = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(done - started).count();
    std::printf("rendered %.1f s of audio in %.2f s (%.0fx real time), peak %.2f\n", result.seconds, seconds,
                seconds > 0 ? result.seconds / seconds : 0.0, result.peak);
    if (sung) {
        if (result.voicePeak > 0.0)
            std::printf("voice peak: %.1f dBFS\n", 20.0 * std::log10(result.voicePeak));
        else
            std::printf("voice peak: silent\n");
    }
    if (result.scaled < 1.0)
        std::printf("level lowered by %.1f dB to stay below full scale\n", -20.0 * std::log10(result.scaled));
    std::fflush(stdout);
    return 0;
}

} // namespace harmolin::cli
