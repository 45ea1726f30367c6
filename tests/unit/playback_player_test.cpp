// The real-time player against a recording port: which messages go out in
// which order, what a start in the middle chases, when events go out, and
// that stops are quick and repeated starts and stops are clean.
#include "midi/MidiF0Data.h"
#include "playback/MidiPlayer.h"
#include "playback/RtMidiPort.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

namespace harmolin {
namespace {

using test::CollectReports;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Polls until the condition holds; false after the limit, so a test fails
// instead of hanging.
template <class Condition> bool waitUntil(Condition done, std::chrono::milliseconds limit = 10s) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Runs the music player's loop on this thread; a watchdog stops it (and
// fails the test) when it has not ended within the limit.
void playLoopWithin(MusicPlayer& music, std::chrono::milliseconds limit = 20s) {
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (ended.wait_for(lock, limit, [&] { return finished; })) return;
        ADD_FAILURE() << "the play loop did not end within " << limit.count() << " ms";
        music.requestStop();
    });
    music.playLoop();
    {
        std::lock_guard lock(mutex);
        finished = true;
    }
    ended.notify_one();
    watchdog.join();
}

struct Sent {
    Bytes bytes;
    Clock::time_point at;
};

// Everything the ports of one test saw; the player writes from its thread.
class Wire {
  public:
    void add(Bytes b) {
        std::lock_guard lock(mutex_);
        sent_.push_back({std::move(b), Clock::now()});
    }
    std::vector<Sent> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::vector<Bytes> bytes() const {
        std::vector<Bytes> out;
        for (const auto& s : sent())
            out.push_back(s.bytes);
        return out;
    }
    // Note-on messages only, in order.
    std::vector<Sent> notes() const {
        std::vector<Sent> out;
        for (const auto& s : sent())
            if ((s.bytes[0] & 0xF0) == 0x90) out.push_back(s);
        return out;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        sent_.clear();
    }
    std::atomic<int> opens{0};
    std::atomic<int> resets{0};
    std::atomic<int> closes{0};

  private:
    mutable std::mutex mutex_;
    std::vector<Sent> sent_;
};

class RecordingPort final : public MidiOutPort {
  public:
    explicit RecordingPort(Wire& wire) : wire_(wire) { ++wire_.opens; }
    ~RecordingPort() override { ++wire_.closes; }
    std::string name() const override { return "recorder"; }
    void shortMessage(std::uint8_t status, std::uint8_t d1, std::uint8_t d2) override {
        Bytes b = {status, d1, d2};
        b.resize(static_cast<std::size_t>(shortMessageLength(status)));
        wire_.add(std::move(b));
    }
    bool longMessage(const std::uint8_t* bytes, int length) override {
        wire_.add(Bytes(bytes, bytes + length));
        return true;
    }
    bool reset() override {
        ++wire_.resets;
        return true;
    }

  private:
    Wire& wire_;
};

// A song in note-on/off form, built event by event.
class Song : public MidiF0Data {
  public:
    explicit Song(int division = 96) {
        division_ = division;
        track_->setState(TrackState::NoteOnOff);
    }
    Song& add(MusicEvent e) {
        track().events().push_back(std::move(e));
        return *this;
    }
    Song& note(int delta, int channel, int key, int velocity = 100) {
        return add(makeChannelEvent(kNoteOn, channel, key, velocity, delta));
    }
    Song& off(int delta, int channel, int key) {
        return add(makeChannelEvent(kNoteOff, channel, key, 0, delta));
    }
    Song& tempo(int delta, int microseconds) { return add(makeTempo(delta, microseconds)); }
    Song& end(int delta = 0) { return add(makeEndOfTrack(delta)); }
};

const Bytes kGmOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setMidiPortOpener([this](int, std::string&) -> std::unique_ptr<MidiOutPort> {
            return std::make_unique<RecordingPort>(wire);
        });
    }
    void TearDown() override {
        setMidiPortOpener({});
        MidiControler::resetOpenFailureNotice();
    }

    // Starts with no prelude pauses and waits (generously) for the end.
    static bool playToEnd(MidiPlayer& player, MidiF0Data& song) {
        player.setPreludeGap(0ms);
        if (!player.start(&song, -1)) return false;
        return !player.waitWhilePlaying(20s);
    }

    Wire wire;
};

TEST_F(PlayerTest, SendsEveryEventInOrderAsItsBytes) {
    Song song;
    song.add(makeSysEx(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}))
        .add(makeChannelEvent(kProgramChange, 0, 19, 0))
        .add(makeChannelEvent(kControlChange, 0, 7, 90))
        .tempo(0, 500000)
        .note(0, 0, 60, 200) // bit 7 set: full velocity
        .add(makeChannelEvent(kPitchBend, 0, 0x11, 0x50, 2))
        .add(makeChannelEvent(kPolyPressure, 0, 60, 30))   // not sent
        .add(makeChannelEvent(kChannelPressure, 0, 40, 0)) // not sent
        .add(makeTextMeta(0, kMetaLyric, "a"))             // not sent
        .note(0, 9, 36, 90);
    MusicEvent deleted = makeChannelEvent(kNoteOn, 3, 70, 100, 0);
    deleted.kind = kDeleted;
    song.add(deleted).off(4, 0, 60).off(0, 9, 36).end();

    MidiPlayer player;
    ASSERT_TRUE(playToEnd(player, song));
    const std::vector<Bytes> expected = {kGmOn,          kGmOn,           {0xC0, 19},
                                         {0xB0, 7, 90},  {0x90, 60, 127}, {0xE0, 0x11, 0x50},
                                         {0x99, 36, 90}, {0x80, 60, 0},   {0x89, 36, 0}};
    EXPECT_EQ(wire.bytes(), expected);
    EXPECT_DOUBLE_EQ(player.tempoBpm(), 120.0);
    EXPECT_EQ(wire.resets.load(), 0);
    player.close();
    EXPECT_EQ(wire.resets.load(), 1);
    EXPECT_EQ(wire.closes.load(), 1);
    EXPECT_FALSE(player.hasDevice());
}

TEST_F(PlayerTest, ALoadedFileGoesOutTheSameWay) {
    // Through the file reader: format 0, 96 ticks, running status.
    const Bytes body = {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, // GM System On
                        0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,       // 120 bpm
                        0x00, 0xC1, 0x05,                               // program
                        0x00, 0x91, 0x40, 0x64,                         // note on
                        0x30, 0x40, 0x00,                               // running status, velocity 0: off
                        0x00, 0xFF, 0x2F, 0x00};
    const Bytes file = test::smf(0, 96, {body});
    MidiF0Data song;
    ASSERT_TRUE(song.loadBytes(file.data(), static_cast<int>(file.size())));
    ASSERT_TRUE(song.split());
    MidiPlayer player;
    ASSERT_TRUE(playToEnd(player, song));
    const std::vector<Bytes> expected = {kGmOn, kGmOn, {0xC1, 5}, {0x91, 0x40, 0x64}, {0x81, 0x40, 0}};
    EXPECT_EQ(wire.bytes(), expected);
}

TEST_F(PlayerTest, EventsGoOutNoEarlierThanDueOnExactDeadlines) {
    // 96 ticks per quarter: 48 ticks are 250 ms at 120 bpm, 500 ms at 60.
    Song song;
    song.tempo(0, 500000).note(0, 0, 60).off(48, 0, 60).note(0, 0, 62).off(48, 0, 62);
    song.tempo(0, 1000000).note(0, 0, 64).off(48, 0, 64).note(1, 0, 65).off(95, 0, 65).end();
    MidiPlayer player;
    player.recordTiming(true);
    ASSERT_TRUE(playToEnd(player, song));

    const auto& timing = player.timing();
    ASSERT_EQ(timing.size(), song.track().events().size());
    for (const auto& r : timing)
        EXPECT_GE(r.sent, r.due);
    // Due times are exact to the nanosecond: no rounding piles up.
    const auto t0 = timing[1].due; // the first note
    EXPECT_EQ(timing[2].due - t0, 250ms);
    EXPECT_EQ(timing[4].due - t0, 500ms);
    EXPECT_EQ(timing[5].due - t0, 500ms); // the tempo event
    EXPECT_EQ(timing[7].due - t0, 1000ms);
    EXPECT_EQ(timing[8].due - t0, 1000ms + std::chrono::nanoseconds(10416667)); // one tick at 60 bpm
    EXPECT_EQ(timing[9].due - t0, 2000ms);
    EXPECT_DOUBLE_EQ(player.tempoBpm(), 60.0);

    // What the port saw: the notes in order, none before its time.
    const auto notes = wire.notes();
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(notes[0].bytes, (Bytes{0x90, 60, 100}));
    EXPECT_EQ(notes[1].bytes, (Bytes{0x90, 62, 100}));
    EXPECT_EQ(notes[2].bytes, (Bytes{0x90, 64, 100}));
    EXPECT_EQ(notes[3].bytes, (Bytes{0x90, 65, 100}));
    EXPECT_GE(notes[0].at, t0);
    EXPECT_GE(notes[1].at - t0, 250ms);
    EXPECT_GE(notes[2].at - t0, 500ms);
    EXPECT_GE(notes[3].at - t0, 1010ms);
    for (std::size_t i = 1; i < notes.size(); ++i)
        EXPECT_GT(notes[i].at, notes[i - 1].at);
}

// An offline clock as a render drives it: time jumps to each deadline.
class JumpingClock final : public PlayerClock {
  public:
    bool waitUntil(std::chrono::nanoseconds at) override {
        waits.push_back(at);
        now = std::max(now, at);
        return waits.size() < stopAfter;
    }
    bool passed(std::chrono::nanoseconds at) const override { return at <= now; }
    std::chrono::nanoseconds now{0};
    std::vector<std::chrono::nanoseconds> waits;
    std::size_t stopAfter = std::numeric_limits<std::size_t>::max();
};

TEST_F(PlayerTest, TheLiveAndTheSampleClockSendTheSameEventsAtTheSameSongTimes) {
    // A set-up block, a lead-in, a tempo change and a voice channel whose
    // control changes the callback keeps from the output, as the host takes them.
    Song song;
    song.add(makeChannelEvent(kProgramChange, 1, 5, 0, 0)).tempo(0, 500000);
    song.add(makeChannelEvent(kControlChange, 0, 99, 0x50, 24)).note(24, 1, 60).off(48, 1, 60);
    song.add(makeChannelEvent(kControlChange, 0, 6, 64, 0))
        .tempo(0, 750000)
        .note(0, 1, 62)
        .off(30, 1, 62)
        .end(7);
    struct Seen {
        int index;
        std::chrono::nanoseconds due;
        bool operator==(const Seen&) const = default;
    };
    auto road = [](MidiPlayer& player, std::vector<Seen>& seen) {
        return [&player, &seen](int index, long long, MusicEvent& event) {
            seen.push_back({index, player.dueTime()});
            if (event.isChannelEvent() && event.channel == 0) event.kind = kDeleted;
        };
    };
    std::vector<Seen> live, offline;
    MidiPlayer player;
    player.setPreludeGap(0ms);
    ASSERT_TRUE(player.start(&song, -1, road(player, live), 0, 0, -1));
    ASSERT_FALSE(player.waitWhilePlaying(20s));
    player.close();
    const auto liveBytes = wire.bytes();
    wire.clear();

    MidiPlayer renderer;
    JumpingClock clock;
    ASSERT_TRUE(
        renderer.playWith(&song, std::make_unique<RecordingPort>(wire), road(renderer, offline), clock));
    EXPECT_EQ(offline, live);
    EXPECT_EQ(wire.bytes(), liveBytes);
    ASSERT_EQ(offline.size(), song.track().events().size());
    // Exact song times: the set-up block at zero, a lead-in of 24 ticks at
    // 120 bpm, then the rest from there, the last 37 ticks at 80 bpm.
    EXPECT_EQ(offline[1].due, 0ns);
    EXPECT_EQ(offline[2].due, 125ms);
    EXPECT_EQ(offline[3].due, 250ms);
    EXPECT_EQ(offline[7].due, 500ms);
    EXPECT_EQ(offline.back().due, 500ms + 37 * 7812500ns);
    // Every distinct time is waited for once, in order.
    EXPECT_TRUE(std::is_sorted(clock.waits.begin(), clock.waits.end()));
    EXPECT_EQ(std::adjacent_find(clock.waits.begin(), clock.waits.end()), clock.waits.end());

    // A clock that says stop ends the song there, reported as not played through.
    wire.clear();
    JumpingClock stopping;
    stopping.stopAfter = 2;
    std::vector<Seen> cut;
    EXPECT_FALSE(
        renderer.playWith(&song, std::make_unique<RecordingPort>(wire), road(renderer, cut), stopping));
    EXPECT_LT(cut.size(), offline.size());
}

TEST_F(PlayerTest, TempoLimitsAreReportedAndClamped) {
    struct Case {
        int microseconds;
        double bpm;
        const char* report;
    };
    const Case cases[] = {{5000000, 12.0, nullptr},
                          {6000000, 10.0, nullptr},
                          {7000000, 10.0, "MDPL08000003 Tempo is too slow!"},
                          {999, 60.0, "MDPL08000006 Tempo is wrong!"},
                          {1000, 60000.0, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.microseconds);
        CollectReports reports;
        Song song;
        song.tempo(0, c.microseconds).note(0, 0, 60).off(1, 0, 60).end();
        MidiPlayer player;
        player.setPreludeGap(0ms);
        long long skipped = -1;
        // The tempo comes before the first note, so preparing plays it.
        ASSERT_EQ(player.prepare(&song, -1, 0, skipped), 1);
        EXPECT_EQ(skipped, 0);
        EXPECT_DOUBLE_EQ(player.tempoBpm(), c.bpm);
        if (c.report)
            EXPECT_TRUE(reports.saw(c.report));
        else
            EXPECT_TRUE(reports.lines.empty());
        player.close();
    }
}

TEST_F(PlayerTest, PeriodFollowsTheTempoAtStart) {
    Song song;
    song.note(0, 0, 60).off(1, 0, 60).end();
    MidiPlayer player;
    player.setPreludeGap(0ms);
    long long skipped = 0;
    ASSERT_EQ(player.prepare(&song, -1, 0, skipped), 1);
    EXPECT_DOUBLE_EQ(player.tempoBpm(), 240.0);
    EXPECT_EQ(player.periodMs(), 2); // 60000 / (96 * 240)
    player.close();
}

TEST_F(PlayerTest, StartInTheMiddleChasesTheStateFirst) {
    MusicEvent timeSig = makeMeta(0, kMetaTimeSignature, std::array<std::uint8_t, 4>{3, 2, 18, 8}.data(), 4);
    Song song;
    song.add(makeChannelEvent(kProgramChange, 2, 5, 0))
        .add(makeChannelEvent(kControlChange, 2, 10, 30))
        .add(makeChannelEvent(kControlChange, 2, 7, 100))
        .add(timeSig)
        .tempo(0, 600000)
        .note(0, 2, 60)
        .add(makeChannelEvent(kControlChange, 2, 7, 80, 96)) // tick 96: the later volume wins
        .add(makeChannelEvent(kPitchBend, 0, 0, 0x48, 0))
        .add(makeChannelEvent(kProgramChange, 1, 33, 0, 10)) // tick 106
        .off(86, 2, 60)                                      // tick 192: first event at the start tick
        .note(0, 2, 62)
        .off(96, 2, 62) // tick 288
        .end();

    std::vector<std::pair<int, long long>> announced;
    MidiPlayer player;
    player.setPreludeGap(0ms);
    ASSERT_TRUE(player.start(
        &song, -1,
        [&](int index, long long tick, MusicEvent&) {
            announced.push_back({index, tick});
        },
        1000, 192, -1));
    ASSERT_FALSE(player.waitWhilePlaying(20s));

    const std::vector<Bytes> expected = {kGmOn,
                                         {0xE0, 0, 0x48},
                                         {0xC1, 33},
                                         {0xC2, 5},
                                         {0xB2, 7, 80},
                                         {0xB2, 10, 30},
                                         // the note-off at the start tick is a prelude event
                                         {0x82, 60, 0},
                                         {0x92, 62, 100},
                                         {0x82, 62, 0}};
    EXPECT_EQ(wire.bytes(), expected);
    EXPECT_DOUBLE_EQ(player.tempoBpm(), 100.0);
    // Ticks count from the offset and land on each event's own tick.
    const std::vector<std::pair<int, long long>> ticks = {{9, 1192}, {10, 1192}, {11, 1288}, {12, 1288}};
    EXPECT_EQ(announced, ticks);
}

TEST_F(PlayerTest, StatusRebuildsProgramsBendsControllersTempoAndMeter) {
    MidiStatus status;
    EXPECT_TRUE(status.events().empty());
    status.record(makeChannelEvent(kControlChange, 4, 91, 40));
    status.record(makeChannelEvent(kPitchBend, 4, 1, 2));
    status.record(makeChannelEvent(kProgramChange, 4, 7, 0));
    status.record(makeChannelEvent(kProgramChange, 0, 1, 0));
    status.record(makeChannelEvent(kNoteOn, 0, 60, 100)); // not state
    status.record(makeTempo(0, 400000));
    const std::uint8_t sixEight[4] = {6, 3, 18, 8};
    status.record(makeMeta(0, kMetaTimeSignature, sixEight, 4));
    const auto events = status.events();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].kind, kProgramChange);
    EXPECT_EQ(events[0].channel, 0);
    EXPECT_EQ(events[1].kind, kProgramChange);
    EXPECT_EQ(events[1].value, 7);
    EXPECT_EQ(events[2].kind, kPitchBend);
    EXPECT_EQ(events[2].pitchBend(), 1 + 2 * 128);
    EXPECT_TRUE(events[3].isControl(91));
    EXPECT_TRUE(events[4].isMeta(kMetaTempo));
    EXPECT_EQ(events[4].value, 400000);
    ASSERT_TRUE(events[5].isMeta(kMetaTimeSignature));
    EXPECT_EQ(events[5].value, MusicEvent::timeSignatureCode(6, 3));
    EXPECT_EQ(events[5].data, (Bytes{6, 3, 18, 8}));
    for (const auto& e : events)
        EXPECT_EQ(e.delta, 0);

    CollectReports reports;
    MusicEvent broken = makeMeta(0, kMetaTimeSignature, sixEight, 4);
    broken.value = 0;
    status.record(broken);
    EXPECT_EQ(status.events().size(), 5u);
    EXPECT_TRUE(reports.saw("MDSS37000002 Time Sign is invalid!"));
}

TEST_F(PlayerTest, EventCallbackCanKeepEventsFromTheOutputAndEndTickEnds) {
    Song song;
    song.add(makeChannelEvent(kControlChange, 0, 32, 3)); // voice set-up before the first note
    for (int i = 0; i < 8; ++i)
        song.note(i == 0 ? 0 : 12, 0, 60 + i).off(12, 0, 60 + i);
    song.end();
    std::vector<long long> ticks;
    std::atomic<int> ends{0};
    MidiPlayer player;
    player.setPreludeGap(0ms);
    auto onEvent = [&](int, long long tick, MusicEvent& e) {
        ticks.push_back(tick);
        if (e.kind == kControlChange || e.note == 61) e.kind = kDeleted; // taken by someone else
    };
    // [0, 72): three notes, the end comes with the one at tick 72.
    ASSERT_TRUE(player.start(&song, -1, onEvent, 0, 0, 72, [&] { ++ends; }));
    ASSERT_FALSE(player.waitWhilePlaying(20s));
    player.close();
    EXPECT_EQ(ends.load(), 1);
    EXPECT_TRUE(player.endReached());
    EXPECT_EQ(ticks, (std::vector<long long>{0, 0, 12, 24, 36, 48, 60}));
    const std::vector<Bytes> expected = {
        kGmOn, {0x90, 60, 100}, {0x80, 60, 0}, {0x90, 62, 100}, {0x80, 62, 0}};
    EXPECT_EQ(wire.bytes(), expected);
    // The song keeps what the callback cleared.
    EXPECT_EQ(song.track().event(0).kind, kControlChange);
    EXPECT_EQ(song.track().event(3).kind, kNoteOn);
}

TEST_F(PlayerTest, SetUpBlockPausesAfterSystemExclusiveAndTheRestKeepsItsTime) {
    // No tempo event: the player's 240 bpm, so 48 ticks at 96 are 125 ms.
    Song song;
    song.add(makeSysEx(0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}))
        .add(makeChannelEvent(kProgramChange, 0, 1, 0))
        .add(makeChannelEvent(kProgramChange, 1, 2, 0))
        .add(makeChannelEvent(kControlChange, 0, 7, 100, 48)) // before the first note, but later
        .note(48, 0, 60)
        .off(1, 0, 60)
        .end();
    MidiPlayer player; // the default pause of 50 ms
    const auto began = Clock::now();
    ASSERT_TRUE(player.start(&song, -1));
    ASSERT_FALSE(player.waitWhilePlaying(20s));
    const auto sent = wire.sent();
    // GM System On of the player, the song's own, two programs, the
    // controller, the note on and off.
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_GE(sent[2].at - sent[1].at, 50ms) << "the device gets time after a system exclusive";
    EXPECT_LT(sent[3].at - sent[2].at, 40ms) << "channel messages of the set-up need no pause";
    EXPECT_LT(sent[2].at - began, 200ms);
    // The controller 48 ticks after the set-up block, the note 48 after it:
    // neither is pulled into the prelude.
    EXPECT_GE(sent[4].at - sent[3].at, 120ms);
    EXPECT_GE(sent[5].at - sent[4].at, 124ms);
    EXPECT_LT(sent[5].at - sent[4].at, 250ms);
}

TEST_F(PlayerTest, SongClockTakesTheWaitSoFarOutOfTheSilenceBeforeTheFirstNote) {
    // 240 bpm at 96 ticks: a controller at 250 ms, the first note at 1 s,
    // the second at 1.125 s.
    auto makeSong = [](Song& song) {
        song.add(makeChannelEvent(kProgramChange, 0, 1, 0))
            .add(makeChannelEvent(kControlChange, 0, 7, 100, 96))
            .note(288, 0, 60)
            .off(48, 0, 60)
            .note(0, 0, 62)
            .off(48, 0, 62)
            .end();
    };
    {
        // Asked 300 ms ago, sounding 100 ms after sending: the first note
        // goes out 400 ms early and so is heard 1 s after it was asked for.
        Song song;
        makeSong(song);
        MidiPlayer player;
        player.setPreludeGap(0ms);
        const auto asked = Clock::now() - 300ms;
        player.setSongClock(MidiPlayer::SongClock{asked, 100ms, 950ms});
        ASSERT_TRUE(player.start(&song, -1));
        ASSERT_FALSE(player.waitWhilePlaying(20s));
        const auto notes = wire.notes();
        ASSERT_EQ(notes.size(), 2u);
        EXPECT_GE(notes[0].at - asked, 900ms);
        EXPECT_LT(notes[0].at - asked, 980ms);
        // After the first note, the song keeps its own time.
        EXPECT_GE(notes[1].at - notes[0].at, 124ms);
        EXPECT_LT(notes[1].at - notes[0].at, 175ms);
        EXPECT_GE(player.startedEarlyBy(), 400ms);
    }
    wire.clear();
    {
        // Asked long ago: only the silence is taken, the notes keep their
        // spacing and nothing is sent out of order.
        Song song;
        makeSong(song);
        MidiPlayer player;
        player.setPreludeGap(0ms);
        const auto began = Clock::now();
        player.setSongClock(MidiPlayer::SongClock{began - 10s, 100ms, 950ms});
        ASSERT_TRUE(player.start(&song, -1));
        ASSERT_FALSE(player.waitWhilePlaying(20s));
        const auto sent = wire.sent();
        ASSERT_EQ(sent.size(), 7u); // GM on, program, controller, two notes on and off
        EXPECT_EQ(sent[2].bytes, (Bytes{0xB0, 7, 100}));
        const auto notes = wire.notes();
        ASSERT_EQ(notes.size(), 2u);
        EXPECT_GE(notes[0].at - began, 40ms) << "at most the silence less a margin is taken";
        EXPECT_LT(notes[0].at - began, 200ms);
        EXPECT_GE(notes[1].at - notes[0].at, 124ms);
        EXPECT_EQ(player.startedEarlyBy(), 950ms);
    }
}

TEST_F(PlayerTest, ASungPartsLongControlStreamDoesNotHoldUpTheStart) {
    // Hundreds of control changes spread over seconds before the first note
    // (as a voice's control stream comes ahead of the accompaniment).
    Song song;
    song.add(makeChannelEvent(kProgramChange, 1, 2, 0));
    for (int i = 0; i < 400; ++i)
        song.add(makeChannelEvent(kControlChange, 0, 99, i & 0x7F, i % 4 == 0 ? 1 : 0));
    song.note(0, 1, 60).off(4, 1, 60).end();
    MidiPlayer player;
    const auto began = Clock::now();
    ASSERT_TRUE(player.start(&song, -1));
    EXPECT_LT(Clock::now() - began, 2s) << "start returns after the set-up block, not after 400 pauses";
    ASSERT_FALSE(player.waitWhilePlaying(20s));
    EXPECT_EQ(wire.notes().size(), 1u);
}

TEST_F(PlayerTest, ASongOfControlChangesAlonePlaysInItsTime) {
    // A sung melody without accompaniment: the voice's control stream and no
    // note at all. It plays (its events go to the callback) and ends.
    Song song;
    song.tempo(0, 500000);
    for (int i = 0; i < 20; ++i)
        song.add(makeChannelEvent(kControlChange, 0, 99, i, i == 0 ? 0 : 24));
    song.end();
    MidiPlayer player;
    player.setPreludeGap(0ms);
    std::atomic<int> seen{0};
    const auto began = Clock::now();
    ASSERT_TRUE(player.start(
        &song, -1, [&](int, long long, MusicEvent&) { ++seen; }, 0, 0, -1));
    ASSERT_FALSE(player.waitWhilePlaying(20s));
    EXPECT_GE(seen.load(), 20); // and the tempo and the end
    // 19 gaps of 24 ticks at 96 per quarter and 120 bpm: 2.375 s.
    EXPECT_GT(Clock::now() - began, 2s);
}

TEST_F(PlayerTest, RefusesWhatCannotPlay) {
    CollectReports reports;
    MidiPlayer player;
    player.setPreludeGap(0ms);

    Song noDivision(0);
    noDivision.note(0, 0, 60).off(10, 0, 60).end();
    EXPECT_FALSE(player.start(&noDivision, -1));
    EXPECT_TRUE(reports.saw("MDPL08000007 Musical data is invalid!"));

    MidiF0Data connected; // state 2, not playable
    EXPECT_FALSE(player.start(&connected, -1));
    EXPECT_TRUE(reports.saw("MDPL08000004 Internal error occured in MidiPlayer!"));
    EXPECT_FALSE(player.start(nullptr, -1));
    EXPECT_EQ(wire.opens.load(), 0);

    // No note at or after the start tick: the device is released again.
    Song quiet;
    quiet.note(0, 0, 60).off(10, 0, 60).end(5);
    reports.lines.clear();
    EXPECT_FALSE(player.start(
        &quiet, -1, [](int, long long, MusicEvent&) {}, 0, 11, -1));
    EXPECT_TRUE(reports.saw("MDPL08000005 Play point is wrong!"));
    EXPECT_FALSE(player.hasDevice());
    EXPECT_FALSE(player.playing());
    EXPECT_EQ(wire.opens.load(), 1);
    EXPECT_EQ(wire.closes.load(), 1);

    // A negative delta ends playback with a report.
    Song broken;
    broken.note(0, 0, 60).off(-3, 0, 60).end();
    reports.lines.clear();
    EXPECT_TRUE(player.start(&broken, -1));
    EXPECT_FALSE(player.waitWhilePlaying(20s));
    player.close();
    EXPECT_TRUE(reports.saw("MDPL08000007 Musical data is invalid!"));
}

TEST_F(PlayerTest, NoDeviceMeansNoStart) {
    setMidiPortOpener([](int, std::string& error) -> std::unique_ptr<MidiOutPort> {
        error = "nothing here";
        return nullptr;
    });
    CollectReports reports;
    Song song;
    song.note(0, 0, 60).off(10, 0, 60).end();
    MidiPlayer player;
    EXPECT_FALSE(player.start(&song, -1));
    EXPECT_FALSE(player.playing());

    MusicPlayer music;
    EXPECT_EQ(music.start(&song, {}, 0, 0, -1), 0);
    EXPECT_FALSE(music.isPlaying());
}

// A song long enough to be stopped in the middle: a note every quarter at 60 bpm.
Song longSong() {
    Song song;
    song.tempo(0, 1000000);
    for (int i = 0; i < 120; ++i)
        song.note(i == 0 ? 0 : 48, 0, 60).off(48, 0, 60);
    song.end();
    return song;
}

TEST_F(PlayerTest, StopAndKillTakeEffectPromptly) {
    Song song = longSong();
    for (bool kill : {false, true}) {
        SCOPED_TRACE(kill);
        wire.clear();
        MidiPlayer player;
        player.setPreludeGap(0ms);
        ASSERT_TRUE(player.start(&song, -1));
        ASSERT_TRUE(waitUntil([&] { return !wire.notes().empty(); })) << "no note went out";
        std::this_thread::sleep_for(20ms); // now asleep until the next event
        const auto asked = Clock::now();
        if (kill) {
            player.killTimer();
            EXPECT_FALSE(player.playing());
        } else {
            player.requestStop();
        }
        ASSERT_FALSE(player.waitWhilePlaying(2s));
        EXPECT_LT(Clock::now() - asked, 500ms);
        const auto count = wire.sent().size();
        std::this_thread::sleep_for(600ms);
        EXPECT_EQ(wire.sent().size(), count); // nothing after the stop
        player.close();
    }
}

TEST_F(PlayerTest, StopDuringThePreludeEndsItEarly) {
    Song song;
    for (int i = 0; i < 16; ++i)
        song.add(makeSysEx(0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    song.note(0, 0, 60).off(10, 0, 60).end();
    MusicPlayer music;
    std::thread stopper([&] {
        std::this_thread::sleep_for(120ms);
        music.requestStop();
    });
    const auto began = Clock::now();
    EXPECT_EQ(music.start(&song, {}, 0, 0, -1), 1); // 16 pauses of 50 ms unless stopped
    stopper.join();
    playLoopWithin(music);
    EXPECT_LT(Clock::now() - began, 700ms);
    EXPECT_TRUE(wire.notes().empty());
    music.release();
}

TEST_F(PlayerTest, MusicPlayerCallsTheEndOnlyAtTheEnd) {
    Song song;
    song.note(0, 0, 60).off(24, 0, 60).end();
    std::atomic<int> ends{0};
    MusicPlayer music;
    ASSERT_EQ(music.start(&song, {}, 0, 0, -1, [&] { ++ends; }), 1);
    EXPECT_TRUE(music.isPlaying());
    playLoopWithin(music);
    EXPECT_EQ(ends.load(), 1);
    music.release();
    EXPECT_FALSE(music.isPlaying());
    EXPECT_EQ(wire.resets.load(), 1);

    // Stopped: no end callback.
    Song long_ = longSong();
    ASSERT_EQ(music.start(
                  &long_, [](int, long long, MusicEvent&) {}, 0, 0, -1, [&] { ++ends; }),
              1);
    music.requestStop();
    playLoopWithin(music);
    EXPECT_EQ(ends.load(), 1);
    music.release();
}

TEST_F(PlayerTest, MusicPlayerReportsASongInTheWrongState) {
    CollectReports reports;
    MidiF0Data connected;
    MusicPlayer music;
    EXPECT_EQ(music.start(&connected, {}, 0, 0, -1), 0);
    EXPECT_TRUE(reports.saw("MDSP09000001 Internal Error occured in MusicPlayer!"));
    EXPECT_FALSE(music.isPlaying());
}

TEST_F(PlayerTest, EndCallbackMayReleaseThePlayer) {
    Song song;
    song.note(0, 0, 60).off(24, 0, 60).note(0, 0, 62).off(24, 0, 62).end();
    MusicPlayer music;
    std::atomic<bool> released{false};
    ASSERT_EQ(music.start(
                  &song, [](int, long long, MusicEvent&) {}, 0, 0, 24,
                  [&] {
                      music.release(); // from the player's own thread
                      released = true;
                  }),
              1);
    ASSERT_TRUE(waitUntil([&] { return released.load(); })) << "the end callback never came";
    EXPECT_FALSE(music.isPlaying());
    EXPECT_EQ(wire.closes.load(), 1);
}

TEST_F(PlayerTest, ManyStartsAndStopsStayClean) {
    Song song = longSong();
    MidiPlayer player;
    player.setPreludeGap(0ms);
    MusicPlayer music;
    for (int i = 0; i < 200; ++i) {
        switch (i % 4) {
        case 0:
            ASSERT_TRUE(player.start(&song, -1));
            player.requestStop();
            ASSERT_FALSE(player.waitWhilePlaying(2s));
            break;
        case 1:
            ASSERT_TRUE(player.start(
                &song, -1, [](int, long long, MusicEvent&) {}, 0, 96 * (i % 7), -1));
            if (i % 8 == 1) std::this_thread::sleep_for(3ms); // sometimes inside a batch
            player.killTimer();
            break;
        case 2:
            ASSERT_TRUE(player.start(&song, -1));
            player.close(); // straight from playing
            break;
        default:
            ASSERT_EQ(music.start(&song, {}, 0, 0, -1), 1);
            music.requestStop();
            playLoopWithin(music);
            music.release();
            break;
        }
    }
    player.close();
    EXPECT_FALSE(player.playing());
    EXPECT_EQ(wire.opens.load(), wire.closes.load());
    EXPECT_EQ(wire.opens.load(), wire.resets.load());
}

} // namespace
} // namespace harmolin
