// The VST 2 host: up to 16 plug-in slots (one per MIDI channel), an event
// hand-over from the player's thread to the render thread, and a render step
// that mixes the plug-ins to one mono 16-bit stream in the wave output ring.
//
// Threads: load/unload and the slot controls run on the owner's thread;
// queueMidi and routeVoiceEvent on the player's thread (any thread may queue:
// producers are serialised by a short lock, the render thread takes events
// from a lock-free ring and never waits for a producer); render steps on the
// render thread, or on the caller's thread with renderStep/renderBlock.
#pragma once

#include "base/VstInterface.h"
#include "midi/PluginKind.h"
#include "playback/WaveOutput.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace harmolin {

struct MusicEvent;

struct VstHostConfig {
    int deviceNumber = -1;
    int bufferBytes = 2048;
    int bufferCount = 4;
    int leadMs = 46; // plus one render period
    int periodMs = 10;
    // false: start output opens the device but no thread renders; the caller
    // drives renderStep or renderBlock (offline rendering).
    bool renderThread = true;
    // Longest wait for the render thread to finish its step when stopping.
    std::chrono::milliseconds stopTimeout{3000};
};

// The host gain a voice plays at when nothing is known of the song, and the
// most it is given: an instrument plays as loud as an accompaniment part
// already (Kars peaks over full scale at unity), a singer may be raised.
double voiceGainOf(PluginKind kind);

class CVstHostMain {
  public:
    static constexpr int kSlots = 16;
    static constexpr int kEventsPerPlugin = 1024;

    // Without a backend the ring plays into a MemoryWaveSink.
    explicit CVstHostMain(std::unique_ptr<WaveOutBackend> backend = nullptr,
                          const VstHostConfig& config = {});
    ~CVstHostMain(); // shuts down
    CVstHostMain(const CVstHostMain&) = delete;
    CVstHostMain& operator=(const CVstHostMain&) = delete;

    // Slot 0, suspended output around the load, program 0, output started.
    // A syllable-program singer also gets its bank and parameters set.
    [[nodiscard]] bool loadSingingPlugin(const std::string& path, int value = 0, int bank = 0);
    [[nodiscard]] bool loadSingingPlugin(const std::string& path, PluginKind kind, int value = 0,
                                         int bank = 0);
    [[nodiscard]] bool loadPlugin(int slot, const std::string& path);
    void unloadPlugin(int slot);
    [[nodiscard]] bool isLoaded(int slot) const;
    [[nodiscard]] int loadedCount() const;
    // Why the last load failed (the user sees one fixed line; this is for logs).
    [[nodiscard]] std::string lastLoadError() const;
    // The one line a person sees when `path` did not load, with the reason.
    [[nodiscard]] std::string loadFailure(const std::string& path) const;
    // The plug-in's effect record, for callers that speak to it directly.
    [[nodiscard]] vst::AEffect* effect(int slot) const;

    void setParameter(int slot, int index, float value);
    void setProgram(int slot, int program);
    void resume(int slot);
    void suspend(int slot);
    [[nodiscard]] std::string productName(int slot);

    // Queues one MIDI message for the slot of the status byte's channel, to
    // sound one lead after the output's current position. False when dropped.
    [[nodiscard]] bool queueMidi(int status, int data1, int data2);
    // The same at an explicit sample time of the output clock.
    [[nodiscard]] bool queueMidiAt(std::int64_t sampleTime, int status, int data1, int data2);

    // The voice channel and how its plug-in is driven (by the path: the
    // program's one rule).
    void setVoiceChannel(int channel, const std::string& pluginPath);
    void setVoiceChannel(int channel, PluginKind kind);
    [[nodiscard]] PluginKind voiceKind() const;
    // Takes the voice channel's note-on, note-off, program change and control
    // change from the MIDI output (status cleared) and queues them for the
    // plug-in as its kind wants them: the control stream for every kind,
    // notes for the syllable-program singer and the instrument, programs (as
    // the syllable) for the syllable-program singer only. True when taken.
    [[nodiscard]] bool routeVoiceEvent(MusicEvent& event);
    // The same at an explicit sample time (the offline clock).
    [[nodiscard]] bool routeVoiceEventAt(std::int64_t sampleTime, MusicEvent& event);
    // Where routeVoiceEvent takes its events' time: by default the output's
    // position plus the lead; an offline render gives its sample clock. Set
    // it while no player sends; empty restores the default.
    void setEventClock(std::function<std::int64_t()> clock);
    // Events queued and not yet delivered.
    [[nodiscard]] int queuedEvents() const;

    [[nodiscard]] bool startOutput();
    void stopOutput();
    [[nodiscard]] bool isRunning() const;
    void onBufferDone(int buffer);

    void setGain(double gain);
    double gain() const;
    double peak() const;   // linear, of the last step
    double peakDb() const; // -1.7e308 when silent
    [[nodiscard]] bool clipped() const;
    // Called after every render step with the peak in decibels (on the
    // rendering thread). Set it while output is stopped.
    void setLevelListener(std::function<void(double peakDb)> listener);

    // One step of the render thread: renders up to one block into the ring
    // ahead of the output position. Returns the samples rendered.
    [[nodiscard]] int renderStep();
    // Offline: delivers the events due in [sampleTime, sampleTime + frames)
    // and renders that span into `out` (mono float, gain applied, clipped).
    // Renders silence when nothing is loaded. Returns frames (0 on bad
    // arguments).
    [[nodiscard]] int renderBlock(float* out, int frames, std::int64_t sampleTime);

    // Stops output, suspends and unloads every slot. Bounded: a plug-in that
    // hangs in its processing is left loaded rather than freed under it.
    void shutdown();

    [[nodiscard]] WaveOutDevice& device();
    [[nodiscard]] std::int64_t renderedUpTo() const;
    [[nodiscard]] int leadSamples() const;
    [[nodiscard]] int blockLimit() const;

    // The host's answer to a plug-in's request.
    [[nodiscard]] static std::intptr_t hostCallback(vst::AEffect* effect, std::int32_t opcode,
                                                    std::int32_t index, std::intptr_t value, void* ptr,
                                                    float opt);

    struct Impl;

  private:
    [[nodiscard]] bool routeVoice(MusicEvent& event, std::optional<std::int64_t> at);

    std::shared_ptr<Impl> impl_;
};

} // namespace harmolin
