// sequence: the sung-part file of an XF song, as Play writes it before singing.
#include "cli/SingCommands.h"

#include "app/DataFolder.h"
#include "app/WorkingFolder.h"
#include "lyrics/KanaConversion.h"
#include "lyrics/VoiceList.h"
#include "midi/VocaloidWriter.h"
#include "midi/XfData.h"

namespace harmolin::cli {

int sequenceCommand(const Arguments& args, const std::string& workdir) {
    if (args.positional.size() != 1) {
        printError("sequence takes one XF song: harmolin sequence IN.mid [-o OUT.mid] [--delay MS] "
                   "[--mode vocaloid|syllable]");
        return 2;
    }
    int delay = 0;
    if (args.has("--delay")) {
        const auto d = parseNumber("--delay", args.value("--delay"), 0, 2000);
        if (!d) return 2;
        delay = *d;
    }
    const std::string mode = args.value("--mode", "vocaloid");
    if (mode != "vocaloid" && mode != "syllable") {
        printError("--mode is vocaloid or syllable, not '" + mode + "'");
        return 2;
    }
    const std::string data = dataFolder();
    if (data.empty()) {
        printError("the program's data folder was not found; set HARMOLIN_DATA");
        return 1;
    }
    const std::string& input = args.positional[0];
    const std::string output = args.value("--output", joinPath(workdir, kSungFile));
    ReportCollector reports;
    // The same stages as Play: the song saved and read back, then sung.
    CXfData song;
    if (!song.load(input)) {
        reports.fail(input);
        return 1;
    }
    const std::string saved = joinPath(workdir, kPlaybackSaveFile);
    CXfData played;
    if (!song.save(saved) || !played.load(saved)) {
        reports.fail(saved);
        return 1;
    }
    const std::vector<SyllableRecord> syllables = prepareSinging(played, 0, workdir, data);
    if (syllables.empty()) {
        reports.fail(input);
        return 1;
    }
    VoiceList voices;
    voices.readVoiceCsv(joinPath(data, "voice.csv"));
    if (!writeSungPart(played, syllables, delay, &voices, mode == "syllable", output)) {
        reports.fail(output);
        return 1;
    }
    return 0;
}

} // namespace harmolin::cli
