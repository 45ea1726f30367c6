#include "playback/MidiPlayer.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "midi/MidiF0Data.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <system_error>

#include <pthread.h>
#include <sched.h>

namespace harmolin {

namespace {

constexpr int kSpeed = 100;
constexpr int kStartTempo = 250000;     // 240 beats per minute until the song says otherwise
constexpr int kSlowestTempo = 6000000;  // 10 beats per minute
constexpr int kFallbackTempo = 1000000; // 60 beats per minute

// The last stretch before a deadline is waited out awake: a sleeping thread
// is woken late by the scheduler, a spinning one is not. A real-time thread
// is woken almost on time and needs only a short stretch.
constexpr auto kSpinWindow = std::chrono::microseconds(1000);
constexpr auto kRealtimeSpinWindow = std::chrono::microseconds(250);

const char* musicPlayerMessage(std::uint32_t code) {
    return code == errc::kMusicPlayerNotNotes ? "Internal Error occured in MusicPlayer!" : nullptr;
}

void registerMusicPlayerMessages() {
    static const bool once = [] {
        registerMessages(ErrorClass::Mdsp, musicPlayerMessage, "Error occured in MusicPlayer!");
        return true;
    }();
    (void)once;
}

bool isNoteOnOff(const MidiF0Data* song) {
    return song && song->state() == TrackState::NoteOnOff;
}

} // namespace

// ---------------------------------------------------------------------------
// MidiStatus

void MidiStatus::clear() {
    program.fill(-1);
    bendLow.fill(-1);
    bendHigh.fill(-1);
    for (auto& c : control)
        c.fill(-1);
    tempo = -1;
    timeSignature = -1;
}

void MidiStatus::record(const MusicEvent& event) {
    const int ch = event.channel;
    const bool channelOk = ch >= 0 && ch < 16;
    switch (event.kind) {
    case kControlChange:
        if (channelOk && event.type >= 0 && event.type < 128) control[ch][event.type] = event.value & 0x7F;
        break;
    case kProgramChange:
        if (channelOk) program[ch] = event.value & 0x7F;
        break;
    case kPitchBend:
        if (channelOk) {
            bendLow[ch] = event.note & 0x7F;
            bendHigh[ch] = event.value & 0x7F;
        }
        break;
    case kMeta:
        if (event.type == kMetaTempo) tempo = event.value;
        if (event.type == kMetaTimeSignature) timeSignature = event.value;
        break;
    default:
        break;
    }
}

std::vector<MusicEvent> MidiStatus::events() const {
    std::vector<MusicEvent> out;
    for (int ch = 0; ch < 16; ++ch) {
        if (program[ch] >= 0) out.push_back(makeChannelEvent(kProgramChange, ch, program[ch], 0));
        if (bendLow[ch] >= 0 || bendHigh[ch] >= 0)
            out.push_back(
                makeChannelEvent(kPitchBend, ch, std::max(bendLow[ch], 0), std::max(bendHigh[ch], 0)));
        for (int c = 0; c < 128; ++c)
            if (control[ch][c] >= 0) out.push_back(makeChannelEvent(kControlChange, ch, c, control[ch][c]));
    }
    if (tempo >= 0) out.push_back(makeTempo(0, tempo));
    if (timeSignature == 0) {
        reportError(ErrorClass::Mdss, errc::kStatusBadTimeSignature);
    } else if (timeSignature > 0) {
        const int numerator = timeSignature >> 8;
        const int denominator = timeSignature & 0xFF;
        const int power = denominator > 0 ? std::countr_zero(static_cast<unsigned>(denominator)) : 2;
        const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(numerator), static_cast<std::uint8_t>(power),
                                       18, 8};
        out.push_back(makeMeta(0, kMetaTimeSignature, bytes, 4));
    }
    return out;
}

// ---------------------------------------------------------------------------
// MidiPlayer

MidiPlayer::MidiPlayer() = default;

MidiPlayer::~MidiPlayer() {
    close();
}

void MidiPlayer::wake() {
    std::lock_guard lock(mutex_);
    wakeup_.notify_all();
}

void MidiPlayer::killTimer() {
    killed_.store(true);
    playing_.store(false);
    std::lock_guard lock(mutex_);
    wakeup_.notify_all();
    stopped_.notify_all();
}

bool MidiPlayer::waitWhilePlaying(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return !stopped_.wait_for(lock, timeout, [this] { return !playing_.load(); });
}

void MidiPlayer::stopThread() {
    if (!thread_.joinable()) return;
    killed_.store(true);
    playing_.store(false);
    wake();
    // The end callback may close the player from the player's own thread.
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

void MidiPlayer::close() {
    stopThread();
    device_.close();
}

void MidiPlayer::setTempo(int microseconds) {
    // The player's tempo is 60000 / (microseconds / 1000) beats per minute.
    if (microseconds < 1000) {
        reportError(ErrorClass::Mdpl, errc::kPlayerBadTempo);
        microseconds = kFallbackTempo;
    } else if (microseconds > kSlowestTempo) {
        reportError(ErrorClass::Mdpl, errc::kPlayerTempoTooSlow);
        microseconds = kSlowestTempo;
    }
    microsecondsPerQuarter_ = microseconds;
    tempo_.store(60000000.0 / microseconds);
    tempoChanged_ = true;
}

std::chrono::nanoseconds MidiPlayer::ticksToTime(long long ticks) const {
    // ticks * us/quarter * 1000 / division, scaled by 100 / speed, in exact
    // integers: a whole song's time carries no rounding from event to event.
    const __int128 num = static_cast<__int128>(ticks) * microsecondsPerQuarter_ * 1000 * 100;
    const __int128 den = static_cast<__int128>(song_->division()) * speed_;
    return std::chrono::nanoseconds(static_cast<long long>((num + den / 2) / den));
}

void MidiPlayer::playEvent(MusicEvent& event) {
    const int ch = event.channel & 0x0F;
    switch (event.kind) {
    case kNoteOff:
        device_.noteOff(ch, event.note);
        break;
    case kNoteOn:
        device_.noteOn(ch, event.note, event.velocity);
        break;
    case kControlChange:
        device_.shortMessage(kControlChange | ch, event.type, event.value);
        break;
    case kProgramChange:
        device_.programChange(ch, event.value);
        break;
    case kPitchBend:
        device_.shortMessage(kPitchBend | ch, event.note, event.value);
        break;
    case kSysEx:
    case kSysExEscape:
        device_.longMessage(event.size(), event.data.data());
        break;
    case kMeta:
        if (event.type == kMetaTempo) setTempo(event.value);
        break;
    default: // deleted events, pressure, connected notes: nothing goes out
        break;
    }
}

int MidiPlayer::sendAndStep() {
    auto& events = song_->track().events();
    const int count = static_cast<int>(events.size());
    MusicEvent& stored = events[static_cast<std::size_t>(index_)];
    if (onEvent_) {
        currentTick_ += std::max(stored.delta, 0);
        // The callback gets its own copy: what it clears stays out of the
        // output without being lost from the song for the next play.
        MusicEvent event = stored;
        onEvent_(index_, currentTick_, event);
        playEvent(event);
    } else {
        playEvent(stored);
    }
    if (recordTiming_) {
        const auto now = Clock::now();
        timing_.push_back(
            {prelude_ ? now : origin_ + std::chrono::duration_cast<Clock::duration>(due_), now});
    }
    ++index_;
    if (index_ >= count) return -1;
    const int delta = events[static_cast<std::size_t>(index_)].delta;
    if (delta < 0) reportError(ErrorClass::Mdpl, errc::kPlayerBadData);
    return delta;
}

int MidiPlayer::prepare(MidiF0Data* song, int device, long long startTick, long long& skipped) {
    skipped = 0;
    stopThread();
    if (!isNoteOnOff(song)) {
        reportError(ErrorClass::Mdpl, errc::kPlayerInternal);
        return 0;
    }
    // Every deadline divides by the division: a song without one cannot play.
    if (song->division() <= 0) {
        reportError(ErrorClass::Mdpl, errc::kPlayerBadData);
        return 0;
    }
    song_ = song;
    if (port_) {
        device_.attach(std::move(port_));
    } else if (!device_.open(device)) {
        device_.close();
        playing_.store(false);
        return 0;
    }
    device_.gmSystemOn();
    stopRequest_.store(false);
    killed_.store(false);
    endReached_.store(false);
    playing_.store(true);
    speed_ = kSpeed;
    setTempo(kStartTempo);
    timing_.clear();
    index_ = 0;

    auto& events = song->track().events();
    const int count = static_cast<int>(events.size());
    if (recordTiming_) timing_.reserve(static_cast<std::size_t>(count) + 1);
    if (startTick > 0) {
        // Chase: the state every event before the start tick left behind.
        MidiStatus status;
        long long tick = 0;
        int i = 0;
        for (; i < count; ++i) {
            const long long at = tick + std::max(events[static_cast<std::size_t>(i)].delta, 0);
            if (at >= startTick) break;
            tick = at;
            status.record(events[static_cast<std::size_t>(i)]);
        }
        index_ = i;
        // The tick of the event just before the index, so that adding the
        // next delta gives that event's own tick.
        skipped = tick;
        for (MusicEvent& e : status.events())
            playEvent(e);
    }

    int firstNote = -1;
    for (int i = index_; i < count; ++i)
        if (events[static_cast<std::size_t>(i)].isNoteOn()) {
            firstNote = i;
            break;
        }
    if (firstNote < 0) {
        // No note at all (a sung melody alone is control changes): the song
        // still plays as long as it has any channel event.
        for (int i = index_; i < count && firstNote < 0; ++i)
            if (events[static_cast<std::size_t>(i)].isChannelEvent()) firstNote = count;
    }
    if (firstNote < 0) {
        reportError(ErrorClass::Mdpl, errc::kPlayerBadPlayPoint);
        device_.close();
        playing_.store(false);
        return 0;
    }
    // The set-up block (the events before the first note that share the
    // start's tick) goes out at once, with a pause after each system
    // exclusive so the device has time for its resets. Whatever lies later
    // before the first note keeps its time: a sung part's control stream
    // starts seconds ahead of the accompaniment and must not be squeezed
    // into the prelude.
    currentTick_ = tickOffset_ + skipped;
    leadInTicks_ = 0;
    prelude_ = true;
    if (index_ < count) {
        long long at = skipped + std::max(events[static_cast<std::size_t>(index_)].delta, 0);
        const long long setupTick = at;
        bool sent = false;
        while (index_ < firstNote && at == setupTick && !stopRequest_.load() && !killed_.load()) {
            const int kind = events[static_cast<std::size_t>(index_)].kind;
            due_ = std::chrono::nanoseconds::zero();
            const int next = sendAndStep();
            sent = true;
            if ((kind == kSysEx || kind == kSysExEscape) && preludeGap_.count() > 0) {
                std::unique_lock lock(mutex_);
                wakeup_.wait_for(lock, preludeGap_, [this] { return stopRequest_.load() || killed_.load(); });
            }
            if (next < 0) break;
            at += next;
        }
        // The rest starts after the song's own gap from the set-up block.
        if (sent) leadInTicks_ = at - setupTick;
    }
    prelude_ = false;
    skipped = currentTick_ - tickOffset_;

    const double ticksPerMinute = std::trunc(song->division() * speed_ * tempo_.load() * 0.01);
    period_ = ticksPerMinute >= 1 ? std::max(1, static_cast<int>(60000 / ticksPerMinute)) : 1;
    // The resolution: steady_clock deadlines are met well within a millisecond.
    return 1;
}

bool MidiPlayer::start(MidiF0Data* song, int device) {
    stopThread();
    onEvent_ = nullptr;
    onEnd_ = nullptr;
    endTick_ = -1;
    tickOffset_ = 0;
    long long skipped = 0;
    if (prepare(song, device, 0, skipped) == 0) return false;
    currentTick_ = 0;
    return arm();
}

bool MidiPlayer::start(MidiF0Data* song, int device, PlayerEventCallback onEvent, long long tickOffset,
                       long long startTick, long long endTick, PlayerEndCallback onEnd) {
    stopThread();
    onEvent_ = std::move(onEvent);
    onEnd_ = std::move(onEnd);
    endTick_ = endTick;
    // The prelude is announced too, on ticks counted from the offset.
    tickOffset_ = tickOffset;
    long long skipped = 0;
    if (prepare(song, device, startTick, skipped) == 0) return false;
    currentTick_ = tickOffset + skipped;
    return arm();
}

bool MidiPlayer::arm() {
    const auto now = Clock::now();
    // One period of grace for the thread to start.
    origin_ = now + std::chrono::milliseconds(period_);
    if (songClock_) {
        // Overdue events before the first sound go out at once, in order.
        const auto early = std::clamp<Clock::duration>(now - songClock_->zero + songClock_->soundDelay,
                                                       Clock::duration::zero(), songClock_->mostEarly);
        origin_ -= early;
        earlyBy_ = early;
    }
    try {
        // The thread starts by taking the lock, so it sees thread_ assigned
        // (its end callback may close the player from that thread).
        std::lock_guard lock(mutex_);
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        reportError(ErrorClass::Mdpl, errc::kPlayerNoTimer);
        device_.close();
        playing_.store(false);
        return false;
    }
    return true;
}

bool MidiPlayer::sleepUntil(Clock::time_point deadline) {
    auto interrupted = [this] { return stopRequest_.load() || killed_.load(); };
    {
        std::unique_lock lock(mutex_);
        const auto window = realtime_ ? kRealtimeSpinWindow : kSpinWindow;
        if (wakeup_.wait_until(lock, deadline - window, interrupted)) return false;
    }
    // A real-time thread yields only to its peers; an ordinary one would
    // hand the core to any busy process for a whole time slice, so it spins.
    while (Clock::now() < deadline) {
        if (interrupted()) return false;
        if (realtime_) std::this_thread::yield();
    }
    return true;
}

void MidiPlayer::finish() {
    std::lock_guard lock(mutex_);
    playing_.store(false);
    stopped_.notify_all();
}

// Song time on the steady clock: deadlines are slept to, the last stretch awake.
class MidiPlayer::LiveClock final : public PlayerClock {
  public:
    explicit LiveClock(MidiPlayer& player) : player_(player) {}
    bool waitUntil(std::chrono::nanoseconds at) override { return player_.sleepUntil(timeOf(at)); }
    bool passed(std::chrono::nanoseconds at) const override { return timeOf(at) <= Clock::now(); }

  private:
    Clock::time_point timeOf(std::chrono::nanoseconds at) const {
        return player_.origin_ + std::chrono::duration_cast<Clock::duration>(at);
    }
    MidiPlayer& player_;
};

void MidiPlayer::run() {
    { std::lock_guard lock(mutex_); }
    // Like a multimedia timer thread, the player runs ahead of ordinary
    // work when the system lets it (root, or a real-time limit for audio).
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 9;
    realtime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    LiveClock clock(*this);
    if (runLoop(clock) != Ending::EndTick) {
        finish();
        return;
    }
    // The end callback may release this player: after it nothing here is touched.
    endReached_.store(true);
    PlayerEndCallback onEnd = onEnd_;
    if (realtime_) {
        // The callback's work (and any thread it starts) is ordinary work.
        sched_param normal{};
        pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
    }
    finish();
    if (onEnd) onEnd();
}

MidiPlayer::Ending MidiPlayer::runLoop(PlayerClock& clock) {
    const int count = song_->track().count();
    std::chrono::nanoseconds deadline = ticksToTime(leadInTicks_);
    segmentStart_ = deadline;
    segmentTicks_ = 0;
    tempoChanged_ = false;
    Ending ending = Ending::Stopped;
    bool done = false;
    while (!done) {
        if (!clock.waitUntil(deadline) || stopRequest_.load() || killed_.load()) break;
        if (index_ >= count) {
            reportError(ErrorClass::Mdpl, errc::kPlayerBadPlayPoint);
            break;
        }
        // One batch: the event that is due and every one due with it (or
        // already overdue, so a late wake-up catches up instead of drifting).
        due_ = deadline;
        for (;;) {
            const int delta = sendAndStep();
            if (tempoChanged_) {
                segmentStart_ = due_;
                segmentTicks_ = 0;
                tempoChanged_ = false;
            }
            if (delta < 0) {
                ending = Ending::SongEnd;
                done = true;
                break;
            }
            if (onEvent_ && endTick_ != -1 && currentTick_ + delta >= endTick_) {
                ending = Ending::EndTick;
                done = true;
                break;
            }
            const double ticksPerMinute = std::trunc(song_->division() * speed_ * tempo_.load() * 0.01);
            if (ticksPerMinute < 1) {
                reportError(ErrorClass::Mdpl, errc::kPlayerBadTempo);
                done = true;
                break;
            }
            segmentTicks_ += delta;
            due_ = segmentStart_ + ticksToTime(segmentTicks_);
            if (delta > 0 && !clock.passed(due_)) break;
            if (stopRequest_.load() || killed_.load()) {
                done = true;
                break;
            }
        }
        deadline = due_;
    }
    return ending;
}

bool MidiPlayer::playWith(MidiF0Data* song, std::unique_ptr<MidiOutPort> port, PlayerEventCallback onEvent,
                          PlayerClock& clock) {
    stopThread();
    onEvent_ = std::move(onEvent);
    onEnd_ = nullptr;
    endTick_ = -1;
    tickOffset_ = 0;
    port_ = std::move(port);
    // A sink needs no time for its resets.
    const auto gap = preludeGap_;
    preludeGap_ = std::chrono::milliseconds(0);
    long long skipped = 0;
    const bool prepared = prepare(song, -1, 0, skipped) != 0;
    preludeGap_ = gap;
    port_.reset();
    if (!prepared) return false;
    currentTick_ = skipped;
    const Ending ending = runLoop(clock);
    playing_.store(false);
    device_.close();
    return ending == Ending::SongEnd;
}

// ---------------------------------------------------------------------------
// MusicPlayer

MusicPlayer::~MusicPlayer() {
    release();
}

int MusicPlayer::start(MidiF0Data* song, PlayerEventCallback onEvent, long long tickOffset,
                       long long startTick, long long endTick, PlayerEndCallback onEnd, int device) {
    registerMusicPlayerMessages();
    if (!isNoteOnOff(song)) reportError(ErrorClass::Mdsp, errc::kMusicPlayerNotNotes);
    release();
    stopRequested_.store(false);
    // Held here too: a release from another thread cannot free it mid-start.
    auto player = std::make_shared<MidiPlayer>();
    player->setSongClock(songClock_);
    {
        std::lock_guard lock(mutex_);
        player_ = player;
        onEnd_ = onEnd;
    }
    const bool started = onEvent ? player->start(song, device, std::move(onEvent), tickOffset, startTick,
                                                 endTick, std::move(onEnd))
                                 : player->start(song, device);
    // From here the end callback may already have released the player.
    std::lock_guard lock(mutex_);
    if (player_ != player) return started ? 1 : 0;
    if (started) {
        // A stop that came while the prelude was sent still counts.
        if (stopRequested_.load()) player->requestStop();
        return 1;
    }
    player_.reset();
    onEnd_ = nullptr;
    player->close();
    return 0;
}

bool MusicPlayer::isPlaying() const {
    std::lock_guard lock(mutex_);
    return player_ != nullptr;
}

void MusicPlayer::requestStop() {
    stopRequested_.store(true);
    std::lock_guard lock(mutex_);
    if (player_) player_->requestStop();
}

void MusicPlayer::killTimer() {
    std::lock_guard lock(mutex_);
    if (player_) player_->killTimer();
}

void MusicPlayer::playLoop() {
    std::shared_ptr<MidiPlayer> player;
    PlayerEndCallback onEnd;
    {
        std::lock_guard lock(mutex_);
        player = player_;
        onEnd = onEnd_;
    }
    if (!player) return;
    while (player->waitWhilePlaying(std::chrono::milliseconds(100))) {
    }
    // The end tick already called the callback on the player's thread.
    if (!stopRequested_.load() && !player->stopRequested() && !player->endReached() && onEnd) onEnd();
}

void MusicPlayer::release() {
    std::shared_ptr<MidiPlayer> player;
    {
        std::lock_guard lock(mutex_);
        player = std::move(player_);
        onEnd_ = nullptr;
    }
    if (player) player->close();
}

} // namespace harmolin
