// Life cycle of a track: parsing a chunk, connecting and splitting notes,
// serializing, and the basic list editing that keeps deltas consistent.
#include "midi/MidiTrackData.h"

#include "base/ErrorCodes.h"
#include "midi/MidiTrackEdit.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <thread>

namespace harmolin {
namespace {

void pauseEvery(int counter, int every, int ms) {
    if (ms > 0 && counter > 0 && counter % every == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint32_t readBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// Ordering inside one tick when a track is written: system exclusive, other
// non-note events, note-offs, note-ons, end of track.
int tickRank(const MusicEvent& e) {
    if (e.kind == kSysEx || e.kind == kSysExEscape) return 0;
    if (e.isEndOfTrack()) return 4;
    if (e.isNoteOff()) return 2;
    if (e.kind == kNoteOn || e.kind == kConnectedNote) return 3;
    return 1;
}

} // namespace

MidiTrackData::MidiTrackData(int capacity, TrackState state) : state_(state), chunk_(capacity) {}

MidiTrackData MidiTrackData::copyOf(const MidiTrackData& source, int capacity) {
    MidiTrackData copy(capacity, TrackState::Connected);
    if (source.state_ != TrackState::Connected) {
        source.report(errc::kTrackInternal);
        return copy;
    }
    copy.events_ = source.events_;
    return copy;
}

bool MidiTrackData::requireState(TrackState s) const {
    if (state_ == s) return true;
    report(errc::kTrackInternal);
    return false;
}

// --- parsing -------------------------------------------------------------------

bool MidiTrackData::parse(int available, int offset, const std::uint8_t* source, int pauseMs) {
    events_.clear();
    chunk_.clearBytes();
    state_ = TrackState::Empty;
    if (!source || offset < 0 || available - offset < 8 ||
        (std::memcmp(source + offset, "MTrk", 4) != 0 && std::memcmp(source + offset, "XFKM", 4) != 0)) {
        report(errc::kTrackNotMidi);
        return false;
    }
    const std::uint64_t length = readBigEndian32(source + offset + 4);
    if (std::uint64_t(offset) + 8 + length > std::uint64_t(available)) {
        report(errc::kTrackInternal);
        return false;
    }
    if (8 + length > std::uint64_t(chunk_.capacity())) { // a chunk larger than a track may hold
        report(errc::kTrackTooLarge);
        return false;
    }
    (void)chunk_.assign(source + offset,
                        static_cast<int>(8 + length)); // fits: the capacity was checked above
    state_ = TrackState::Serialized;
    warnOnce(0);
    int pos = 8;
    const bool ok = parseEvents(pos, pauseMs);
    chunk_.setPosition(pos);
    state_ = TrackState::NoteOnOff;
    return ok;
}

bool MidiTrackData::parseEvents(int& pos, int pauseMs) {
    const std::uint8_t* b = chunk_.bytes();
    const int end = chunk_.used();
    int running = 0; // running status starts afresh in every chunk
    int counter = 0;
    long long total = 0;
    while (pos < end) {
        pauseEvery(++counter, 300, pauseMs);
        std::uint32_t delta = 0;
        if (!readVarLen(b, end, pos, delta)) {
            report(errc::kTrackInternal);
            return false;
        }
        if (pos >= end) {
            report(errc::kTrackInternal);
            return false;
        }
        int status = b[pos];
        if (status >= 0x80) {
            ++pos;
            if (status != 0xFF) running = status;
        } else if (running >= 0x80 && running < 0xF0) {
            status = running; // data byte: running status
        } else {
            report(errc::kTrackUndefinedEvent);
            return false;
        }
        MusicEvent e;
        e.delta = static_cast<int>(delta);
        const int hi = status & 0xF0;
        if (hi >= 0x80 && hi <= 0xE0) {
            const int need = (hi == 0xC0 || hi == 0xD0) ? 1 : 2;
            if (pos + need > end) {
                report(errc::kTrackInternal);
                return false;
            }
            const int d1 = b[pos] & 0x7F;
            const int d2 = need == 2 ? (b[pos + 1] & 0x7F) : 0;
            pos += need;
            e = makeChannelEvent(hi, status & 0x0F, d1, d2, e.delta);
            if (hi == kNoteOn && d2 == 0) e.kind = kNoteOff;
            if (hi == kProgramChange && b[pos - 1] >= 128) {
                report(errc::kTrackBadProgramChange);
                e.value = 0;
            }
            if ((hi == kNoteOn || hi == kNoteOff) && b[pos - need] >= 128) {
                warnOnce(errc::kTrackNoteNumberZeroed);
                e.note = 0;
                e.velocity = 0;
            }
        } else if (status == 0xF0 || status == 0xF7) {
            const int start = pos;
            std::uint32_t len = 0;
            if (!readVarLen(b, end, pos, len) || len > std::uint32_t(end - pos)) {
                report(errc::kTrackInternal);
                return false;
            }
            e.kind = status;
            e.data.reserve(1 + (pos - start) + len);
            e.data.push_back(static_cast<std::uint8_t>(status));
            e.data.insert(e.data.end(), b + start, b + pos + len);
            pos += static_cast<int>(len);
            if (status == 0xF0) classifySysEx(e);
            if (e.size() >= 256 && e.type != kSysExTerminalTone) warnOnce(errc::kTrackLargeEvent);
        } else if (status == 0xFF) {
            if (pos >= end) {
                report(errc::kTrackInternal);
                return false;
            }
            const int type = b[pos++];
            std::uint32_t len = 0;
            if (!readVarLen(b, end, pos, len) || len > std::uint32_t(end - pos)) {
                report(errc::kTrackInternal);
                return false;
            }
            const std::uint8_t* body = b + pos;
            pos += static_cast<int>(len);
            const int n = static_cast<int>(len);
            e.kind = kMeta;
            e.type = type;
            switch (type) {
            case kMetaText:
            case kMetaCopyright:
            case kMetaTrackName:
            case kMetaInstrumentName:
            case kMetaLyric:
            case kMetaMarker:
            case kMetaCuePoint:
            case kMetaSequencerSpecific:
            case kMetaDeviceName:
                if (type == kMetaDeviceName) e.type = kMetaInstrumentName;
                e.data.assign(body, body + n);
                if (e.data.empty()) e.data.push_back(0);
                if (e.size() >= 256 && type != kMetaSequencerSpecific) warnOnce(errc::kTrackLargeEvent);
                break;
            case kMetaSequenceNumber:
            case kMetaChannelPrefix:
            case kMetaSmpteOffset:
            case kMetaKeySignature:
                e.data.assign(body, body + n);
                break;
            case kMetaEndOfTrack:
                break;
            case kMetaTempo:
                e.value = n >= 3 ? (body[0] << 16) | (body[1] << 8) | body[2] : 0;
                if (e.value == 0) {
                    report(errc::kTrackBadTempo);
                    e.value = kDefaultTempo;
                }
                break;
            case kMetaTimeSignature: {
                e.data.assign(body, body + n);
                e.data.resize(4, 0);
                if (e.data[0] == 0 || e.data[1] == 0 || e.data[1] > 7) {
                    report(errc::kTrackTimeSignatureFailed);
                    e.value = kTimeSig44;
                } else {
                    e.value = MusicEvent::timeSignatureCode(e.data[0], e.data[1]);
                }
                break;
            }
            default:
                e.kind = kDeleted; // a meta type the program does not keep
                break;
            }
        } else {
            report(errc::kTrackUndefinedEvent);
            return false;
        }
        if (static_cast<int>(events_.size()) > kMaxEvents) {
            report(errc::kTrackTooLarge);
            return false;
        }
        total += e.delta;
        if (total > kMaxTicks) { // longer than any file can say; the times would overflow
            report(errc::kTrackBadMusic);
            return false;
        }
        events_.push_back(std::move(e));
    }
    compact();
    return true;
}

// --- connecting and splitting ------------------------------------------------------

bool MidiTrackData::connectNotes() {
    if (!requireState(TrackState::NoteOnOff)) return false;
    const std::vector<int> times = absoluteTimes(*this);
    const int total = times.empty() ? 0 : times.back();
    // Pending note-ons per channel and key, matched first in first out.
    std::vector<std::deque<int>> pending(16 * 128);
    for (int i = 0; i < count(); ++i) {
        MusicEvent& e = events_[i];
        if (e.kind != kNoteOn && e.kind != kNoteOff) continue;
        if (e.channel < 0 || e.channel > 15 || e.note < 0 || e.note > 127) continue;
        auto& queue = pending[e.channel * 128 + e.note];
        if (e.isNoteOn()) {
            e.kind = kConnectedNote;
            e.length = -1; // not yet closed
            queue.push_back(i);
        } else {
            if (!queue.empty()) {
                const int on = queue.front();
                queue.pop_front();
                events_[on].length = times[i] - times[on];
            }
            e.kind = kDeleted; // matched or stray, the note-off goes
        }
    }
    // A note that is never released sounds to the end of the track.
    for (int i = 0; i < count(); ++i)
        if (events_[i].kind == kConnectedNote && events_[i].length < 0) events_[i].length = total - times[i];
    for (auto& e : events_)
        if (e.kind == kConnectedNote && e.length == 0) e.kind = kDeleted;
    compact();
    state_ = TrackState::Connected;
    return true;
}

bool MidiTrackData::splitNotes() {
    if (!requireState(TrackState::Connected)) return false;
    for (auto& e : events_)
        if (e.kind == kConnectedNote && (e.length == 0 || e.velocity == 0)) e.kind = kDeleted;
    compact();
    const std::vector<int> times = absoluteTimes(*this);
    struct Placed {
        int time;
        int order; // note-offs sort before the events already at their tick
        int source;
        MusicEvent event;
    };
    std::vector<Placed> out;
    out.reserve(events_.size() * 2);
    int endIndex = -1;
    for (int i = 0; i < count(); ++i) {
        MusicEvent& e = events_[i];
        if (e.isEndOfTrack() && endIndex < 0) {
            endIndex = i;
            continue;
        }
        if (e.kind == kConnectedNote) {
            e.kind = kNoteOn;
            const int end = times[i] + std::max(0, e.length);
            MusicEvent off = makeChannelEvent(kNoteOff, e.channel, e.note, 64);
            out.push_back({end, 0, i, std::move(off)});
            e.length = 0;
        }
        out.push_back({times[i], 1, i, std::move(e)});
    }
    std::stable_sort(out.begin(), out.end(), [](const Placed& a, const Placed& b) {
        if (a.time != b.time) return a.time < b.time;
        return a.order < b.order;
    });
    // The end of track closes the list, at its own time or after the last
    // note-off.
    int endTime = endIndex >= 0 ? times[endIndex] : -1;
    MusicEvent eot = endIndex >= 0 ? std::move(events_[endIndex]) : MusicEvent{};
    events_.clear();
    int previous = 0;
    for (auto& p : out) {
        p.event.delta = p.time - previous;
        previous = p.time;
        events_.push_back(std::move(p.event));
    }
    if (endIndex >= 0) {
        eot.delta = std::max(0, endTime - previous);
        events_.push_back(std::move(eot));
    }
    state_ = TrackState::NoteOnOff;
    return true;
}

void MidiTrackData::orderTickGroups() {
    std::size_t i = 0;
    while (i < events_.size()) {
        std::size_t j = i + 1;
        while (j < events_.size() && events_[j].delta == 0)
            ++j;
        if (j - i > 1) {
            const int firstDelta = events_[i].delta;
            events_[i].delta = 0;
            std::stable_sort(
                events_.begin() + static_cast<long>(i), events_.begin() + static_cast<long>(j),
                [](const MusicEvent& a, const MusicEvent& b) { return tickRank(a) < tickRank(b); });
            events_[i].delta = firstDelta;
        }
        i = j;
    }
}

// --- serializing -------------------------------------------------------------------

bool MidiTrackData::serialize(std::string_view chunkName, bool reorderTicks) {
    if (!requireState(TrackState::NoteOnOff)) return false;
    if (reorderTicks) orderTickGroups();
    if (events_.empty() || !events_.back().isEndOfTrack()) {
        report(errc::kTrackInternal);
        return false;
    }
    std::vector<std::uint8_t> out;
    out.reserve(events_.size() * 4 + 16);
    out.resize(8, 0);
    for (const MusicEvent& e : events_) {
        if (e.kind == kDeleted) continue;
        const bool channelMessage = e.kind >= 0x80 && e.kind <= 0xE0;
        if (channelMessage && (e.channel < 0 || e.channel > 15)) {
            report(errc::kTrackBadChannel);
            return false;
        }
        if (e.delta > kMaxTicks) { // a file cannot hold it
            report(errc::kTrackBadMusic);
            return false;
        }
        writeVarLen(out, static_cast<std::uint32_t>(std::max(0, e.delta)));
        const auto ch = static_cast<std::uint8_t>(e.channel & 0x0F);
        auto u7 = [](int v) { return static_cast<std::uint8_t>(v & 0x7F); };
        auto noteByte = [](int n) { return static_cast<std::uint8_t>(n >= 0 && n <= 127 ? n : 0); };
        switch (e.kind) {
        case kNoteOff:
            out.insert(out.end(), {static_cast<std::uint8_t>(0x80 | ch), noteByte(e.note), 64});
            break;
        case kNoteOn:
            out.insert(out.end(), {static_cast<std::uint8_t>(0x90 | ch), noteByte(e.note), u7(e.velocity)});
            break;
        case kPolyPressure:
            if (e.size() >= 3)
                out.insert(out.end(), e.data.begin(), e.data.begin() + 3);
            else
                out.insert(out.end(), {static_cast<std::uint8_t>(0xA0 | ch), noteByte(e.note), u7(e.value)});
            break;
        case kControlChange:
            out.insert(out.end(), {static_cast<std::uint8_t>(0xB0 | ch), u7(e.type), u7(e.value)});
            break;
        case kProgramChange:
            out.insert(out.end(), {static_cast<std::uint8_t>(0xC0 | ch), u7(e.value)});
            break;
        case kChannelPressure:
            out.insert(out.end(), {static_cast<std::uint8_t>(0xD0 | ch), u7(e.value)});
            break;
        case kPitchBend:
            out.insert(out.end(), {static_cast<std::uint8_t>(0xE0 | ch), u7(e.note), u7(e.value)});
            break;
        case kSysEx:
        case kSysExEscape:
            out.insert(out.end(), e.data.begin(), e.data.end());
            break;
        case kMeta:
            out.push_back(0xFF);
            out.push_back(static_cast<std::uint8_t>(e.type));
            if (e.type == kMetaEndOfTrack) {
                out.push_back(0);
            } else if (e.type == kMetaTempo) {
                const int t = e.value > 0 ? e.value : kDefaultTempo;
                out.insert(out.end(), {3, static_cast<std::uint8_t>(t >> 16),
                                       static_cast<std::uint8_t>(t >> 8), static_cast<std::uint8_t>(t)});
            } else if (e.type == kMetaTimeSignature) {
                out.push_back(4);
                for (int k = 0; k < 4; ++k)
                    out.push_back(k < e.size() ? e.data[k] : 0);
            } else {
                if (e.size() > 128 && e.type != kMetaSequencerSpecific) warnOnce(errc::kTrackLargeEvent);
                writeVarLen(out, static_cast<std::uint32_t>(e.size()));
                out.insert(out.end(), e.data.begin(), e.data.end());
            }
            break;
        default: // connected notes cannot be written; the caller splits first
            report(errc::kTrackInternal);
            return false;
        }
        if (static_cast<int>(out.size()) + 256 > chunk_.capacity()) {
            report(errc::kTrackCannotAdd);
            return false;
        }
    }
    for (int k = 0; k < 4; ++k)
        out[k] = static_cast<std::uint8_t>(k < int(chunkName.size()) ? chunkName[k] : ' ');
    const std::uint32_t length = static_cast<std::uint32_t>(out.size() - 8);
    out[4] = static_cast<std::uint8_t>(length >> 24);
    out[5] = static_cast<std::uint8_t>(length >> 16);
    out[6] = static_cast<std::uint8_t>(length >> 8);
    out[7] = static_cast<std::uint8_t>(length);
    chunk_.byteVector() = std::move(out);
    chunk_.setPosition(0);
    events_.clear();
    state_ = TrackState::Serialized;
    return true;
}

// --- editing -----------------------------------------------------------------------

bool MidiTrackData::append(MusicEvent event) {
    if (count() > kMaxEvents) {
        report(errc::kTrackTooLarge);
        return false;
    }
    events_.push_back(std::move(event));
    return true;
}

void MidiTrackData::insertAt(int index, bool before, MusicEvent event) {
    if (count() > kMaxEvents) {
        report(errc::kTrackTooLarge);
        return;
    }
    int at = before ? index : index + 1;
    at = std::clamp(at, 0, count());
    events_.insert(events_.begin() + at, std::move(event));
}

void MidiTrackData::insertAtTime(int tick, MusicEvent event, Placement placement) {
    if (count() > kMaxEvents) {
        report(errc::kTrackTooLarge);
        return;
    }
    if (events_.empty()) {
        event.delta = std::max(0, tick);
        events_.push_back(std::move(event));
        return;
    }
    if (tick == -1) {
        MusicEvent& last = events_.back();
        event.delta = last.delta;
        last.delta = 0;
        events_.insert(events_.end() - 1, std::move(event));
        return;
    }
    int time = 0;
    for (int i = 0; i + 1 < count(); ++i) {
        const int previous = time;
        time += events_[i].delta;
        if (time < tick) continue;
        event.delta = tick - previous;
        events_[i].delta = time - tick;
        events_.insert(events_.begin() + i, std::move(event));
        if (placement == Placement::After) {
            int k = i;
            while (k + 1 < count() && events_[k + 1].delta == 0 && !events_[k + 1].isEndOfTrack()) {
                // The follower takes the inserted event's delta, which stays
                // the first of the tick.
                std::swap(events_[k].delta, events_[k + 1].delta);
                std::swap(events_[k], events_[k + 1]);
                ++k;
            }
        }
        return;
    }
    // Beyond every event but the last.
    MusicEvent& last = events_.back();
    const int lastTime = time + last.delta;
    if (event.isEndOfTrack()) {
        if (last.isEndOfTrack()) {
            last.delta = std::max(0, tick - time);
        } else {
            event.delta = tick - lastTime;
            if (event.delta < 0) {
                report(errc::kTrackBadMusic);
                event.delta = 0;
            }
            events_.push_back(std::move(event));
        }
        return;
    }
    event.delta = tick - time;
    last.delta = std::max(0, lastTime - tick);
    events_.insert(events_.end() - 1, std::move(event));
}

void MidiTrackData::remove(int index) {
    if (index < 0 || index >= count()) {
        report(errc::kTrackBadParameter);
        return;
    }
    if (index + 1 < count()) events_[index + 1].delta += events_[index].delta;
    events_.erase(events_.begin() + index);
}

void MidiTrackData::compact() {
    long long carry = 0;
    std::size_t out = 0;
    for (std::size_t i = 0; i < events_.size(); ++i) {
        MusicEvent& e = events_[i];
        if (e.kind == kDeleted) {
            carry += e.delta;
            continue;
        }
        const long long delta = e.delta + carry;
        carry = 0;
        if (delta < 0 || delta > kMaxTicks) {
            report(errc::kTrackInternal);
            e.delta = delta < 0 ? 0 : kMaxTicks;
        } else {
            e.delta = static_cast<int>(delta);
        }
        if (out != i) events_[out] = std::move(e);
        ++out;
    }
    events_.resize(out);
}

} // namespace harmolin
