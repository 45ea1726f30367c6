// export: an XF song's sung melody as a MusicXML score with its lyrics, for
// notation editors and for singing synthesizers that read scores.
#include "cli/ExportCommand.h"

#include "app/MusicXmlWriter.h"
#include "base/TextCodec.h"
#include "midi/XfData.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

namespace harmolin::cli {

namespace {

// The lyric lines as Save or generate --lyrics wrote them (UTF-8 or code
// page 932, CR LF or LF), in code page 932.
std::optional<std::vector<std::string>> readLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    std::vector<std::string> lines;
    std::istringstream split(text);
    for (std::string line; std::getline(split, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const auto cp932 = utf8ToCp932(line);
        lines.push_back(cp932 ? *cp932 : line);
    }
    return lines;
}

} // namespace

int exportCommand(const Arguments& args) {
    const std::string output = args.value("--output");
    if (output.empty() || args.positional.size() != 1) {
        printError("export takes one XF song and an output: harmolin export IN_XF.mid -o OUT.musicxml "
                   "[--with-chords] [--lyrics FILE.txt]");
        return 2;
    }
    if (!scoreFileTypeOf(output)) {
        printError(unknownScoreTypeMessage(output));
        return 2;
    }
    ScoreOptions options;
    options.withChords = args.has("--with-chords");
    if (args.has("--lyrics")) {
        const std::string path = args.value("--lyrics");
        auto lines = readLines(path);
        if (!lines) {
            printError("cannot read the lyric lines " + path);
            return 1;
        }
        options.lines = std::move(*lines);
    }
    const std::string input = args.positional.front();
    CXfData song;
    {
        ReportCollector reports;
        if (!song.load(input)) {
            reports.fail(input);
            return 1;
        }
        reports.flush();
    }
    std::string error;
    Score score;
    if (!exportMusicXml(song, options, output, error, &score)) {
        printError(error);
        return 1;
    }
    std::printf("%s: %d measures, %d notes, %d lyrics", output.c_str(),
                static_cast<int>(score.measures.size()), score.melodyNotes - score.droppedNotes,
                score.lyricCount);
    if (score.droppedNotes > 0) std::printf(" (%d notes too close to show left out)", score.droppedNotes);
    std::printf("\n");
    std::fflush(stdout);
    if (!options.lines.empty() && !score.linesMatched)
        std::fprintf(stderr,
                     "harmolin: warning: the lyric lines do not spell this song's syllables; words were "
                     "found from the syllables alone\n");
    return 0;
}

} // namespace harmolin::cli
