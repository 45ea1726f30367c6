#include "app/AudioExport.h"

#include "app/PlaybackSession.h"
#include "app/SingingPipeline.h"
#include "app/VoiceDelayCache.h"
#include "app/WorkingFolder.h"
#include "midi/XfData.h"
#include "playback/VstHost.h"

#include <algorithm>

namespace harmolin {

std::optional<int> knownVoiceDelay(const std::string& pluginPath, const std::string& workingFolder) {
    return cachedVoiceDelay(workingFolder, offlineDelayKind(), pluginPath);
}

std::optional<int> measureAndKeepVoiceDelay(const std::string& pluginPath, PluginKind kind,
                                            const std::string& sungPart, const std::string& workingFolder,
                                            std::string& error) {
    const auto delay = measureVoiceDelay(pluginPath, kind, sungPart, 0, error);
    if (delay)
        (void)storeVoiceDelay(workingFolder, offlineDelayKind(), pluginPath,
                              *delay); // a delay not kept is measured again next time
    return delay;
}

RenderResult exportSongAudio(const CXfData& song, const AudioExportSettings& settings,
                             const std::string& workingFolder, const std::string& dataFolder,
                             const std::string& outputPath, std::function<bool(double done)> progress) {
    RenderResult result;
    if (!audioFileTypeOf(outputPath)) {
        result.error = unknownAudioTypeMessage(outputPath);
        return result;
    }
    // Play's road: the same session, host and player, on the sample clock.
    CVstHostMain host(nullptr, offlineHostConfig());
    PlaybackSettings play;
    play.playbackSound = settings.sung ? kVoicePlayback : std::clamp(settings.melodyProgram, 0, 127);
    play.danceMode = 0;
    if (settings.sung) {
        play.pluginPath = settings.pluginPath;
        play.pluginKind = settings.pluginKind;
        play.singers = singersBeside(settings.pluginPath, settings.pluginKind, dataFolder);
        // Sequenced with the accompaniment held back by how late the plug-in
        // starts a syllable: kept from an earlier measurement, else heard now
        // on the song sequenced once without correction.
        std::optional<int> delay = settings.voiceDelayMs;
        if (!delay) delay = knownVoiceDelay(settings.pluginPath, workingFolder);
        result.voiceDelayKept = delay.has_value() && !settings.voiceDelayMs;
        if (!delay) {
            // Saving writes the song's track back in place; the caller's song stays as it was.
            CXfData copy(song);
            const std::string saved = joinPath(workingFolder, kPlaybackSaveFile);
            if (!copy.save(saved)) {
                result.error = "the song could not be saved as " + saved;
                return result;
            }
            const std::string sungPart = joinPath(workingFolder, kSungFile);
            SungPartRequest request;
            request.kind = settings.pluginKind;
            request.singers = play.singers;
            if (!writeSungFileFromSaved(saved, workingFolder, dataFolder, request, sungPart)) {
                result.error = "the song's lyrics could not be made singable";
                return result;
            }
            delay = measureAndKeepVoiceDelay(settings.pluginPath, settings.pluginKind, sungPart,
                                             workingFolder, result.error);
            if (!delay) return result;
        }
        play.delayCorrectionMs = *delay;
        if (!host.loadSingingPlugin(settings.pluginPath, settings.pluginKind)) {
            result.error = host.loadFailure(settings.pluginPath);
            return result;
        }
        result.voiceDelayMs = delay;
    }
    PlaybackSession session(host, workingFolder, dataFolder);
    if (!session.prepare(song, play, PlaybackSession::Road::Render)) {
        result.error = settings.sung ? "the song's lyrics could not be made singable"
                                     : "the song could not be saved in " + workingFolder;
        return result;
    }
    RenderOptions options;
    options.stemsFolder = settings.stemsFolder;
    options.progress = std::move(progress);
    RenderResult rendered = session.render(outputPath, options);
    rendered.voiceDelayMs = result.voiceDelayMs;
    rendered.voiceDelayKept = result.voiceDelayKept;
    return rendered;
}

} // namespace harmolin
