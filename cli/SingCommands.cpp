// sequence: the sung-part file of an XF song, as Play writes it before singing.
#include "cli/SingCommands.h"

#include "app/DataFolder.h"
#include "app/SingingPipeline.h"
#include "app/WorkingFolder.h"

namespace harmolin::cli {

int sequenceCommand(const Arguments& args, const std::string& workdir) {
    if (args.positional.size() != 1) {
        printError("sequence takes one XF song: harmolin sequence IN.mid [-o OUT.mid] [--delay MS] "
                   "[--mode vocaloid|syllable] [--plugin PATH] [--plugin-kind K]");
        return 2;
    }
    int delay = 0;
    if (args.has("--delay")) {
        const auto d = parseNumber("--delay", args.value("--delay"), 0, 2000);
        if (!d) return 2;
        delay = *d;
    }
    // The form follows the plug-in the part is for (our singer unless
    // named); --mode names the form outright.
    const std::string mode = args.value("--mode");
    if (!mode.empty() && mode != "vocaloid" && mode != "syllable") {
        printError("--mode is vocaloid or syllable, not '" + mode + "'");
        return 2;
    }
    const std::string kindName = args.value("--plugin-kind", mode.empty() ? "auto" : mode);
    if (!parsePluginKindName(kindName)) {
        printError("--plugin-kind is auto, vocaloid, syllable or instrument, not '" + kindName + "'");
        return 2;
    }
    const std::string plugin = args.value("--plugin", defaultPluginPath());
    const auto data = requireDataFolder();
    if (!data) return 1;
    const std::string& input = args.positional[0];
    const std::string output = args.value("--output", joinPath(workdir, kSungFile));
    ReportCollector reports;
    SungPartRequest request;
    request.delayMs = delay;
    request.kind = pluginKindOf(plugin, kindName);
    if (isSinger(request.kind)) request.singers = singersBeside(plugin, request.kind, *data);
    if (!writeSungFile(input, workdir, *data, request, output)) {
        reports.fail(input);
        return 1;
    }
    return 0;
}

} // namespace harmolin::cli
