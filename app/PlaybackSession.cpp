#include "app/PlaybackSession.h"

#include "app/Dance.h"
#include "app/SingingPipeline.h"
#include "app/VoiceDelayCache.h"
#include "app/WorkingFolder.h"
#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "lyrics/PhonemeTable.h"
#include "lyrics/VocaloidWriter.h"
#include "lyrics/VoiceList.h"
#include "midi/MidiF0Data.h"
#include "midi/XfData.h"
#include "playback/LiveAudio.h"
#include "playback/MidiSchedule.h"
#include "playback/OfflineRenderer.h"
#include "playback/VstHost.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <thread>

namespace harmolin {

namespace {

// Sung parts carry a burst of control changes per syllable and outgrow the
// 0x60000 bytes of an ordinary song.
constexpr int kPlayedCapacity = 0x400000;

// The syllable a syllable-program plug-in is told to sing, as CP932 text.
std::string syllableOfProgram(int program) {
    for (const PhonemeRow& row : phonemeTable())
        if (row.number == program) return row.kana;
    return {};
}

} // namespace

struct PlaybackSession::Waiter {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
};

PlaybackSession::PlaybackSession(CVstHostMain& host, std::string workingFolder, std::string dataFolder)
    : host_(host), workingFolder_(std::move(workingFolder)), dataFolder_(std::move(dataFolder)),
      waiter_(std::make_unique<Waiter>()), beat_(std::make_unique<DanceBeat>()) {}

PlaybackSession::~PlaybackSession() {
    stop();
}

bool PlaybackSession::prepare(const CXfData& song, const PlaybackSettings& settings, Road road) {
    if (playing_.load()) return false;
    settings_ = settings;
    const std::string saved = joinPath(workingFolder_, kPlaybackSaveFile);
    CXfData copy(song); // saving finishes the data
    if (!copy.save(saved)) return false;
    playedFile_ = saved;
    if (settings.playbackSound == kVoicePlayback) {
        const std::string sung = joinPath(workingFolder_, kSungFile);
        SungPartRequest request;
        request.delayMs = std::max(settings.delayCorrectionMs, 0);
        request.kind = settings.pluginKind;
        request.singers = settings.singers;
        if (!writeSungFileFromSaved(saved, workingFolder_, dataFolder_, request, sung)) return false;
        playedFile_ = sung;
    }
    auto loaded = std::make_unique<MidiF0Data>(kPlayedCapacity);
    if (!loaded->load(playedFile_)) return false;
    // The player takes one event per note on and off.
    if (loaded->state() != TrackState::NoteOnOff && !loaded->split()) return false;
    if (loaded->division() <= 0) {
        reportError(ErrorClass::Mdpl, errc::kPlayerInternal);
        return false;
    }
    song_ = std::move(loaded);
    voiceGain_.reset();
    if (settings.playbackSound != kVoicePlayback)
        voiceGain_ = 0.0;
    else if (road == Road::Play)
        voiceGain_ = voiceGainFor(*song_, settings.pluginPath, settings.pluginKind, 0);
    return true;
}

double PlaybackSession::duration() const {
    return song_ ? songSeconds(*song_) : 0.0;
}

double PlaybackSession::firstNoteSeconds() const {
    if (!song_) return 0.0;
    return walkSongSeconds(*song_, [](double, const MusicEvent& e) {
        return !(e.isNoteOn() || (e.isControl(99) && e.value == 0x50));
    });
}

std::chrono::steady_clock::duration PlaybackSession::startedEarlyBy() {
    MidiPlayer* player = music_.player();
    return player ? player->startedEarlyBy() : std::chrono::steady_clock::duration::zero();
}

bool PlaybackSession::start(PlaybackListener listener) {
    if (!song_ || playing_.load()) return false;
    if (waiterThread_.joinable()) waiterThread_.join();
    listener_ = std::move(listener);
    beat_->reset();
    lastLyric_ = {};
    const bool voice = readyVoice();
    {
        std::lock_guard<std::mutex> lock(waiter_->mutex);
        waiter_->stop = false;
    }
    if (settings_.songStart) {
        // The accompaniment is held back by the voice's delay in the played
        // file, and the synthesizer sounds a message its lead after it is sent.
        using std::chrono::milliseconds;
        MidiPlayer::SongClock clock;
        clock.zero = *settings_.songStart;
        const int synthLeadMs = settings_.midiDevice < 0 ? kSynthLeadFrames * 1000 / 44100 : 0;
        clock.soundDelay = milliseconds((voice ? std::max(settings_.delayCorrectionMs, 0) : 0) + synthLeadMs);
        // Never so early that a note would be squeezed into the catch-up.
        clock.mostEarly = milliseconds(std::max(0, static_cast<int>(firstNoteSeconds() * 1000) - 50));
        music_.setSongClock(clock);
    } else {
        music_.setSongClock(std::nullopt);
    }
    const int opened = music_.start(
        song_.get(),
        [this](int index, long long tick, MusicEvent& event) { onPlaybackEvent(index, tick, event); }, 0, 0,
        -1, {}, settings_.midiDevice);
    if (!opened) {
        host_.setGain(0.0);
        return false;
    }
    playing_.store(true);
    // The end is noticed here rather than on the player's thread, so the
    // player never waits for its own listener.
    waiterThread_ = std::thread([this] {
        std::unique_lock<std::mutex> lock(waiter_->mutex);
        while (!waiter_->stop) {
            MidiPlayer* player = music_.player();
            if (!player || !player->playing()) break;
            waiter_->wake.wait_for(lock, std::chrono::milliseconds(20));
        }
        const bool stopped = waiter_->stop;
        lock.unlock();
        if (!stopped) onPlaybackEnd();
    });
    return true;
}

bool PlaybackSession::readyVoice() {
    const bool voice = settings_.playbackSound == kVoicePlayback;
    if (voice) host_.setVoiceChannel(0, settings_.pluginKind);
    // The level decided before the song, the same on both roads.
    host_.setGain(voice ? voiceGain_.value_or(voiceGainOf(settings_.pluginKind)) : 0.0);
    return voice;
}

RenderResult PlaybackSession::render(const std::string& outputPath, RenderOptions options) {
    if (!song_ || playing_.load()) {
        RenderResult result;
        result.error = "nothing is prepared to render";
        return result;
    }
    beat_->reset();
    lastLyric_ = {};
    listener_ = {};
    const bool voice = readyVoice();
    options.voiceChannel = 0;
    if (!voice) options.melodyProgram = std::clamp(settings_.playbackSound, 0, 127);
    // Play's balance, heard in the render itself.
    options.balanceVoice = voice && !voiceGain_;
    options.pluginKind = settings_.pluginKind;
    RenderResult result = renderSong(
        *song_, voice ? &host_ : nullptr,
        [this](int index, long long tick, MusicEvent& event) { onPlaybackEvent(index, tick, event); },
        outputPath, options);
    host_.setGain(0.0);
    return result;
}

void PlaybackSession::stop() {
    std::lock_guard<std::mutex> guard(stopMutex_);
    host_.setGain(0.0);
    {
        std::lock_guard<std::mutex> lock(waiter_->mutex);
        waiter_->stop = true;
    }
    waiter_->wake.notify_all();
    music_.requestStop();
    music_.killTimer();
    if (waiterThread_.joinable() && waiterThread_.get_id() != std::this_thread::get_id())
        waiterThread_.join();
    music_.release();
    playing_.store(false);
}

void PlaybackSession::onPlaybackEvent(int, long long tick, MusicEvent& event) {
    if (event.isChannelEvent() &&
        beat_->isBeat(settings_.danceMode, event.channel, event.kind, event.note, event.velocity, tick) &&
        listener_.danceStep)
        listener_.danceStep();
    if (settings_.pluginKind == PluginKind::SyllableProgram && event.kind == kProgramChange &&
        event.channel == 0 && listener_.lyric) {
        const auto now = std::chrono::steady_clock::now();
        std::string text;
        if (lastLyric_ != std::chrono::steady_clock::time_point{}) {
            const auto gap = now - lastLyric_;
            if (gap > std::chrono::milliseconds(500))
                text = "\x81\x40\x81\x40"; // two ideographic spaces
            else if (gap > std::chrono::milliseconds(300))
                text = "\x81\x40";
        }
        lastLyric_ = now;
        listener_.lyric(text + syllableOfProgram(event.value));
    }
    if (settings_.playbackSound == kVoicePlayback)
        (void)host_.routeVoiceEvent(event); // events not for the voice are the synth's
}

void PlaybackSession::onPlaybackEnd() {
    host_.setGain(0.0);
    playing_.store(false);
    if (listener_.ended) listener_.ended();
}

namespace {

// The test syllable "a" on middle C as the plug-in's kind hears it, sung by
// the first singer of its list.
std::optional<TestSyllableMessages> testNoteFor(PluginKind kind, const VoiceList* singers) {
    const bool named = singers && singers->hasList();
    const std::string singer = named ? singers->first().name : std::string("Singer");
    const int program = named ? singers->first().program : 0;
    const int mode = kind == PluginKind::VocaloidStream ? kVocaloidMode : kSyllableProgramMode;
    TestSyllableMessages test = testSyllableMessages(singer, program, mode);
    if (test.note.empty()) return std::nullopt;
    return test;
}

} // namespace

std::optional<int> measureLiveDelay(CVstHostMain& host, PluginKind kind, const VoiceList* singers,
                                    std::chrono::milliseconds timeout, DelayOutcome* outcome) {
    DelayOutcome ignored;
    DelayOutcome& said = outcome ? *outcome : ignored;
    said = DelayOutcome::NoPlugin;
    if (!host.isLoaded(0)) return std::nullopt;
    // Without an output nothing renders: there is nothing to listen to.
    said = DelayOutcome::NoAudioOutput;
    if (!host.isRunning()) return std::nullopt;
    said = DelayOutcome::NoSound;
    const std::optional<TestSyllableMessages> test = testNoteFor(kind, singers);
    if (!test) return std::nullopt;
    // Through the host's own routing of the voice channel, as a song goes.
    host.setVoiceChannel(0, kind);
    auto route = [&host](const std::vector<MusicEvent>& events) {
        for (MusicEvent e : events)
            (void)host.routeVoiceEvent(e); // the test note is all voice-channel events
    };

    struct Heard {
        std::mutex mutex;
        std::condition_variable wake;
        bool listening = false;
        bool heard = false;
        std::chrono::steady_clock::time_point at;
    };
    auto heard = std::make_shared<Heard>();
    host.setLevelListener([heard](double peakDb) {
        // Any sound at all: above -60 dB.
        if (peakDb < -60.0) return;
        std::lock_guard<std::mutex> lock(heard->mutex);
        if (!heard->listening || heard->heard) return;
        heard->heard = true;
        heard->at = std::chrono::steady_clock::now();
        heard->wake.notify_all();
    });
    const double gain = host.gain();
    host.setGain(1.0);
    route(test->setup);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto started = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(heard->mutex);
        heard->listening = true;
    }
    route(test->note);
    std::optional<int> delay;
    {
        std::unique_lock<std::mutex> lock(heard->mutex);
        if (heard->wake.wait_for(lock, timeout, [&] { return heard->heard; })) {
            const double ms = std::chrono::duration<double, std::milli>(heard->at - started).count();
            delay = static_cast<int>(ms * 0.915);
            said = DelayOutcome::Measured;
        }
        heard->listening = false;
    }
    route(test->release);
    host.setGain(gain);
    return delay;
}

std::optional<int> measureOfflineDelay(const std::string& pluginPath, PluginKind kind,
                                       const VoiceList* singers, std::string& error) {
    const std::optional<TestSyllableMessages> test = testNoteFor(kind, singers);
    if (!test) {
        error = "no test syllable for the plug-in";
        return std::nullopt;
    }
    const auto opened = openOfflineHost(pluginPath, kind, 0, error);
    if (!opened) return std::nullopt;
    CVstHostMain& host = *opened;
    // The singer first, then half a second of quiet, then the syllable.
    constexpr std::int64_t kNoteAt = kRenderRate / 2;
    auto route = [&host](const std::vector<MusicEvent>& events, std::int64_t at) {
        for (MusicEvent e : events) {
            e.channel = 0;
            (void)host.routeVoiceEventAt(at, e); // the test syllable's events all belong to the voice
        }
    };
    route(test->setup, 0);
    route(test->note, kNoteAt);
    return timeFirstSound(host, kNoteAt, 3 * kRenderRate, error);
}

std::optional<int> playDelay(const std::string& workingFolder, const std::string& pluginPath, PluginKind kind,
                             const VoiceList* singers, bool& measured, std::string& error) {
    measured = false;
    if (const auto kept = keptPlayDelay(workingFolder, pluginPath)) return kept;
    const auto delay = measureOfflineDelay(pluginPath, kind, singers, error);
    if (!delay) return std::nullopt;
    measured = true;
    (void)storeVoiceDelay(workingFolder, offlineDelayKind(), pluginPath,
                          *delay); // not kept: measured again next time
    return delay;
}

} // namespace harmolin
