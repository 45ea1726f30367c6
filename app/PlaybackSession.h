// Play and Stop: the playback worker's stages (the current song saved as
// "temp_plsv.mid", the sung part "temp_pl.mid" when the voice sings), the
// player started with the pipeline's event and end callbacks, and the Stop
// road (gain 0, player stopped, device closed). Shared by the terminal
// program and the window; no GUI code.
#pragma once

#include "lyrics/VoiceList.h"
#include "midi/PluginKind.h"
#include "playback/MidiPlayer.h"
#include "playback/OfflineRenderer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace harmolin {

class CVstHostMain;
class DanceBeat;
class CXfData;
class MidiF0Data;

inline constexpr int kVoicePlayback = -1; // playback sound: sung by the plug-in

struct PlaybackSettings {
    int playbackSound = kVoicePlayback;                 // -1 voice, else the melody's GM program
    int delayCorrectionMs = -1;                         // -1: not measured
    int danceMode = 2;                                  // 0 none, 1 drums, 2 guide melody
    std::string pluginPath;                             // the singing plug-in
    PluginKind pluginKind = PluginKind::VocaloidStream; // how it is driven (pluginKindOf)
    // The singer list loaded beside the plug-in; a singer without one
    // cannot be sequenced (reported), an instrument needs none.
    std::optional<VoiceList> singers;
    int midiDevice = -1; // -1 the synthesizer, 0..n sequencer ports
    // When the listener asked for the song (the start of play, Play
    // pressed): its first note is heard at its own time counted from here,
    // the preparation taken out of the silence before it. None: from start.
    std::optional<std::chrono::steady_clock::time_point> songStart;
};

// What the pipeline tells its owner while a song plays. Every callback comes
// on the player's thread: a window marshals them to its own thread.
struct PlaybackListener {
    std::function<void()> danceStep;                     // a beat of the dance mode
    std::function<void(const std::string& cp932)> lyric; // a sung syllable (syllable-program plug-in)
    std::function<void()> ended;                         // the song played to its end
};

class PlaybackSession {
  public:
    PlaybackSession(CVstHostMain& host, std::string workingFolder, std::string dataFolder);
    ~PlaybackSession(); // stops

    // Where a prepared song goes. Both roads set the voice's gain by the
    // same rule: Play from a listen before it starts, render() from the
    // song's own parts once they are rendered.
    enum class Road { Play, Render };
    // The worker's stages: saves the song, writes the sung part when the
    // voice sings, loads the file to play and, for Play, decides the voice's
    // gain by its kind and the accompaniment's loudness. False (reported)
    // when a stage fails; nothing plays then. May run on any thread.
    [[nodiscard]] bool prepare(const CXfData& song, const PlaybackSettings& settings, Road road = Road::Play);
    // Starts the player on the prepared file. False (reported) when no
    // device could be opened.
    [[nodiscard]] bool start(PlaybackListener listener);
    // The same play against a sample clock: the prepared file through the
    // same player, event callback and host (which must render offline),
    // into an audio file instead of the device. Blocks the caller.
    [[nodiscard]] RenderResult render(const std::string& outputPath, RenderOptions options);
    // The Stop road: gain 0, player stopped, device closed. Safe from any
    // thread, any number of times; returns within 100 ms.
    void stop();
    [[nodiscard]] bool playing() const { return playing_.load(); }

    // Seconds the prepared file lasts.
    double duration() const;
    // Seconds from the start of the prepared file to its first note: a
    // note-on, or the voice's first note message.
    double firstNoteSeconds() const;
    // How much of the silence before the first note the song clock took out.
    [[nodiscard]] std::chrono::steady_clock::duration startedEarlyBy();
    // The file the player plays ("temp_pl.mid" or "temp_plsv.mid").
    [[nodiscard]] const std::string& playedFile() const { return playedFile_; }
    [[nodiscard]] MusicPlayer& musicPlayer() { return music_; }

  private:
    // The host set for the voice or silenced; true when the voice sings.
    bool readyVoice();
    void onPlaybackEvent(int index, long long tick, MusicEvent& event);
    void onPlaybackEnd();

    CVstHostMain& host_;
    std::string workingFolder_;
    std::string dataFolder_;
    PlaybackSettings settings_;
    PlaybackListener listener_;
    std::unique_ptr<MidiF0Data> song_;
    std::optional<double> voiceGain_; // decided by prepare for Play, by render otherwise
    std::string playedFile_;
    MusicPlayer music_;
    std::atomic<bool> playing_{false};
    std::mutex stopMutex_;
    struct Waiter;
    std::unique_ptr<Waiter> waiter_;
    std::thread waiterThread_;
    std::unique_ptr<DanceBeat> beat_;
    std::chrono::steady_clock::time_point lastLyric_{};
};

// The live "Auto Adjust": lets the plug-in loaded in the running host sing
// "あ" through the real output and times its first sound (x 0.915, as the
// sequence writer expects it). Nothing when no sound comes within `timeout`
// or no plug-in is loaded. Blocks the caller: run it off the window thread.
// The test note follows the plug-in's kind: the control stream for a
// control-stream singer, a syllable program and a note for a syllable-program
// singer, a plain note for an instrument.
// Why a measurement gave no delay, so a message can say what happened.
enum class DelayOutcome { Measured, NoPlugin, NoAudioOutput, NoSound };
[[nodiscard]] std::optional<int> measureLiveDelay(CVstHostMain& host, PluginKind kind,
                                                  const VoiceList* singers, std::chrono::milliseconds timeout,
                                                  DelayOutcome* outcome = nullptr);

// The same test syllable sung offline by a private instance of the plug-in
// at pluginPath, timed on the sample clock from its messages to its first
// sound: nothing reaches the loudspeaker. Nothing when the plug-in cannot be
// loaded or stays silent; error then says why.
[[nodiscard]] std::optional<int> measureOfflineDelay(const std::string& pluginPath, PluginKind kind,
                                                     const VoiceList* singers, std::string& error);

// Play's delay for the plug-in, as the window and the terminal take it: the
// one kept in the working folder for the plug-in file as it is now, else
// measured offline (and kept). `measured` tells which.
[[nodiscard]] std::optional<int> playDelay(const std::string& workingFolder, const std::string& pluginPath,
                                           PluginKind kind, const VoiceList* singers, bool& measured,
                                           std::string& error);

} // namespace harmolin
