// The real-time MIDI player: a thread that sleeps on steady-clock deadlines,
// sends every event that is due (one batch per wake-up) and re-arms itself
// for the next one, so the timing follows the song's tempo events as they
// are played. It can start in the middle of a song, chasing the channel
// state up to that point. Error classes MDPL (player), MDSS (status) and
// MDSP (music player).
#pragma once

#include "midi/MusicEvent.h"
#include "playback/MidiOutput.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace harmolin {

class MidiF0Data;

// The channel state up to a tick: every entry -1 while unset.
struct MidiStatus {
    std::array<int, 16> program;
    std::array<int, 16> bendLow;
    std::array<int, 16> bendHigh;
    std::array<std::array<int, 128>, 16> control;
    int tempo;         // microseconds per quarter note
    int timeSignature; // code as in MusicEvent

    MidiStatus() { clear(); }
    void clear();
    // Records a control change, program change, pitch bend, tempo or time
    // signature; other events are ignored.
    void record(const MusicEvent& event);
    // The events that recreate this state, all at delta 0: per channel the
    // program, the bend and every controller set, then tempo and time
    // signature. A time-signature code of 0 is reported (MDSS) and left out.
    [[nodiscard]] std::vector<MusicEvent> events() const;
};

// Called just before each event is sent, on the player's thread. Setting the
// event's kind to kDeleted keeps it from the MIDI output.
using PlayerEventCallback = std::function<void(int index, long long tick, MusicEvent& event)>;
using PlayerEndCallback = std::function<void()>;

// What the player's time runs on. Times count from the set-up block, which
// goes out at zero. The live clock sleeps to steady-clock deadlines; an
// offline one advances by the samples rendered, so the same code decides
// which event is due when on both roads.
class PlayerClock {
  public:
    virtual ~PlayerClock() = default;
    // Returns once `at` is reached; false stops the player.
    virtual bool waitUntil(std::chrono::nanoseconds at) = 0;
    // Whether `at` is already past (a late wake-up sends it in the same batch).
    virtual bool passed(std::chrono::nanoseconds at) const = 0;
};

// What the timing benchmark and tests read: when each event was due and when
// it went out.
struct SendRecord {
    std::chrono::steady_clock::time_point due;
    std::chrono::steady_clock::time_point sent;
};

class MidiPlayer {
  public:
    MidiPlayer();
    ~MidiPlayer(); // stops the thread and closes the device
    MidiPlayer(const MidiPlayer&) = delete;
    MidiPlayer& operator=(const MidiPlayer&) = delete;

    // Plays the song (parsed, one event per note on and off) from tick 0.
    // False (reported) when it cannot start.
    [[nodiscard]] bool start(MidiF0Data* song, int device);
    // Plays [startTick, endTick) (endTick -1: to the end) announcing every
    // event, the ones before the first note too; the announced ticks and
    // endTick count from tickOffset. onEnd is called (on the player's
    // thread) when endTick is reached, not at the song's end.
    [[nodiscard]] bool start(MidiF0Data* song, int device, PlayerEventCallback onEvent, long long tickOffset,
                             long long startTick, long long endTick, PlayerEndCallback onEnd = {});
    // The offline road: plays the whole song on the caller's thread against
    // `clock`, into `port` instead of a device, announcing every event as
    // start() does. False (reported) when it cannot start, or when the clock
    // stopped it before the end.
    [[nodiscard]] bool playWith(MidiF0Data* song, std::unique_ptr<MidiOutPort> port,
                                PlayerEventCallback onEvent, PlayerClock& clock);
    // The song time of the event being sent (zero for the set-up block).
    [[nodiscard]] std::chrono::nanoseconds dueTime() const { return due_; }
    // Opens the device, sends GM System On, chases to startTick and sends the
    // events before the first note. skipped: the song tick those end on.
    // Returns the timer resolution in ms, 0 on failure.
    [[nodiscard]] int prepare(MidiF0Data* song, int device, long long startTick, long long& skipped);
    // Stops the thread (if any) and resets and closes the device.
    void close();

    void requestStop() {
        stopRequest_.store(true);
        wake();
    }
    // Cancels the pending wake-up and clears "playing" at once.
    void killTimer();
    [[nodiscard]] bool playing() const { return playing_.load(); }
    [[nodiscard]] bool stopRequested() const { return stopRequest_.load(); }
    // Waits until "playing" is clear or the timeout passes; true while still playing.
    [[nodiscard]] bool waitWhilePlaying(std::chrono::milliseconds timeout);
    // Whether the end tick was reached and the end callback called.
    [[nodiscard]] bool endReached() const { return endReached_.load(); }
    [[nodiscard]] bool hasDevice() const { return device_.isOpen(); }
    [[nodiscard]] MidiControler& device() { return device_; }

    double tempoBpm() const { return tempo_.load(); }
    [[nodiscard]] int periodMs() const { return period_; }
    // When the song was asked for: the silence before its first sound is
    // shortened by the time gone since `zero` plus `soundDelay` (how late the
    // output sounds what it is sent), by `mostEarly` at most, so the first
    // note is heard at its own time counted from `zero`.
    struct SongClock {
        std::chrono::steady_clock::time_point zero;
        std::chrono::milliseconds soundDelay{0};
        std::chrono::milliseconds mostEarly{0};
    };
    void setSongClock(std::optional<SongClock> clock) { songClock_ = clock; }
    // How much earlier than its own time the song was started by its clock.
    [[nodiscard]] std::chrono::steady_clock::duration startedEarlyBy() const { return earlyBy_; }
    // The pause after each event before the first note (0 in tests).
    void setPreludeGap(std::chrono::milliseconds gap) { preludeGap_ = gap; }
    // Keeps a SendRecord per sent event (for the timing benchmark). Read
    // the records once playback has ended.
    void recordTiming(bool on) { recordTiming_ = on; }
    [[nodiscard]] const std::vector<SendRecord>& timing() const { return timing_; }

  private:
    using Clock = std::chrono::steady_clock;
    class LiveClock;
    enum class Ending { Stopped, SongEnd, EndTick };

    void wake();
    void run();
    // The timed loop after the set-up block, on whichever clock.
    Ending runLoop(PlayerClock& clock);
    // Sends the current event and steps; the next event's delta, -1 at the end.
    [[nodiscard]] int sendAndStep();
    void playEvent(MusicEvent& event);
    void setTempo(int microsecondsPerQuarter);
    // Time the song takes for `ticks` at the current tempo and speed.
    [[nodiscard]] std::chrono::nanoseconds ticksToTime(long long ticks) const;
    // False when woken by a stop or a kill before the deadline.
    [[nodiscard]] bool sleepUntil(Clock::time_point deadline);
    void stopThread();
    void finish();
    // Starts the player's thread, first wake-up one period from now.
    [[nodiscard]] bool arm();

    MidiF0Data* song_ = nullptr;
    MidiControler device_;
    int index_ = 0;
    std::atomic<bool> playing_{false};
    std::atomic<bool> stopRequest_{false};
    std::atomic<bool> killed_{false};
    std::atomic<double> tempo_{240.0};
    int speed_ = 100;
    int period_ = 1;
    long long currentTick_ = 0;
    long long tickOffset_ = 0;
    long long endTick_ = -1;
    PlayerEventCallback onEvent_;
    PlayerEndCallback onEnd_;
    std::chrono::milliseconds preludeGap_{50};
    bool recordTiming_ = false;
    std::vector<SendRecord> timing_;

    // Absolute timing: deadlines are the start of the current tempo segment
    // plus the exact time of the ticks played in it, so nothing accumulates.
    int microsecondsPerQuarter_ = 250000;
    bool tempoChanged_ = false;
    Clock::time_point origin_{};        // song time zero on the live clock
    std::unique_ptr<MidiOutPort> port_; // the offline road's sink, until prepare takes it
    long long leadInTicks_ = 0;         // the song's own gap between the set-up block and what follows
    std::optional<SongClock> songClock_;
    Clock::duration earlyBy_{};
    std::chrono::nanoseconds segmentStart_{};
    long long segmentTicks_ = 0;
    std::chrono::nanoseconds due_{}; // of the event being sent, in song time
    bool prelude_ = false;           // the set-up block is being sent
    std::atomic<bool> endReached_{false};
    bool realtime_ = false; // the player's thread got a real-time priority

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wakeup_;
    std::condition_variable stopped_;
};

// Owns the player of one playback.
class MusicPlayer {
  public:
    MusicPlayer() = default;
    ~MusicPlayer();

    // 1 when the player holds an open device afterwards; 0 after releasing it.
    [[nodiscard]] int start(MidiF0Data* song, PlayerEventCallback onEvent, long long tickOffset,
                            long long startTick, long long endTick, PlayerEndCallback onEnd = {},
                            int device = -1);
    [[nodiscard]] bool isPlaying() const;
    void requestStop();
    void killTimer();
    // Waits (polling every 100 ms or when stopped) until playback ends; then,
    // unless a stop was requested, calls the end callback.
    void playLoop();
    void release();
    [[nodiscard]] MidiPlayer* player() { return player_.get(); }
    // For the next start.
    void setSongClock(std::optional<MidiPlayer::SongClock> clock) { songClock_ = clock; }

  private:
    // Guards the pointer only, so a stop from another thread never waits for
    // a start that is still sending its prelude. Shared so that a release
    // from the end callback cannot pull the player from under playLoop.
    mutable std::mutex mutex_;
    std::shared_ptr<MidiPlayer> player_;
    PlayerEndCallback onEnd_;
    std::atomic<bool> stopRequested_{false};
    std::optional<MidiPlayer::SongClock> songClock_;
};

} // namespace harmolin
