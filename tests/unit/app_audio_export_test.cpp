#include "app/AudioExport.h"
#include "midi/XfData.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <unistd.h>

namespace harmolin {
namespace {

namespace fs = std::filesystem;

class AudioExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() / ("harmolin-audio-export-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
        ASSERT_TRUE(song_.load(std::string(HARMOLIN_TEST_DATA) + "/xf-song.mid"));
        if (defaultSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont installed";
    }
    void TearDown() override { fs::remove_all(folder_); }

    RenderResult exportTo(const std::string& name, std::function<bool(double)> progress = {}) {
        AudioExportSettings sound;
        sound.sung = false;
        sound.melodyProgram = 73;
        return exportSongAudio(song_, sound, folder_.string(), HARMOLIN_DATA_FOLDER,
                               (folder_ / name).string(), std::move(progress));
    }

    bool onlyWorkingFiles() const {
        for (const auto& entry : fs::directory_iterator(folder_)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("temp_", 0) != 0) return false;
        }
        return true;
    }

    fs::path folder_;
    CXfData song_;
};

TEST_F(AudioExportTest, PlayedMelodyIsRenderedWithProgressUpToTheEnd) {
    double last = -1;
    bool rising = true;
    const RenderResult result = exportTo("song.flac", [&](double done) {
        rising = rising && done >= last;
        last = done;
        return true;
    });
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_GT(result.seconds, 2.0);
    EXPECT_TRUE(rising);
    EXPECT_DOUBLE_EQ(last, 1.0);
    EXPECT_GT(fs::file_size(folder_ / "song.flac"), 1000u);
}

TEST_F(AudioExportTest, StoppedOrUnknownTypesWriteNothing) {
    const RenderResult stopped = exportTo("song.ogg", [](double done) { return done < 0.5; });
    EXPECT_FALSE(stopped.ok);
    EXPECT_EQ(stopped.error, "rendering stopped");
    const RenderResult unknown = exportTo("song.mp3");
    EXPECT_FALSE(unknown.ok);
    EXPECT_NE(unknown.error.find(".wav, .flac or .ogg"), std::string::npos);
    EXPECT_TRUE(onlyWorkingFiles());
}

} // namespace
} // namespace harmolin
