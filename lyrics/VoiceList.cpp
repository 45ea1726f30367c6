#include "lyrics/VoiceList.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "base/Files.h"
#include "base/TextCodec.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace harmolin {
namespace {

constexpr std::uintmax_t kMaxVoiceFileBytes = 0xF0000;

// Cuts CP932 text to at most max bytes without splitting a double-byte
// character.
std::string cutText(const std::string& text, std::size_t max) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t step = isCp932LeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        if (i + step > max) break;
        i += step;
    }
    return text.substr(0, std::min(i, text.size()));
}

std::string cp932(const char* utf8) {
    return utf8ToCp932(utf8).value_or(std::string());
}

// Reads a regular file of at most max bytes whole; false otherwise.
bool readWhole(const std::string& path, std::uintmax_t max, std::string& out) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > max) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

bool VoiceCsvReader::getVoiceList(std::vector<VoiceCsvEntry>& out) const {
    out.clear();
    std::string text;
    if (!readWhole(path_, kMaxFileBytes, text)) {
        out.push_back({cp932("不明"), "Undef"});
        reportError(ErrorClass::Vofw, errc::kVocaloidVoiceListFailed);
        return false;
    }
    VoiceCsvEntry current;
    bool inValue = false;
    for (std::size_t i = 0; i < text.size() && static_cast<int>(out.size()) < kMaxEntries; ++i) {
        const char c = text[i];
        // At the very first byte a comma or line end is plain text.
        if (i > 0 && c == ',' && !inValue) {
            inValue = true;
            continue;
        }
        if (i > 0 && (c == '\r' || c == '\n')) {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out.push_back({cutText(current.name, 63), cutText(current.value, 259)});
            current = {};
            inValue = false;
            continue;
        }
        (inValue ? current.value : current.name) += c;
    }
    return true;
}

VoiceList::VoiceList() {
    for (int i = 0; i < 256; ++i)
        vvdTable_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    reset();
}

void VoiceList::reset() {
    entries_.assign(1, Entry{0, "Singer"});
    count_ = 0;
    source_.clear();
    hasList_ = false;
}

void VoiceList::useNeutralSinger() {
    reset();
    hasList_ = true;
}

void VoiceList::append(std::int32_t program, std::string name) {
    if (count_ >= kMaxEntries) return;
    Entry e{program, cutText(name, kMaxNameBytes)};
    if (count_ < static_cast<int>(entries_.size()))
        entries_[static_cast<std::size_t>(count_)] = std::move(e);
    else
        entries_.push_back(std::move(e));
    ++count_;
}

bool VoiceList::loadVoiceList(const std::string& pluginPath, const std::string& programFolder) {
    return loadVoiceList(pluginPath, pluginKindOf(pluginPath), programFolder);
}

bool VoiceList::loadVoiceList(const std::string& pluginPath, PluginKind kind,
                              const std::string& programFolder) {
    std::string_view base = pluginPath;
    if (const auto slash = base.rfind('/'); slash != std::string_view::npos) base.remove_prefix(slash + 1);
    const bool databases = base.find("VOCALOID2") != std::string_view::npos;
    switch (kind) {
    case PluginKind::VocaloidStream:
        if (databases) {
            // No folder browser here: a missing folder is read as it is and
            // gives the unknown singer.
            readVoiceDatabases(joinPath(joinPath(programFolder, "VOCALOID2"), "voicedbdir"));
            return true;
        }
        [[fallthrough]];
    case PluginKind::SyllableProgram: {
        std::string folder;
        if (const auto slash = pluginPath.rfind('/'); slash != std::string::npos) {
            folder = pluginPath.substr(0, slash == 0 ? 1 : slash);
        } else {
            std::error_code ec;
            folder = std::filesystem::current_path(ec).string();
        }
        readVoiceCsv(joinPath(folder, "voice.csv"));
        return true;
    }
    case PluginKind::Instrument:
        break;
    }
    reset();
    return false;
}

void VoiceList::readVoiceCsv(const std::string& csvPath) {
    reset();
    source_ = csvPath;
    hasList_ = true;
    std::vector<VoiceCsvEntry> rows;
    (void)VoiceCsvReader(csvPath).getVoiceList(rows); // a missing list is reported and leaves one unknown row
    for (std::size_t i = 0; i < rows.size(); ++i)
        append(static_cast<std::int32_t>(i), rows[i].name);
}

void VoiceList::readVoiceDatabases(const std::string& folder) {
    reset();
    source_ = folder;
    hasList_ = true;
    std::string map;
    if (!readWhole(joinPath(folder, "voice.map"), kMaxVoiceFileBytes, map)) {
        append(0, cp932("不明"));
        return;
    }
    static const std::string key = "\"VOICENAME\":=:\"";
    for (std::size_t at = 32; at < map.size() && count_ < kMaxEntries; at += 8) {
        const int database = static_cast<unsigned char>(map[at]);
        if (database == 0) continue;
        const std::string vvd = joinPath(folder, "vvoice" + std::to_string(database) + ".vvd");
        std::string text;
        if (!readWhole(vvd, kMaxVoiceFileBytes, text)) {
            char message[128];
            std::snprintf(message, sizeof message, "vvoice%d.vvdがある場所を指定してください。", database);
            reportMessage(message);
            continue;
        }
        for (char& c : text)
            c = static_cast<char>(vvdTable_[static_cast<unsigned char>(c)]);
        const auto found = text.find(key);
        if (found == std::string::npos) continue;
        const auto from = found + key.size();
        const auto close = text.find('"', from);
        std::string name = text.substr(from, close == std::string::npos ? std::string::npos : close - from);
        append(static_cast<std::int32_t>((at - 32) / 8), std::move(name));
    }
}

} // namespace harmolin
