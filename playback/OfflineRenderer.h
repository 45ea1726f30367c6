// Play's road against a sample clock instead of the wall clock: the same
// player, its routing callback (the voice channel to the singing plug-in
// through the VST host) and General MIDI synthesizers for everything else,
// streamed into a 44.1 kHz stereo audio file instead of the device: WAV, FLAC
// or Ogg Vorbis by the file's extension.
#pragma once

#include "midi/PluginKind.h"
#include "playback/MidiPlayer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include <optional>
#include <string>

namespace harmolin {

struct RenderOptions {
    // Empty: no plug-in; the voice channel then plays through the synthesizer
    // with melodyProgram.
    std::string pluginPath;
    PluginKind pluginKind = PluginKind::VocaloidStream; // how the voice channel reaches it
    int voiceChannel = 0;
    int melodyProgram = 64;
    double voiceGain = 1.0; // the sung voice's level over the host's gain for its kind
    // The host's gain for the voice decided from the render itself, by the
    // rule Play's listen follows (voiceGainFor) over the same first seconds
    // of the voice: the voice is rendered below any clipping, then raised to
    // that gain and clipped as the host clips. Otherwise the host's gain stands.
    bool balanceVoice = false;
    std::string soundFont;   // empty: the system's GM SoundFont
    std::string stemsFolder; // empty: no stems
    double tailSeconds = 2.0;
    // The accompaniment's channels are split into this many groups, each
    // played by its own synthesizer (reverb and chorus are linear, so their
    // sum is one synthesizer's mix up to rounding); 1 plays them on one.
    // The grouping follows the song, never the machine: the same file on
    // any number of threads.
    int accompanimentGroups = 2;
    // Threads for the parts (the groups, the voice, the file writer): 0 means
    // one per part.
    int threads = 0;
    // Called now and then with the share done (0..1); returning false stops
    // the render, which then fails without writing anything.
    std::function<bool(double done)> progress;
};

enum class AudioFileType { Wav, Flac, Ogg };

// The audio file type of a path by its extension (case-insensitive: .wav,
// .flac, .ogg); nothing for any other.
[[nodiscard]] std::optional<AudioFileType> audioFileTypeOf(const std::string& path);
// The extension with its dot: ".wav", ".flac", ".ogg".
[[nodiscard]] const char* audioExtension(AudioFileType type);
// One line for a path whose extension names no audio file type.
[[nodiscard]] std::string unknownAudioTypeMessage(const std::string& path);

struct RenderResult {
    bool ok = false;
    std::string error;      // one line for the user when !ok
    double seconds = 0.0;   // length of the file written
    double peak = 0.0;      // of the mix, after any level correction
    double scaled = 1.0;    // level correction applied to keep below full scale
    double voicePeak = 0.0; // of the voice as the host gave it, before any correction
    double voiceGain = 0.0; // the host's gain the voice sang at (balanceVoice: as decided)
    bool pluginClipped = false;
    // The voice delay the sung part was sequenced with, and whether it was
    // kept from an earlier measurement (set by the song export).
    std::optional<int> voiceDelayMs;
    bool voiceDelayKept = false;
};

class CVstHostMain;
class MidiF0Data;

// The GM SoundFont of the system, or empty when none is installed.
[[nodiscard]] std::string defaultSoundFont();

// FluidSynth's start, once per process and before any synthesizer is made
// on any thread: its log lines kept off the terminal, and its shared tables
// (default modulators among them) built while nothing else runs.
void startFluidSynth();

// FluidSynth keeps one sample cache for every synthesizer of the process,
// under a lock of its own that the thread checker cannot see: loading a
// SoundFont and choosing presets (off the audio thread) take turns here.
[[nodiscard]] std::mutex& soundFontCacheMutex();

// Plays `song` (one event per note on and off) with the player against a
// sample clock into outputPath. Every event passes onEvent first, as on the
// live road; what it leaves goes to the synthesizers. `host` (null: no voice)
// must render offline (no render thread), its voice channel and gain set; the
// voice channel's own synthesizer part then plays what the host leaves. The
// parts are streamed through the file; stems, when asked for, follow the
// output's type (voice.flac, accompaniment.flac, ...).
[[nodiscard]] RenderResult renderSong(MidiF0Data& song, CVstHostMain* host,
                                      const PlayerEventCallback& onEvent, const std::string& outputPath,
                                      const RenderOptions& options);

// The host config of an offline render: no thread, the caller renders.
struct VstHostConfig;
[[nodiscard]] VstHostConfig offlineHostConfig();

// An offline host with the plug-in at pluginPath loaded, singing on
// voiceChannel at gain 1; null (error says why) when it does not load.
[[nodiscard]] std::unique_ptr<CVstHostMain> openOfflineHost(const std::string& pluginPath, PluginKind kind,
                                                            int voiceChannel, std::string& error);

// Renders the file at midiPath: the host (when a plug-in is given) routes the
// voice channel. In the type outputPath's extension names.
[[nodiscard]] RenderResult renderMidiToFile(const std::string& midiPath, const std::string& outputPath,
                                            const RenderOptions& options);

// How loud the accompaniment of a song is, heard before it plays: the mean
// square of its mix over the moments it sounds, from a rough synthesizer (a
// low rate, few voices) playing every channel but the voice's for the first 15 seconds of
// the voice. Nothing without a SoundFont or any sound.
std::optional<double> accompanimentPower(const MidiF0Data& song, int voiceChannel);

// How loud a plug-in plays a song at unit gain, heard before the song in an
// offline host of its own: the mean square over the moments it sounds and
// the peak, over the first 15 seconds of the voice channel. Nothing when
// the plug-in does not load or stays silent.
struct VoiceLoudness {
    double power = 0.0;
    double peak = 0.0;
};
std::optional<VoiceLoudness> voiceLoudness(const std::string& pluginPath, PluginKind kind,
                                           const MidiF0Data& song, int voiceChannel);

// The gain a voice plays a song at, decided before it plays and the same on
// both roads: the voice and the accompaniment heard first (at once, on two
// threads), the voice set a few decibels over the accompaniment, below full
// scale and the kind's most. The kind's own gain when either cannot be heard.
double voiceGainFor(const MidiF0Data& song, const std::string& pluginPath, PluginKind kind, int voiceChannel);
// The rule voiceGainFor follows, from what was heard: the voice at unit gain
// and the accompaniment's mean power; the kind's own gain when either is missing.
double balancedVoiceGain(PluginKind kind, const std::optional<VoiceLoudness>& voice,
                         std::optional<double> accompaniment);

// Milliseconds from the first sung note's messages to the plug-in's first
// sound, measured by letting the plug-in sing that note alone, delivered by
// the host's routing for the plug-in's kind. Nothing when
// the plug-in does not load, the file has no voice, or nothing is heard
// within a second; error then says why.
[[nodiscard]] std::optional<int> measureVoiceDelay(const std::string& pluginPath, PluginKind kind,
                                                   const std::string& sungPartPath, int voiceChannel,
                                                   std::string& error);

// Renders `host` offline from sample 0 and gives the milliseconds from
// `noteAt` to its first sound above -60 dB, listening `listenFrames` past
// the note; nothing (error says why) when it stays silent.
[[nodiscard]] std::optional<int> timeFirstSound(CVstHostMain& host, std::int64_t noteAt,
                                                std::int64_t listenFrames, std::string& error);

} // namespace harmolin
