// sequence: the sung-part file of an XF song, as Play writes it before singing.
#include "cli/SingCommands.h"

#include "app/SingingPipeline.h"
#include "app/WorkingFolder.h"

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
    const auto data = requireDataFolder();
    if (!data) return 1;
    const std::string& input = args.positional[0];
    const std::string output = args.value("--output", joinPath(workdir, kSungFile));
    ReportCollector reports;
    if (!writeSungFile(input, workdir, *data, delay, mode == "syllable", output)) {
        reports.fail(input);
        return 1;
    }
    return 0;
}

} // namespace harmolin::cli
