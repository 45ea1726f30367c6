#include "app/SingingPipeline.h"

#include "app/WorkingFolder.h"
#include "lyrics/KanaConversion.h"
#include "lyrics/VoiceList.h"
#include "midi/VocaloidWriter.h"
#include "midi/XfData.h"

namespace harmolin {

bool writeSungFile(const std::string& xfSong, const std::string& workingFolder, const std::string& dataFolder,
                   int delayMs, bool syllablePrograms, const std::string& output) {
    CXfData song;
    if (!song.load(xfSong)) return false;
    const std::string saved = joinPath(workingFolder, kPlaybackSaveFile);
    if (!song.save(saved)) return false;
    return writeSungFileFromSaved(saved, workingFolder, dataFolder, delayMs, syllablePrograms, output);
}

bool writeSungFileFromSaved(const std::string& saved, const std::string& workingFolder, const std::string& dataFolder,
                            int delayMs, bool syllablePrograms, const std::string& output) {
    CXfData played;
    if (!played.load(saved)) return false;
    const std::vector<SyllableRecord> syllables = prepareSinging(played, 0, workingFolder, dataFolder);
    if (syllables.empty()) return false;
    VoiceList voices;
    voices.readVoiceCsv(joinPath(dataFolder, "voice.csv"));
    return writeSungPart(played, syllables, delayMs, &voices, syllablePrograms, output);
}

} // namespace harmolin
