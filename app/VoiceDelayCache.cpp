#include "app/VoiceDelayCache.h"

#include "app/WorkingFolder.h"
#include "midi/ByteBuffer.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace harmolin {
namespace {

namespace fs = std::filesystem;

// The plug-in as a file: where it really is, when it was written, how long.
struct PluginStamp {
    std::string path;
    long long mtimeNs = 0;
    long long size = 0;
};

std::optional<PluginStamp> stampOf(const std::string& pluginPath) {
    std::error_code ec;
    const fs::path real = fs::canonical(pluginPath, ec);
    if (ec) return std::nullopt;
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    PluginStamp s;
    s.path = real.string();
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.size = static_cast<long long>(st.st_size);
    return s;
}

// One line: kind TAB mtime TAB size TAB delay TAB path.
struct CacheLine {
    std::string kind;
    PluginStamp stamp;
    int delayMs = 0;
};

std::optional<CacheLine> parseLine(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string::npos) return std::nullopt;
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    auto number = [](const std::string& text, long long& out) {
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
        return ec == std::errc() && ptr == text.data() + text.size();
    };
    CacheLine c;
    long long delay = 0;
    if (!number(fields[1], c.stamp.mtimeNs) || !number(fields[2], c.stamp.size) || !number(fields[3], delay))
        return std::nullopt;
    if (delay < 0 || delay > 10000 || fields[0].empty() || fields[4].empty()) return std::nullopt;
    c.kind = fields[0];
    c.delayMs = static_cast<int>(delay);
    c.stamp.path = fields[4];
    return c;
}

std::vector<CacheLine> readCache(const std::string& file) {
    std::vector<CacheLine> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (auto c = parseLine(line)) lines.push_back(std::move(*c));
    return lines;
}

// Names hold no tab or line break, so a line stays one record.
std::string clean(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

} // namespace

std::string offlineDelayKind() {
    return "offline";
}

std::string adjustedDelayKind() {
    return "adjusted";
}

std::optional<int> cachedVoiceDelay(const std::string& workingFolder, const std::string& kind,
                                    const std::string& pluginPath) {
    const auto stamp = stampOf(pluginPath);
    if (!stamp) return std::nullopt;
    for (const CacheLine& c : readCache(joinPath(workingFolder, kVoiceDelayFile)))
        if (c.kind == kind && c.stamp.path == stamp->path && c.stamp.mtimeNs == stamp->mtimeNs &&
            c.stamp.size == stamp->size)
            return c.delayMs;
    return std::nullopt;
}

bool voiceDelayKeptForPath(const std::string& workingFolder, const std::string& pluginPath) {
    std::error_code ec;
    const fs::path real = fs::canonical(pluginPath, ec);
    if (ec) return false;
    for (const CacheLine& c : readCache(joinPath(workingFolder, kVoiceDelayFile)))
        if (c.stamp.path == real.string()) return true;
    return false;
}

std::optional<int> keptPlayDelay(const std::string& workingFolder, const std::string& pluginPath) {
    if (const auto adjusted = cachedVoiceDelay(workingFolder, adjustedDelayKind(), pluginPath))
        return adjusted;
    return cachedVoiceDelay(workingFolder, offlineDelayKind(), pluginPath);
}

bool storeVoiceDelay(const std::string& workingFolder, const std::string& kind, const std::string& pluginPath,
                     int delayMs) {
    const auto stamp = stampOf(pluginPath);
    if (!stamp || stamp->path.find('\n') != std::string::npos) return false;
    const std::string file = joinPath(workingFolder, kVoiceDelayFile);
    std::ostringstream out;
    // Older lines of this plug-in and kind go: the plug-in has changed since.
    for (const CacheLine& c : readCache(file))
        if (!(c.kind == kind && c.stamp.path == stamp->path))
            out << c.kind << '\t' << c.stamp.mtimeNs << '\t' << c.stamp.size << '\t' << c.delayMs << '\t'
                << c.stamp.path << '\n';
    out << clean(kind) << '\t' << stamp->mtimeNs << '\t' << stamp->size << '\t' << delayMs << '\t'
        << stamp->path << '\n';
    const std::string text = out.str();
    return writeFileAtomically(file, text.data(), text.size());
}

} // namespace harmolin
