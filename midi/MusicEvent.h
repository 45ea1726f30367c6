// One timed MIDI event of a track.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace harmolin {

// Event kinds. Channel messages use their status nibble.
enum EventKind : int {
    kDeleted = 0,
    kConnectedNote = 0x10, // a note with its length, only in connected tracks
    kNoteOff = 0x80,
    kNoteOn = 0x90,
    kPolyPressure = 0xA0,
    kControlChange = 0xB0,
    kProgramChange = 0xC0,
    kChannelPressure = 0xD0,
    kPitchBend = 0xE0,
    kSysEx = 0xF0,
    kSysExEscape = 0xF7,
    kMeta = 0xFF,
};

// Meta types the program keeps.
enum MetaType : int {
    kMetaSequenceNumber = 0x00,
    kMetaText = 0x01,
    kMetaCopyright = 0x02,
    kMetaTrackName = 0x03,
    kMetaInstrumentName = 0x04,
    kMetaLyric = 0x05,
    kMetaMarker = 0x06,
    kMetaCuePoint = 0x07,
    kMetaDeviceName = 0x09,
    kMetaChannelPrefix = 0x20,
    kMetaEndOfTrack = 0x2F,
    kMetaTempo = 0x51,
    kMetaSmpteOffset = 0x54,
    kMetaTimeSignature = 0x58,
    kMetaKeySignature = 0x59,
    kMetaSequencerSpecific = 0x7F,
};

// Classes of recognised system-exclusive messages (the type field of a
// kSysEx event).
enum SysExClass : int {
    kSysExOther = 0,
    kSysExMasterVolume = 1,
    kSysExGmSystemOn = 9,
    kSysExGsRhythmPart = 18,
    kSysExGsModeSet = 19,
    kSysExMasterBalance = 40,
    kSysExGsRhythmPart2 = 69,
    kSysExTerminalTone = 127,
};

inline constexpr int kNoChannel = 255;
inline constexpr int kDefaultTempo = 500000;
inline constexpr int kTimeSig44 = 4 * 256 + 4; // numerator * 256 + 2^power

struct MusicEvent {
    int kind = kDeleted;
    int delta = 0;  // ticks since the previous event
    int note = 0;   // note number; low 7 bits of a pitch bend
    int length = 0; // ticks, connected notes only
    int velocity = 0;
    int type = 0;  // controller, meta type or system-exclusive class
    int value = 0; // controller/program/pressure value, bend high 7 bits, tempo, time-signature code
    std::vector<std::uint8_t> data; // raw bytes where the kind needs them (sysex, meta, poly pressure)
    int channel = kNoChannel;

    [[nodiscard]] int size() const { return static_cast<int>(data.size()); }

    [[nodiscard]] bool isNoteOn() const { return kind == kNoteOn && velocity > 0; }
    [[nodiscard]] bool isNoteOff() const { return kind == kNoteOff || (kind == kNoteOn && velocity == 0); }
    [[nodiscard]] bool isChannelEvent() const {
        return kind == kConnectedNote || (kind >= 0x80 && kind <= 0xE0);
    }
    [[nodiscard]] bool isMeta(int metaType) const { return kind == kMeta && type == metaType; }
    [[nodiscard]] bool isEndOfTrack() const { return isMeta(kMetaEndOfTrack); }
    [[nodiscard]] bool isControl(int controller) const {
        return kind == kControlChange && type == controller;
    }

    // 14-bit pitch bend value (note + 128 * value).
    [[nodiscard]] int pitchBend() const { return note + 128 * value; }
    // Clamps to 0..16383; returns whether the input was already in range.
    [[nodiscard]] bool setPitchBend(int bend);

    // Text of a text-like meta event, up to its first NUL.
    [[nodiscard]] std::string text() const;

    // Time-signature code of a meta 0x58 event's bytes.
    [[nodiscard]] static int timeSignatureCode(int numerator, int denominatorPower);
};

// Factories for common events (delta 0 unless given).
[[nodiscard]] MusicEvent makeChannelEvent(int kind, int channel, int a, int b, int delta = 0);
[[nodiscard]] MusicEvent makeConnectedNote(int channel, int delta, int note, int velocity, int length);
[[nodiscard]] MusicEvent makeMeta(int delta, int type, const std::uint8_t* bytes, int length);
[[nodiscard]] MusicEvent makeTextMeta(int delta, int type, std::string_view text);
[[nodiscard]] MusicEvent makeEndOfTrack(int delta = 0);
[[nodiscard]] MusicEvent makeTempo(int delta, int microsecondsPerQuarter);
[[nodiscard]] MusicEvent makeSysEx(int delta,
                                   std::vector<std::uint8_t> wholeMessage); // F0 ... F7, classified

// Sets type, value and (for GS part messages) the channel from the bytes.
void classifySysEx(MusicEvent& event);

// The Roland checksum over a message's address and data bytes
// (F0 41 dev 42 12 | addr... data... | sum F7); rewrites the sum byte.
// Reports MDSX errc::kSysExMissing when given no message.
[[nodiscard]] bool updateGsChecksum(std::vector<std::uint8_t>* message);

// Variable-length quantities.
void writeVarLen(std::vector<std::uint8_t>& out, std::uint32_t value);
// Reads at pos; false when the bytes end first (pos is then left at end).
[[nodiscard]] bool readVarLen(const std::uint8_t* bytes, int end, int& pos, std::uint32_t& value);

} // namespace harmolin
