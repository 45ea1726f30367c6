// harmolin: every job of the window from a terminal.
#include "app/WorkingFolder.h"
#include "cli/BatchCommand.h"
#include "cli/CommandLine.h"
#include "cli/ComposeCommands.h"
#include "cli/ExportCommand.h"
#include "cli/MidiCommands.h"
#include "cli/PlayCommand.h"
#include "cli/RenderCommand.h"
#include "cli/SingCommands.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace harmolin;
using namespace harmolin::cli;

namespace {

const char* kUsage =
    "usage: harmolin COMMAND [options]\n"
    "\n"
    "commands:\n"
    "  inspect FILE.mid [--events]                  format, tracks, events, tempo, notes per channel, "
    "lyrics;\n"
    "                                               --events lists every event: TICK KIND CHANNEL DATA...\n"
    "  prepare IN.mid --channel C [-o OUT.mid]      the song made ready for lyrics: 480 ticks per quarter\n"
    "          [--guide-volume N]                   note, melody from channel C to channel 1 and made\n"
    "                                               monophonic, guide melody volume (default 42), a beat\n"
    "                                               track when there are no drums (default output:\n"
    "                                               temp_dv.mid in the working folder)\n"
    "  copy IN.mid -o OUT.mid [--format 0|1|xf]     load and save a song unchanged\n"
    "  types                                        song types, their variants and style names\n"
    "  styles [--group G] [--json]                  the style table: group, slot, name, meter, tempo;\n"
    "                                               --json: one object per style with its mix, melody\n"
    "                                               set-up and the engine switches it turns on\n"
    "  compose --type T [--variant V] [--seed N]    compose a song in the style of a song type (or\n"
    "          [--style NAME | --group G --slot S]  any style of the table) and write it as a\n"
    "          [-o FILE.mid]                        MIDI file (default: temp_znr.mid)\n"
    "  generate --type T [--variant V] [--seed N]   compose, prepare and write Japanese lyrics: an XF\n"
    "          -o FILE.mid [--lyrics FILE.txt]      file with one lyric per melody note; the lines\n"
    "          [--encoding utf8|cp932]              go to FILE.txt (CR LF) and standard output\n"
    "          [--words FILE.txt]                   --words: the melody fitted to your own words\n"
    "                                               (UTF-8 or Shift-JIS, a line per phrase, a blank\n"
    "                                               line between verses) instead of written ones\n"
    "  load IN.mid --channel C [--type T]           write lyrics for the melody on channel C of a\n"
    "          [--seed N] -o FILE.mid [--lyrics ..] MIDI file, in the vocabulary of song type T;\n"
    "          [--words FILE.txt]                   or fit it to your own words\n"
    "  sequence IN_XF.mid [-o OUT.mid]              the sung-part file of an XF song: lyrics made\n"
    "          [--delay MS] [--plugin PATH]         singable, the voice sequence on channel 1 in the\n"
    "          [--plugin-kind K | --mode M]         form the plug-in's kind takes, its singer from the\n"
    "                                               list beside it (default output: temp_pl.mid)\n"
    "  render (--type T [--variant V] [--seed N]    the song sung by the plug-in (or its melody played,\n"
    "          | --song IN_XF.mid) -o FILE.wav      instrument) over the General MIDI accompaniment,\n"
    "          [--sound voice|instrument]           as 44.1 kHz stereo audio: FILE.wav (16-bit), .flac\n"
    "          [--plugin PATH] [--stems DIR]        or .ogg (Vorbis) by its name; --stems also writes\n"
    "                                               voice and accompaniment files of that type into DIR\n"
    "  batch (--type T [--variant V]                many songs at once: N songs (of each style with\n"
    "          | --style NAME | --all-styles)       --all-styles) as XF files and lyric lines named\n"
    "          --count N -o DIR [--jobs J]          STYLE-SEED, song i with seed S + i; J worker\n"
    "          [--seed S] [--wav] [--stems]         processes (default: the cores); --wav renders each\n"
    "          [--musicxml] [--plugin PATH]         sung, --stems adds STYLE-SEED-stems/, --musicxml the\n"
    "                                               score; a failed song is named by its seed\n"
    "  export IN_XF.mid -o OUT.musicxml             the sung melody as a score: key, time, tempo, rests,\n"
    "          [--with-chords] [--lyrics FILE.txt]  ties, triplets, one lyric per note; OUT.mxl is the\n"
    "                                               compressed form; --with-chords adds chord symbols,\n"
    "                                               --lyrics the saved lyric lines for word syllables\n"
    "  play (--type T [--variant V] [--seed N]      the same in real time: the voice through the\n"
    "          | --song IN_XF.mid)                  live audio output, the accompaniment through a MIDI\n"
    "          [--sound voice|instrument]           device (-1: the built-in synthesizer, default; or\n"
    "          [--plugin PATH] [--midi-port P]      an ALSA sequencer port by number or name); the\n"
    "          [--audio-device D] [--delay MS]      ALSA PCM D (default, null, hw:0, ...); the voice's\n"
    "          [--list-devices] [--timing]          delay is measured once, then kept; Ctrl-C stops\n"
    "\n"
    "plug-in kinds (--plugin-kind auto|vocaloid|syllable|instrument; auto decides by the file's name):\n"
    "  vocaloid    a singer that reads the VOCALOID2 control stream: a name with VOCALOID or\n"
    "              harmolin-voice (our own singer)\n"
    "  syllable    a singer told each syllable by a program change before its note: a name\n"
    "              with Cantrix (CantrixVoice.so, my.Cantrix.so, ...)\n"
    "  instrument  any other VST 2 instrument: plays the melody as notes\n"
    "\n"
    "options for every command:\n"
    "  --workdir DIR                                the working folder, before or after the command\n"
    "                                               (default: the current folder)\n"
    "  --help                                       this text\n";

} // namespace

int main(int argc, char** argv) {
    // Options for every command may also stand before it:
    // "harmolin --workdir DIR render ..." is "harmolin render ... --workdir DIR".
    std::vector<char*> reordered(argv, argv + argc);
    std::size_t leading = 1;
    while (leading < reordered.size() && std::string(reordered[leading]).rfind("--workdir", 0) == 0)
        leading += std::string(reordered[leading]).find('=') != std::string::npos ? 1 : 2;
    if (leading < reordered.size()) // a command follows: the options go after it
        std::rotate(reordered.begin() + 1, reordered.begin() + static_cast<long>(leading), reordered.end());
    installTerminalPresenter();
    argc = static_cast<int>(reordered.size());
    argv = reordered.data();
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "help") {
        std::cout << kUsage;
        return argc < 2 ? 2 : 0;
    }
    const std::string command = argv[1];
    OptionTable options;
    options.withValue = {"--workdir", "--output"};
    options.flags = {"--help"};
    if (command == "inspect") {
        options.flags.insert("--events");
    } else if (command == "prepare") {
        options.withValue.insert({"--channel", "--guide-volume"});
    } else if (command == "copy") {
        options.withValue.insert("--format");
    } else if (command == "compose") {
        options.withValue.insert({"--type", "--variant", "--seed", "--style", "--group", "--slot"});
    } else if (command == "generate") {
        options.withValue.insert({"--type", "--variant", "--seed", "--style", "--group", "--slot", "--lyrics",
                                  "--encoding", "--words"});
    } else if (command == "load") {
        options.withValue.insert({"--channel", "--type", "--seed", "--lyrics", "--encoding", "--words"});
    } else if (command == "sequence") {
        options.withValue.insert({"--delay", "--mode", "--plugin", "--plugin-kind"});
    } else if (command == "render") {
        options.withValue.insert({"--type", "--variant", "--seed", "--style", "--group", "--slot", "--song",
                                  "--sound", "--plugin", "--stems", "--plugin-kind"});
    } else if (command == "play") {
        options.withValue.insert({"--type", "--variant", "--seed", "--style", "--group", "--slot", "--song",
                                  "--sound", "--plugin", "--midi-port", "--audio-device", "--delay",
                                  "--plugin-kind"});
        options.flags.insert({"--list-devices", "--timing"});
    } else if (command == "batch") {
        options.withValue.insert(
            {"--type", "--variant", "--style", "--count", "--jobs", "--seed", "--plugin"});
        options.flags.insert({"--all-styles", "--wav", "--stems", "--musicxml"});
    } else if (command == "export") {
        options.withValue.insert("--lyrics");
        options.flags.insert("--with-chords");
    } else if (command == "styles") {
        options.withValue.insert("--group");
        options.flags.insert("--json");
    } else if (command == "types") {
    } else {
        printError("unknown command '" + command + "' (see harmolin --help)");
        return 2;
    }
    const auto args = parseArguments(argc, argv, 2, options);
    if (!args) return 2;
    if (args->flags.count("--help")) {
        std::cout << kUsage;
        return 0;
    }
    std::string workdir = args->value("--workdir");
    if (workdir.empty()) {
        workdir = currentWorkingFolder();
    } else {
        struct stat st {};
        if (::stat(workdir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            printError("working folder '" + workdir + "' is not a folder");
            return 2;
        }
    }
    if (command == "inspect") return inspectCommand(*args);
    if (command == "copy") return copyCommand(*args);
    if (command == "compose") return composeCommand(*args, workdir);
    if (command == "generate") return generateCommand(*args, workdir);
    if (command == "load") return loadCommand(*args, workdir);
    if (command == "sequence") return sequenceCommand(*args, workdir);
    if (command == "render") return renderCommand(*args, workdir);
    if (command == "play") return playCommand(*args, workdir);
    if (command == "styles") return stylesCommand(*args);
    if (command == "export") return exportCommand(*args);
    if (command == "batch") return batchCommand(*args, workdir);
    if (command == "types") return typesCommand();
    return prepareCommand(*args, workdir);
}
