// Factories, queries and transformations of a track: what the engine, the
// song pipeline and the writers do to a track once it is in memory.
#include "midi/MidiTrackEdit.h"

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

// Moves (or swaps) channels a and b, counting the second port as 16 to 31.
void renumberChannels(MidiTrackData& track, int a, int b, bool swap) {
    auto& events = track.events();
    if (a == b) return;
    // After the name of a module's second port, channels count from 16.
    int port = 0;
    for (MusicEvent& e : events) {
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

} // namespace

// --- factories ---------------------------------------------------------------------
// A full track reports itself when an event is refused; a factory has nothing
// to add, so it drops what append returns.

void addNote(MidiTrackData& track, int channel, int delta, int note, int velocity, int length) {
    if (track.count() > 0x20000) return;
    (void)track.append(makeConnectedNote(channel, delta, note, velocity, length));
}

void addControlChange(MidiTrackData& track, int channel, int controller, int value, int delta) {
    (void)track.append(makeChannelEvent(kControlChange, channel, controller, value, delta));
}

void addProgramChange(MidiTrackData& track, int channel, int program, int delta) {
    (void)track.append(makeChannelEvent(kProgramChange, channel, program, 0, delta));
}

void addBankProgram(MidiTrackData& track, int channel, int bankMsb, int bankLsb, int program) {
    addControlChange(track, channel, 0, bankMsb);
    addControlChange(track, channel, 32, bankLsb);
    addProgramChange(track, channel, program);
}

void addBankProgram(MidiTrackData& track, int channel, int bankMsb, int program) {
    addControlChange(track, channel, 0, bankMsb);
    addProgramChange(track, channel, program);
}

void addTempo(MidiTrackData& track, int microsecondsPerQuarter, int delta) {
    // Zero (or anything that cannot be a tempo, or cannot be written in the
    // three bytes a tempo event has) would stop playback: use the default.
    if (microsecondsPerQuarter <= 0 || microsecondsPerQuarter > 0xFFFFFF) {
        track.report(errc::kTrackBadTempoData);
        microsecondsPerQuarter = kDefaultTempo;
    }
    (void)track.append(makeTempo(delta, microsecondsPerQuarter));
}

void addTimeSignature(MidiTrackData& track, int numerator, int denominatorPower, int delta) {
    // 18 MIDI clocks per metronome click, as the composer always wrote.
    const std::uint8_t bytes[4] = {byte(numerator), byte(denominatorPower), 18, 8};
    (void)track.append(makeMeta(delta, kMetaTimeSignature, bytes, 4));
}

void addKeySignature(MidiTrackData& track, int tonic, bool minor, int delta) {
    // Sharps (positive) or flats (negative) of the key on each pitch class.
    static constexpr int kAccidentals[12] = {0, 7, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
    const int pitchClass = ((tonic % 12) + 12) % 12;
    const std::uint8_t bytes[2] = {byte(kAccidentals[pitchClass]), static_cast<std::uint8_t>(minor ? 1 : 0)};
    (void)track.append(makeMeta(delta, kMetaKeySignature, bytes, 2));
}

void addMeta(MidiTrackData& track, int delta, int type, const std::uint8_t* bytes, int length) {
    if (length >= 128) track.report(errc::kTrackTextTooLong);
    (void)track.append(makeMeta(delta, type, bytes, length));
}

void addMarker(MidiTrackData& track, int delta, std::string_view text) {
    (void)track.append(makeTextMeta(delta, kMetaMarker, text));
}

void addTextAtStart(MidiTrackData& track, int type, std::string_view text) {
    track.insertAtTime(0, makeTextMeta(0, type, text), Placement::After);
}

void addGmSystemOn(MidiTrackData& track, int delta) {
    (void)track.append(makeSysEx(delta, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
}

void addGsReset(MidiTrackData& track, int delta) {
    (void)track.append(
        makeSysEx(delta, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
}

void addXgSystemOn(MidiTrackData& track, int delta) {
    (void)track.append(makeSysEx(delta, {0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}));
}

void insertMasterVolume(MidiTrackData& track, int value, int index) {
    // A data byte of 128 or more would break the message: refuse it.
    if (value < 0 || value >= 128) {
        track.report(errc::kTrackInternal);
        return;
    }
    MusicEvent e = makeSysEx(0, {0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, byte(value), 0xF7});
    if (index >= track.count())
        (void)track.append(std::move(e));
    else
        track.insertAt(std::max(0, index), true, std::move(e));
}

void addXgDisplayText(MidiTrackData& track, int delta, std::string_view text) {
    if (text.size() > kDisplayTextBytes) track.report(errc::kTrackTextTooLong);
    Bytes body{0x43, 0x10, 0x4C, 0x06, 0x00, 0x00};
    body.insert(body.end(), text.begin(), text.end());
    body.push_back(0xF7);
    (void)track.append(makeSysEx(delta, sysExWithBody(body)));
}

void addGsDisplayText(MidiTrackData& track, int delta, std::string_view text) {
    if (text.size() > kDisplayTextBytes) track.report(errc::kTrackTextTooLong);
    Bytes body{0x41, 0x10, 0x45, 0x12, 0x10, 0x00, 0x00};
    int sum = 0x10;
    for (char c : text) {
        body.push_back(static_cast<std::uint8_t>(c));
        sum += static_cast<std::uint8_t>(c);
    }
    body.push_back(byte((128 - sum % 128) % 128));
    body.push_back(0xF7);
    (void)track.append(makeSysEx(delta, sysExWithBody(body)));
}

void ensureEndOfTrack(MidiTrackData& track, int delta) {
    auto& events = track.events();
    if (!events.empty() && events.back().isEndOfTrack()) return;
    (void)track.append(makeEndOfTrack(delta));
}

// --- removals ------------------------------------------------------------------------

bool removeMeta(MidiTrackData& track, int type, bool all) {
    auto& events = track.events();
    bool removed = false;
    for (auto& e : events) {
        if (e.kind == kMeta && e.type == type) {
            e.kind = kDeleted;
            removed = true;
            if (!all) break;
        }
    }
    if (removed) track.compact();
    return removed;
}

bool removeFirstControlChange(MidiTrackData& track, int controller) {
    auto& events = track.events();
    for (int i = 0; i < track.count(); ++i) {
        if (events[i].isControl(controller)) {
            track.remove(i);
            return true;
        }
    }
    return false;
}

void removeAllPitchBends(MidiTrackData& track) {
    auto& events = track.events();
    for (auto& e : events)
        if (e.kind == kPitchBend) e.kind = kDeleted;
    track.compact();
}

void swapEvents(MidiTrackData& track, int i, int j) {
    auto& events = track.events();
    if (i < 0 || j < 0 || i >= track.count() || j >= track.count()) {
        track.report(errc::kTrackBadParameter);
        return;
    }
    std::swap(events[i].delta, events[j].delta);
    std::swap(events[i], events[j]);
}

// --- queries -------------------------------------------------------------------------

int tempoAt(const MidiTrackData& track, int tick) {
    auto& events = track.events();
    int tempo = 600000;
    long long time = 0;
    for (const MusicEvent& e : events) {
        time += e.delta;
        if (time > tick) break;
        if (e.isMeta(kMetaTempo)) tempo = e.value;
    }
    return tempo;
}

int firstTempo(const MidiTrackData& track) {
    auto& events = track.events();
    for (const MusicEvent& e : events)
        if (e.isMeta(kMetaTempo)) return e.value;
    return 600000;
}

int firstTimeSignature(const MidiTrackData& track) {
    auto& events = track.events();
    for (const MusicEvent& e : events)
        if (e.isMeta(kMetaTimeSignature)) return e.value;
    return 0;
}

std::optional<std::string> firstMetaText(const MidiTrackData& track, int type) {
    auto& events = track.events();
    for (const MusicEvent& e : events)
        if (e.isMeta(type)) return e.text();
    return std::nullopt;
}

int programOf(const MidiTrackData& track, int channel) {
    auto& events = track.events();
    int program = -1;
    int xgProgram = -1;
    for (const MusicEvent& e : events) {
        if (e.kind == kProgramChange && e.channel == channel) program = e.value;
        // XG multi-part program number: F0 len 43 10 4C 08 part 03 program F7.
        const Bytes& d = e.data;
        if (e.kind == kSysEx && d.size() >= 10 && d[2] == 0x43 && d[3] == 0x10 && d[4] == 0x4C &&
            d[5] == 0x08 && d[6] == channel && d[7] == 0x03)
            xgProgram = d[8];
    }
    return program >= 0 ? program : xgProgram;
}

bool programAbove15(const MidiTrackData& track, int channel) {
    return programOf(track, channel) > 15;
}

int masterVolume(const MidiTrackData& track) {
    auto& events = track.events();
    int volume = -1;
    for (const MusicEvent& e : events) {
        if (e.kind != kSysEx || e.type != kSysExMasterVolume) continue;
        if (volume >= 0) {
            track.warnOnce(errc::kTrackSeveralMasterVolumes);
            break;
        }
        volume = e.value;
    }
    return volume;
}

bool isDrumChannel(const MidiTrackData& track, int channel) {
    auto& events = track.events();
    if (channel == 9) return true;
    // The last GS rhythm-part assignment for the part decides; a value of 0
    // turns the part back into a normal one.
    bool drum = false;
    for (const MusicEvent& e : events)
        if (e.kind == kSysEx && e.type == kSysExGsRhythmPart && e.channel == channel) drum = e.value != 0;
    return drum;
}

int firstChannel(const MidiTrackData& track) {
    auto& events = track.events();
    for (const MusicEvent& e : events)
        if (e.isChannelEvent()) return e.channel;
    return -1;
}

int noteCount(const MidiTrackData& track) {
    auto& events = track.events();
    int n = 0;
    for (const MusicEvent& e : events) {
        if (track.state() == TrackState::NoteOnOff ? e.isNoteOn() : e.kind == kConnectedNote) ++n;
    }
    return n;
}

int firstNoteIndex(const MidiTrackData& track) {
    auto& events = track.events();
    for (int i = 0; i < track.count(); ++i)
        if (events[i].kind == kConnectedNote) return i;
    return -1;
}

int ticksToNextNote(const MidiTrackData& track, int index) {
    auto& events = track.events();
    if (index < 0 || index >= track.count()) return -1;
    long long ticks = 0;
    for (int i = index + 1; i < track.count(); ++i) {
        const MusicEvent& e = events[i];
        ticks += e.delta;
        if (e.kind == kConnectedNote || e.isNoteOn())
            return static_cast<int>(std::min<long long>(ticks, 0x7FFFFFFF));
    }
    return -1;
}

int totalLength(const MidiTrackData& track) {
    auto& events = track.events();
    // A connected track is measured as if split: a note sounding past the
    // last event stretches the track to the note's end.
    long long time = 0;
    long long end = 0;
    for (const MusicEvent& e : events) {
        time += e.delta;
        end = std::max(end, time);
        if (track.state() == TrackState::Connected && e.kind == kConnectedNote && e.velocity != 0 &&
            e.length > 0)
            end = std::max(end, time + e.length);
    }
    return static_cast<int>(std::min<long long>(end, 0x7FFFFFFF));
}

std::vector<int> absoluteTimes(const MidiTrackData& track) {
    auto& events = track.events();
    std::vector<int> times(events.size());
    long long t = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        t += events[i].delta;
        times[i] = static_cast<int>(std::min<long long>(t, 0x7FFFFFFF));
    }
    return times;
}

void setAbsoluteTimes(MidiTrackData& track, const std::vector<int>& times) {
    auto& events = track.events();
    int previous = 0;
    for (std::size_t i = 0; i < events.size() && i < times.size(); ++i) {
        events[i].delta = std::max(0, times[i] - previous);
        previous = std::max(previous, times[i]);
    }
}

// --- transformations ------------------------------------------------------------------

bool rescale(MidiTrackData& track, int oldDivision, int newDivision, bool dropShortNotes) {
    auto& events = track.events();
    if (!track.requireState(TrackState::Connected)) return false;
    if (oldDivision == newDivision) return false;
    if (oldDivision <= 0 || newDivision <= 0) {
        track.report(errc::kTrackBadParameter);
        return false;
    }
    const long long from = oldDivision;
    const long long to = newDivision;
    long long total = 0;
    for (const MusicEvent& e : events)
        total += e.delta;
    if (to * total / from > MidiTrackData::kMaxTicks) { // the rescaled song could not be written
        track.report(errc::kTrackBadMusic);
        return false;
    }
    long long carry = 0; // remainder in old ticks, so rounding never drifts
    bool shortened = false;
    for (MusicEvent& e : events) {
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
    track.compact();
    return shortened;
}

void transpose(MidiTrackData& track, int channel, int semitones) {
    auto& events = track.events();
    if (!track.requireState(TrackState::Connected)) return;
    for (MusicEvent& e : events) {
        if (e.kind != kConnectedNote || e.velocity <= 0) continue;
        if (channel != -1 && e.channel != channel) continue;
        long long n = static_cast<long long>(e.note) + semitones;
        if (n < 0) n += 12 * ((-n + 11) / 12);
        if (n > 127) n -= 12 * ((n - 127 + 11) / 12);
        e.note = static_cast<int>(n);
    }
}

void velocityOffset(MidiTrackData& track, int amount) {
    auto& events = track.events();
    if (!track.requireState(TrackState::Connected)) return;
    for (MusicEvent& e : events)
        if (e.kind == kConnectedNote) e.velocity = clampMidi(e.velocity + amount);
}

void reduceToTopVoice(MidiTrackData& track) {
    auto& events = track.events();
    if (!track.requireState(TrackState::Connected)) return;
    // Of the notes starting together only the highest stays.
    {
        const std::vector<int> times = absoluteTimes(track);
        std::map<int, int> highest;
        for (int i = 0; i < track.count(); ++i) {
            const MusicEvent& e = events[i];
            if (e.kind != kConnectedNote) continue;
            auto [it, fresh] = highest.try_emplace(times[i], e.note);
            if (!fresh) it->second = std::max(it->second, e.note);
        }
        for (int i = 0; i < track.count(); ++i)
            if (events[i].kind == kConnectedNote && events[i].note < highest[times[i]])
                events[i].kind = kDeleted;
        track.compact();
    }
    // Then no note may sound into the next one.
    const std::vector<int> times = absoluteTimes(track);
    const int end = times.empty() ? 0 : times.back();
    int next = -1; // index of the next note start, walking backwards
    for (int i = track.count() - 1; i >= 0; --i) {
        MusicEvent& e = events[i];
        if (e.kind != kConnectedNote) continue;
        const int t = (next >= 0 ? times[next] : end) - times[i];
        // The last note with nothing after it keeps its length rather than
        // vanish: splitting would let it sound past the last event anyway.
        const bool lastEvent = next < 0 && i == track.count() - 1;
        if (t < e.length && !lastEvent) {
            if (t == 0)
                e.kind = kDeleted;
            else
                e.length = t;
        }
        next = i;
    }
    track.compact();
}

void swing(MidiTrackData& track, int window) {
    auto& events = track.events();
    if (!track.requireState(TrackState::Connected)) return;
    if (window <= 0) {
        track.report(errc::kTrackBadParameter);
        return;
    }
    std::vector<int> times = absoluteTimes(track);
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
    for (int i = 0; i < track.count(); ++i) {
        if (events[i].kind != kConnectedNote) continue;
        const long long w = times[i] / window;
        if (w != currentWindow) {
            flush(currentWindow * window);
            currentWindow = w;
        }
        notes.push_back(i);
    }
    flush(currentWindow * window);
    setAbsoluteTimes(track, times);
}

void setControllerValue(MidiTrackData& track, int controller, int value, int channel) {
    auto& events = track.events();
    if (!track.requireState(TrackState::Connected)) return;
    for (MusicEvent& e : events)
        if (e.isControl(controller) && (channel == -1 || e.channel == channel)) e.value = value;
}

void swapChannels(MidiTrackData& track, int a, int b) {
    if (!track.requireState(TrackState::Connected)) return;
    renumberChannels(track, a, b, true);
}

void moveChannel(MidiTrackData& track, int from, int to) {
    if (!track.requireState(TrackState::Connected)) return;
    renumberChannels(track, from, to, false);
}

void moveToFrontOfTick(MidiTrackData& track, int kind, int type, std::string_view pattern) {
    auto& events = track.events();
    if (track.state() != TrackState::NoteOnOff && track.state() != TrackState::Connected) {
        track.report(errc::kTrackInternal);
        return;
    }
    // "*" ends the pattern.
    pattern = pattern.substr(0, pattern.find('*'));
    auto matches = [&](const MusicEvent& e) {
        return e.kind == kind && (type == -1 || e.type == type) && containsBytes(e.data, pattern);
    };
    std::size_t i = 0;
    while (i < events.size()) {
        std::size_t j = i + 1;
        while (j < events.size() && events[j].delta == 0)
            ++j;
        if (j - i > 1) {
            const int groupDelta = events[i].delta;
            events[i].delta = 0;
            std::stable_partition(events.begin() + static_cast<long>(i),
                                  events.begin() + static_cast<long>(j), matches);
            events[i].delta = groupDelta;
        }
        i = j;
    }
}

bool merge(MidiTrackData& track, const std::vector<const MidiTrackData*>& sources) {
    if (sources.empty()) {
        track.report(errc::kTrackFailed);
        return false;
    }
    struct Cursor {
        const std::vector<MusicEvent>* events;
        std::size_t next = 0;
        long long time = 0; // absolute time of the next event
    };
    std::vector<Cursor> cursors;
    std::size_t total = 0;
    for (const MidiTrackData* s : sources) {
        if (!s) continue;
        Cursor c{&s->events()};
        if (!s->events().empty()) c.time = s->events()[0].delta;
        cursors.push_back(c);
        total += s->events().size();
    }
    std::vector<MusicEvent> merged;
    merged.reserve(total + 1);
    long long now = 0;
    long long endTime = 0;
    for (;;) {
        long long smallest = -1;
        for (const Cursor& c : cursors)
            if (c.next < c.events->size() && (smallest < 0 || c.time < smallest)) smallest = c.time;
        if (smallest < 0) break;
        // Each source with an event at this time gives one, in source order.
        for (Cursor& c : cursors) {
            if (c.next >= c.events->size() || c.time != smallest) continue;
            const MusicEvent& src = (*c.events)[c.next];
            if (src.isEndOfTrack()) {
                endTime = std::max(endTime, smallest);
            } else {
                MusicEvent e = src;
                e.delta = static_cast<int>(smallest - now);
                now = smallest;
                merged.push_back(std::move(e));
            }
            ++c.next;
            if (c.next < c.events->size()) c.time += (*c.events)[c.next].delta;
        }
    }
    merged.push_back(makeEndOfTrack(static_cast<int>(std::max(0LL, endTime - now))));
    if (static_cast<int>(merged.size()) > MidiTrackData::kMaxEvents + 1) {
        track.report(errc::kTrackCannotMerge);
        return false;
    }
    track.events() = std::move(merged);
    return true;
}

} // namespace harmolin
