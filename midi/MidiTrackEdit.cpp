// Factories, queries and transformations of a track: what the engine, the
// song pipeline and the writers do to a track once it is in memory.
#include "midi/MidiTrackData.h"

#include "base/ErrorCodes.h"

#include <algorithm>
#include <cstdint>
#include <map>

namespace harmolin {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint8_t byte(int v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}

// A system-exclusive message F0 <length> body..., the length written as a
// variable-length quantity so that long display texts stay well formed.
Bytes sysExWithBody(const Bytes& body) {
    Bytes m{0xF0};
    writeVarLen(m, static_cast<std::uint32_t>(body.size()));
    m.insert(m.end(), body.begin(), body.end());
    return m;
}

// Display texts show 32 bytes; longer ones are kept but reported.
constexpr std::size_t kDisplayTextBytes = 32;

// GS part number of a channel: the drum channel 9 is block 0, channels 0 to 8
// are blocks 1 to 9, channels 10 to 15 keep their number.
int gsBlockOfChannel(int channel) {
    if (channel == 9) return 0;
    if (channel < 9) return channel + 1;
    return channel;
}

bool isPortBName(const MusicEvent& e) {
    if (!e.isMeta(kMetaInstrumentName)) return false;
    const std::string t = e.text();
    for (const char* tag : {"SC88B", "88B", "SC-88 B", "SC-88B"})
        if (t.find(tag) != std::string::npos) return true;
    return false;
}

bool containsBytes(const Bytes& data, std::string_view pattern) {
    if (pattern.empty()) return true;
    if (pattern.size() > data.size()) return false;
    return std::search(data.begin(), data.end(), pattern.begin(), pattern.end(), [](std::uint8_t a, char b) {
               return a == static_cast<std::uint8_t>(b);
           }) != data.end();
}

int clampMidi(int v) {
    return std::clamp(v, 0, 127);
}

} // namespace

// --- factories ---------------------------------------------------------------------
// A full track reports itself when an event is refused; a factory has nothing
// to add, so it drops what append returns.

void MidiTrackData::addNote(int channel, int delta, int note, int velocity, int length) {
    if (count() > 0x20000) return;
    (void)append(makeConnectedNote(channel, delta, note, velocity, length));
}

void MidiTrackData::addControlChange(int channel, int controller, int value, int delta) {
    (void)append(makeChannelEvent(kControlChange, channel, controller, value, delta));
}

void MidiTrackData::addProgramChange(int channel, int program, int delta) {
    (void)append(makeChannelEvent(kProgramChange, channel, program, 0, delta));
}

void MidiTrackData::addBankProgram(int channel, int bankMsb, int bankLsb, int program) {
    addControlChange(channel, 0, bankMsb);
    addControlChange(channel, 32, bankLsb);
    addProgramChange(channel, program);
}

void MidiTrackData::addBankProgram(int channel, int bankMsb, int program) {
    addControlChange(channel, 0, bankMsb);
    addProgramChange(channel, program);
}

void MidiTrackData::addTempo(int microsecondsPerQuarter, int delta) {
    // Zero (or anything that cannot be a tempo, or cannot be written in the
    // three bytes a tempo event has) would stop playback: use the default.
    if (microsecondsPerQuarter <= 0 || microsecondsPerQuarter > 0xFFFFFF) {
        report(errc::kTrackBadTempoData);
        microsecondsPerQuarter = kDefaultTempo;
    }
    (void)append(makeTempo(delta, microsecondsPerQuarter));
}

void MidiTrackData::addTimeSignature(int numerator, int denominatorPower, int delta) {
    // 18 MIDI clocks per metronome click, as the composer always wrote.
    const std::uint8_t bytes[4] = {byte(numerator), byte(denominatorPower), 18, 8};
    (void)append(makeMeta(delta, kMetaTimeSignature, bytes, 4));
}

void MidiTrackData::addKeySignature(int tonic, bool minor, int delta) {
    // Sharps (positive) or flats (negative) of the key on each pitch class.
    static constexpr int kAccidentals[12] = {0, 7, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
    const int pitchClass = ((tonic % 12) + 12) % 12;
    const std::uint8_t bytes[2] = {byte(kAccidentals[pitchClass]), static_cast<std::uint8_t>(minor ? 1 : 0)};
    (void)append(makeMeta(delta, kMetaKeySignature, bytes, 2));
}

void MidiTrackData::addMeta(int delta, int type, const std::uint8_t* bytes, int length) {
    if (length >= 128) report(errc::kTrackTextTooLong);
    (void)append(makeMeta(delta, type, bytes, length));
}

void MidiTrackData::addMarker(int delta, std::string_view text) {
    (void)append(makeTextMeta(delta, kMetaMarker, text));
}

void MidiTrackData::addTextAtStart(int type, std::string_view text) {
    insertAtTime(0, makeTextMeta(0, type, text), Placement::After);
}

void MidiTrackData::addGmSystemOn(int delta) {
    (void)append(makeSysEx(delta, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
}

void MidiTrackData::addGsReset(int delta) {
    (void)append(makeSysEx(delta, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
}

void MidiTrackData::addXgSystemOn(int delta) {
    (void)append(makeSysEx(delta, {0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}));
}

void MidiTrackData::insertMasterVolume(int value, int index) {
    // A data byte of 128 or more would break the message: refuse it.
    if (value < 0 || value >= 128) {
        report(errc::kTrackInternal);
        return;
    }
    MusicEvent e = makeSysEx(0, {0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, byte(value), 0xF7});
    if (index >= count())
        (void)append(std::move(e));
    else
        insertAt(std::max(0, index), true, std::move(e));
}

void MidiTrackData::addXgDisplayText(int delta, std::string_view text) {
    if (text.size() > kDisplayTextBytes) report(errc::kTrackTextTooLong);
    Bytes body{0x43, 0x10, 0x4C, 0x06, 0x00, 0x00};
    body.insert(body.end(), text.begin(), text.end());
    body.push_back(0xF7);
    (void)append(makeSysEx(delta, sysExWithBody(body)));
}

void MidiTrackData::addGsDisplayText(int delta, std::string_view text) {
    if (text.size() > kDisplayTextBytes) report(errc::kTrackTextTooLong);
    Bytes body{0x41, 0x10, 0x45, 0x12, 0x10, 0x00, 0x00};
    int sum = 0x10;
    for (char c : text) {
        body.push_back(static_cast<std::uint8_t>(c));
        sum += static_cast<std::uint8_t>(c);
    }
    body.push_back(byte((128 - sum % 128) % 128));
    body.push_back(0xF7);
    (void)append(makeSysEx(delta, sysExWithBody(body)));
}

// --- queries -------------------------------------------------------------------------

int MidiTrackData::tempoAt(int tick) const {
    int tempo = 600000;
    long long time = 0;
    for (const MusicEvent& e : events_) {
        time += e.delta;
        if (time > tick) break;
        if (e.isMeta(kMetaTempo)) tempo = e.value;
    }
    return tempo;
}

int MidiTrackData::firstTempo() const {
    for (const MusicEvent& e : events_)
        if (e.isMeta(kMetaTempo)) return e.value;
    return 600000;
}

int MidiTrackData::firstTimeSignature() const {
    for (const MusicEvent& e : events_)
        if (e.isMeta(kMetaTimeSignature)) return e.value;
    return 0;
}

std::optional<std::string> MidiTrackData::firstMetaText(int type) const {
    for (const MusicEvent& e : events_)
        if (e.isMeta(type)) return e.text();
    return std::nullopt;
}

int MidiTrackData::programOf(int channel) const {
    int program = -1;
    int xgProgram = -1;
    for (const MusicEvent& e : events_) {
        if (e.kind == kProgramChange && e.channel == channel) program = e.value;
        // XG multi-part program number: F0 len 43 10 4C 08 part 03 program F7.
        const Bytes& d = e.data;
        if (e.kind == kSysEx && d.size() >= 10 && d[2] == 0x43 && d[3] == 0x10 && d[4] == 0x4C &&
            d[5] == 0x08 && d[6] == channel && d[7] == 0x03)
            xgProgram = d[8];
    }
    return program >= 0 ? program : xgProgram;
}

bool MidiTrackData::programAbove15(int channel) const {
    return programOf(channel) > 15;
}

int MidiTrackData::masterVolume() const {
    int volume = -1;
    for (const MusicEvent& e : events_) {
        if (e.kind != kSysEx || e.type != kSysExMasterVolume) continue;
        if (volume >= 0) {
            warnOnce(errc::kTrackSeveralMasterVolumes);
            break;
        }
        volume = e.value;
    }
    return volume;
}

bool MidiTrackData::isDrumChannel(int channel) const {
    if (channel == 9) return true;
    // The last GS rhythm-part assignment for the part decides; a value of 0
    // turns the part back into a normal one.
    bool drum = false;
    for (const MusicEvent& e : events_)
        if (e.kind == kSysEx && e.type == kSysExGsRhythmPart && e.channel == channel) drum = e.value != 0;
    return drum;
}

int MidiTrackData::firstChannel() const {
    for (const MusicEvent& e : events_)
        if (e.isChannelEvent()) return e.channel;
    return -1;
}

int MidiTrackData::noteCount() const {
    int n = 0;
    for (const MusicEvent& e : events_) {
        if (state_ == TrackState::NoteOnOff ? e.isNoteOn() : e.kind == kConnectedNote) ++n;
    }
    return n;
}

int MidiTrackData::firstNoteIndex() const {
    for (int i = 0; i < count(); ++i)
        if (events_[i].kind == kConnectedNote) return i;
    return -1;
}

int MidiTrackData::ticksToNextNote(int index) const {
    if (index < 0 || index >= count()) return -1;
    long long ticks = 0;
    for (int i = index + 1; i < count(); ++i) {
        const MusicEvent& e = events_[i];
        ticks += e.delta;
        if (e.kind == kConnectedNote || e.isNoteOn())
            return static_cast<int>(std::min<long long>(ticks, 0x7FFFFFFF));
    }
    return -1;
}

int MidiTrackData::totalLength() const {
    // A connected track is measured as if split: a note sounding past the
    // last event stretches the track to the note's end.
    long long time = 0;
    long long end = 0;
    for (const MusicEvent& e : events_) {
        time += e.delta;
        end = std::max(end, time);
        if (state_ == TrackState::Connected && e.kind == kConnectedNote && e.velocity != 0 && e.length > 0)
            end = std::max(end, time + e.length);
    }
    return static_cast<int>(std::min<long long>(end, 0x7FFFFFFF));
}

// --- transformations ------------------------------------------------------------------

bool MidiTrackData::rescale(int oldDivision, int newDivision, bool dropShortNotes) {
    if (!requireState(TrackState::Connected)) return false;
    if (oldDivision == newDivision) return false;
    if (oldDivision <= 0 || newDivision <= 0) {
        report(errc::kTrackBadParameter);
        return false;
    }
    const long long from = oldDivision;
    const long long to = newDivision;
    long long total = 0;
    for (const MusicEvent& e : events_)
        total += e.delta;
    if (to * total / from > kMaxTicks) { // the rescaled song could not be written
        report(errc::kTrackBadMusic);
        return false;
    }
    long long carry = 0; // remainder in old ticks, so rounding never drifts
    bool shortened = false;
    for (MusicEvent& e : events_) {
        const long long d = e.delta;
        const long long scaled = to * (carry + d) / from;
        carry = carry + d - from * scaled / to;
        e.delta = static_cast<int>(scaled);
        if (e.kind != kConnectedNote) continue;
        e.length = static_cast<int>(to * e.length / from);
        if (e.length == 0) {
            shortened = true;
            if (dropShortNotes)
                e.kind = kDeleted;
            else
                e.length = 1;
        }
    }
    compact();
    return shortened;
}

void MidiTrackData::transpose(int channel, int semitones) {
    if (!requireState(TrackState::Connected)) return;
    for (MusicEvent& e : events_) {
        if (e.kind != kConnectedNote || e.velocity <= 0) continue;
        if (channel != -1 && e.channel != channel) continue;
        long long n = static_cast<long long>(e.note) + semitones;
        if (n < 0) n += 12 * ((-n + 11) / 12);
        if (n > 127) n -= 12 * ((n - 127 + 11) / 12);
        e.note = static_cast<int>(n);
    }
}

void MidiTrackData::velocityOffset(int amount) {
    if (!requireState(TrackState::Connected)) return;
    for (MusicEvent& e : events_)
        if (e.kind == kConnectedNote) e.velocity = clampMidi(e.velocity + amount);
}

void MidiTrackData::reduceToTopVoice() {
    if (!requireState(TrackState::Connected)) return;
    // Of the notes starting together only the highest stays.
    {
        const std::vector<int> times = absoluteTimes();
        std::map<int, int> highest;
        for (int i = 0; i < count(); ++i) {
            const MusicEvent& e = events_[i];
            if (e.kind != kConnectedNote) continue;
            auto [it, fresh] = highest.try_emplace(times[i], e.note);
            if (!fresh) it->second = std::max(it->second, e.note);
        }
        for (int i = 0; i < count(); ++i)
            if (events_[i].kind == kConnectedNote && events_[i].note < highest[times[i]])
                events_[i].kind = kDeleted;
        compact();
    }
    // Then no note may sound into the next one.
    const std::vector<int> times = absoluteTimes();
    const int end = times.empty() ? 0 : times.back();
    int next = -1; // index of the next note start, walking backwards
    for (int i = count() - 1; i >= 0; --i) {
        MusicEvent& e = events_[i];
        if (e.kind != kConnectedNote) continue;
        const int t = (next >= 0 ? times[next] : end) - times[i];
        // The last note with nothing after it keeps its length rather than
        // vanish: splitting would let it sound past the last event anyway.
        const bool lastEvent = next < 0 && i == count() - 1;
        if (t < e.length && !lastEvent) {
            if (t == 0)
                e.kind = kDeleted;
            else
                e.length = t;
        }
        next = i;
    }
    compact();
}

void MidiTrackData::swing(int window) {
    if (!requireState(TrackState::Connected)) return;
    if (window <= 0) {
        report(errc::kTrackBadParameter);
        return;
    }
    std::vector<int> times = absoluteTimes();
    // Moves event i to tick target; events on the way keep their list order by
    // joining it at that tick.
    auto moveTo = [&times](int i, int target) {
        times[i] = target;
        for (int k = i - 1; k >= 0 && times[k] > target; --k)
            times[k] = target;
        for (int k = i + 1; k < static_cast<int>(times.size()) && times[k] < target; ++k)
            times[k] = target;
    };
    const int half = window / 2;
    const int third = window / 3;
    const int twoThirds = (window / 3) * 2;
    std::vector<int> notes; // note indexes of the current window
    auto flush = [&](long long windowStart) {
        if (notes.empty()) return;
        const int start = static_cast<int>(windowStart);
        const int firstOffset = times[notes.front()] - start;
        if (notes.size() == 1) {
            moveTo(notes[0], start + (firstOffset < half ? 0 : twoThirds));
        } else {
            const int lastOffset = times[notes.back()] - start;
            if (firstOffset < half) {
                moveTo(notes[0], start);
                moveTo(notes[1], start + (lastOffset < half ? third : twoThirds));
            } else {
                moveTo(notes[0], start + third);
                moveTo(notes[1], start + twoThirds);
            }
        }
        notes.clear();
    };
    long long currentWindow = -1;
    for (int i = 0; i < count(); ++i) {
        if (events_[i].kind != kConnectedNote) continue;
        const long long w = times[i] / window;
        if (w != currentWindow) {
            flush(currentWindow * window);
            currentWindow = w;
        }
        notes.push_back(i);
    }
    flush(currentWindow * window);
    setAbsoluteTimes(times);
}

void MidiTrackData::setControllerValue(int controller, int value, int channel) {
    if (!requireState(TrackState::Connected)) return;
    for (MusicEvent& e : events_)
        if (e.isControl(controller) && (channel == -1 || e.channel == channel)) e.value = value;
}

void MidiTrackData::swapChannels(int a, int b) {
    if (!requireState(TrackState::Connected)) return;
    renumberChannels(a, b, true);
}

void MidiTrackData::moveChannel(int from, int to) {
    if (!requireState(TrackState::Connected)) return;
    renumberChannels(from, to, false);
}

void MidiTrackData::renumberChannels(int a, int b, bool swap) {
    if (a == b) return;
    // After the name of a module's second port, channels count from 16.
    int port = 0;
    for (MusicEvent& e : events_) {
        if (isPortBName(e)) port = 16;
        if (e.kind == kDeleted || e.channel == kNoChannel) continue;
        const int seen = port + e.channel;
        int target;
        if (seen == a)
            target = b;
        else if (swap && seen == b)
            target = a;
        else
            continue;
        e.channel = target & 0x0F;
        if (e.kind == kSysEx && (e.type == kSysExGsRhythmPart || e.type == kSysExGsRhythmPart2) &&
            e.size() >= 11) {
            e.data[7] = static_cast<std::uint8_t>((e.data[7] & 0xF0) | gsBlockOfChannel(e.channel));
            (void)updateGsChecksum(&e.data); // a message too short for a sum is left as it is
        }
    }
}

void MidiTrackData::moveToFrontOfTick(int kind, int type, std::string_view pattern) {
    if (state_ != TrackState::NoteOnOff && state_ != TrackState::Connected) {
        report(errc::kTrackInternal);
        return;
    }
    // "*" ends the pattern.
    pattern = pattern.substr(0, pattern.find('*'));
    auto matches = [&](const MusicEvent& e) {
        return e.kind == kind && (type == -1 || e.type == type) && containsBytes(e.data, pattern);
    };
    std::size_t i = 0;
    while (i < events_.size()) {
        std::size_t j = i + 1;
        while (j < events_.size() && events_[j].delta == 0)
            ++j;
        if (j - i > 1) {
            const int groupDelta = events_[i].delta;
            events_[i].delta = 0;
            std::stable_partition(events_.begin() + static_cast<long>(i),
                                  events_.begin() + static_cast<long>(j), matches);
            events_[i].delta = groupDelta;
        }
        i = j;
    }
}

} // namespace harmolin
