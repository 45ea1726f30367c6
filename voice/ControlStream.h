// Turns the MIDI messages the host delivers into what the voice sings. Two
// streams are understood at once, since the plug-in cannot tell which one its
// host speaks: the VOCALOID2 NRPN note messages (note, duration, phoneme
// symbols, singer selection), and plain notes preceded by a program change
// that names the syllable.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace hvoice {

struct VoiceCommand {
    enum class Kind : std::uint8_t { Sing, Release, Silence, SelectVoice };
    Kind kind = Kind::Sing;
    std::uint8_t note = 60;
    std::uint8_t velocity = 100;
    std::uint8_t voice = 0;      // singer number (SelectVoice)
    std::int32_t durationMs = 0; // 0: until released
    std::uint8_t symbolCount = 0;
    std::array<char, 64> symbols{};

    [[nodiscard]] std::string_view symbolText() const { return {symbols.data(), symbolCount}; }
};

class ControlStream {
  public:
    // Reads one MIDI message (status and up to two data bytes). True when it
    // completes a command, which is then in out. Malformed messages (no status
    // byte, a data byte with the top bit set, a short message) are ignored.
    [[nodiscard]] bool tryParse(const std::uint8_t* bytes, int length, VoiceCommand& out);

    // The host's program selection: the syllable of the notes that follow.
    void setProgram(int program);
    [[nodiscard]] int program() const { return program_; }

    void reset();

  private:
    [[nodiscard]] bool controlChange(int controller, int value, VoiceCommand& out);
    [[nodiscard]] bool dataEntry(bool msb, int value, VoiceCommand& out);

    int program_ = 0;
    // NRPN state: the selected parameter and, for the note message being
    // received, what has arrived so far.
    int paramMsb_ = -1;
    int paramLsb_ = -1;
    bool inNote_ = false;
    int note_ = -1;
    int velocity_ = 100;
    int durationMsb_ = 0;
    int durationLsb_ = 0;
    int symbolCount_ = 0;
    std::array<char, 64> symbols_{};
    int voice_ = 0;
    int sungNote_ = -1; // note of the syllable-program protocol now held
};

} // namespace hvoice
