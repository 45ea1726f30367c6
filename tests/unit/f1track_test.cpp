// Melody shaping of format-1 tracks.
#include "base/ErrorCodes.h"
#include "midi/MidiF1TrackData.h"
#include "midi/MidiTrackEdit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace harmolin;

namespace {

class F1TrackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        resetAllLatchesForTesting();
        previous_ = setPresenter([this](const ReportLine& line) { lines.push_back(line); });
    }
    void TearDown() override { (void)setPresenter(previous_); } // ours, done with

    int reportCount(ErrorClass cls, std::uint32_t code) const {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const ReportLine& l) {
            return l.errorClass == cls && l.code == code;
        }));
    }

    std::vector<ReportLine> lines;

  private:
    Presenter previous_;
};

MidiF1TrackData melody() {
    return MidiF1TrackData(kSongCapacity / 2, TrackState::Connected);
}

MusicEvent bend(int value, int delta, int channel = 0) {
    MusicEvent e = makeChannelEvent(kPitchBend, channel, 0, 0, delta);
    (void)e.setPitchBend(value); // some tests want the clamp
    return e;
}

struct NoteAt {
    int start;
    int note;
    int length;
    int velocity;
    bool operator==(const NoteAt&) const = default;
};

std::ostream& operator<<(std::ostream& os, const NoteAt& n) {
    return os << "{" << n.start << "," << n.note << "," << n.length << "," << n.velocity << "}";
}

std::vector<NoteAt> notesOf(const MidiTrackData& t) {
    std::vector<NoteAt> out;
    const auto times = absoluteTimes(t);
    for (int i = 0; i < t.count(); ++i) {
        const MusicEvent& e = t.event(i);
        if (e.kind == kConnectedNote) out.push_back({times[i], e.note, e.length, e.velocity});
    }
    return out;
}

// (tick, value) of every event of a kind/controller.
std::vector<std::pair<int, int>> eventsOf(const MidiTrackData& t, int kind, int controller = -1) {
    std::vector<std::pair<int, int>> out;
    const auto times = absoluteTimes(t);
    for (int i = 0; i < t.count(); ++i) {
        const MusicEvent& e = t.event(i);
        if (e.kind != kind || (controller >= 0 && e.type != controller)) continue;
        out.emplace_back(times[i], kind == kPitchBend ? e.pitchBend() : e.value);
    }
    return out;
}

using Timeline = std::vector<std::pair<int, int>>;

} // namespace

TEST(DecayedVelocity, FallsByATenthPerSemitoneButNotBelowHalf) {
    EXPECT_EQ(decayedVelocity(100, 0), 100);
    EXPECT_EQ(decayedVelocity(100, 1), 90);
    EXPECT_EQ(decayedVelocity(100, -2), 81);
    EXPECT_EQ(decayedVelocity(100, 6), 51);
    EXPECT_EQ(decayedVelocity(100, 7), 100); // 45 would be below half
}

TEST_F(F1TrackTest, SensitivityFromRpnEntries) {
    MidiF1TrackData t = melody();
    EXPECT_EQ(t.pitchBendSensitivity(), 12);
    addControlChange(t, 0, 101, 0);
    addControlChange(t, 0, 100, 0);
    addControlChange(t, 0, 6, 2);
    EXPECT_EQ(t.pitchBendSensitivity(), 2);
    // Controllers not in one run do not count.
    addControlChange(t, 0, 101, 0, 10);
    addControlChange(t, 0, 7, 100);
    addControlChange(t, 0, 100, 0);
    addControlChange(t, 0, 6, 7);
    EXPECT_EQ(t.pitchBendSensitivity(), 2);
    EXPECT_TRUE(lines.empty());
    // The two selectors in the other order still select the range.
    addControlChange(t, 0, 100, 0, 10);
    addControlChange(t, 0, 101, 0);
    addControlChange(t, 0, 6, 4);
    EXPECT_EQ(t.pitchBendSensitivity(), 4);
    EXPECT_EQ(t.pitchBendSensitivity(), 4);
    EXPECT_EQ(reportCount(ErrorClass::M1tk, errc::kF1SeveralBendSensitivities), 1);
    // A new track resets the warning.
    MidiF1TrackData other(static_cast<const MidiTrackData&>(t));
    EXPECT_EQ(other.pitchBendSensitivity(), 4);
    EXPECT_EQ(reportCount(ErrorClass::M1tk, errc::kF1SeveralBendSensitivities), 2);
}

TEST_F(F1TrackTest, RemoveSensitivityEntriesKeepsNrpnData) {
    MidiF1TrackData t = melody();
    addControlChange(t, 0, 101, 0);
    addControlChange(t, 0, 100, 0);
    addControlChange(t, 0, 6, 2, 0);
    addControlChange(t, 0, 99, 1, 10);
    addControlChange(t, 0, 98, 2);
    addControlChange(t, 0, 6, 64); // NRPN data entry
    addControlChange(t, 0, 101, 0, 10);
    addControlChange(t, 0, 100, 0);
    addControlChange(t, 0, 6, 5, 10);
    ensureEndOfTrack(t, 10);
    t.removeSensitivityEntries();
    EXPECT_EQ(eventsOf(t, kControlChange, 6), (Timeline{{10, 64}}));
    EXPECT_EQ(t.count(), 8);
    EXPECT_EQ(absoluteTimes(t).back(), 40);
}

TEST_F(F1TrackTest, SetSensitivityGoesAfterTheStartEventsOnTheTracksChannel) {
    MidiF1TrackData t = melody();
    addControlChange(t, 4, 7, 100);
    addNote(t, 4, 0, 60, 100, 100);
    ensureEndOfTrack(t, 100);
    t.setSensitivity(12);
    ASSERT_EQ(t.count(), 6);
    EXPECT_TRUE(t.event(2).isControl(101));
    EXPECT_TRUE(t.event(3).isControl(100));
    EXPECT_TRUE(t.event(4).isControl(6));
    EXPECT_EQ(t.event(4).value, 12);
    for (int i = 2; i < 5; ++i)
        EXPECT_EQ(t.event(i).channel, 4);
    EXPECT_EQ(absoluteTimes(t), (std::vector<int>{0, 0, 0, 0, 0, 100}));
    EXPECT_EQ(t.pitchBendSensitivity(), 12);
}

TEST_F(F1TrackTest, LegatoStretchesToTheNextNoteUpToTheMaximum) {
    MidiF1TrackData t = melody();
    addNote(t, 0, 0, 60, 100, 100);
    addNote(t, 0, 200, 62, 100, 50);
    addNote(t, 0, 600, 64, 100, 10);
    ensureEndOfTrack(t, 200);
    t.legato(384);
    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{0, 60, 200, 100}, {200, 62, 384, 100}, {800, 64, 200, 100}}));
}

TEST_F(F1TrackTest, PitchBendToNotesRaisesTheBentNote) {
    MidiF1TrackData t = melody();
    EXPECT_TRUE(t.append(bend(8192 + 4096, 0)));
    addControlChange(t, 0, 1, 64);
    addNote(t, 0, 0, 60, 100, 480);
    ensureEndOfTrack(t, 480);
    t.pitchBendToNotes(2);
    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{0, 61, 480, 90}}));
    EXPECT_TRUE(eventsOf(t, kPitchBend).empty());
    EXPECT_TRUE(eventsOf(t, kControlChange, 1).empty());
    EXPECT_EQ(absoluteTimes(t).back(), 480);
}

TEST_F(F1TrackTest, PitchBendInsideANoteStartsNewNotes) {
    MidiF1TrackData t = melody();
    addNote(t, 0, 0, 60, 100, 480);
    EXPECT_TRUE(t.append(bend(8192 + 4096, 240)));
    EXPECT_TRUE(t.append(bend(8192, 120))); // back to the note's own pitch
    addNote(t, 0, 120, 64, 100, 100);       // the bend has returned: unchanged
    ensureEndOfTrack(t, 100);
    t.pitchBendToNotes(2);
    EXPECT_EQ(notesOf(t),
              (std::vector<NoteAt>{
                  {0, 60, 240, 100}, {240, 61, 120, 90}, {360, 60, 120, 100}, {480, 64, 100, 100}}));
    EXPECT_TRUE(eventsOf(t, kPitchBend).empty());
    EXPECT_TRUE(lines.empty());
}

TEST_F(F1TrackTest, PitchBendToNotesCapsAtTheTopNote) {
    MidiF1TrackData t = melody();
    EXPECT_TRUE(t.append(bend(16383, 0)));
    addNote(t, 0, 0, 120, 100, 10);
    ensureEndOfTrack(t, 10);
    t.pitchBendToNotes(12);
    EXPECT_EQ(notesOf(t).at(0).note, 127);
    EXPECT_EQ(reportCount(ErrorClass::M1tk, errc::kF1NoteToBendFailed), 1);

    MidiF1TrackData same = melody();
    EXPECT_TRUE(same.append(bend(16383, 0)));
    addNote(same, 0, 0, 60, 100, 10);
    same.pitchBendToNotes(0); // no range: nothing to do
    EXPECT_EQ(same.count(), 2);
}

TEST_F(F1TrackTest, ThinPitchBendsDropsStraightRunsBetweenNotes) {
    MidiF1TrackData t(kSongCapacity / 2, TrackState::NoteOnOff);
    EXPECT_TRUE(t.append(bend(8192, 0)));
    EXPECT_TRUE(t.append(bend(9000, 10)));
    EXPECT_TRUE(t.append(bend(10000, 10))); // 9000 lies on the way: dropped
    EXPECT_TRUE(t.append(bend(11000, 10)));
    EXPECT_TRUE(t.append(bend(11000, 10))); // a repeat: dropped
    EXPECT_TRUE(t.append(makeChannelEvent(kNoteOn, 0, 60, 100, 10)));
    EXPECT_TRUE(t.append(bend(9000, 10))); // while a note sounds: kept
    EXPECT_TRUE(t.append(bend(8000, 10)));
    EXPECT_TRUE(t.append(makeChannelEvent(kNoteOff, 0, 60, 0, 30)));
    EXPECT_TRUE(t.append(bend(9500, 10))); // peaks and valleys stay
    EXPECT_TRUE(t.append(bend(9000, 10)));
    EXPECT_TRUE(t.append(bend(9200, 10)));
    ensureEndOfTrack(t, 10);
    t.thinPitchBends();
    EXPECT_EQ(eventsOf(t, kPitchBend), (Timeline{{0, 8192},
                                                 {20, 10000},
                                                 {30, 11000},
                                                 {60, 9000},
                                                 {70, 8000},
                                                 {110, 9500},
                                                 {120, 9000},
                                                 {130, 9200}}));
    EXPECT_EQ(absoluteTimes(t).back(), 140);
    EXPECT_EQ(t.state(), TrackState::NoteOnOff);
}

TEST_F(F1TrackTest, ThinPitchBendsOnAConnectedTrackKeepsItConnected) {
    MidiF1TrackData t = melody();
    EXPECT_TRUE(t.append(bend(8192, 0)));
    EXPECT_TRUE(t.append(bend(8192, 10)));
    addNote(t, 0, 10, 60, 100, 40);
    ensureEndOfTrack(t, 60);
    t.thinPitchBends();
    EXPECT_EQ(t.state(), TrackState::Connected);
    EXPECT_EQ(eventsOf(t, kPitchBend), (Timeline{{0, 8192}}));
    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{20, 60, 40, 100}}));

    MidiF1TrackData serialized(kSongCapacity / 2, TrackState::Serialized);
    serialized.thinPitchBends();
    EXPECT_EQ(reportCount(ErrorClass::M1tk, errc::kTrackInternal), 1);
}

TEST_F(F1TrackTest, GlideRampsIntoTheNextNoteAndFallsAtTheEnd) {
    MidiF1TrackData t = melody();
    addNote(t, 0, 0, 60, 100, 480);
    addNote(t, 0, 480, 62, 100, 480);
    ensureEndOfTrack(t, 480);
    t.glide(24, 8, 12);
    Timeline expected{{0, 8192}};
    // Up two semitones: steps of (8191 / 12) * 2 / 8 = 170, every 3 ticks from 456.
    for (int k = 0; k < 8; ++k)
        expected.emplace_back(456 + 3 * k, 8192 + 170 * k);
    expected.emplace_back(480, 8192);
    // The last note falls by the range: steps of 682 * -12 / 8 = -1023.
    for (int k = 0; k < 8; ++k)
        expected.emplace_back(936 + 3 * k, 8192 - 1023 * k);
    expected.emplace_back(960, 8192);
    EXPECT_EQ(eventsOf(t, kPitchBend), expected);
    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{0, 60, 480, 100}, {480, 62, 480, 100}}));
    EXPECT_TRUE(t.event(t.count() - 1).isEndOfTrack());
    EXPECT_EQ(absoluteTimes(t).back(), 960);
}

TEST_F(F1TrackTest, GlideSkipsShortNotesSamePitchAndBadWindows) {
    MidiF1TrackData t = melody();
    addNote(t, 0, 0, 60, 100, 20);    // not longer than the window
    addNote(t, 0, 100, 60, 100, 480); // same pitch next
    addNote(t, 0, 480, 60, 100, 30);
    addNote(t, 0, 20, 64, 100, 30); // next events too close
    ensureEndOfTrack(t, 20);
    MidiF1TrackData bad = t;
    t.glide(24, 8, 12);
    EXPECT_EQ(eventsOf(t, kPitchBend),
              (Timeline{{0, 8192}, {100, 8192}, {580, 8192}, {600, 8192}, {620, 8192}}));

    bad.glide(25, 8, 12);
    EXPECT_EQ(reportCount(ErrorClass::M1tk, errc::kTrackConnectNotesFailed), 1);
    EXPECT_EQ(bad.count(), 5);
}

TEST_F(F1TrackTest, DelayedVibratoAfterTheDelay) {
    MidiF1TrackData t = melody();
    addNote(t, 0, 0, 60, 100, 480);
    addNote(t, 0, 480, 62, 100, 50); // too short for vibrato
    ensureEndOfTrack(t, 480);
    t.delayedVibrato(96);
    EXPECT_EQ(eventsOf(t, kControlChange, 1), (Timeline{{0, 0}, {96, 127}, {480, 0}}));
    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{0, 60, 480, 100}, {480, 62, 50, 100}}));
    EXPECT_EQ(absoluteTimes(t).back(), 960);
}

TEST_F(F1TrackTest, ExpressionAttackSteps) {
    MidiF1TrackData t = melody();
    addNote(t, 0, 0, 60, 100, 480);
    addNote(t, 0, 480, 62, 100, 30); // shorter than the window
    ensureEndOfTrack(t, 480);
    MidiF1TrackData odd = t;
    t.expressionAttack(48, 4);
    EXPECT_EQ(eventsOf(t, kControlChange, 11), (Timeline{{0, 103}, {12, 111}, {24, 119}, {36, 127}}));
    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{0, 60, 480, 100}, {480, 62, 30, 100}}));
    EXPECT_EQ(absoluteTimes(t).back(), 960);
    EXPECT_TRUE(lines.empty());

    odd.expressionAttack(50, 4); // reported, and the attack is still made
    EXPECT_EQ(reportCount(ErrorClass::M1tk, errc::kTrackGeneratedEventsFailed), 1);
    EXPECT_EQ(eventsOf(odd, kControlChange, 11), (Timeline{{0, 103}, {12, 111}, {24, 119}, {36, 127}}));
}

TEST_F(F1TrackTest, WrongStateIsReportedUnderTheFormatOneClass) {
    MidiF1TrackData t(kSongCapacity / 2, TrackState::NoteOnOff);
    EXPECT_TRUE(t.append(makeChannelEvent(kNoteOn, 0, 60, 100)));
    EXPECT_TRUE(t.append(makeChannelEvent(kNoteOff, 0, 60, 0, 10)));
    t.legato(384);
    t.glide(24, 8, 12);
    EXPECT_EQ(reportCount(ErrorClass::M1tk, errc::kTrackInternal), 2);
    EXPECT_EQ(t.count(), 2);
}

TEST_F(F1TrackTest, MelodyPreparationForSinging) {
    MidiF1TrackData t = melody();
    addControlChange(t, 0, 101, 0);
    addControlChange(t, 0, 100, 0);
    addControlChange(t, 0, 6, 2);
    addControlChange(t, 0, 64, 127);
    addControlChange(t, 0, 11, 100);
    addControlChange(t, 0, 1, 50);
    addNote(t, 0, 480, 60, 100, 200); // after a bar of lead-in
    EXPECT_TRUE(t.append(bend(8192 + 4096, 480)));
    addNote(t, 0, 0, 62, 100, 480);
    ensureEndOfTrack(t, 960);
    t.prepareMelodyForSinging();

    EXPECT_EQ(notesOf(t), (std::vector<NoteAt>{{480, 60, 384, 100}, {960, 63, 384, 90}}));
    EXPECT_TRUE(eventsOf(t, kControlChange, 64).empty());
    EXPECT_EQ(eventsOf(t, kControlChange, 6), (Timeline{{0, 12}}));
    EXPECT_EQ(t.pitchBendSensitivity(), 12);
    EXPECT_EQ(eventsOf(t, kControlChange, 1), (Timeline{{480, 0}, {576, 127}, {960, 0}, {1056, 127}}));
    EXPECT_EQ(
        eventsOf(t, kControlChange, 11),
        (Timeline{
            {480, 103}, {492, 111}, {504, 119}, {516, 127}, {960, 103}, {972, 111}, {984, 119}, {996, 127}}));
    const auto bends = eventsOf(t, kPitchBend);
    ASSERT_EQ(bends.size(), 2u + 16u + 1u);
    EXPECT_EQ(bends[0], std::make_pair(480, 8192));
    EXPECT_EQ(bends[1], std::make_pair(936, 8192));
    EXPECT_EQ(bends[2], std::make_pair(939, 8192 + 255)); // up three semitones
    EXPECT_EQ(bends[9], std::make_pair(960, 8192));
    EXPECT_EQ(bends.back(), std::make_pair(1920, 8192));
    EXPECT_EQ(absoluteTimes(t).back(), 1920);
    EXPECT_TRUE(t.event(t.count() - 1).isEndOfTrack());
    EXPECT_TRUE(lines.empty());

    // The shaped melody is still a valid track chunk.
    MidiTrackData copy = MidiTrackData::copyOf(t);
    ASSERT_TRUE(copy.splitNotes());
    ASSERT_TRUE(copy.serialize());
    MidiF1TrackData back;
    ASSERT_TRUE(back.parse(copy.chunk().used(), 0, copy.chunk().bytes()));
    ASSERT_TRUE(back.connectNotes());
    EXPECT_EQ(notesOf(back), notesOf(t));
}
