#include "midi/PluginKind.h"

namespace harmolin {

PluginKind pluginKindOf(std::string_view pluginPath) {
    std::string_view base = pluginPath;
    if (const auto slash = base.rfind('/'); slash != std::string_view::npos) base.remove_prefix(slash + 1);
    if (const auto dot = base.rfind('.'); dot != std::string_view::npos && dot > 0)
        base = base.substr(0, dot);
    if (base.find("Cantrix") != std::string_view::npos) return PluginKind::SyllableProgram;
    if (base.find("VOCALOID") != std::string_view::npos ||
        base.find("harmolin-voice") != std::string_view::npos)
        return PluginKind::VocaloidStream;
    return PluginKind::Instrument;
}

std::optional<std::string_view> parsePluginKindName(std::string_view text) {
    for (std::string_view name : {"auto", "vocaloid", "syllable", "instrument"})
        if (text == name) return name;
    if (text.empty()) return std::string_view("auto");
    return std::nullopt;
}

PluginKind pluginKindOf(std::string_view pluginPath, std::string_view override) {
    if (override == "vocaloid") return PluginKind::VocaloidStream;
    if (override == "syllable") return PluginKind::SyllableProgram;
    if (override == "instrument") return PluginKind::Instrument;
    return pluginKindOf(pluginPath);
}

std::string_view pluginKindName(PluginKind kind) {
    switch (kind) {
    case PluginKind::VocaloidStream:
        return "vocaloid";
    case PluginKind::SyllableProgram:
        return "syllable";
    case PluginKind::Instrument:
        return "instrument";
    }
    return "instrument";
}

} // namespace harmolin
