// render: the Play road against a sample clock. The song is saved and
// sequenced into the working files exactly as Play does it, then the sung
// part is rendered to a WAV file instead of to the sound card.
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

// The sung part of the song Play saved, as `sequence` writes it; false
// after reporting why.
bool writeSungPartFile(const std::string& song, const std::string& output, int delayMs,
                       const SoundChoice& sound, const std::string& workdir) {
    const auto data = requireDataFolder();
    if (!data) return false;
    ReportCollector reports;
    SungPartRequest request;
    request.delayMs = delayMs;
    request.kind = sound.kind;
    request.singers = sound.singers;
    if (!writeSungFileFromSaved(song, workdir, *data, request, output)) {
        reports.fail(song);
        return false;
    }
    return true;
}

} // namespace

int savePlayedSong(const Arguments& args, const std::string& workdir, const std::string& saved) {
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
    const auto started = std::chrono::steady_clock::now();

    // The song as Play saves it before playing.
    const std::string saved = joinPath(workdir, kPlaybackSaveFile);
    if (const int rc = savePlayedSong(args, workdir, saved); rc != 0) return rc;

    RenderOptions options;
    options.stemsFolder = args.value("--stems");
    std::string played = saved;
    if (sung) {
        // The accompaniment is held back by how late the plug-in starts a
        // syllable: kept in the working folder from an earlier render, else
        // heard now on the song sequenced once without correction.
        const std::string sungPart = joinPath(workdir, kSungFile);
        std::optional<int> delay = knownVoiceDelay(plugin, workdir);
        if (delay) {
            std::cout << "voice delay: " << *delay << " ms (measured before)" << std::endl;
        } else {
            if (!writeSungPartFile(saved, sungPart, 0, *sound, workdir)) return 1;
            std::string error;
            ReportCollector reports(true);
            delay = measureAndKeepVoiceDelay(plugin, sound->kind, sungPart, workdir, error);
            if (!delay) {
                reports.failWith(error);
                return 1;
            }
            reports.flush();
            std::cout << "voice delay: " << *delay << " ms" << std::endl;
        }
        if (!writeSungPartFile(saved, sungPart, *delay, *sound, workdir)) return 1;
        options.pluginPath = plugin;
        options.pluginKind = sound->kind;
        played = sungPart;
    }

    const auto rendering = std::chrono::steady_clock::now();
    ReportCollector reports(true);
    const RenderResult result = renderMidiToFile(played, output, options);
    if (!result.ok) {
        reports.failWith(result.error);
        return 1;
    }
    reports.flush();
    const auto done = std::chrono::steady_clock::now();
    const double renderSeconds = std::chrono::duration<double>(done - rendering).count();
    const double totalSeconds = std::chrono::duration<double>(done - started).count();
    std::printf("rendered %.1f s of audio in %.2f s (%.0fx real time; %.2f s in all), peak %.2f\n",
                result.seconds, renderSeconds, renderSeconds > 0 ? result.seconds / renderSeconds : 0.0,
                totalSeconds, result.peak);
    if (result.scaled < 1.0)
        std::printf("level lowered by %.1f dB to stay below full scale\n", -20.0 * std::log10(result.scaled));
    std::fflush(stdout);
    return 0;
}

} // namespace harmolin::cli
