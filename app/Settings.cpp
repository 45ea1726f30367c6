#include "app/Settings.h"

#include "app/DataFolder.h"
#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "midi/ByteBuffer.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace harmolin {

namespace {

constexpr int kFieldsOffset = kSettingsPathBytes;
constexpr int kReservedOffset = kFieldsOffset + 5 * 4;

void put32(std::uint8_t* at, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::int32_t get32(const std::uint8_t* at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | at[i];
    return static_cast<std::int32_t>(v);
}

// The path field always ends in a zero byte; a longer path is cut before a
// UTF-8 continuation byte so the stored name stays a whole string.
std::size_t storedPathLength(const std::string& path) {
    std::size_t n = std::min(path.size(), std::strlen(path.c_str()));
    if (n < static_cast<std::size_t>(kSettingsPathBytes)) return n;
    n = kSettingsPathBytes - 1;
    while (n > 0 && (static_cast<std::uint8_t>(path[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

} // namespace

SettingsRecord SettingsRecord::defaults() {
    SettingsRecord record;
    record.pluginPath = defaultPluginPath();
    record.pluginPath.resize(storedPathLength(record.pluginPath));
    return record;
}

std::array<std::uint8_t, kSettingsFileSize> SettingsRecord::toBytes() const {
    std::array<std::uint8_t, kSettingsFileSize> bytes{};
    std::memcpy(bytes.data(), pluginPath.data(), storedPathLength(pluginPath));
    std::uint8_t* fields = bytes.data() + kFieldsOffset;
    for (std::int32_t value : {delayCorrection, playbackSound, danceMode, guideVolume, showLyrics}) {
        put32(fields, value);
        fields += 4;
    }
    std::copy(reserved.begin(), reserved.end(), bytes.begin() + kReservedOffset);
    return bytes;
}

SettingsRecord SettingsRecord::fromBytes(const std::uint8_t* bytes) {
    SettingsRecord record;
    // A field without its terminating zero is read no further than its last byte but one.
    const auto* path = reinterpret_cast<const char*>(bytes);
    record.pluginPath.assign(path, ::strnlen(path, kSettingsPathBytes - 1));
    const std::uint8_t* fields = bytes + kFieldsOffset;
    record.delayCorrection = get32(fields);
    record.playbackSound = get32(fields + 4);
    record.danceMode = get32(fields + 8);
    record.guideVolume = get32(fields + 12);
    record.showLyrics = get32(fields + 16);
    std::copy(bytes + kReservedOffset, bytes + kSettingsFileSize, record.reserved.begin());
    return record;
}

SettingsRecord loadSettings(const std::string& path, const SettingsRecord& defaults) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return defaults;
    std::array<std::uint8_t, kSettingsFileSize> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), kSettingsFileSize);
    // A short file is a damaged one: half a record would mix stored and zero fields.
    if (in.gcount() != kSettingsFileSize) return defaults;
    return SettingsRecord::fromBytes(bytes.data());
}

bool storeSettings(const std::string& path, const SettingsRecord& record) {
    const auto bytes = record.toBytes();
    if (!writeFileAtomically(path, bytes.data(), bytes.size())) {
        reportNotice(path);
        reportError(ErrorClass::Gene, errc::kCannotOpenFile);
        return false;
    }
    return true;
}

} // namespace harmolin
