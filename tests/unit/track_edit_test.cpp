// Factories, queries and transformations of MidiTrackData.
#include "base/ErrorCodes.h"
#include "midi/MidiTrackData.h"
#include "midi/MidiTrackEdit.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

using namespace harmolin;

namespace {

using Bytes = std::vector<std::uint8_t>;

class TrackEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetAllLatchesForTesting();
        previous_ = setPresenter([this](const ReportLine& line) { lines.push_back(line); });
    }
    void TearDown() override { (void)setPresenter(previous_); } // ours, done with

    bool reported(ErrorClass cls, std::uint32_t code) const {
        for (const auto& l : lines)
            if (l.errorClass == cls && l.code == code) return true;
        return false;
    }

    std::vector<ReportLine> lines;

  private:
    Presenter previous_;
};

MidiTrackData connectedTrack() {
    return MidiTrackData(kSongCapacity, TrackState::Connected);
}

// Notes as (start tick, note, length) for comparisons.
struct NoteAt {
    int start;
    int note;
    int length;
    bool operator==(const NoteAt&) const = default;
};

std::vector<NoteAt> notesOf(const MidiTrackData& t) {
    std::vector<NoteAt> out;
    const auto times = absoluteTimes(t);
    for (int i = 0; i < t.count(); ++i)
        if (t.event(i).kind == kConnectedNote) out.push_back({times[i], t.event(i).note, t.event(i).length});
    return out;
}

std::ostream& operator<<(std::ostream& os, const NoteAt& n) {
    return os << "{" << n.start << "," << n.note << "," << n.length << "}";
}

int endTime(const MidiTrackData& t) {
    const auto times = absoluteTimes(t);
    return times.empty() ? 0 : times.back();
}

// Writes the track the way a file is written and reads it back: whatever a
// factory made must survive the file format.
MidiTrackData roundTrip(const MidiTrackData& connected) {
    MidiTrackData copy = MidiTrackData::copyOf(connected);
    EXPECT_TRUE(copy.splitNotes());
    EXPECT_TRUE(copy.serialize());
    MidiTrackData back;
    EXPECT_TRUE(back.parse(copy.chunk().used(), 0, copy.chunk().bytes()));
    EXPECT_TRUE(back.connectNotes());
    return back;
}

Bytes gsRhythmPart(int block, int mode) {
    Bytes m{0xF0, 0x09,
            0x41, 0x10,
            0x42, 0x12,
            0x40, static_cast<std::uint8_t>(0x10 | block),
            0x15, static_cast<std::uint8_t>(mode),
            0x00, 0xF7};
    const int sum = 0x40 + m[7] + 0x15 + mode;
    m[10] = static_cast<std::uint8_t>((128 - sum % 128) % 128);
    return m;
}

} // namespace

// --- factories ------------------------------------------------------------------------

TEST_F(TrackEditTest, KeySignatureTableCoversEveryTonic) {
    const int expected[12] = {0, 7, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
    for (int tonic = 0; tonic < 12; ++tonic) {
        MidiTrackData t = connectedTrack();
        addKeySignature(t, tonic, tonic % 2 == 1);
        ASSERT_EQ(t.count(), 1);
        const MusicEvent& e = t.event(0);
        EXPECT_TRUE(e.isMeta(kMetaKeySignature));
        ASSERT_EQ(e.size(), 2);
        EXPECT_EQ(static_cast<std::int8_t>(e.data[0]), expected[tonic]) << "tonic " << tonic;
        EXPECT_EQ(e.data[1], tonic % 2 == 1 ? 1 : 0);
    }
}

TEST_F(TrackEditTest, TimeSignatureAndTempoFactories) {
    MidiTrackData t = connectedTrack();
    addTimeSignature(t, 3, 2);
    addTempo(t, 0, 10);
    addTempo(t, 400000, 20);
    ASSERT_EQ(t.count(), 3);
    EXPECT_EQ(t.event(0).data, (Bytes{3, 2, 18, 8}));
    EXPECT_EQ(t.event(0).value, 3 * 256 + 4);
    EXPECT_EQ(firstTimeSignature(t), 3 * 256 + 4);
    EXPECT_TRUE(reported(ErrorClass::Mdtk, errc::kTrackBadTempoData));
    EXPECT_EQ(t.event(1).value, 500000);
    EXPECT_EQ(t.event(1).delta, 10);
    EXPECT_EQ(t.event(2).value, 400000);
}

TEST_F(TrackEditTest, ResetMessagesHaveTheirExactBytes) {
    MidiTrackData t = connectedTrack();
    addGmSystemOn(t);
    addGsReset(t, 5);
    addXgSystemOn(t);
    EXPECT_EQ(t.event(0).data, (Bytes{0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(t.event(0).type, kSysExGmSystemOn);
    EXPECT_EQ(t.event(1).data,
              (Bytes{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
    EXPECT_EQ(t.event(1).delta, 5);
    EXPECT_EQ(t.event(2).data, (Bytes{0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}));
}

TEST_F(TrackEditTest, GsDisplayTextCarriesRolandChecksum) {
    MidiTrackData t = connectedTrack();
    addGsDisplayText(t, 0, "Hi");
    // 0x10 + 'H' + 'i' = 193; 193 mod 128 = 65; 128 - 65 = 63.
    EXPECT_EQ(t.event(0).data,
              (Bytes{0xF0, 11, 0x41, 0x10, 0x45, 0x12, 0x10, 0x00, 0x00, 'H', 'i', 63, 0xF7}));
    addGsDisplayText(t, 0, ""); // 0x10 alone: 128 - 16 = 112
    EXPECT_EQ(t.event(1).data, (Bytes{0xF0, 9, 0x41, 0x10, 0x45, 0x12, 0x10, 0x00, 0x00, 112, 0xF7}));
    addXgDisplayText(t, 3, "ab");
    EXPECT_EQ(t.event(2).data, (Bytes{0xF0, 9, 0x43, 0x10, 0x4C, 0x06, 0x00, 0x00, 'a', 'b', 0xF7}));
    EXPECT_TRUE(lines.empty());
}

TEST_F(TrackEditTest, LongDisplayTextIsReportedButStaysAWellFormedMessage) {
    MidiTrackData t = connectedTrack();
    const std::string text(130, 'x');
    addGsDisplayText(t, 0, text);
    addXgDisplayText(t, 0, std::string(40, 'y'));
    ensureEndOfTrack(t);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](auto& l) { return l.code == errc::kTrackTextTooLong; }),
        2);
    MidiTrackData back = roundTrip(t);
    ASSERT_EQ(back.count(), 3);
    EXPECT_EQ(back.event(0).data, t.event(0).data);
    EXPECT_EQ(back.event(1).data, t.event(1).data);
}

TEST_F(TrackEditTest, MasterVolumeIsInsertedAtItsIndex) {
    MidiTrackData t = connectedTrack();
    addNote(t, 0, 0, 60, 100, 10);
    ensureEndOfTrack(t, 20);
    insertMasterVolume(t, 100, 0);
    ASSERT_EQ(t.count(), 3);
    EXPECT_EQ(t.event(0).data, (Bytes{0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, 100, 0xF7}));
    EXPECT_EQ(t.event(0).type, kSysExMasterVolume);
    EXPECT_EQ(masterVolume(t), 100);
    EXPECT_EQ(t.event(1).kind, kConnectedNote);

    insertMasterVolume(t, 128, 0);
    EXPECT_TRUE(reported(ErrorClass::Mdtk, errc::kTrackInternal));
    EXPECT_EQ(t.count(), 3);

    MidiTrackData empty = connectedTrack();
    insertMasterVolume(empty, 127, 0);
    EXPECT_EQ(masterVolume(empty), 127);
}

TEST_F(TrackEditTest, TextAtStartGoesAfterTheEventsOfTickZero) {
    MidiTrackData t = connectedTrack();
    addTempo(t, 500000);
    addNote(t, 0, 0, 60, 100, 10);
    addNote(t, 0, 30, 62, 100, 10);
    ensureEndOfTrack(t, 10);
    addTextAtStart(t, kMetaTrackName, "Melody");
    ASSERT_EQ(t.count(), 5);
    EXPECT_TRUE(t.event(2).isMeta(kMetaTrackName));
    EXPECT_EQ(t.event(2).text(), "Melody");
    EXPECT_EQ(absoluteTimes(t), (std::vector<int>{0, 0, 0, 30, 40}));
    EXPECT_EQ(firstMetaText(t, kMetaTrackName), "Melody");
    EXPECT_FALSE(firstMetaText(t, kMetaLyric).has_value());
}

TEST_F(TrackEditTest, LongMetaIsReportedAndKept) {
    MidiTrackData t = connectedTrack();
    const Bytes body(128, 'a');
    addMeta(t, 0, kMetaText, body.data(), 128);
    EXPECT_TRUE(reported(ErrorClass::Mdtk, errc::kTrackTextTooLong));
    ASSERT_EQ(t.count(), 1);
    EXPECT_EQ(t.event(0).size(), 128);
}

TEST_F(TrackEditTest, BankAndProgram) {
    MidiTrackData t = connectedTrack();
    addBankProgram(t, 2, 8, 1, 25);
    addBankProgram(t, 3, 0, 48);
    ASSERT_EQ(t.count(), 5);
    EXPECT_TRUE(t.event(0).isControl(0));
    EXPECT_EQ(t.event(0).value, 8);
    EXPECT_TRUE(t.event(1).isControl(32));
    EXPECT_EQ(t.event(1).value, 1);
    EXPECT_EQ(t.event(2).kind, kProgramChange);
    EXPECT_EQ(programOf(t, 2), 25);
    EXPECT_EQ(programOf(t, 3), 48);
    EXPECT_TRUE(programAbove15(t, 3));
    EXPECT_EQ(programOf(t, 4), -1);
}

// --- queries -------------------------------------------------------------------------------

TEST_F(TrackEditTest, TempoInForceAtATick) {
    MidiTrackData t = connectedTrack();
    EXPECT_EQ(tempoAt(t, 0), 600000);
    EXPECT_EQ(firstTempo(t), 600000);
    addTempo(t, 500000);
    addTempo(t, 400000, 960);
    ensureEndOfTrack(t, 100);
    EXPECT_EQ(tempoAt(t, 0), 500000);
    EXPECT_EQ(tempoAt(t, 959), 500000);
    EXPECT_EQ(tempoAt(t, 960), 400000);
    EXPECT_EQ(tempoAt(t, 5000), 400000);
    EXPECT_EQ(firstTempo(t), 500000);
}

TEST_F(TrackEditTest, ProgramFallsBackToXgPartProgram) {
    MidiTrackData t = connectedTrack();
    EXPECT_TRUE(t.append(makeSysEx(0, {0xF0, 0x08, 0x43, 0x10, 0x4C, 0x08, 0x05, 0x03, 40, 0xF7})));
    EXPECT_EQ(programOf(t, 5), 40);
    EXPECT_EQ(programOf(t, 4), -1);
    addProgramChange(t, 5, 3);
    EXPECT_EQ(programOf(t, 5), 3); // a program change wins
    EXPECT_FALSE(programAbove15(t, 5));
}

TEST_F(TrackEditTest, DrumChannelFromGsRhythmPart) {
    MidiTrackData t = connectedTrack();
    EXPECT_TRUE(isDrumChannel(t, 9));
    EXPECT_FALSE(isDrumChannel(t, 10));
    EXPECT_TRUE(t.append(makeSysEx(0, gsRhythmPart(0x0B, 2)))); // block B is channel 11
    EXPECT_TRUE(isDrumChannel(t, 11));
    EXPECT_FALSE(isDrumChannel(t, 10));
    EXPECT_TRUE(t.append(makeSysEx(10, gsRhythmPart(0x0B, 0)))); // and back to a normal part
    EXPECT_FALSE(isDrumChannel(t, 11));
}

TEST_F(TrackEditTest, SecondMasterVolumeWarnsOnce) {
    MidiTrackData t = connectedTrack();
    insertMasterVolume(t, 90, 0);
    insertMasterVolume(t, 80, 1);
    EXPECT_EQ(masterVolume(t), 90);
    EXPECT_EQ(masterVolume(t), 90);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](auto& l) { return l.code == errc::kTrackSeveralMasterVolumes; }),
              1);
}

TEST_F(TrackEditTest, NoteCountsAndDistances) {
    MidiTrackData t = connectedTrack();
    EXPECT_EQ(firstChannel(t), -1);
    EXPECT_EQ(firstNoteIndex(t), -1);
    addTempo(t, 500000);
    addControlChange(t, 3, 7, 100, 10);
    addNote(t, 3, 20, 60, 100, 50);
    addNote(t, 3, 40, 62, 100, 300); // outlasts the end of track
    ensureEndOfTrack(t, 100);
    EXPECT_EQ(firstChannel(t), 3);
    EXPECT_EQ(firstNoteIndex(t), 2);
    EXPECT_EQ(noteCount(t), 2);
    EXPECT_EQ(ticksToNextNote(t, 0), 30);
    EXPECT_EQ(ticksToNextNote(t, 2), 40);
    EXPECT_EQ(ticksToNextNote(t, 3), -1);
    // The last note ends at 70 + 300, after the end of track at 170.
    EXPECT_EQ(totalLength(t), 370);
    MidiTrackData split = MidiTrackData::copyOf(t);
    EXPECT_TRUE(split.splitNotes());
    EXPECT_EQ(noteCount(split), 2);
    EXPECT_EQ(totalLength(split), 370);
}

// --- transformations -------------------------------------------------------------------------

TEST_F(TrackEditTest, RescaleKeepsTotalLengthWithinATick) {
    MidiTrackData t = connectedTrack();
    // Odd deltas whose plain rounding would drift by many ticks.
    int total = 0;
    for (int i = 0; i < 200; ++i) {
        const int delta = 7 + (i * 37) % 113;
        total += delta;
        addNote(t, 0, delta, 60 + i % 12, 100, 240);
    }
    ensureEndOfTrack(t, 480);
    total += 480;
    EXPECT_FALSE(rescale(t, 480, 96, true));
    EXPECT_NEAR(endTime(t), total * 96 / 480, 1);
    for (const auto& n : notesOf(t))
        EXPECT_EQ(n.length, 48);
}

TEST_F(TrackEditTest, RescaleDropsOrLengthensShortNotes) {
    auto make = [] {
        MidiTrackData t = connectedTrack();
        addNote(t, 0, 0, 60, 100, 4);   // 4 ticks at 480 is nothing at 96
        addNote(t, 0, 240, 62, 100, 5); // 5 ticks become 1
        ensureEndOfTrack(t, 480);
        return t;
    };
    MidiTrackData dropped = make();
    EXPECT_TRUE(rescale(dropped, 480, 96, true));
    EXPECT_EQ(notesOf(dropped), (std::vector<NoteAt>{{48, 62, 1}}));
    EXPECT_EQ(endTime(dropped), 144);

    MidiTrackData kept = make();
    EXPECT_TRUE(rescale(kept, 480, 96, false));
    EXPECT_EQ(notesOf(kept), (std::vector<NoteAt>{{0, 60, 1}, {48, 62, 1}}));

    MidiTrackData same = make();
    EXPECT_FALSE(rescale(same, 480, 480, true));
    EXPECT_EQ(noteCount(same), 2);

    MidiTrackData up = make();
    EXPECT_FALSE(rescale(up, 96, 480, true));
    EXPECT_EQ(notesOf(up), (std::vector<NoteAt>{{0, 60, 20}, {1200, 62, 25}}));

    MidiTrackData zero = make();
    EXPECT_FALSE(rescale(zero, 0, 96, true));
    EXPECT_TRUE(reported(ErrorClass::Mdtk, errc::kTrackBadParameter));
}

TEST_F(TrackEditTest, OperationsInTheWrongStateAreReported) {
    MidiTrackData t(kSongCapacity, TrackState::NoteOnOff);
    EXPECT_TRUE(t.append(makeChannelEvent(kNoteOn, 0, 60, 100)));
    EXPECT_TRUE(t.append(makeChannelEvent(kNoteOff, 0, 60, 0, 10)));
    ensureEndOfTrack(t);
    EXPECT_FALSE(rescale(t, 480, 96, true));
    transpose(t, -1, 3);
    EXPECT_EQ(t.event(0).note, 60);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](auto& l) { return l.code == errc::kTrackInternal; }), 2);
    EXPECT_EQ(noteCount(t), 1); // note-ons count in the note-on/off form
}

TEST_F(TrackEditTest, TransposeWrapsByOctavesAndSkipsSilentNotes) {
    MidiTrackData t = connectedTrack();
    addNote(t, 0, 0, 2, 100, 10);
    addNote(t, 0, 0, 125, 100, 10);
    addNote(t, 1, 0, 60, 100, 10);
    addNote(t, 0, 0, 60, 0, 10);
    transpose(t, 0, -5);
    EXPECT_EQ(t.event(0).note, 9); // -3 raised an octave
    EXPECT_EQ(t.event(1).note, 120);
    EXPECT_EQ(t.event(2).note, 60); // other channel
    EXPECT_EQ(t.event(3).note, 60); // velocity 0
    transpose(t, -1, 40);
    EXPECT_EQ(t.event(0).note, 49);
    EXPECT_EQ(t.event(1).note, 124); // 160 lowered by three octaves
    EXPECT_EQ(t.event(2).note, 100);
}

TEST_F(TrackEditTest, VelocityOffsetAndControllerValues) {
    MidiTrackData t = connectedTrack();
    addNote(t, 0, 0, 60, 120, 10);
    addNote(t, 0, 0, 62, 5, 10);
    addControlChange(t, 0, 7, 100);
    addControlChange(t, 1, 7, 100);
    addControlChange(t, 0, 10, 64);
    velocityOffset(t, 10);
    EXPECT_EQ(t.event(0).velocity, 127);
    EXPECT_EQ(t.event(1).velocity, 15);
    velocityOffset(t, -20);
    EXPECT_EQ(t.event(1).velocity, 0);
    setControllerValue(t, 7, 42, 1);
    EXPECT_EQ(t.event(2).value, 100);
    EXPECT_EQ(t.event(3).value, 42);
    EXPECT_EQ(t.event(4).value, 64);
}

TEST_F(TrackEditTest, ReduceToTopVoiceKeepsTheHighestOfAChord) {
    MidiTrackData t = connectedTrack();
    addNote(t, 0, 0, 60, 100, 480);
    addControlChange(t, 0, 7, 100);
    addNote(t, 0, 0, 67, 100, 480);
    addNote(t, 0, 0, 64, 100, 480);
    addNote(t, 0, 240, 62, 100, 100); // cuts the chord's top note to 240
    addNote(t, 0, 100, 65, 100, 50);
    addNote(t, 0, 0, 65, 100, 50); // a doubled note: one copy stays
    ensureEndOfTrack(t, 20);       // the track ends before the last note does
    reduceToTopVoice(t);
    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{0, 67, 240}, {240, 62, 100}, {340, 65, 20}}));
    EXPECT_EQ(endTime(t), 360);
    EXPECT_EQ(t.count(), 5); // the controller and the end of track stay
}

TEST_F(TrackEditTest, ReduceToTopVoiceKeepsALastNoteThatEndsTheList) {
    MidiTrackData t = connectedTrack();
    addNote(t, 0, 0, 60, 100, 100);
    addNote(t, 0, 100, 62, 100, 100);
    reduceToTopVoice(t);
    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{0, 60, 100}, {100, 62, 100}}));
}

TEST_F(TrackEditTest, SwingMovesNotesWithinTheirWindows) {
    // Window 240: half 120, a third 80, two thirds 160.
    MidiTrackData t = connectedTrack();
    addNote(t, 0, 100, 60, 100, 20);   // 100: window 0, alone, early: to 0
    addNote(t, 0, 290, 61, 100, 20);   // 390: window 1, alone at offset 150: to 400
    addNote(t, 0, 100, 62, 100, 20);   // 490: window 2, offsets 10 and 100
    addNote(t, 0, 90, 63, 100, 20);    // 580:   -> 480 and 560
    addNote(t, 0, 160, 64, 100, 20);   // 740: window 3, offsets 20 and 130
    addNote(t, 0, 110, 65, 100, 20);   // 850:   -> 720 and 880
    addNote(t, 0, 250, 66, 100, 20);   // 1100: window 4, offsets 140 and 200
    addNote(t, 0, 60, 67, 100, 20);    // 1160:  -> 1040 and 1120
    addControlChange(t, 0, 7, 90, 10); // 1170 stays
    ensureEndOfTrack(t, 270);          // 1440 stays
    swing(t, 240);
    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{0, 60, 20},
                                               {400, 61, 20},
                                               {480, 62, 20},
                                               {560, 63, 20},
                                               {720, 64, 20},
                                               {880, 65, 20},
                                               {1040, 66, 20},
                                               {1120, 67, 20}}));
    const auto times = absoluteTimes(t);
    EXPECT_EQ(times[8], 1170);
    EXPECT_EQ(times[9], 1440);
}

TEST_F(TrackEditTest, SwingMovesOnlyTheFirstTwoNotesAndCarriesOthersAlong) {
    MidiTrackData t = connectedTrack();
    addNote(t, 0, 10, 60, 100, 10); // to 0
    addNote(t, 0, 20, 62, 100, 10); // 30: last offset 100 is below half: to 80
    addNote(t, 0, 40, 64, 100, 10); // 70 is passed by the second note: joins it at 80
    addNote(t, 0, 30, 65, 100, 10); // 100 stays
    ensureEndOfTrack(t, 200);
    swing(t, 240);
    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{0, 60, 10}, {80, 62, 10}, {80, 64, 10}, {100, 65, 10}}));
    EXPECT_EQ(endTime(t), 300);
    swing(t, 0);
    EXPECT_TRUE(reported(ErrorClass::Mdtk, errc::kTrackBadParameter));
}

TEST_F(TrackEditTest, SwapChannelsRewritesGsRhythmPart) {
    MidiTrackData t = connectedTrack();
    EXPECT_TRUE(t.append(makeSysEx(0, gsRhythmPart(0, 1)))); // channel 9
    addNote(t, 9, 0, 36, 100, 10);
    addNote(t, 0, 0, 60, 100, 10);
    addProgramChange(t, 2, 5);
    ensureEndOfTrack(t, 10);
    ASSERT_EQ(t.event(0).type, kSysExGsRhythmPart);
    ASSERT_EQ(t.event(0).channel, 9);
    swapChannels(t, 9, 0);
    EXPECT_EQ(t.event(1).channel, 0);
    EXPECT_EQ(t.event(2).channel, 9);
    EXPECT_EQ(t.event(3).channel, 2);
    EXPECT_EQ(t.event(4).channel, kNoChannel);
    // Channel 0 is block 1: 40 11 15 01, checksum 128 - (0x40 + 0x11 + 0x15 + 1) = 25.
    EXPECT_EQ(t.event(0).channel, 0);
    EXPECT_EQ(t.event(0).data, (Bytes{0xF0, 0x09, 0x41, 0x10, 0x42, 0x12, 0x40, 0x11, 0x15, 0x01, 25, 0xF7}));
    EXPECT_EQ(t.event(0).data, gsRhythmPart(1, 1));
    // The rewritten message classifies as the new part once read back.
    MidiTrackData back = roundTrip(t);
    EXPECT_EQ(back.event(0).channel, 0);
    EXPECT_TRUE(isDrumChannel(back, 0));
}

TEST_F(TrackEditTest, MoveChannelLeavesTheTargetsOwnEvents) {
    MidiTrackData t = connectedTrack();
    addNote(t, 3, 0, 60, 100, 10);
    addNote(t, 5, 0, 62, 100, 10);
    EXPECT_TRUE(t.append(makeSysEx(0, gsRhythmPart(0x0B, 2)))); // channel 11 -> channel 12 is block C
    moveChannel(t, 3, 5);
    moveChannel(t, 11, 12);
    EXPECT_EQ(t.event(0).channel, 5);
    EXPECT_EQ(t.event(1).channel, 5);
    EXPECT_EQ(t.event(2).channel, 12);
    EXPECT_EQ(t.event(2).data, gsRhythmPart(0x0C, 2));
}

TEST_F(TrackEditTest, SecondPortNameShiftsChannelsBySixteen) {
    MidiTrackData t = connectedTrack();
    addNote(t, 3, 0, 60, 100, 10);
    EXPECT_TRUE(t.append(makeTextMeta(0, kMetaInstrumentName, "Roland SC-88 B")));
    addNote(t, 3, 0, 62, 100, 10);
    addNote(t, 5, 0, 64, 100, 10);
    swapChannels(t, 3, 5);
    EXPECT_EQ(t.event(0).channel, 5); // port A
    EXPECT_EQ(t.event(2).channel, 3); // port B: seen as 19 and 21
    EXPECT_EQ(t.event(3).channel, 5);
    swapChannels(t, 19, 21);
    EXPECT_EQ(t.event(0).channel, 5);
    EXPECT_EQ(t.event(2).channel, 5);
    EXPECT_EQ(t.event(3).channel, 3);
}

TEST_F(TrackEditTest, MoveToFrontOfTickWithPattern) {
    MidiTrackData t = connectedTrack();
    addNote(t, 0, 10, 60, 100, 10);
    addMarker(t, 0, "other");
    addMarker(t, 0, "verse 1");
    addGmSystemOn(t);
    addNote(t, 0, 5, 62, 100, 10);
    addMarker(t, 0, "verse 2");
    ensureEndOfTrack(t, 5);
    moveToFrontOfTick(t, kMeta, kMetaMarker, "verse*ignored");
    EXPECT_EQ(t.event(0).text(), "verse 1");
    EXPECT_EQ(t.event(1).kind, kConnectedNote);
    EXPECT_EQ(t.event(2).text(), "other");
    EXPECT_EQ(t.event(4).text(), "verse 2");
    EXPECT_EQ(t.event(5).kind, kConnectedNote);
    EXPECT_EQ(absoluteTimes(t), (std::vector<int>{10, 10, 10, 10, 15, 15, 20}));
    moveToFrontOfTick(t, kSysEx, -1);
    EXPECT_EQ(t.event(0).type, kSysExGmSystemOn);
    EXPECT_EQ(t.event(0).delta, 10);
}
