#include "app/Settings.h"
#include "base/ErrorCodes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>

using namespace harmolin;
using harmolin::test::CollectReports;
using harmolin::test::tempPath;

namespace {

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void expectDefaults(const SettingsRecord& r) {
    EXPECT_EQ(r.delayCorrection, -1);
    EXPECT_EQ(r.playbackSound, -1);
    EXPECT_EQ(r.danceMode, 2);
    EXPECT_EQ(r.guideVolume, 42);
    EXPECT_EQ(r.showLyrics, 0);
}

SettingsRecord sample() {
    SettingsRecord r;
    r.pluginPath = "/opt/voices/harmolin-voice.so";
    r.delayCorrection = 915;
    r.playbackSound = 64;
    r.danceMode = 1;
    r.guideVolume = 127;
    r.showLyrics = 1;
    return r;
}

} // namespace

TEST(Settings, FileHoldsTheRecordByteForByte) {
    const std::string path = tempPath("setup-roundtrip.ini");
    SettingsRecord r = sample();
    r.delayCorrection = -2; // a negative field shows the sign and the byte order
    ASSERT_TRUE(storeSettings(path, r));
    const auto bytes = readAll(path);
    ASSERT_EQ(bytes.size(), 292u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), r.pluginPath);
    for (std::size_t i = r.pluginPath.size(); i < 260; ++i)
        ASSERT_EQ(bytes[i], 0) << i;
    const std::vector<std::uint8_t> fields(bytes.begin() + 260, bytes.end());
    const std::vector<std::uint8_t> expected = {0xFE, 0xFF, 0xFF, 0xFF, 64, 0, 0, 0, 1, 0, 0,
                                                0,    127,  0,    0,    0,  1, 0, 0, 0, 0, 0,
                                                0,    0,    0,    0,    0,  0, 0, 0, 0, 0};
    EXPECT_EQ(fields, expected);

    const SettingsRecord back = loadSettings(path, SettingsRecord::defaults());
    EXPECT_EQ(back.pluginPath, r.pluginPath);
    EXPECT_EQ(back.delayCorrection, -2);
    EXPECT_EQ(back.playbackSound, 64);
    EXPECT_EQ(back.danceMode, 1);
    EXPECT_EQ(back.guideVolume, 127);
    EXPECT_EQ(back.showLyrics, 1);
}

TEST(Settings, ForeignFileSurvivesLoadAndStoreUnchanged) {
    // Reserved bytes and whatever follows the path's zero come back as they were.
    std::vector<std::uint8_t> bytes(292);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    bytes[10] = 0;
    const std::string path = tempPath("setup-foreign.ini");
    writeAll(path, bytes);
    const SettingsRecord r = loadSettings(path, SettingsRecord::defaults());
    EXPECT_EQ(r.pluginPath.size(), 10u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(r.reserved[i], bytes[280 + i]);
    ASSERT_TRUE(storeSettings(path, r));
    const auto again = readAll(path);
    ASSERT_EQ(again.size(), 292u);
    // The path field is rewritten from the string: bytes after its zero are cleared.
    EXPECT_TRUE(std::equal(again.begin() + 260, again.end(), bytes.begin() + 260));
    EXPECT_TRUE(std::equal(again.begin(), again.begin() + 11, bytes.begin()));
}

TEST(Settings, MissingShortOrEmptyFileGivesTheDefaults) {
    SettingsRecord defaults = sample();
    defaults.danceMode = 0;
    EXPECT_EQ(loadSettings(tempPath("no-such-setup.ini"), defaults).danceMode, 0);
    EXPECT_EQ(loadSettings(std::filesystem::temp_directory_path().string(), defaults).danceMode, 0);

    const std::string path = tempPath("setup-short.ini");
    const auto full = SettingsRecord().toBytes();
    for (std::size_t size : {std::size_t(0), std::size_t(4), std::size_t(260), std::size_t(291)}) {
        writeAll(path, std::vector<std::uint8_t>(full.begin(), full.begin() + size));
        const SettingsRecord r = loadSettings(path, defaults);
        EXPECT_EQ(r.danceMode, 0) << size;
        EXPECT_EQ(r.pluginPath, defaults.pluginPath) << size;
    }
    // A longer file: its first 292 bytes are the record.
    std::vector<std::uint8_t> longer(full.begin(), full.end());
    longer.resize(400, 0x55);
    writeAll(path, longer);
    EXPECT_EQ(loadSettings(path, defaults).danceMode, 2);
}

TEST(Settings, DefaultsNameOurPluginAndTheDocumentedValues) {
    const SettingsRecord d = SettingsRecord::defaults();
    expectDefaults(d);
    const std::filesystem::path plugin = d.pluginPath;
    EXPECT_TRUE(plugin.is_absolute()) << d.pluginPath;
    EXPECT_EQ(plugin.filename(), "harmolin-voice.so");
    for (auto b : d.reserved)
        EXPECT_EQ(b, 0);
}

TEST(Settings, OverlongPathStaysInsideItsField) {
    SettingsRecord r = sample();
    r.pluginPath = "/" + std::string(300, 'a');
    auto bytes = r.toBytes();
    EXPECT_EQ(bytes[259], 0);
    EXPECT_EQ(bytes[260], sample().toBytes()[260]); // the delay field is untouched
    EXPECT_EQ(SettingsRecord::fromBytes(bytes.data()).pluginPath, r.pluginPath.substr(0, 259));

    // Never half a UTF-8 character at the cut.
    r.pluginPath = std::string(258, 'b') + "\xE3\x81\x82";
    bytes = r.toBytes();
    EXPECT_EQ(SettingsRecord::fromBytes(bytes.data()).pluginPath, std::string(258, 'b'));

    // A file whose path has no terminating zero is read no further than the field.
    std::vector<std::uint8_t> raw(292, 'c');
    EXPECT_EQ(SettingsRecord::fromBytes(raw.data()).pluginPath.size(), 259u);
}

TEST(Settings, FailedStoreIsReportedAndKeepsTheOldFile) {
    CollectReports reports;
    const std::string path = tempPath("setup-keep.ini");
    ASSERT_TRUE(storeSettings(path, sample()));
    const auto before = readAll(path);

    SettingsRecord other = sample();
    other.guideVolume = 3;
    {
        // A file-size limit makes the write itself fail half-way, as a full disk would.
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 100;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const bool stored = storeSettings(path, other);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(stored);
    }
    EXPECT_EQ(readAll(path), before);
    EXPECT_TRUE(reports.sawCode(errc::kCannotOpenFile));
    EXPECT_TRUE(reports.saw("GENE01000007 Cant open file!"));
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        files += e.path().filename().string().rfind("setup-keep.ini", 0) == 0;
    EXPECT_EQ(files, 1);

    EXPECT_FALSE(storeSettings(tempPath("no-such-folder/setup.ini"), sample()));
    EXPECT_EQ(reports.lines.back().code, errc::kCannotOpenFile);
}
