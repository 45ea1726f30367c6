// play: the Play road in real time. The song is saved and sequenced exactly
// as the window does it, the singing plug-in renders into the live audio
// output and the player sends the accompaniment to a MIDI output device.
// Ctrl-C takes the Stop road.
#include "cli/PlayCommand.h"

#include "app/PlaybackSession.h"
#include "app/WorkingFolder.h"
#include "cli/RenderCommand.h"
#include "midi/XfData.h"
#include "playback/LiveAudio.h"
#include "playback/MidiOutput.h"
#include "playback/MidiSchedule.h"
#include "playback/VstHost.h"

#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <iostream>
#include <memory>
#include <thread>

namespace harmolin::cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    interrupted.store(true);
}

// Restores the previous Ctrl-C handling when the command ends.
class InterruptGuard {
  public:
    InterruptGuard() {
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
        interrupted.store(false);
    }
    ~InterruptGuard() {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }

  private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

// Holds the live output for the whole command, so the stream is not closed
// and reopened while the plug-in is loaded.
class AudioHold {
  public:
    bool acquire(std::string& error) { return held_ = LiveAudio::instance().acquire(error); }
    ~AudioHold() {
        if (held_) LiveAudio::instance().release();
    }

  private:
    bool held_ = false;
};

// --midi-port: a device number (-1 is the synthesizer) or part of a
// sequencer port's name.
std::optional<int> midiPort(const std::string& text) {
    if (text.empty()) return -1;
    int n = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec == std::errc() && ptr == text.data() + text.size()) {
        if (n >= -1) return n;
        return std::nullopt;
    }
    const std::vector<std::string> ports = midiOutputDevices();
    for (std::size_t i = 0; i < ports.size(); ++i)
        if (ports[i].find(text) != std::string::npos) return static_cast<int>(i);
    return std::nullopt;
}

// Seconds from the start of the played file to its first note: a note-on,
// or the start of a note message of the voice's control stream.
double firstNoteSeconds(const std::string& played) {
    MidiSchedule schedule;
    if (!loadMidiSchedule(played, schedule)) return 0.0;
    for (const TimedEvent& t : schedule.events)
        if (t.event.isNoteOn() || (t.event.isControl(99) && t.event.value == 0x50))
            return static_cast<double>(t.sample) / kRenderRate;
    return 0.0;
}

// The steady clock as seconds, the clock other programs call monotonic.
double monotonicSeconds(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// Device -1 opened on a thread of its own from the start, and handed to the
// player when it opens its device; any other device opens as usual.
class SynthOpenedAhead {
  public:
    explicit SynthOpenedAhead(bool wanted) {
        if (!wanted) return;
        port_ = std::async(std::launch::async, [this] { return openSynthPort(error_); });
        setMidiPortOpener([this](int number, std::string& error) -> std::unique_ptr<MidiOutPort> {
            if (number == -1 && port_.valid()) {
                std::unique_ptr<MidiOutPort> opened = port_.get();
                if (!opened) error = error_;
                return opened;
            }
            return defaultMidiPortOpener()(number, error);
        });
        installed_ = true;
    }
    ~SynthOpenedAhead() {
        if (installed_) setMidiPortOpener(nullptr);
    }
    SynthOpenedAhead(const SynthOpenedAhead&) = delete;
    SynthOpenedAhead& operator=(const SynthOpenedAhead&) = delete;

  private:
    std::string error_; // written by the opening thread, read after its result
    std::future<std::unique_ptr<MidiOutPort>> port_;
    bool installed_ = false;
};

void listDevices() {
    std::cout << "MIDI output devices:\n  -1  General MIDI synthesizer (FluidSynth)\n";
    const std::vector<std::string> ports = midiOutputDevices();
    for (std::size_t i = 0; i < ports.size(); ++i)
        std::cout << "  " << i << "   " << ports[i] << '\n';
    if (ports.empty()) std::cout << "  (no ALSA sequencer ports)\n";
    std::cout << "audio output: any ALSA PCM name, e.g. default, null, hw:0\n";
}

} // namespace

int playCommand(const Arguments& args, const std::string& workdir) {
    // The song's time zero: everything below is done in its lead-in.
    const auto asked = std::chrono::steady_clock::now();
    if (args.has("--list-devices")) {
        listDevices();
        return 0;
    }
    const bool generated = args.has("--type") || args.has("--style") || args.has("--group");
    const bool given = args.has("--song");
    if (generated == given || !args.positional.empty()) {
        printError(
            "play takes a song type or a song: harmolin play (--type T --variant V [--seed N] | --song "
            "IN_XF.mid) [--sound voice|instrument] [--plugin PATH] [--midi-port P] [--audio-device D] "
            "[--delay MS] [--plugin-kind K]");
        return 2;
    }
    int exitCode = 0;
    const auto sound = chooseSound(args, exitCode);
    if (!sound) return exitCode;
    const auto port = midiPort(args.value("--midi-port"));
    if (!port) {
        printError("--midi-port is -1 (the synthesizer), a device number or part of a port name, not '" +
                   args.value("--midi-port") + "' (see harmolin play --list-devices)");
        return 2;
    }
    std::optional<int> delay;
    if (args.has("--delay")) {
        delay = parseNumber("--delay", args.value("--delay"), 0, 10000);
        if (!delay) return 2;
    }
    const bool sung = sound->sung;
    const std::string& plugin = sound->plugin;
    const auto data = requireDataFolder();
    if (!data) return 1;

    const std::string device = args.value("--audio-device", "default");
    LiveAudio::instance().setDeviceName(device);
    AudioHold audio;
    std::string error;
    if (!audio.acquire(error)) {
        printError("no audio output: " + error + " (try --audio-device null to play without sound)");
        return 1;
    }

    // While the plug-in loads and the song is composed (or read), the
    // synthesizer loads its SoundFont on a thread of its own.
    SynthOpenedAhead synth(*port == -1);

    CVstHostMain host(makeLiveWaveOut());
    PlaybackSettings settings;
    settings.playbackSound = sung ? kVoicePlayback : 64;
    settings.pluginPath = plugin;
    settings.pluginKind = sound->kind;
    settings.singers = sound->singers;
    settings.midiDevice = *port;
    settings.danceMode = 0;
    settings.songStart = asked;
    if (sung) {
        ReportCollector reports(true);
        if (!host.loadSingingPlugin(plugin, sound->kind)) {
            reports.failWith(host.loadFailure(plugin));
            return 1;
        }
        if (!host.isRunning()) {
            reports.failWith("the singing voice has no audio output");
            return 1;
        }
        reports.flush();
    }

    // The voice's delay is found on another while the song is composed; only
    // once the plug-in has loaded here, so that a plug-in that fails says so
    // once, in its own words.
    struct FoundDelay {
        std::optional<int> ms;
        bool measured = false;
        std::string error;
    };
    std::future<FoundDelay> found;
    if (sung && !delay)
        found = std::async(std::launch::async, [&workdir, &plugin, &sound] {
            FoundDelay d;
            d.ms = playDelay(workdir, plugin, sound->kind, sound->singers ? &*sound->singers : nullptr,
                             d.measured, d.error);
            return d;
        });

    const std::string saved = joinPath(workdir, kPlaybackSaveFile);
    CXfData song;
    if (const int rc = savePlayedSong(args, workdir, saved, song); rc != 0) return rc;

    if (delay) {
        settings.delayCorrectionMs = *delay;
    } else if (found.valid()) {
        // Kept from before, or measured now in a private instance of the
        // plug-in: no test note reaches the loudspeaker either way.
        const FoundDelay d = found.get();
        settings.delayCorrectionMs = d.ms.value_or(0);
        if (d.ms)
            std::cout << "voice delay: " << *d.ms << " ms ("
                      << (d.measured ? "measured offline" : "measured before") << ")" << std::endl;
        else
            std::cout << "voice delay: " << d.error << "; playing without correction" << std::endl;
    }

    PlaybackSession session(host, workdir, *data);
    {
        ReportCollector reports;
        if (!session.prepare(song, settings)) {
            reports.fail(saved);
            return 1;
        }
        reports.flush();
    }
    // The loudest the voice got while the song played, for the closing line.
    auto loudest = std::make_shared<std::atomic<double>>(-1.7e308);
    if (sung)
        host.setLevelListener([loudest](double peakDb) {
            double seen = loudest->load();
            while (peakDb > seen && !loudest->compare_exchange_weak(seen, peakDb)) {
            }
        });
    InterruptGuard guard;
    std::atomic<bool> ended{false};
    PlaybackListener listener;
    listener.ended = [&ended] { ended.store(true); };
    {
        ReportCollector reports;
        if (!session.start(listener)) {
            reports.failOr("no MIDI output device could be opened");
            return 1;
        }
        reports.flush();
    }
    // From here the song plays in its own time (the set-up block and its
    // pauses for the device are behind us), counted from where its clock put
    // the file's start.
    const auto started = std::chrono::steady_clock::now() - session.startedEarlyBy();
    const double length = session.duration();
    std::printf("playing %s: %.1f s (Ctrl-C stops)\n", session.playedFile().c_str(), length);
    std::fflush(stdout);
    const bool timing = args.has("--timing");
    const double firstNote = timing ? firstNoteSeconds(session.playedFile()) : 0.0;
    bool timed = !timing;
    while (!ended.load() && !interrupted.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timed ? 10 : 1));
        if (timed) continue;
        if (const auto sound = LiveAudio::instance().firstSound()) {
            timed = true;
            std::printf("timing: first sound at %.6f s (monotonic), first note %.3f s into the song\n",
                        monotonicSeconds(*sound), firstNote);
            std::fflush(stdout);
        }
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const bool stopped = interrupted.load() && !ended.load();
    session.stop();
    if (stopped)
        std::printf("stopped after %.2f s of %.2f s\n", elapsed, length);
    else
        std::printf("played %.2f s in %.2f s (%.2f%%)\n", length, elapsed,
                    length > 0 ? 100.0 * elapsed / length : 0.0);
    if (sung) {
        host.setLevelListener(nullptr);
        if (loudest->load() > -200.0)
            std::printf("voice peak: %.1f dBFS\n", loudest->load());
        else
            std::printf("voice peak: silent\n");
    }
    std::fflush(stdout);
    return 0;
}

} // namespace harmolin::cli
