// A minimal VST 2 host for testing the singing plug-in: loads the library,
// delivers timed MIDI messages in 882-sample blocks and collects the output.
// Its own record declarations, written from the published layout, so that the
// test does not lean on the plug-in's header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voicetest {

struct TimedMidi {
    long long frame; // sample at which the message takes effect
    std::uint8_t bytes[3];
};

struct EffectRecord {
    std::int32_t magic;
    std::intptr_t (*dispatcher)(EffectRecord*, std::int32_t, std::int32_t, std::intptr_t, void*, float);
    void* process;
    void* setParameter;
    void* getParameter;
    std::int32_t numPrograms, numParams, numInputs, numOutputs, flags;
    std::intptr_t reserved1, reserved2;
    std::int32_t initialDelay;
    std::int32_t unused[2];
    float ioRatio;
    void* object;
    void* user;
    std::int32_t uniqueId, version;
    void (*processReplacing)(EffectRecord*, float**, float**, std::int32_t);
    void* processDoubleReplacing;
};

class PluginHost {
  public:
    explicit PluginHost(const std::string& path, const char* entry = "VSTPluginMain");
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    bool loaded() const { return effect_ != nullptr; }
    EffectRecord* effect() { return effect_; }
    std::intptr_t dispatch(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                           void* ptr = nullptr, float opt = 0);
    // Opens as the program's host does: open, 44100 Hz, 882 samples, resume, program 0.
    void start();
    // Renders frames samples, delivering the messages (sorted by frame).
    std::vector<float> render(const std::vector<TimedMidi>& messages, long long frames, int block = 882);

  private:
    void* library_ = nullptr;
    EffectRecord* effect_ = nullptr;
};

// 16-bit mono WAV at 44100 Hz.
bool writeWav(const std::string& path, const std::vector<float>& samples, int rate = 44100);

// Pitch track (time, Hz) by aubio's yinfft; empty when aubiopitch fails.
std::vector<std::pair<double, double>> aubioPitch(const std::string& wav);
// Median F1 and F2 by praat over start..end seconds; {0, 0} on failure.
std::pair<double, double> praatFormants(const std::string& wav, double start, double end);

} // namespace voicetest
