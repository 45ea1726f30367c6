#include "base/ErrorCodes.h"
#include "midi/MidiTrackData.h"
#include "midi/MidiTrackEdit.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace harmolin;
using namespace harmolin::test;

namespace {

MidiTrackData parsed(const Bytes& body, const char* name = "MTrk") {
    const Bytes c = chunk(name, body);
    MidiTrackData t;
    (void)t.parse(static_cast<int>(c.size()), 0, c.data()); // callers check the track and the reports
    return t;
}

MidiTrackData connected(const Bytes& body) {
    MidiTrackData t = parsed(body);
    (void)t.connectNotes(); // callers check the track and the reports
    return t;
}

} // namespace

TEST(TrackParse, KaraokeChunkParsesLikeATrackChunk) {
    CollectReports r;
    MidiTrackData t = parsed({0, 0xFF, 0x05, 2, 'l', 'a', 10, 0xFF, 0x2F, 0}, "XFKM");
    ASSERT_EQ(t.count(), 2);
    EXPECT_EQ(t.state(), TrackState::NoteOnOff);
    EXPECT_TRUE(t.event(0).isMeta(kMetaLyric));
    EXPECT_EQ(t.event(0).text(), "la");
    EXPECT_EQ(t.event(1).delta, 10);
    EXPECT_TRUE(r.lines.empty());
}

TEST(TrackParse, RunningStatusAndZeroVelocityNoteOffs) {
    // 90 3C 40, running status 3E 40, then both ended by velocity 0.
    MidiTrackData t = parsed({0, 0x90, 0x3C, 0x40, 0, 0x3E, 0x40, 96, 0x3C, 0, 0, 0x3E, 0, 0, 0xFF, 0x2F, 0});
    ASSERT_EQ(t.count(), 5);
    EXPECT_EQ(t.event(1).kind, kNoteOn);
    EXPECT_EQ(t.event(1).note, 0x3E);
    EXPECT_EQ(t.event(2).kind, kNoteOff);
    EXPECT_TRUE(t.connectNotes());
    ASSERT_EQ(t.count(), 3);
    EXPECT_EQ(t.event(0).kind, kConnectedNote);
    EXPECT_EQ(t.event(0).length, 96);
    EXPECT_EQ(t.event(1).length, 96);
    EXPECT_EQ(t.event(2).delta, 96); // the end of track keeps its time
}

TEST(TrackParse, DamagedChunksAreReportedAndStop) {
    {
        CollectReports r;
        Bytes c = chunk("MTrk", {0, 0xFF, 0x2F, 0});
        c[7] = 40; // length past the data
        MidiTrackData t;
        EXPECT_FALSE(t.parse(static_cast<int>(c.size()), 0, c.data()));
        EXPECT_EQ(t.count(), 0);
        EXPECT_EQ(t.chunk().used(), 0);
        EXPECT_TRUE(r.sawCode(errc::kTrackInternal));
    }
    {
        CollectReports r; // a delta that never ends
        MidiTrackData t = parsed({0x81, 0x82, 0x83, 0x84, 0x85});
        EXPECT_TRUE(r.sawCode(errc::kTrackInternal));
    }
    {
        CollectReports r; // a data byte with no running status to follow
        parsed({0, 0x3C, 0x40, 0, 0xFF, 0x2F, 0});
        EXPECT_TRUE(r.sawCode(errc::kTrackUndefinedEvent));
    }
    {
        CollectReports r;
        MidiTrackData t;
        const Bytes c = chunk("RIFF", {});
        EXPECT_FALSE(t.parse(static_cast<int>(c.size()), 0, c.data()));
        EXPECT_TRUE(r.sawCode(errc::kTrackNotMidi));
    }
}

TEST(TrackParse, MetaEventsAreRepairedOrDropped) {
    CollectReports r;
    MidiTrackData t = parsed({0, 0xFF, 0x51, 3, 0,    0,    0,      // tempo 0
                              0, 0xFF, 0x58, 4, 0,    2,    24,  8, // numerator 0
                              0, 0xFF, 0x09, 3, 'd',  'e',  'v',    // device name
                              0, 0xFF, 0x21, 1, 0,                  // port: not kept
                              0, 0xFF, 0x01, 0,                     // empty text
                              0, 0xC0, 0x05, 0, 0xFF, 0x2F, 0});
    EXPECT_TRUE(r.sawCode(errc::kTrackBadTempo));
    EXPECT_TRUE(r.sawCode(errc::kTrackTimeSignatureFailed));
    ASSERT_EQ(t.count(), 6);
    EXPECT_EQ(t.event(0).value, 500000);
    EXPECT_EQ(t.event(1).value, kTimeSig44);
    EXPECT_EQ(t.event(2).type, kMetaInstrumentName);
    EXPECT_EQ(t.event(3).size(), 1); // one NUL byte
    // The empty text is written back as a one-byte text of NUL.
    ASSERT_TRUE(t.serialize());
    const auto& b = t.chunk().byteVector();
    const Bytes emptyText = {0xFF, 0x01, 0x01, 0x00};
    EXPECT_NE(std::search(b.begin(), b.end(), emptyText.begin(), emptyText.end()), b.end());
}

TEST(TrackParse, SystemExclusiveIsClassified) {
    MidiTrackData t =
        parsed({0, 0xF0, 5,    0x7E, 0x7F, 0x09, 0x01, 0xF7,                               // GM on
                0, 0xF0, 7,    0x7F, 0x7F, 0x04, 0x01, 0x00, 0x64, 0xF7,                   // volume 100
                0, 0xF0, 10,   0x41, 0x10, 0x42, 0x12, 0x40, 0x12, 0x15, 0x02, 0x17, 0xF7, // part 2 rhythm
                0, 0xFF, 0x2F, 0});
    ASSERT_EQ(t.count(), 4);
    EXPECT_EQ(t.event(0).type, kSysExGmSystemOn);
    EXPECT_EQ(t.event(1).type, kSysExMasterVolume);
    EXPECT_EQ(t.event(1).value, 0x64);
    EXPECT_EQ(t.event(2).type, kSysExGsRhythmPart);
    EXPECT_EQ(t.event(2).channel, 1);
    EXPECT_EQ(t.event(2).value, 2);
}

TEST(TrackConnect, StrayNoteOffsGoAndLeaveTheirTime) {
    // note-off without note-on at 10, a program change at 30
    MidiTrackData t = connected({10, 0x80, 0x40, 0, 20, 0xC0, 3, 0, 0xFF, 0x2F, 0});
    ASSERT_EQ(t.count(), 2);
    EXPECT_EQ(t.event(0).kind, kProgramChange);
    EXPECT_EQ(t.event(0).delta, 30);
}

TEST(TrackConnect, OverlappingSameKeyNotesPairInOrder) {
    MidiTrackData t =
        connected({0, 0x90, 60, 100, 10, 0x90, 60, 90, 10, 0x80, 60, 0, 10, 0x80, 60, 0, 0, 0xFF, 0x2F, 0});
    ASSERT_EQ(t.count(), 3);
    EXPECT_EQ(t.event(0).length, 20);
    EXPECT_EQ(t.event(1).length, 20);
}

TEST(TrackConnect, UnreleasedNoteLastsToTheEnd) {
    MidiTrackData t = connected({0, 0x90, 60, 100, 100, 0xFF, 0x2F, 0});
    ASSERT_EQ(t.count(), 2);
    EXPECT_EQ(t.event(0).length, 100);
}

TEST(TrackSplit, NoteOffPrecedesEventsAtItsEnd) {
    MidiTrackData t(kSongCapacity, TrackState::Connected);
    addNote(t, 0, 0, 60, 100, 96);
    addProgramChange(t, 0, 5, 96);
    addNote(t, 0, 0, 62, 100, 48);
    ensureEndOfTrack(t, 0);
    ASSERT_TRUE(t.splitNotes());
    ASSERT_EQ(t.count(), 6);
    EXPECT_EQ(t.event(0).kind, kNoteOn);
    EXPECT_EQ(t.event(1).kind, kNoteOff);
    EXPECT_EQ(t.event(1).delta, 96);
    EXPECT_EQ(t.event(2).kind, kProgramChange);
    EXPECT_EQ(t.event(2).delta, 0);
    EXPECT_EQ(t.event(3).kind, kNoteOn);
    EXPECT_EQ(t.event(4).kind, kNoteOff);
    EXPECT_EQ(t.event(4).delta, 48);
    // The note outlasted the end of track, which moved behind its note-off.
    EXPECT_TRUE(t.event(5).isEndOfTrack());
    EXPECT_EQ(totalLength(t), 144);
}

TEST(TrackSplit, ConnectAndSplitKeepAbsoluteTimes) {
    MidiTrackData t = parsed({0, 0x90, 60, 100, 0,  0x91, 40, 80, 50, 0xB0, 7,  100, 46, 0x80, 60,   0,
                              0, 0x90, 62, 90,  20, 0x81, 40, 0,  76, 0x80, 62, 0,   0,  0xFF, 0x2F, 0});
    const std::vector<int> before = absoluteTimes(t);
    EXPECT_TRUE(t.connectNotes());
    EXPECT_TRUE(t.splitNotes());
    EXPECT_EQ(absoluteTimes(t).back(), before.back());
    ASSERT_EQ(t.count(), 8);
    // note-off of 60 before the note-on of 62 at tick 96
    EXPECT_EQ(t.event(3).kind, kNoteOff);
    EXPECT_EQ(t.event(4).kind, kNoteOn);
    EXPECT_EQ(absoluteTimes(t)[4], 96);
}

TEST(TrackSerialize, NeedsAnEndOfTrackAndRoundTrips) {
    CollectReports r;
    MidiTrackData t = parsed({0, 0xC0, 3, 0, 0x90, 60, 100, 96, 0x80, 60, 0});
    EXPECT_FALSE(t.serialize());
    EXPECT_TRUE(r.sawCode(errc::kTrackInternal));
    ensureEndOfTrack(t, 4);
    ASSERT_TRUE(t.serialize());
    EXPECT_EQ(t.state(), TrackState::Serialized);
    MidiTrackData back;
    ASSERT_TRUE(back.parse(t.chunk().used(), 0, t.chunk().bytes()));
    ASSERT_EQ(back.count(), 4);
    EXPECT_EQ(back.event(2).velocity, 64); // note-offs are written with velocity 64
    EXPECT_EQ(totalLength(back), 100);
}

TEST(TrackSerialize, LongTextsUseVariableLengthSizes) {
    MidiTrackData t(kSongCapacity, TrackState::NoteOnOff);
    const std::string lyric(200, 'a');
    EXPECT_TRUE(t.append(makeTextMeta(0, kMetaLyric, lyric)));
    ensureEndOfTrack(t);
    ASSERT_TRUE(t.serialize());
    MidiTrackData back;
    ASSERT_TRUE(back.parse(t.chunk().used(), 0, t.chunk().bytes()));
    ASSERT_EQ(back.count(), 2);
    EXPECT_EQ(back.event(0).text(), lyric);
}

TEST(TrackEditing, InsertAtTimeFindsItsPlace) {
    MidiTrackData t(kSongCapacity, TrackState::Connected);
    addNote(t, 0, 0, 60, 100, 10);
    addNote(t, 0, 100, 62, 100, 10);
    addControlChange(t, 0, 7, 100, 0);
    ensureEndOfTrack(t, 50);
    t.insertAtTime(100, makeChannelEvent(kProgramChange, 0, 9, 0), Placement::After);
    // After: behind the events already at tick 100.
    ASSERT_EQ(t.count(), 5);
    EXPECT_EQ(t.event(3).kind, kProgramChange);
    EXPECT_EQ(absoluteTimes(t)[3], 100);
    t.insertAtTime(100, makeChannelEvent(kProgramChange, 0, 8, 0), Placement::First);
    EXPECT_EQ(t.event(1).value, 8);
    EXPECT_EQ(absoluteTimes(t)[1], 100);
    t.insertAtTime(300, makeChannelEvent(kProgramChange, 0, 7, 0));
    EXPECT_EQ(t.event(t.count() - 2).value, 7);
    EXPECT_EQ(absoluteTimes(t)[t.count() - 2], 300);
    EXPECT_EQ(totalLength(t), 300);
    t.insertAtTime(-1, makeChannelEvent(kProgramChange, 0, 6, 0));
    EXPECT_EQ(t.event(t.count() - 2).value, 6);
    EXPECT_EQ(totalLength(t), 300);
}

TEST(TrackEditing, RemoveAndCompactKeepTime) {
    MidiTrackData t(kSongCapacity, TrackState::Connected);
    addProgramChange(t, 0, 1, 10);
    addProgramChange(t, 0, 2, 20);
    addProgramChange(t, 0, 3, 30);
    t.remove(1);
    EXPECT_EQ(t.event(1).delta, 50);
    t.event(0).kind = kDeleted;
    t.compact();
    ASSERT_EQ(t.count(), 1);
    EXPECT_EQ(t.event(0).delta, 60);
}

TEST(TrackMerge, InterleavesByTimeAndKeepsOneEnd) {
    MidiTrackData a(kSongCapacity, TrackState::Connected), b(kSongCapacity, TrackState::Connected);
    addProgramChange(a, 0, 1, 0);
    addProgramChange(a, 0, 2, 0);
    addNote(a, 0, 100, 60, 100, 10);
    ensureEndOfTrack(a, 20);
    addProgramChange(b, 1, 11, 0);
    addNote(b, 1, 50, 50, 100, 10);
    ensureEndOfTrack(b, 200);
    MidiTrackData m(kSongCapacity, TrackState::Connected);
    ASSERT_TRUE(merge(m, {&a, &b}));
    ASSERT_EQ(m.count(), 6);
    // One event from each source per round at the same tick.
    EXPECT_EQ(m.event(0).value, 1);
    EXPECT_EQ(m.event(1).value, 11);
    EXPECT_EQ(m.event(2).value, 2);
    EXPECT_EQ(m.event(3).note, 50);
    EXPECT_EQ(m.event(4).note, 60);
    EXPECT_TRUE(m.event(5).isEndOfTrack());
    EXPECT_EQ(totalLength(m), 250);
    CollectReports r;
    EXPECT_FALSE(merge(m, {}));
    EXPECT_TRUE(r.sawCode(errc::kTrackFailed));
}
