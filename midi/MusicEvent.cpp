#include "midi/MusicEvent.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"

#include <algorithm>
#include <cstring>

namespace harmolin {

bool MusicEvent::setPitchBend(int bend) {
    const int clamped = std::clamp(bend, 0, 16383);
    note = clamped & 0x7F;
    value = clamped >> 7;
    return clamped == bend;
}

std::string MusicEvent::text() const {
    const auto* begin = reinterpret_cast<const char*>(data.data());
    const auto* nul = static_cast<const char*>(std::memchr(begin, 0, data.size()));
    return std::string(begin, nul ? static_cast<std::size_t>(nul - begin) : data.size());
}

int MusicEvent::timeSignatureCode(int numerator, int denominatorPower) {
    if (numerator <= 0 || denominatorPower <= 0 || denominatorPower > 7) return kTimeSig44;
    return numerator * 256 + (1 << denominatorPower);
}

MusicEvent makeChannelEvent(int kind, int channel, int a, int b, int delta) {
    MusicEvent e;
    e.kind = kind;
    e.channel = channel;
    e.delta = delta;
    switch (kind) {
    case kNoteOn:
    case kNoteOff:
        e.note = a;
        e.velocity = b;
        break;
    case kPolyPressure:
        e.note = a;
        e.value = b;
        e.data = {static_cast<std::uint8_t>(0xA0 | (channel & 0x0F)), static_cast<std::uint8_t>(a & 0x7F),
                  static_cast<std::uint8_t>(b & 0x7F)};
        break;
    case kControlChange:
        e.type = a;
        e.value = b;
        break;
    case kPitchBend:
        e.note = a;
        e.value = b;
        break;
    default: // program change, channel pressure
        e.value = a;
        break;
    }
    return e;
}

MusicEvent makeConnectedNote(int channel, int delta, int note, int velocity, int length) {
    MusicEvent e;
    e.kind = kConnectedNote;
    e.channel = channel;
    e.delta = delta;
    e.note = note;
    e.velocity = velocity;
    e.length = length;
    return e;
}

MusicEvent makeMeta(int delta, int type, const std::uint8_t* bytes, int length) {
    MusicEvent e;
    e.kind = kMeta;
    e.delta = delta;
    e.type = type;
    if (bytes && length > 0) e.data.assign(bytes, bytes + length);
    if (type == kMetaTempo && length >= 3) e.value = (bytes[0] << 16) | (bytes[1] << 8) | bytes[2];
    if (type == kMetaTimeSignature && length >= 2)
        e.value = MusicEvent::timeSignatureCode(bytes[0], bytes[1]);
    return e;
}

MusicEvent makeTextMeta(int delta, int type, std::string_view text) {
    MusicEvent e = makeMeta(delta, type, reinterpret_cast<const std::uint8_t*>(text.data()),
                            static_cast<int>(text.size()));
    if (e.data.empty()) e.data.push_back(0); // an empty text is one NUL byte
    return e;
}

MusicEvent makeEndOfTrack(int delta) {
    MusicEvent e;
    e.kind = kMeta;
    e.type = kMetaEndOfTrack;
    e.delta = delta;
    return e;
}

MusicEvent makeTempo(int delta, int microsecondsPerQuarter) {
    MusicEvent e;
    e.kind = kMeta;
    e.type = kMetaTempo;
    e.delta = delta;
    e.value = microsecondsPerQuarter;
    return e;
}

MusicEvent makeSysEx(int delta, std::vector<std::uint8_t> wholeMessage) {
    MusicEvent e;
    e.kind = kSysEx;
    e.delta = delta;
    e.data = std::move(wholeMessage);
    classifySysEx(e);
    return e;
}

namespace {

bool matches(const std::vector<std::uint8_t>& d, std::size_t at, std::initializer_list<int> bytes) {
    if (at + bytes.size() > d.size()) return false;
    for (int b : bytes)
        if (d[at++] != b) return false;
    return true;
}

bool byteAt(const std::vector<std::uint8_t>& d, std::size_t at, int b) {
    return at < d.size() && d[at] == b;
}

int valueAt(const std::vector<std::uint8_t>& d, std::size_t at) {
    return at < d.size() ? d[at] : 0;
}

// Part block x of a GS address 40 1x / 40 4x: block 0 is the drum part.
int channelOfGsBlock(int block) {
    if (block == 0) return 9;
    if (block <= 9) return block - 1;
    return block;
}

} // namespace

void classifySysEx(MusicEvent& e) {
    const auto& d = e.data;
    e.type = kSysExOther;
    e.value = 0;
    if (matches(d, 2, {0x7F, 0x7F, 0x04, 0x01}) && byteAt(d, 8, 0xF7)) {
        e.type = kSysExMasterVolume;
        e.value = valueAt(d, 7);
        return;
    }
    if (matches(d, 2, {0x7F, 0x7F, 0x04, 0x02}) && byteAt(d, 8, 0xF7)) {
        e.type = kSysExMasterBalance;
        e.value = valueAt(d, 7);
        return;
    }
    if (matches(d, 2, {0x7E, 0x7F, 0x09, 0x01}) && byteAt(d, 6, 0xF7)) {
        e.type = kSysExGmSystemOn;
        return;
    }
    if (matches(d, 2, {0x43, 0x79, 0x06, 0x7F}) && byteAt(d, 8, 0xF7)) {
        e.type = kSysExTerminalTone;
        return;
    }
    if (!matches(d, 2, {0x41, 0x10, 0x42, 0x12})) return;
    if (matches(d, 6, {0x00, 0x00, 0x7F})) {
        e.type = kSysExGsModeSet;
        return;
    }
    if (!byteAt(d, 6, 0x40) || d.size() < 9) return;
    const int hi = d[7];
    const int lo = d[8];
    if (hi == 0x00 && lo == 0x04) {
        e.type = kSysExMasterVolume;
        e.value = valueAt(d, 9);
    } else if ((hi & 0xF0) == 0x10 && lo == 0x15) {
        e.type = kSysExGsRhythmPart;
        e.value = valueAt(d, 9);
        e.channel = channelOfGsBlock(hi & 0x0F);
    } else if ((hi & 0xF0) == 0x40 && lo == 0x20) {
        e.type = kSysExGsRhythmPart2;
        e.value = valueAt(d, 9);
        e.channel = channelOfGsBlock(hi & 0x0F);
    } else if (hi == 0x01) {
        if (lo >= 0x30 && lo <= 0x35)
            e.type = 20 + (lo - 0x30);
        else if (lo >= 0x37 && lo <= 0x40)
            e.type = 32 + (lo - 0x37);
        else if (lo >= 0x50 && lo <= 0x59)
            e.type = 48 + (lo - 0x50);
        else if (lo == 0x5A)
            e.type = 64;
        if (e.type != kSysExOther) e.value = valueAt(d, 9);
    } else if (hi == 0x02 && lo <= 3) {
        e.type = 65 + lo;
        e.value = valueAt(d, 9);
    }
}

bool updateGsChecksum(std::vector<std::uint8_t>* message) {
    if (!message || message->empty()) {
        reportError(ErrorClass::Mdsx, errc::kSysExMissing);
        return false;
    }
    auto& d = *message;
    // F0 len 41 dev 42 12 addr... data... sum F7: the sum covers from the
    // address to the byte before the checksum.
    if (d.size() < 10 || d.back() != 0xF7) return false;
    int sum = 0;
    for (std::size_t i = 6; i + 2 < d.size(); ++i)
        sum += d[i];
    d[d.size() - 2] = static_cast<std::uint8_t>((128 - sum % 128) % 128);
    return true;
}

void writeVarLen(std::vector<std::uint8_t>& out, std::uint32_t value) {
    std::uint8_t tmp[5];
    int n = 0;
    tmp[n++] = value & 0x7F;
    while ((value >>= 7) != 0)
        tmp[n++] = static_cast<std::uint8_t>(0x80 | (value & 0x7F));
    while (n > 0)
        out.push_back(tmp[--n]);
}

bool readVarLen(const std::uint8_t* bytes, int end, int& pos, std::uint32_t& value) {
    value = 0;
    // Longer than four bytes cannot be a valid quantity; stop there rather
    // than overflow.
    for (int i = 0; i < 4; ++i) {
        if (pos >= end) return false;
        const std::uint8_t b = bytes[pos++];
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80)) return true;
    }
    return false;
}

} // namespace harmolin
