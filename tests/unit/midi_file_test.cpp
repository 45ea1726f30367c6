#include "base/ErrorCodes.h"
#include "midi/ByteBuffer.h"
#include "midi/MidiF0Data.h"
#include "midi/MidiF1Data.h"
#include "midi/MidiTrackEdit.h"
#include "midi/XfData.h"
#include "test_support.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace harmolin;
using namespace harmolin::test;

namespace {

const Bytes kConductor = {0, 0xFF, 0x51, 3,  0x07, 0xA1, 0x20, 0,    0xFF, 0x58,
                          4, 4,    2,    24, 8,    0,    0xFF, 0x2F, 0};
const Bytes kMelody = {0,    0xC0, 5,   0,  0x90, 60, 100, 96, 0x80, 60,   0, 0,
                       0x90, 62,   100, 96, 0x80, 62, 0,   0,  0xFF, 0x2F, 0};

void writeBytes(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(MidiF0, LoadsFormatZeroAndFormatOne) {
    CollectReports r;
    MidiF0Data a;
    const Bytes f0 = smf(0, 96, {kMelody});
    ASSERT_TRUE(a.loadBytes(f0.data(), int(f0.size())));
    EXPECT_EQ(a.division(), 96);
    EXPECT_EQ(noteCount(a.track()), 2);

    MidiF0Data b;
    const Bytes f1 = smf(1, 480, {kConductor, kMelody});
    ASSERT_TRUE(b.loadBytes(f1.data(), int(f1.size())));
    EXPECT_EQ(b.division(), 480);
    EXPECT_EQ(noteCount(b.track()), 2);
    EXPECT_EQ(firstTempo(b.track()), 500000);
    // Loading a format-1 file gives it a master volume of 127.
    EXPECT_EQ(masterVolume(b.track()), 127);
    EXPECT_TRUE(b.track().event(b.track().count() - 1).isEndOfTrack());
    EXPECT_TRUE(r.lines.empty());
}

TEST(MidiF0, MacintoshHeaderIsSkipped) {
    Bytes withHeader(128, 0x11);
    const Bytes f0 = smf(0, 96, {kMelody});
    withHeader.insert(withHeader.end(), f0.begin(), f0.end());
    MidiF0Data song;
    ASSERT_TRUE(song.loadBytes(withHeader.data(), int(withHeader.size())));
    EXPECT_EQ(noteCount(song.track()), 2);
}

TEST(MidiF0, SaveKeepsStateAndEvents) {
    MidiF0Data song;
    const Bytes f0 = smf(0, 96, {kMelody});
    ASSERT_TRUE(song.loadBytes(f0.data(), int(f0.size())));
    const auto before = song.track().events().size();
    const std::string path = tempPath("save.mid");
    ASSERT_TRUE(song.save(path));
    EXPECT_EQ(song.state(), TrackState::Connected);
    EXPECT_EQ(song.track().events().size(), before);
    MidiF0Data back;
    ASSERT_TRUE(back.load(path));
    EXPECT_EQ(noteCount(back.track()), 2);
    EXPECT_EQ(totalLength(back.track()), totalLength(song.track()));
}

TEST(MidiF0, FailedSaveKeepsTheOldFile) {
    CollectReports r;
    const std::string dir = tempPath("no-such-folder");
    std::filesystem::remove_all(dir);
    MidiF0Data song;
    EXPECT_FALSE(song.save(dir + "/x.mid"));
    EXPECT_TRUE(r.sawCode(errc::kCannotOpenFile));
    // Saving over a folder fails and leaves it in place.
    const std::string folder = tempPath("folder.mid");
    std::filesystem::create_directories(folder);
    EXPECT_FALSE(song.save(folder));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

// Saved files get the permissions any program's new files get under the
// process umask (not a temporary file's private ones), replace the old file
// whole, and leave nothing beside it.
TEST(AtomicWrite, ReplacesWholeWithTheUsualPermissionsAndNoLeftovers) {
    const std::string dir = tempPath("atomic-write");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/song.bin";
    writeBytes(path, Bytes(1000, 0xAA));
    const mode_t old = ::umask(022);
    const Bytes fresh = {1, 2, 3};
    const bool written = writeFileAtomically(path, fresh.data(), fresh.size());
    ::umask(old);
    ASSERT_TRUE(written);
    EXPECT_EQ(readBytes(path), fresh);
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(path).permissions() & perms::all,
              perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(MidiF0, BadFilesAreRefusedWithOneReason) {
    CollectReports r;
    MidiF0Data song;
    EXPECT_FALSE(song.load("/nonexistent/song.mid"));
    EXPECT_TRUE(r.sawCode(errc::kCannotOpenFile));
    const std::string big = tempPath("big.mid");
    writeBytes(big, Bytes(kSongCapacity + 1, 0));
    EXPECT_FALSE(song.load(big));
    EXPECT_TRUE(r.sawCode(errc::kDataTooLarge));
    const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '!'};
    EXPECT_FALSE(song.loadBytes(text.data(), int(text.size())));
    EXPECT_TRUE(r.sawCode(errc::kF1NotMidi));
}

TEST(MidiF0, MeasuresAndLeadingSilence) {
    MidiF0Data song(kSongCapacity);
    song.setDivision(96);
    MidiTrackData& t = song.track();
    addTimeSignature(t, 4, 2);
    addProgramChange(t, 0, 1, 100);
    addNote(t, 0, 700, 60, 100, 96); // at 800, in measure 3
    ensureEndOfTrack(t, 96);
    EXPECT_EQ(song.ticksPerMeasure(), 384);
    EXPECT_EQ(song.skipLeadingEmptyMeasures(), 768);
    EXPECT_EQ(absoluteTimes(t)[2], 32);
    EXPECT_EQ(absoluteTimes(t)[1], 0); // moved to the start
    song.setTimeSignatureOverride(3 * 256 + 4);
    EXPECT_EQ(song.ticksPerMeasure(), 288);
}

TEST(MidiF1, FormatZeroSplitsByChannelWithAMessage) {
    CollectReports r;
    const Bytes body = {0,    0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0xF0, 5,    0x7E, 0x7F,
                        0x09, 0x01, 0xF7, 0, 0x90, 60,   100,  0, 0x93, 50,   100,  96,
                        0x80, 60,   0,    0, 0x83, 50,   0,    0, 0xFF, 0x2F, 0};
    const Bytes f0 = smf(0, 96, {body});
    MidiF1Data song;
    EXPECT_TRUE(song.fromMemory(f0.data(), int(f0.size()), false));
    EXPECT_TRUE(r.saw("M1DT03000002 This file is not format 1 of midi."));
    ASSERT_EQ(song.trackCount(), 17);
    EXPECT_EQ(firstTempo(song.track(0)), 500000);
    EXPECT_EQ(noteCount(song.track(1)), 1);
    EXPECT_EQ(firstChannel(song.track(4)), 3);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(totalLength(song.track(i)), 96) << i;
}

TEST(MidiF1, TooManyTracksAreCut) {
    CollectReports r;
    Bytes f1 = header(1, 70, 96);
    for (int i = 0; i < 40; ++i) {
        const Bytes c = chunk("MTrk", kMelody);
        f1.insert(f1.end(), c.begin(), c.end());
    }
    MidiF1Data song;
    EXPECT_TRUE(song.loadBytes(f1.data(), int(f1.size())));
    EXPECT_TRUE(r.sawCode(errc::kF1TooManyTracks));
    EXPECT_EQ(song.trackCount(), 32);
}

TEST(MidiF1, MissingMasterVolumeGoesToTheFirstChannelTrack) {
    CollectReports r;
    const Bytes f1 = smf(1, 96, {kConductor, kMelody});
    MidiF1Data song;
    ASSERT_TRUE(song.fromMemory(f1.data(), int(f1.size()), true));
    EXPECT_TRUE(r.sawCode(errc::kF1NoMasterVolume));
    EXPECT_EQ(masterVolume(song.track(0)), -1);
    EXPECT_EQ(masterVolume(song.track(1)), 127);
    EXPECT_EQ(song.track(1).event(0).kind, kSysEx);
}

TEST(MidiF1, SaveAndReloadKeepsTracks) {
    const Bytes f1 = smf(1, 96, {kConductor, kMelody});
    MidiF1Data song;
    ASSERT_TRUE(song.loadBytes(f1.data(), int(f1.size())));
    const std::string path = tempPath("f1.mid");
    ASSERT_TRUE(song.save(path));
    MidiF1Data back;
    ASSERT_TRUE(back.load(path));
    ASSERT_EQ(back.trackCount(), 2);
    EXPECT_EQ(noteCount(back.track(1)), 2);
    EXPECT_EQ(totalLength(back.track(1)), 192);
}

TEST(Xf, PlainFilesGiveAFlagWithoutMessages) {
    CollectReports r;
    const Bytes f0 = smf(0, 96, {kMelody});
    CXfData xf;
    int isXf = -1;
    EXPECT_TRUE(xf.loadBytes(f0.data(), int(f0.size()), 0, &isXf));
    EXPECT_EQ(isXf, 0);
    EXPECT_EQ(xf.state(), TrackState::Connected);
    EXPECT_EQ(noteCount(xf.track()), 2);
    // A format-1 file is converted to format 0 first.
    const Bytes f1 = smf(1, 96, {kConductor, kMelody});
    EXPECT_TRUE(xf.loadBytes(f1.data(), int(f1.size()), 0, &isXf));
    EXPECT_EQ(isXf, 0);
    EXPECT_EQ(noteCount(xf.track()), 2);
    EXPECT_EQ(firstTempo(xf.track()), 500000);
    EXPECT_FALSE(r.sawCode(errc::kXfNotXf));
    // Without the flag, a plain file is not XF.
    EXPECT_FALSE(xf.loadBytes(f0.data(), int(f0.size())));
    EXPECT_TRUE(r.sawCode(errc::kXfNotXf));
}

TEST(Xf, SaveWritesTheChunksAndLoadsBack) {
    CollectReports r;
    MidiTrackData song(kSongCapacity, TrackState::Connected);
    addGmSystemOn(song);
    insertMasterVolume(song, 127, 1);
    addNote(song, 0, 480, 60, 100, 480);
    ensureEndOfTrack(song, 0);
    MidiTrackData lyrics(kSongCapacity, TrackState::NoteOnOff);
    EXPECT_TRUE(lyrics.append(makeTextMeta(480, kMetaLyric, "\x82\xa0"))); // あ in Shift-JIS
    ensureEndOfTrack(lyrics);
    CXfData xf(song, lyrics, 480);
    const std::string path = tempPath("xf.mid");
    ASSERT_TRUE(xf.save(path));
    EXPECT_TRUE(r.lines.empty());
    const Bytes file = readBytes(path);
    const Bytes info = {'X', 'F', 'I', 'H', 0,   0,   0, 13,   0,    0xFF, 1,
                        5,   'X', 'F', 'l', 'n', ':', 0, 0xFF, 0x2F, 0};
    EXPECT_NE(std::search(file.begin(), file.end(), info.begin(), info.end()), file.end());
    EXPECT_EQ(file[9], 0);  // format 0
    EXPECT_EQ(file[11], 1); // the XF chunks are not counted
    CXfData back;
    int isXf = 0;
    ASSERT_TRUE(back.load(path, 0, &isXf));
    EXPECT_EQ(isXf, 1);
    ASSERT_EQ(back.karaokeTrack().count(), 2);
    EXPECT_EQ(back.karaokeTrack().event(0).text(), "\x82\xa0");
    EXPECT_EQ(back.karaokeTrack().event(0).delta, 480);
    EXPECT_EQ(noteCount(back.track()), 1);
}

TEST(Xf, MasterVolumeMustFollowTheReset) {
    MidiTrackData song(kSongCapacity, TrackState::Connected);
    addGmSystemOn(song);
    addNote(song, 0, 10, 60, 100, 10);
    ensureEndOfTrack(song);
    CXfData xf(song, MidiTrackData(kSongCapacity, TrackState::NoteOnOff), 480);
    EXPECT_FALSE(xf.masterVolumeAfterReset(false));
    EXPECT_FALSE(xf.masterVolumeAfterReset(true)); // repaired, but reported as failed
    EXPECT_EQ(xf.track().event(1).type, kSysExMasterVolume);
    EXPECT_TRUE(xf.masterVolumeAfterReset(false));
    // A master volume of 100 does not count.
    MidiTrackData quiet(kSongCapacity, TrackState::Connected);
    insertMasterVolume(quiet, 100, 0);
    addNote(quiet, 0, 10, 60, 100, 10);
    CXfData q(quiet, MidiTrackData(kSongCapacity, TrackState::NoteOnOff), 480);
    EXPECT_FALSE(q.masterVolumeAfterReset(false));
}

TEST(Xf, RubyIsRemovedDoubleByteAware) {
    MidiTrackData lyrics(kSongCapacity, TrackState::NoteOnOff);
    // 漢[かん] in Shift-JIS: 8A BF 5B 82 A9 82 F1 5D
    EXPECT_TRUE(lyrics.append(makeTextMeta(0, kMetaLyric, "\x8a\xbf[\x82\xa9\x82\xf1]")));
    // A trail byte equal to '[' (0x5B) must not be taken for a bracket: 魅 is 96 5B.
    EXPECT_TRUE(lyrics.append(makeTextMeta(0, kMetaLyric, "\x96\x5b")));
    ensureEndOfTrack(lyrics);
    CXfData xf(MidiTrackData(kSongCapacity, TrackState::Connected), lyrics, 480);
    xf.removeRuby();
    EXPECT_EQ(xf.karaokeTrack().event(0).text(), "\x82\xa9\x82\xf1");
    EXPECT_EQ(xf.karaokeTrack().event(1).text(), "\x96\x5b");
}
