// A track of a format-1 song and the shaping a melody gets before it is sung:
// bends turned into notes, legato, a short glide into the next note, a late
// vibrato and a soft attack.
#include "midi/MidiF1TrackData.h"
#include "midi/MidiTrackEdit.h"

#include "base/ErrorCodes.h"

#include <algorithm>
#include <cstdlib>

namespace harmolin {
namespace {

constexpr int kCentreBend = 8192;

MusicEvent controlChange(int channel, int controller, int value, int delta) {
    return makeChannelEvent(kControlChange, channel, controller, value, delta);
}

MusicEvent pitchBendEvent(int channel, int bend, int delta) {
    MusicEvent e = makeChannelEvent(kPitchBend, channel, 0, 0, delta);
    (void)e.setPitchBend(bend); // a bend out of range is clamped, as wanted
    return e;
}

bool isRpnSelect(const MusicEvent& e, int controller) {
    return e.isControl(controller) && e.value == 0;
}

} // namespace

int decayedVelocity(int velocity, int distance) {
    distance = std::abs(distance);
    int v = velocity;
    for (int i = 0; i < distance && v > 0; ++i)
        v = v * 9 / 10;
    // Far bends would fade to nothing; such a note keeps its own velocity.
    return v < velocity / 2 ? velocity : v;
}

MidiF1TrackData::MidiF1TrackData(int capacity, TrackState state) : MidiTrackData(capacity, state) {
    reportOnce(ErrorClass::M1tk, 0);
}

MidiF1TrackData::MidiF1TrackData(const MidiTrackData& track) : MidiTrackData(track) {
    reportOnce(ErrorClass::M1tk, 0);
}

int MidiF1TrackData::pitchBendSensitivity() const {
    int found = 0;
    int semitones = 12;
    for (int i = 0; i + 2 < count(); ++i) {
        const MusicEvent& a = events_[i];
        const MusicEvent& b = events_[i + 1];
        const MusicEvent& entry = events_[i + 2];
        if (!entry.isControl(6)) continue;
        // RPN 0/0 selected by its two controllers, in either order.
        if ((isRpnSelect(a, 101) && isRpnSelect(b, 100)) || (isRpnSelect(a, 100) && isRpnSelect(b, 101))) {
            ++found;
            semitones = entry.value;
        }
    }
    if (found > 1) reportOnce(ErrorClass::M1tk, errc::kF1SeveralBendSensitivities);
    return semitones;
}

void MidiF1TrackData::removeSensitivityEntries() {
    if (!requireState(TrackState::Connected)) return;
    int msb[16];
    int lsb[16];
    std::fill(msb, msb + 16, -1);
    std::fill(lsb, lsb + 16, -1);
    bool removed = false;
    for (MusicEvent& e : events_) {
        if (e.kind != kControlChange) continue;
        const int ch = e.channel & 0x0F;
        switch (e.type) {
        case 101:
            msb[ch] = e.value;
            break;
        case 100:
            lsb[ch] = e.value;
            break;
        case 98:
        case 99: // an NRPN selection ends the RPN
            msb[ch] = lsb[ch] = -1;
            break;
        case 6:
            if (msb[ch] == 0 && lsb[ch] == 0) {
                e.kind = kDeleted;
                removed = true;
            }
            break;
        default:
            break;
        }
    }
    if (removed) compact();
}

void MidiF1TrackData::setSensitivity(int semitones) {
    if (!requireState(TrackState::Connected)) return;
    int channel = firstChannel(*this);
    if (channel < 0) channel = 0; // the melody channel of a prepared song
    const int value = std::clamp(semitones, 0, 127);
    insertAtTime(0, controlChange(channel, 101, 0, 0), Placement::After);
    insertAtTime(0, controlChange(channel, 100, 0, 0), Placement::After);
    insertAtTime(0, controlChange(channel, 6, value, 0), Placement::After);
}

void MidiF1TrackData::legato(int maximumTicks) {
    if (!requireState(TrackState::Connected)) return;
    const std::vector<int> times = absoluteTimes(*this);
    int endOfTrack = -1;
    for (int i = count() - 1; i >= 0 && endOfTrack < 0; --i)
        if (events_[i].isEndOfTrack()) endOfTrack = i;
    int next = -1;
    for (int i = count() - 1; i >= 0; --i) {
        MusicEvent& e = events_[i];
        if (e.kind != kConnectedNote) continue;
        int room = e.length; // nothing after it to reach: keep its own length
        if (next >= 0)
            room = times[next] - times[i];
        else if (endOfTrack > i)
            room = times[endOfTrack] - times[i];
        e.length = std::min(maximumTicks, room);
        next = i;
    }
}

void MidiF1TrackData::pitchBendToNotes(int sensitivity) {
    if (!requireState(TrackState::Connected)) return;
    if (sensitivity <= 0) return;
    const int unit = 8191 / sensitivity;
    if (unit <= 0) return;
    auto stepOf = [unit](int bend) { return (bend - kCentreBend) / unit; };

    // Bends that stay within the semitone already reached change nothing.
    int lastStep = 0;
    for (MusicEvent& e : events_) {
        if (e.kind == kPitchBend) {
            const int step = stepOf(e.pitchBend());
            if (step == lastStep)
                e.kind = kDeleted;
            else
                lastStep = step;
        } else if (e.isControl(1)) {
            e.kind = kDeleted;
        }
    }
    compact();

    const int n = count();
    const std::vector<int> times = absoluteTimes(*this);
    std::vector<int> bendValue(n, -1); // the original bends, before any becomes a note
    std::vector<int> bendInForce(n, kCentreBend);
    int current = kCentreBend;
    for (int i = 0; i < n; ++i) {
        if (events_[i].kind == kPitchBend) current = bendValue[i] = events_[i].pitchBend();
        bendInForce[i] = current;
    }
    std::vector<bool> madeNote(n, false);
    auto pitchFor = [&](int note, int bend) {
        int p = note + stepOf(bend);
        if (p > 127 || p < 0) {
            reportOnce(ErrorClass::M1tk, errc::kF1NoteToBendFailed);
            p = std::clamp(p, 0, 127);
        }
        return p;
    };
    for (int i = 0; i < n; ++i) {
        if (madeNote[i] || events_[i].kind != kConnectedNote) continue;
        if (events_[i].length == 0) {
            events_[i].kind = kDeleted;
            continue;
        }
        const int start = times[i];
        const int end = start + events_[i].length;
        // A bend standing at the note's own tick applies from its start.
        int bend = bendInForce[i];
        for (int j = i + 1; j < n && times[j] == start; ++j)
            if (bendValue[j] >= 0) bend = bendValue[j];
        const int own = events_[i].note;
        const int velocity = events_[i].velocity;
        const int channel = events_[i].channel;
        auto velocityAt = [&](int pitch) {
            return pitch == own ? velocity : decayedVelocity(velocity, pitch - own);
        };
        events_[i].note = pitchFor(own, bend);
        events_[i].velocity = velocityAt(events_[i].note);
        // Every later bend inside the note starts a new note at the bent pitch.
        int segment = i;
        for (int j = i + 1; j < n && times[j] < end; ++j) {
            if (bendValue[j] < 0 || madeNote[j] || times[j] == start) continue;
            const int pitch = pitchFor(own, bendValue[j]);
            if (pitch == events_[segment].note) continue;
            events_[segment].length = times[j] - times[segment];
            if (events_[segment].length < 1) report(errc::kTrackEmptyBendSegment);
            MusicEvent& e = events_[j];
            e.kind = kConnectedNote;
            e.channel = channel;
            e.note = pitch;
            e.velocity = velocityAt(pitch);
            e.length = end - times[j];
            e.type = 0;
            e.value = 0;
            e.data.clear();
            madeNote[j] = true;
            segment = j;
        }
    }
    for (MusicEvent& e : events_)
        if (e.kind == kPitchBend || (e.kind == kConnectedNote && e.length == 0)) e.kind = kDeleted;
    compact();
}

void MidiF1TrackData::thinPitchBends() {
    if (state_ == TrackState::Connected) {
        (void)splitNotes(); // cannot fail: connected was just checked
        thinPitchBends();
        (void)connectNotes(); // cannot fail: split just above
        return;
    }
    if (!requireState(TrackState::NoteOnOff)) return;

    // A bend between notes that lies on a straight run between its
    // neighbours adds nothing; peaks and valleys stay.
    bool sounding[128] = {};
    int soundingCount = 0;
    bool noteSinceBend = false;
    int older = -1;
    int middle = -1;
    for (int i = 0; i < count(); ++i) {
        MusicEvent& e = events_[i];
        if (e.isNoteOn()) {
            if (e.note >= 0 && e.note < 128 && !sounding[e.note]) {
                sounding[e.note] = true;
                ++soundingCount;
            }
            noteSinceBend = true;
        } else if (e.isNoteOff()) {
            if (e.note >= 0 && e.note < 128 && sounding[e.note]) {
                sounding[e.note] = false;
                --soundingCount;
            }
        } else if (e.kind == kPitchBend) {
            if (!noteSinceBend && soundingCount == 0 && older >= 0 && middle >= 0) {
                const int o = events_[older].pitchBend();
                const int m = events_[middle].pitchBend();
                const int c = e.pitchBend();
                if ((m > o && m > c) || (m < o && m < c)) {
                    older = middle;
                    middle = i;
                } else {
                    events_[middle].kind = kDeleted;
                    older = middle = -1;
                }
            } else {
                older = middle;
                middle = i;
            }
            noteSinceBend = false;
        }
    }
    int previous = -1;
    for (MusicEvent& e : events_) {
        if (e.kind != kPitchBend) continue;
        const int v = e.pitchBend();
        if (v == previous)
            e.kind = kDeleted;
        else
            previous = v;
    }
    compact();
}

void MidiF1TrackData::glide(int window, int steps, int range) {
    if (!requireState(TrackState::Connected)) return;
    if (window <= 0 || steps <= 0 || range <= 0 || window % steps != 0) {
        report(errc::kTrackConnectNotesFailed);
        return;
    }
    if (events_.empty()) return;
    const int stepTicks = window / steps;
    std::vector<MusicEvent> out;
    out.reserve(events_.size() * 2 + static_cast<std::size_t>(steps));
    int taken = 0; // ticks the previous note's glide took from this event's delta
    for (int i = 0; i < count(); ++i) {
        MusicEvent e = events_[i];
        e.delta -= taken;
        taken = 0;
        if (e.kind != kConnectedNote) {
            out.push_back(std::move(e));
            continue;
        }
        out.push_back(pitchBendEvent(e.channel, kCentreBend, e.delta));
        e.delta = 0;
        const int channel = e.channel;
        const int note = e.note;
        const int length = e.length;
        out.push_back(std::move(e));
        if (i + 1 >= count() || length <= window || events_[i + 1].delta <= window) continue;
        // Glide towards the next note, or fall off when the track ends first.
        int target = note; // no later note and no end: no glide
        for (int k = i + 1; k < count(); ++k) {
            if (events_[k].kind == kConnectedNote) {
                target = events_[k].note;
                break;
            }
            if (events_[k].isEndOfTrack()) {
                target = note - range;
                break;
            }
        }
        if (target == note) continue;
        const int distance = std::clamp(target - note, -range, range);
        const int increment = (8191 / range) * distance / steps;
        int firstDelta = events_[i + 1].delta - window;
        if (firstDelta < 0) {
            report(errc::kTrackBadMusic);
            firstDelta = 0;
        }
        for (int k = 0; k < steps; ++k)
            out.push_back(
                pitchBendEvent(channel, kCentreBend + k * increment, k == 0 ? firstDelta : stepTicks));
        taken = firstDelta + (steps - 1) * stepTicks;
    }
    if (static_cast<int>(out.size()) > kMaxEvents + 1) {
        report(errc::kTrackCannotAdd);
        return;
    }
    events_ = std::move(out);
    const int channel = std::max(0, firstChannel(*this));
    insertAtTime(-1, pitchBendEvent(channel, kCentreBend, 0));
}

void MidiF1TrackData::delayedVibrato(int delay) {
    if (!requireState(TrackState::Connected)) return;
    if (delay < 0) {
        report(errc::kTrackBadParameter);
        return;
    }
    std::vector<MusicEvent> out;
    out.reserve(events_.size() * 3);
    int taken = 0;
    for (int i = 0; i < count(); ++i) {
        MusicEvent e = events_[i];
        e.delta -= taken;
        taken = 0;
        if (e.kind != kConnectedNote) {
            out.push_back(std::move(e));
            continue;
        }
        const int channel = e.channel;
        const bool vibrato = e.length > delay && i + 1 < count() && events_[i + 1].delta > delay;
        out.push_back(controlChange(channel, 1, 0, e.delta));
        e.delta = 0;
        out.push_back(std::move(e));
        if (vibrato) {
            out.push_back(controlChange(channel, 1, 127, delay));
            taken = delay;
        }
    }
    if (static_cast<int>(out.size()) > kMaxEvents + 1) {
        report(errc::kTrackCannotAdd);
        return;
    }
    events_ = std::move(out);
}

void MidiF1TrackData::expressionAttack(int window, int steps) {
    if (!requireState(TrackState::Connected)) return;
    if (window <= 0 || steps <= 0) {
        report(errc::kTrackGeneratedEventsFailed);
        return;
    }
    if (window % steps != 0) report(errc::kTrackGeneratedEventsFailed); // the events are still made
    const int stepTicks = window / steps;
    auto level = [steps](int k) { return std::clamp(135 - 8 * steps + 8 * k, 0, 127); };
    std::vector<MusicEvent> out;
    out.reserve(events_.size() + static_cast<std::size_t>(steps) * 8);
    int taken = 0;
    for (int i = 0; i < count(); ++i) {
        MusicEvent e = events_[i];
        e.delta -= taken;
        taken = 0;
        const bool attack =
            e.kind == kConnectedNote && e.length > window && i + 1 < count() && events_[i + 1].delta > window;
        if (!attack) {
            out.push_back(std::move(e));
            continue;
        }
        const int channel = e.channel;
        out.push_back(controlChange(channel, 11, level(0), e.delta));
        e.delta = 0;
        out.push_back(std::move(e));
        for (int k = 1; k < steps; ++k)
            out.push_back(controlChange(channel, 11, level(k), stepTicks));
        taken = (steps - 1) * stepTicks;
    }
    if (static_cast<int>(out.size()) > kMaxEvents + 1) {
        report(errc::kTrackCannotAdd);
        return;
    }
    events_ = std::move(out);
}

void MidiF1TrackData::removeControlChanges(int controller) {
    if (state_ != TrackState::Connected && state_ != TrackState::NoteOnOff) {
        report(errc::kTrackInternal);
        return;
    }
    bool removed = false;
    for (MusicEvent& e : events_) {
        if (e.isControl(controller)) {
            e.kind = kDeleted;
            removed = true;
        }
    }
    if (removed) compact();
}

void MidiF1TrackData::prepareMelodyForSinging() {
    if (!requireState(TrackState::Connected)) return;
    removeControlChanges(1);
    removeControlChanges(64);
    removeControlChanges(11);
    legato(384);
    pitchBendToNotes(pitchBendSensitivity());
    removeAllPitchBends(*this);
    removeSensitivityEntries();
    setSensitivity(12);
    glide(24, 8, 12);
    delayedVibrato(96);
    expressionAttack(48, 4);
}

} // namespace harmolin
