// compose, styles and types: the commands of the composition engine.
#include "cli/ComposeCommands.h"

#include "app/LyricPipeline.h"
#include "app/SongPipeline.h"
#include "app/WordsPipeline.h"
#include "app/WorkingFolder.h"
#include "styles/StyleJson.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>

namespace harmolin::cli {
namespace {

const char* meterName(int meter) {
    return meter == 0 ? "4/4" : meter == 1 ? "3/4" : "7/8";
}

} // namespace

// The style a command names: --style NAME, --group G --slot S, or
// --type T [--variant V]. Prints the error itself.
std::optional<StyleChoice> chooseStyle(const Arguments& args, const StyleTable& table) {
    if (args.has("--style")) {
        const auto found = findStyle(table, args.value("--style"));
        if (!found) {
            printError("no style is named '" + args.value("--style") + "' (see harmolin styles)");
            return std::nullopt;
        }
        return StyleChoice{found->first, found->second};
    }
    if (args.has("--group") || args.has("--slot")) {
        const auto group = parseNumber("--group", args.value("--group"), 0, StyleTable::kGroups - 1);
        if (!group) return std::nullopt;
        const auto slot = parseNumber("--slot", args.value("--slot"), 0, StyleTable::kSlots - 1);
        if (!slot) return std::nullopt;
        if (table.at(*group, *slot).nameText().empty()) {
            printError("group " + std::to_string(*group) + " slot " + std::to_string(*slot) +
                       " holds no style");
            return std::nullopt;
        }
        return StyleChoice{*group, *slot};
    }
    if (!args.has("--type")) {
        printError("say which song to make: --type T [--variant V], --style NAME or --group G --slot S");
        return std::nullopt;
    }
    const auto type = parseSongType(args.value("--type"));
    if (!type) {
        printError("unknown song type '" + args.value("--type") +
                   "' (Young Pops, Adult Pops, Ocean Song, Child Song, Ghost Song or 0 to 4)");
        return std::nullopt;
    }
    const auto variant = parseNumber("--variant", args.value("--variant", "1"), 1, 2);
    if (!variant) return std::nullopt;
    const auto choice = styleChoice(*type, *variant);
    if (!choice)
        printError(std::string(kSongTypes[static_cast<std::size_t>(*type)]) + " has no variant " +
                   std::to_string(*variant));
    return choice;
}

// False (after printing why) when --seed is not a 32-bit whole number.
bool parseSeed(const Arguments& args, std::optional<std::uint32_t>& seed) {
    seed.reset();
    if (!args.has("--seed")) return true;
    const std::string text = args.value("--seed");
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || text[0] == '-' || v > 0xFFFFFFFFull) {
        printError("--seed takes a whole number from 0 to 4294967295, not '" + text + "'");
        return false;
    }
    seed = static_cast<std::uint32_t>(v);
    return true;
}

namespace {

// Where the lyric lines go: --lyrics FILE.txt in --encoding utf8 (default)
// or cp932. False (after printing why) for a wrong encoding.
bool lyricTarget(const Arguments& args, std::string& path, TextEncoding& encoding) {
    path = args.value("--lyrics");
    const std::string name = args.value("--encoding", "utf8");
    if (name == "utf8" || name == "utf-8") {
        encoding = TextEncoding::Utf8;
    } else if (name == "cp932") {
        encoding = TextEncoding::Cp932;
    } else {
        printError("--encoding is utf8 or cp932, not '" + name + "'");
        return false;
    }
    return true;
}

// Saves the song as an XF file (and its lines as text) and shows the lines.
int saveLyricSong(LyricSong& song, ReportCollector& reports, const std::string& output,
                  const std::string& linesPath, TextEncoding encoding) {
    if (!song.xfData().save(output)) {
        reports.fail(output);
        return 1;
    }
    if (!linesPath.empty() && !song.saveLines(linesPath, encoding)) {
        reports.fail(linesPath);
        return 1;
    }
    reports.flush();
    for (const std::string& line : song.linesUtf8())
        std::cout << line << '\n';
    return 0;
}

// The person's words of --words FILE, or nothing after printing why.
std::optional<std::vector<WordsLine>> wordsOf(const Arguments& args) {
    // The words are input: nothing the command writes may replace them.
    std::error_code ec;
    for (const char* option : {"--output", "--lyrics"})
        if (args.has(option) && std::filesystem::equivalent(args.value("--words"), args.value(option), ec)) {
            printError(std::string(option) + " names the words file " + args.value("--words"));
            return std::nullopt;
        }
    const WordsText words = readWordsFile(args.value("--words"));
    if (!words.error.empty()) {
        printError(words.error);
        return std::nullopt;
    }
    return words.lines;
}

// A song fitted to the words, or the error that stopped it.
int saveWordsSong(WordsSong& made, ReportCollector& reports, const std::string& subject,
                  const Arguments& args, const std::string& linesPath, TextEncoding encoding) {
    if (!made.song) {
        if (made.error.empty()) {
            reports.fail(subject);
        } else {
            reports.failWith(made.error);
        }
        return 1;
    }
    return saveLyricSong(*made.song, reports, args.value("--output"), linesPath, encoding);
}

} // namespace

int composeCommand(const Arguments& args, const std::string& workdir) {
    std::optional<std::uint32_t> seed;
    if (!parseSeed(args, seed)) return 2;
    const auto data = requireDataFolder();
    if (!data) return 1;
    ReportCollector reports;
    SongComposer composer(*data, seed);
    const auto choice = chooseStyle(args, composer.styles());
    if (!choice) return 2;
    const std::string output = args.value("--output", joinPath(workdir, kComposedFile));
    if (!composer.composeSong(*choice, output)) {
        reports.fail(output);
        return 1;
    }
    return 0;
}

int generateCommand(const Arguments& args, const std::string& workdir) {
    std::optional<std::uint32_t> seed;
    if (!parseSeed(args, seed)) return 2;
    std::string linesPath;
    TextEncoding encoding = TextEncoding::Utf8;
    if (!lyricTarget(args, linesPath, encoding)) return 2;
    const std::string output = args.value("--output");
    if (output.empty()) {
        printError("generate needs an output file: -o FILE.mid");
        return 2;
    }
    std::optional<std::vector<WordsLine>> words;
    if (args.has("--words") && !(words = wordsOf(args))) return 2;
    const auto data = requireDataFolder();
    if (!data) return 1;
    // Fitting words says itself why too many cannot be sung; the conversion's
    // own note on the cap waits, shown only when the song is made.
    ReportCollector reports(words.has_value());
    SongComposer composer(*data, seed);
    const auto choice = chooseStyle(args, composer.styles());
    if (!choice) return 2;
    if (words) {
        WordsSong made = generateSongWithWords(composer, *choice, *words, workdir, *data);
        return saveWordsSong(made, reports, joinPath(workdir, kPreparedFile), args, linesPath, encoding);
    }
    // The vocabulary follows the song type; a style named directly sings pops.
    const int songType = args.has("--type") ? parseSongType(args.value("--type")).value_or(0) : 0;
    auto song = generateSong(composer, songType, *choice, workdir);
    if (!song) {
        reports.fail(joinPath(workdir, kPreparedFile));
        return 1;
    }
    return saveLyricSong(*song, reports, output, linesPath, encoding);
}

int loadCommand(const Arguments& args, const std::string& workdir) {
    if (args.positional.size() != 1 || !args.has("--channel") || !args.has("--output")) {
        printError("load takes one MIDI file, its melody channel and an output: "
                   "harmolin load IN.mid --channel C [--type T | --words FILE.txt] [--seed N] -o FILE.mid "
                   "[--lyrics FILE.txt]");
        return 2;
    }
    const auto channel = parseNumber("--channel", args.value("--channel"), 1, 16);
    if (!channel) return 2;
    if (*channel == 10) {
        printError("channel 10 is the drum channel; choose the channel of the melody");
        return 2;
    }
    std::optional<std::uint32_t> seed;
    if (!parseSeed(args, seed)) return 2;
    int songType = 0;
    if (args.has("--type")) {
        const auto type = parseSongType(args.value("--type"));
        if (!type) {
            printError("unknown song type '" + args.value("--type") + "'");
            return 2;
        }
        songType = *type;
    }
    std::string linesPath;
    TextEncoding encoding = TextEncoding::Utf8;
    if (!lyricTarget(args, linesPath, encoding)) return 2;
    std::optional<std::vector<WordsLine>> words;
    if (args.has("--words") && !(words = wordsOf(args))) return 2;
    const std::string& input = args.positional[0];
    ReportCollector reports(words.has_value());
    {
        MidiF0Data probe;
        if (!probe.load(input)) {
            reports.fail(input);
            return 1;
        }
        bool hasNotes = false;
        for (const auto& e : probe.track().events())
            hasNotes = hasNotes || (e.kind == kConnectedNote && e.channel == *channel - 1);
        if (!hasNotes) {
            printError("channel " + std::to_string(*channel) + " of " + input + " has no notes");
            return 1;
        }
    }
    if (words) {
        const auto data = requireDataFolder();
        if (!data) return 1;
        WordsSong made = loadSongWithWords(input, *channel, *words, workdir, *data);
        return saveWordsSong(made, reports, input, args, linesPath, encoding);
    }
    EngineRandom random;
    random.seed(seed ? *seed : static_cast<std::uint32_t>(std::time(nullptr)));
    auto song = prepareAndWriteLyrics(input, *channel, songType, workdir, random);
    if (!song) {
        reports.fail(input);
        return 1;
    }
    return saveLyricSong(*song, reports, args.value("--output"), linesPath, encoding);
}

int stylesCommand(const Arguments& args) {
    int only = -1;
    if (args.has("--group")) {
        const auto g = parseNumber("--group", args.value("--group"), 0, StyleTable::kGroups - 1);
        if (!g) return 2;
        only = *g;
    }
    EngineRandom random;
    StyleTable table;
    registerStyles(table, random);
    if (args.has("--json")) {
        for (int g = 0; g < StyleTable::kGroups; ++g) {
            if (only >= 0 && g != only) continue;
            for (int s = 0; s < StyleTable::kSlots; ++s)
                if (!table.at(g, s).nameText().empty())
                    std::printf("%s\n", styleJson(table.at(g, s), g, s).c_str());
        }
        return 0;
    }
    std::printf("%-5s %-4s %-20s %-5s %6s  %s\n", "group", "slot", "name", "meter", "BPM", "description");
    for (int g = 0; g < StyleTable::kGroups; ++g) {
        if (only >= 0 && g != only) continue;
        for (int s = 0; s < StyleTable::kSlots; ++s) {
            const StyleRecord& r = table.at(g, s);
            if (r.nameText().empty()) continue;
            std::printf("%-5d %-4d %-20s %-5s %6.1f  %s\n", g, s, r.nameText().c_str(), meterName(r.meter),
                        r.tempo > 0 ? 60000000.0 / r.tempo : 0.0, r.descriptionText().c_str());
        }
    }
    return 0;
}

int typesCommand() {
    EngineRandom random;
    StyleTable table;
    registerStyles(table, random);
    for (int t = 0; t < kSongTypeCount; ++t) {
        std::cout << t << ' ' << kSongTypes[static_cast<std::size_t>(t)] << ':';
        for (int v = 1; v <= 2; ++v) {
            const auto c = styleChoice(t, v);
            if (c) std::cout << "  " << v << " = " << table.at(c->group, c->slot).nameText();
        }
        std::cout << '\n';
    }
    return 0;
}

} // namespace harmolin::cli
