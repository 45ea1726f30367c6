// The installed singers of the singing plug-in. The sequence writer always
// sings with the first entry.
#pragma once

#include "midi/PluginKind.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace harmolin {

// Entries of a "voice.csv" singer list, as read by getVoiceList.
struct VoiceCsvEntry {
    std::string name;  // CP932 bytes, at most 64
    std::string value; // CP932 bytes, at most 260
};

class VoiceCsvReader {
  public:
    static constexpr int kMaxEntries = 24;
    static constexpr int kMaxFileBytes = 65536;
    explicit VoiceCsvReader(std::string path) : path_(std::move(path)) {}

    // Each line "name,value" ended by CR, LF or CR LF adds an entry; a last
    // line without its line end adds nothing. A file that cannot be read (or
    // is longer than the read buffer) gives the one entry "不明" / "Undef"
    // and is reported. False in that case.
    [[nodiscard]] bool getVoiceList(std::vector<VoiceCsvEntry>& out) const;

  private:
    std::string path_;
};

class VoiceList {
  public:
    static constexpr int kMaxEntries = 128;
    static constexpr std::size_t kMaxNameBytes = 63;

    struct Entry {
        std::int32_t program = 0;
        std::string name; // CP932 bytes
    };

    VoiceList();

    // Chooses the source from the plug-in and fills the list: the voice
    // databases' folder for VOCALOID2 (programFolder stands where its install
    // folder would be), "voice.csv" beside any other singer. False when the
    // plug-in is an instrument, which has no singer list (hasList() is then
    // false).
    [[nodiscard]] bool loadVoiceList(const std::string& pluginPath, const std::string& programFolder);
    [[nodiscard]] bool loadVoiceList(const std::string& pluginPath, PluginKind kind,
                                     const std::string& programFolder);

    // Readers of the two sources; each starts from a fresh list.
    void readVoiceCsv(const std::string& csvPath);
    void readVoiceDatabases(const std::string& folder);

    // The byte substitution of ".vvd" description files; identity unless set.
    void setVvdSubstitution(const std::array<std::uint8_t, 256>& table) { vvdTable_ = table; }

    // A list of the one neutral entry ("Singer", program 0), for a plug-in
    // that needs no singer.
    void useNeutralSinger();

    [[nodiscard]] bool hasList() const { return hasList_; }
    [[nodiscard]] const std::string& source() const { return source_; }
    [[nodiscard]] int count() const { return count_; }
    // Entry 0 always exists ("Singer", program 0, in a list nothing was read into).
    [[nodiscard]] const Entry& entry(int i) const { return entries_[static_cast<std::size_t>(i)]; }
    [[nodiscard]] const Entry& first() const { return entries_[0]; }

  private:
    void reset();
    void append(std::int32_t program, std::string name);

    std::string source_;
    std::vector<Entry> entries_;
    int count_ = 0;
    bool hasList_ = false;
    std::array<std::uint8_t, 256> vvdTable_{};
};

} // namespace harmolin
