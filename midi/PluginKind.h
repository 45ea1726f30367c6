// How a singing (or playing) plug-in is driven. One rule for the whole
// program: the sequence writer picks the voice track's form by it, the VST
// host routes the voice channel by it, the singer list is looked for by it,
// and play, render and the window all ask it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace harmolin {

enum class PluginKind {
    // A singer that reads the VOCALOID2 control stream (NRPN note messages):
    // VOCALOID2 itself and our own harmolin-voice. Notes are not delivered.
    VocaloidStream,
    // A singer told each syllable by a program change before its note
    // ("Cantrix" in the file's name).
    SyllableProgram,
    // Any other VST 2 instrument: plays the melody as notes.
    Instrument,
};

// The kind by the file's base name, the folder and the last suffix left out:
// "Cantrix" anywhere in it is the syllable-program kind; "VOCALOID" or
// "harmolin-voice" the control-stream kind; anything else an instrument.
[[nodiscard]] PluginKind pluginKindOf(std::string_view pluginPath);

// The same, unless the user named the kind ("vocaloid", "syllable",
// "instrument"; "auto" or empty asks the rule).
[[nodiscard]] PluginKind pluginKindOf(std::string_view pluginPath, std::string_view override);

// Parses an override; nothing for a word that is not one of the above.
[[nodiscard]] std::optional<std::string_view> parsePluginKindName(std::string_view text);

// "vocaloid", "syllable" or "instrument": the word the override takes.
[[nodiscard]] std::string_view pluginKindName(PluginKind kind);

// True for the two kinds that sing lyrics (they have a singer list).
[[nodiscard]] inline bool isSinger(PluginKind kind) {
    return kind != PluginKind::Instrument;
}

} // namespace harmolin
