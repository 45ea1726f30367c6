#include "app/AudioExport.h"

#include "app/SingingPipeline.h"
#include "app/VoiceDelayCache.h"
#include "app/WorkingFolder.h"
#include "midi/XfData.h"

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
    // Saving writes the song's track back in place; the caller's song stays as it was.
    CXfData copy(song);
    const std::string saved = joinPath(workingFolder, kPlaybackSaveFile);
    if (!copy.save(saved)) {
        result.error = "the song could not be saved as " + saved;
        return result;
    }
    RenderOptions options;
    options.stemsFolder = settings.stemsFolder;
    options.progress = std::move(progress);
    std::string played = saved;
    if (settings.sung) {
        // Sequenced with the accompaniment held back by how late the plug-in
        // starts a syllable: kept from an earlier measurement, else heard now.
        const std::string sungPart = joinPath(workingFolder, kSungFile);
        SungPartRequest request;
        request.kind = settings.pluginKind;
        request.singers = singersBeside(settings.pluginPath, settings.pluginKind, dataFolder);
        std::optional<int> delay = settings.voiceDelayMs;
        if (!delay) delay = knownVoiceDelay(settings.pluginPath, workingFolder);
        if (!delay) {
            if (!writeSungFileFromSaved(saved, workingFolder, dataFolder, request, sungPart)) {
                result.error = "the song's lyrics could not be made singable";
                return result;
            }
            delay = measureAndKeepVoiceDelay(settings.pluginPath, settings.pluginKind, sungPart,
                                             workingFolder, result.error);
            if (!delay) return result;
        }
        request.delayMs = *delay;
        if (!writeSungFileFromSaved(saved, workingFolder, dataFolder, request, sungPart)) {
            result.error = "the song's lyrics could not be made singable";
            return result;
        }
        options.pluginPath = settings.pluginPath;
        options.pluginKind = settings.pluginKind;
        played = sungPart;
    } else {
        options.melodyProgram = std::clamp(settings.melodyProgram, 0, 127);
    }
    return renderMidiToFile(played, outputPath, options);
}

} // namespace harmolin
