#include "app/AudioExport.h"

#include "app/SingingPipeline.h"
#include "app/WorkingFolder.h"
#include "midi/XfData.h"

#include <algorithm>

namespace harmolin {

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
    options.progress = std::move(progress);
    std::string played = saved;
    if (settings.sung) {
        // Sequenced once to hear how late the plug-in starts a syllable, then
        // again with the accompaniment held back by that, as render does.
        const std::string sungPart = joinPath(workingFolder, kSungFile);
        if (!writeSungFileFromSaved(saved, workingFolder, dataFolder, 0, false, sungPart)) {
            result.error = "the song's lyrics could not be made singable";
            return result;
        }
        const auto delay = measureVoiceDelay(settings.pluginPath, sungPart, 0, result.error);
        if (!delay) return result;
        if (*delay > 0 &&
            !writeSungFileFromSaved(saved, workingFolder, dataFolder, *delay, false, sungPart)) {
            result.error = "the song's lyrics could not be made singable";
            return result;
        }
        options.pluginPath = settings.pluginPath;
        played = sungPart;
    } else {
        options.melodyProgram = std::clamp(settings.melodyProgram, 0, 127);
    }
    return renderMidiToFile(played, outputPath, options);
}

} // namespace harmolin
