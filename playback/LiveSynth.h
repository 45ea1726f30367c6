// Device -1 of the MIDI output: FluidSynth with the GM SoundFont as a source
// of the live audio output. Each message is stamped with the output clock
// plus a lead when it is sent, handed to the audio thread through a queue,
// and applied there at that frame, the synthesizer's rendering split around it.
#pragma once

#include "playback/MidiOutput.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

namespace harmolin {

class LiveSynthPort : public MidiOutPort {
  public:
    // Longest message longMessage takes (F0 ... F7).
    static constexpr int kMaxLongMessage = 256;

    // Sees each message as the audio thread applies it: the frame of the
    // output clock and the bytes (a reset shows as no bytes).
    using EventListener = std::function<void(std::int64_t frame, const std::uint8_t* bytes, int length)>;

    explicit LiveSynthPort(int leadFrames);
    ~LiveSynthPort() override;
    LiveSynthPort(const LiveSynthPort&) = delete;
    LiveSynthPort& operator=(const LiveSynthPort&) = delete;

    // Acquires the live audio output, loads the SoundFont and starts sounding.
    [[nodiscard]] bool open(const std::string& soundFont, std::string& error);

    [[nodiscard]] std::string name() const override;
    void shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    [[nodiscard]] bool longMessage(const std::uint8_t* bytes, int length) override;
    [[nodiscard]] bool reset() override;

    // Called on the audio thread; for tests and monitoring.
    void setEventListener(EventListener listener);
    [[nodiscard]] int leadFrames() const { return lead_; }

  private:
    enum class Kind : std::uint8_t { Short, Long, Reset };
    struct Event {
        std::int64_t at = 0;
        Kind kind = Kind::Short;
        std::uint16_t length = 0;
        std::array<std::uint8_t, kMaxLongMessage> bytes{};
    };

    void push(Kind kind, const std::uint8_t* bytes, int length);
    // Audio thread.
    void play(float* left, float* right, int frames, std::int64_t start);
    void render(float* left, float* right, int from, int to);
    void apply(const Event& event);

    int lead_;
    std::string soundFont_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    bool acquired_ = false;
    int sourceId_ = 0;

    // The hand-over: a ring of events in sending order, grown by the sender
    // when full so nothing is ever dropped.
    std::mutex mutex_;
    std::vector<Event> ring_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    EventListener listener_;

    std::vector<float> scratchLeft_, scratchRight_; // audio thread only
};

} // namespace harmolin
