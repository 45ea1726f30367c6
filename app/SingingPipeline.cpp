#include "app/SingingPipeline.h"

#include "app/WorkingFolder.h"
#include "lyrics/KanaConversion.h"
#include "lyrics/VocaloidWriter.h"
#include "midi/XfData.h"

namespace harmolin {

std::optional<VoiceList> singersBeside(const std::string& pluginPath, PluginKind kind,
                                       const std::string& dataFolder) {
    VoiceList voices;
    if (!voices.loadVoiceList(pluginPath, kind, dataFolder)) return std::nullopt;
    return voices;
}

bool writeSungFile(const std::string& xfSong, const std::string& workingFolder, const std::string& dataFolder,
                   const SungPartRequest& request, const std::string& output) {
    CXfData song;
    if (!song.load(xfSong)) return false;
    const std::string saved = joinPath(workingFolder, kPlaybackSaveFile);
    if (!song.save(saved)) return false;
    return writeSungFileFromSaved(saved, workingFolder, dataFolder, request, output);
}

bool writeSungFileFromSaved(const std::string& saved, const std::string& workingFolder,
                            const std::string& dataFolder, const SungPartRequest& request,
                            const std::string& output) {
    CXfData played;
    if (!played.load(saved)) return false;
    const std::vector<SyllableRecord> syllables = prepareSinging(played, 0, workingFolder, dataFolder);
    if (syllables.empty()) return false;
    VoiceList voices;
    if (request.singers) {
        voices = *request.singers;
    } else if (!isSinger(request.kind)) {
        voices.useNeutralSinger(); // an instrument plays whoever is named
    }
    const bool syllableForm = request.kind != PluginKind::VocaloidStream;
    return writeSungPart(played, syllables, request.delayMs, &voices, syllableForm, output);
}

} // namespace harmolin
