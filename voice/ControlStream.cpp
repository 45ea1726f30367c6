#include "voice/ControlStream.h"

#include "voice/Phonemes.h"

#include <algorithm>

namespace hvoice {
namespace {

constexpr int kNrpnMsb = 0x63, kNrpnLsb = 0x62, kDataMsb = 0x06, kDataLsb = 0x26;
constexpr int kAllSoundOff = 0x78, kAllNotesOff = 0x7B;
// Parameter groups (NRPN MSB) of the stream.
constexpr int kNoteGroup = 0x50, kVoiceGroup = 0x53;
// Parameters of a note message.
constexpr int kStart = 0x00, kNoteNumber = 0x02, kVelocity = 0x03, kDuration = 0x04, kSymbolCount = 0x12,
              kFirstSymbol = 0x13, kEndOfNote = 0x7F;
constexpr int kVoiceNumber = 0x02;
constexpr int kMaxSymbols = 0x4F - kFirstSymbol;

} // namespace

void ControlStream::reset() {
    const int program = program_;
    *this = ControlStream{};
    program_ = program;
}

void ControlStream::setProgram(int program) {
    program_ = std::clamp(program, 0, 127);
}

bool ControlStream::tryParse(const std::uint8_t* bytes, int length, VoiceCommand& out) {
    if (!bytes || length < 1) return false;
    const int status = bytes[0];
    if (status < 0x80 || status >= 0xF0) return false; // system messages carry nothing for the voice
    const int kind = status & 0xF0;
    const int needed = (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
    if (length < needed) return false;
    for (int i = 1; i < needed; ++i)
        if (bytes[i] >= 0x80) return false;
    const int d1 = bytes[1];
    const int d2 = needed == 3 ? bytes[2] : 0;

    switch (kind) {
    case 0xB0:
        return controlChange(d1, d2, out);
    case 0xC0:
        program_ = d1;
        return false;
    case 0x90:
        if (d2 > 0) {
            const std::string_view text = syllableSymbols(program_);
            out = VoiceCommand{};
            out.kind = VoiceCommand::Kind::Sing;
            out.note = static_cast<std::uint8_t>(d1);
            out.velocity = static_cast<std::uint8_t>(d2);
            out.durationMs = 0;
            out.symbolCount =
                static_cast<std::uint8_t>(std::min<std::size_t>(text.size(), out.symbols.size()));
            std::copy_n(text.data(), out.symbolCount, out.symbols.data());
            sungNote_ = d1;
            return true;
        }
        [[fallthrough]]; // velocity 0 is a note-off
    case 0x80:
        // Only the note being held ends: a late note-off of the previous note
        // must not cut a legato successor.
        if (d1 != sungNote_) return false;
        sungNote_ = -1;
        out = VoiceCommand{};
        out.kind = VoiceCommand::Kind::Release;
        out.note = static_cast<std::uint8_t>(d1);
        return true;
    default:
        return false;
    }
}

bool ControlStream::controlChange(int controller, int value, VoiceCommand& out) {
    switch (controller) {
    case kNrpnMsb:
        paramMsb_ = value;
        paramLsb_ = -1;
        return false;
    case kNrpnLsb:
        paramLsb_ = value;
        if (paramMsb_ == kNoteGroup && value == kStart) {
            // A new note message: forget any half-received one.
            inNote_ = true;
            note_ = -1;
            velocity_ = 100;
            durationMsb_ = durationLsb_ = 0;
            symbolCount_ = 0;
            symbols_.fill(' ');
        }
        return false;
    case kDataMsb:
        return dataEntry(true, value, out);
    case kDataLsb:
        return dataEntry(false, value, out);
    case kAllSoundOff:
    case kAllNotesOff:
        out = VoiceCommand{};
        out.kind = VoiceCommand::Kind::Silence;
        sungNote_ = -1;
        return true;
    default:
        return false; // bank select and the rest change nothing here
    }
}

bool ControlStream::dataEntry(bool msb, int value, VoiceCommand& out) {
    if (paramMsb_ == kVoiceGroup && paramLsb_ == kVoiceNumber && msb) {
        voice_ = value;
        out = VoiceCommand{};
        out.kind = VoiceCommand::Kind::SelectVoice;
        out.voice = static_cast<std::uint8_t>(value);
        return true;
    }
    if (paramMsb_ != kNoteGroup || !inNote_ || paramLsb_ < 0) return false;
    const int p = paramLsb_;
    if (p == kNoteNumber && msb) {
        note_ = value;
    } else if (p == kVelocity && msb) {
        velocity_ = value;
    } else if (p == kDuration) {
        (msb ? durationMsb_ : durationLsb_) = value;
    } else if (p == kSymbolCount && msb) {
        // Symbols arrive one per parameter; the count only bounds them.
        symbolCount_ = 0;
    } else if (p >= kFirstSymbol && p < kFirstSymbol + kMaxSymbols && msb) {
        const int index = p - kFirstSymbol;
        if (index < static_cast<int>(symbols_.size()) && value >= 0x20) {
            symbols_[static_cast<std::size_t>(index)] = static_cast<char>(value);
            symbolCount_ = std::max(symbolCount_, index + 1);
        }
    } else if (p == kEndOfNote && msb) {
        inNote_ = false;
        if (note_ < 0) return false; // a note message without its note sings nothing
        out = VoiceCommand{};
        out.kind = VoiceCommand::Kind::Sing;
        out.note = static_cast<std::uint8_t>(note_);
        out.velocity = static_cast<std::uint8_t>(std::max(1, velocity_));
        out.durationMs = durationMsb_ * 128 + durationLsb_;
        out.symbolCount = static_cast<std::uint8_t>(symbolCount_);
        std::copy_n(symbols_.data(), symbolCount_, out.symbols.data());
        return true;
    }
    return false;
}

} // namespace hvoice
