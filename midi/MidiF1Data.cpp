#include "midi/MidiF1Data.h"

#include "base/ErrorCodes.h"
#include "midi/MidiF0Data.h"
#include "midi/MidiTrackEdit.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace harmolin {
namespace {

int read16(const std::uint8_t* p) {
    return (p[0] << 8) | p[1];
}

std::uint32_t read32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

} // namespace

MidiF1Data::MidiF1Data(int division, int capacity) : ByteBuffer(capacity), division_(division) {
    reportOnce(ErrorClass::M1dt, 0);
}

int MidiF1Data::addEmptyTrack() {
    if (trackCount() >= kMaxTracks) {
        reportError(ErrorClass::M1dt, errc::kF1TooManyTracks);
        return -1;
    }
    tracks_.push_back(std::make_unique<MidiF1TrackData>(capacity_ / 2, TrackState::Connected));
    return trackCount() - 1;
}

bool MidiF1Data::checkHeader() {
    if (used() == 0) return false;
    const int at = findMidiHeader(bytes(), used());
    if (at < 0) {
        reportError(ErrorClass::M1dt, errc::kF1NotMidi);
        return false;
    }
    if (at > 0) bytes_.erase(bytes_.begin(), bytes_.begin() + at);
    if (read16(bytes() + 8) != 1) {
        reportError(ErrorClass::M1dt, errc::kF1NotFormat1);
        return false;
    }
    division_ = read16(bytes() + 12);
    position_ = 14;
    return true;
}

bool MidiF1Data::load(const std::string& path) {
    reportOnce(ErrorClass::M1dt, 0);
    tracks_.clear();
    state_ = TrackState::Connected;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > capacity_) {
        clearBytes();
        reportError(ErrorClass::M1dt, errc::kF1DataTooLarge);
        return false;
    }
    if (!loadFile(path)) return false;
    const bool ok = loadImage();
    ensureMasterVolume(false);
    return ok;
}

bool MidiF1Data::loadBytes(const std::uint8_t* data, int length) {
    reportOnce(ErrorClass::M1dt, 0);
    tracks_.clear();
    state_ = TrackState::Connected;
    if (!assign(data, length)) {
        reportError(ErrorClass::M1dt, errc::kF1DataTooLarge);
        return false;
    }
    return loadImage();
}

bool MidiF1Data::fromMemory(const std::uint8_t* data, int length, bool reportMasterVolume) {
    const bool ok = loadBytes(data, length);
    ensureMasterVolume(reportMasterVolume);
    return ok;
}

bool MidiF1Data::loadImage() {
    const int header = findMidiHeader(bytes(), used());
    if (header >= 0 && read16(bytes() + header + 8) == 0) {
        // A format-0 file: say so, then split it by channel.
        reportError(ErrorClass::M1dt, errc::kF1NotFormat1);
        if (read16(bytes() + header + 10) != 1) {
            reportError(ErrorClass::M0dt, errc::kF0BadTrackCount);
            return false;
        }
        MidiF0Data song(capacity_);
        const bool ok = song.loadBytes(bytes(), used());
        *this = fromSong(song);
        return ok;
    }
    if (!checkHeader()) return false;
    if (division_ <= 0 || division_ >= 0x8000) { // timecode divisions are not musical time
        reportError(ErrorClass::M1dt, errc::kF1BadInternalData);
        division_ = 960;
        return false;
    }
    int announced = read16(bytes() + 10);
    if (announced > 63) {
        reportError(ErrorClass::M1dt, errc::kF1TooManyTracks);
        announced = 32;
    }
    int pos = 14;
    bool ok = true;
    while (trackCount() < announced) {
        // Chunks of other kinds are skipped; a file may carry them.
        while (pos + 8 <= used() && std::memcmp(bytes() + pos, "MTrk", 4) != 0) {
            const std::uint64_t skip = 8 + std::uint64_t(read32(bytes() + pos + 4));
            if (pos + skip > std::uint64_t(used())) break;
            pos += static_cast<int>(skip);
        }
        if (pos + 8 > used() || std::memcmp(bytes() + pos, "MTrk", 4) != 0) {
            reportError(ErrorClass::M1dt, errc::kGeneralText); // fewer chunks than announced
            ok = false;
            break;
        }
        auto track = std::make_unique<MidiF1TrackData>(capacity_ / 2);
        const bool parsed = track->parse(used(), pos, bytes());
        if (!parsed) {
            ok = false;
            if (track->state() != TrackState::NoteOnOff) break; // the chunk itself was refused
        }
        pos += 8 + static_cast<int>(read32(bytes() + pos + 4));
        tracks_.push_back(std::move(track));
        if (!parsed) break;
    }
    state_ = TrackState::NoteOnOff;
    (void)connectAll(); // cannot fail: the state was just set
    return ok;
}

MidiF1Data MidiF1Data::fromSong(const MidiF0Data& song) {
    MidiF1Data out(song.division(), song.capacity());
    for (int i = 0; i < 17; ++i)
        (void)out.addEmptyTrack(); // the index is i
    std::vector<int> lastTime(17, 0);
    int time = 0;
    for (const MusicEvent& e : song.track().events()) {
        time += e.delta;
        if (e.isEndOfTrack()) {
            for (int t = 0; t < 17; ++t) {
                (void)out.track(t).append(makeEndOfTrack(time - lastTime[t])); // a full track reports itself
                lastTime[t] = time;
            }
            continue;
        }
        int t = 0;
        if (e.kind == kMeta)
            t = 0;
        else if (e.kind == kSysEx || e.kind == kSysExEscape || e.channel == 0)
            t = 1;
        else if (e.channel >= 1 && e.channel <= 15)
            t = e.channel + 1;
        else
            t = 1;
        MusicEvent copy = e;
        copy.delta = time - lastTime[t];
        lastTime[t] = time;
        (void)out.track(t).append(std::move(copy)); // a full track reports itself
    }
    for (int t = 0; t < 17; ++t)
        ensureEndOfTrack(out.track(t), time - lastTime[t]);
    return out;
}

MidiF1Data MidiF1Data::fromTracks(const std::vector<const MidiTrackData*>& tracks, int division,
                                  int capacity) {
    MidiF1Data out(division, capacity);
    for (const MidiTrackData* t : tracks) {
        if (!t || out.trackCount() >= kMaxTracks) continue;
        auto copy = std::make_unique<MidiF1TrackData>(MidiTrackData::copyOf(*t, capacity / 2));
        out.tracks_.push_back(std::move(copy));
    }
    return out;
}

bool MidiF1Data::parseAll() {
    if (state_ != TrackState::Serialized) {
        reportError(ErrorClass::M1dt, errc::kF1Internal);
        return false;
    }
    const bool ok = loadImage();
    return ok;
}

bool MidiF1Data::connectAll() {
    if (state_ != TrackState::NoteOnOff) {
        reportError(ErrorClass::M1dt, errc::kF1Internal);
        return false;
    }
    for (auto& t : tracks_)
        (void)t->connectNotes(); // a track refused at reading reports itself
    state_ = TrackState::Connected;
    return true;
}

bool MidiF1Data::splitAll() {
    if (state_ != TrackState::Connected) {
        reportError(ErrorClass::M1dt, errc::kF1Internal);
        return false;
    }
    for (auto& t : tracks_)
        (void)t->splitNotes(); // a track refused at reading reports itself
    state_ = TrackState::NoteOnOff;
    return true;
}

bool MidiF1Data::serialize() {
    if (state_ != TrackState::NoteOnOff) {
        reportError(ErrorClass::M1dt, errc::kF1Internal);
        return false;
    }
    std::vector<std::uint8_t> image = midiHeader(1, trackCount(), division_);
    for (auto& t : tracks_) {
        ensureEndOfTrack(*t);
        if (!t->serialize("MTrk")) return false;
        // A song that does not fit is refused whole rather than cut short.
        if (static_cast<int>(image.size()) + t->chunk().used() >= capacity_) {
            reportError(ErrorClass::M1dt, errc::kF1DataTooLarge);
            return false;
        }
        image.insert(image.end(), t->chunk().byteVector().begin(), t->chunk().byteVector().end());
        t->chunk().clearBytes();
    }
    bytes_ = std::move(image);
    position_ = 0;
    state_ = TrackState::Serialized;
    return true;
}

bool MidiF1Data::save(const std::string& path) {
    MidiF1Data copy(division_, capacity_);
    for (const auto& t : tracks_)
        copy.tracks_.push_back(std::make_unique<MidiF1TrackData>(*t));
    copy.state_ = state_;
    if (copy.state_ == TrackState::Connected && !copy.splitAll()) return false;
    if (!copy.serialize()) return false;
    return copy.saveFile(path);
}

bool MidiF1Data::mergeInto(MidiF0Data& song) const {
    song.setDivision(division_);
    std::vector<const MidiTrackData*> sources;
    for (const auto& t : tracks_)
        sources.push_back(t.get());
    if (sources.empty()) {
        song.track().clear();
        ensureEndOfTrack(song.track());
        return false;
    }
    const bool ok = merge(song.track(), sources);
    song.track().setState(TrackState::Connected);
    return ok;
}

bool MidiF1Data::removeMeta(int type, bool all) {
    if (state_ != TrackState::Connected) {
        reportError(ErrorClass::M1dt, errc::kF1Internal);
        return false;
    }
    for (auto& t : tracks_)
        if (harmolin::removeMeta(*t, type, all)) return true;
    return false;
}

int MidiF1Data::masterVolume() const {
    int found = -1;
    for (const auto& t : tracks_) {
        const int v = harmolin::masterVolume(*t);
        if (v < 0) continue;
        if (found >= 0) {
            reportError(ErrorClass::M1dt, errc::kF1SeveralMasterVolumes);
            break;
        }
        found = v;
    }
    return found;
}

void MidiF1Data::ensureMasterVolume(bool report) {
    if (tracks_.empty()) return;
    for (const auto& t : tracks_)
        if (harmolin::masterVolume(*t) >= 0) return;
    if (report) reportError(ErrorClass::M1dt, errc::kF1NoMasterVolume);
    MidiF1TrackData* target = tracks_.front().get();
    for (const auto& t : tracks_) {
        if (firstChannel(*t) >= 0) {
            target = t.get();
            break;
        }
    }
    insertMasterVolume(*target, 127, 0);
}

bool MidiF1Data::repairNotes() {
    bool any = false;
    for (auto& t : tracks_) {
        for (auto& e : t->events()) {
            if (e.kind != kConnectedNote) continue;
            const bool bad = e.note < 0 || e.note > 127 || e.velocity < 0 || e.velocity > 127 ||
                             e.length < 0 || e.delta < 0;
            if (!bad) continue;
            e.note = std::clamp(e.note, 0, 127);
            e.velocity = std::clamp(e.velocity, 0, 127);
            if (e.length < 0 || e.delta < 0) e.velocity = 0;
            any = true;
            break;
        }
    }
    return any;
}

void MidiF1Data::gmSystemOnFirst() {
    for (auto& t : tracks_) {
        bool onlyMeta = true;
        for (const auto& e : t->events())
            if (e.kind != kMeta) onlyMeta = false;
        if (onlyMeta) continue;
        moveToFrontOfTick(*t, kSysEx, kSysExGmSystemOn);
        return;
    }
}

} // namespace harmolin
