#include "app/SongPreparation.h"
#include "app/WorkingFolder.h"
#include "midi/MidiTrackEdit.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace harmolin;
using namespace harmolin::test;

namespace {

int countNotes(const MidiTrackData& t, int channel, int note = -1) {
    int n = 0;
    for (const auto& e : t.events())
        if (e.kind == kConnectedNote && e.channel == channel && (note < 0 || e.note == note)) ++n;
    return n;
}

MidiF0Data songAt480() {
    MidiF0Data song;
    song.setDivision(480);
    return song;
}

} // namespace

TEST(WorkingFolder, JoinsWithoutDoubledSeparators) {
    EXPECT_EQ(joinPath("/", "temp_znr.mid"), "/temp_znr.mid");
    EXPECT_EQ(joinPath("/home/user", "temp_znr.mid"), "/home/user/temp_znr.mid");
    EXPECT_EQ(joinPath("/home/user/", "setup.ini"), "/home/user/setup.ini");
}

TEST(SongPreparation, MelodyMovesToChannelOneAndKeepsItsTopNote) {
    MidiF0Data song = songAt480();
    MidiTrackData& t = song.track();
    addNote(t, 0, 0, 40, 100, 480); // old channel-1 part
    addNote(t, 4, 0, 60, 100, 480); // a three-note chord on channel 5
    addNote(t, 4, 0, 67, 100, 480);
    addNote(t, 4, 0, 64, 100, 480);
    addNote(t, 9, 0, 36, 100, 10); // drums
    ensureEndOfTrack(t, 480);
    ASSERT_TRUE(prepareSongData(song, {5, 42}));
    EXPECT_EQ(countNotes(song.track(), 0), 1);
    EXPECT_EQ(countNotes(song.track(), 0, 67), 1);
    EXPECT_EQ(countNotes(song.track(), 4, 40), 1);
    EXPECT_EQ(countNotes(song.track(), 9, 35), 0); // drums present: no beat track
}

TEST(SongPreparation, BeatTrackWhenThereAreNoDrums) {
    MidiF0Data song = songAt480();
    addNote(song.track(), 0, 0, 60, 100, 1000);
    ensureEndOfTrack(song.track(), 1000);
    ASSERT_TRUE(prepareSongData(song, {1, 42}));
    std::vector<int> beats;
    const auto times = absoluteTimes(song.track());
    for (int i = 0; i < song.track().count(); ++i) {
        const auto& e = song.track().event(i);
        if (e.kind == kConnectedNote && e.channel == 9) {
            EXPECT_EQ(e.note, 35);
            EXPECT_EQ(e.velocity, 1);
            EXPECT_EQ(e.length, 1);
            beats.push_back(times[i]);
        }
    }
    EXPECT_EQ(beats, (std::vector<int>{480, 960, 1440}));
}

TEST(SongPreparation, RescalesAndSetsTheGuideVolume) {
    MidiF0Data song;
    song.setDivision(96);
    MidiTrackData& t = song.track();
    addControlChange(t, 10, 7, 100);
    addNote(t, 1, 96, 60, 100, 96);
    addNote(t, 10, 2, 60, 100, 94);
    ensureEndOfTrack(t, 96);
    ASSERT_TRUE(prepareSongData(song, {2, 30}));
    EXPECT_EQ(song.division(), 480);
    bool sawVolume = false;
    for (const auto& e : song.track().events()) {
        if (e.isControl(7) && e.channel == 10) {
            EXPECT_EQ(e.value, 30);
            sawVolume = true;
        }
        if (e.kind == kConnectedNote && e.channel == 0) {
            EXPECT_EQ(e.length, 480);
        }
    }
    EXPECT_TRUE(sawVolume);
    EXPECT_FALSE(prepareSongData(song, {17, 30}));
}
