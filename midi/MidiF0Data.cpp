#include "midi/MidiF0Data.h"

#include "base/ErrorCodes.h"
#include "midi/MidiF1Data.h"
#include "midi/MidiTrackEdit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace harmolin {
namespace {

constexpr int kMacHeader = 128;

int read16(const std::uint8_t* p) {
    return (p[0] << 8) | p[1];
}

void put16(std::vector<std::uint8_t>& out, int v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

} // namespace

int findMidiHeader(const std::uint8_t* bytes, int length) {
    if (length >= 14 && std::memcmp(bytes, "MThd", 4) == 0) return 0;
    if (length >= kMacHeader + 14 && std::memcmp(bytes + kMacHeader, "MThd", 4) == 0) return kMacHeader;
    return -1;
}

std::vector<std::uint8_t> midiHeader(int format, int tracks, int division) {
    std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    put16(out, format);
    put16(out, tracks);
    put16(out, division);
    return out;
}

MidiF0Data::MidiF0Data(int capacity)
    : ByteBuffer(capacity), track_(std::make_unique<MidiTrackData>(capacity, TrackState::Connected)) {
    reportOnce(ErrorClass::M0dt, 0);
}

MidiF0Data::MidiF0Data(const MidiF0Data& other)
    : ByteBuffer(other), division_(other.division_), timeSigOverride_(other.timeSigOverride_),
      track_(std::make_unique<MidiTrackData>(*other.track_)) {}

MidiF0Data& MidiF0Data::operator=(const MidiF0Data& other) {
    if (this == &other) return *this;
    ByteBuffer::operator=(other);
    division_ = other.division_;
    timeSigOverride_ = other.timeSigOverride_;
    track_ = std::make_unique<MidiTrackData>(*other.track_);
    return *this;
}

MidiF0Data::~MidiF0Data() = default;

MidiF0Data MidiF0Data::fromTrack(const MidiTrackData& track, int division, int capacity) {
    MidiF0Data song(capacity);
    *song.track_ = MidiTrackData::copyOf(track, capacity);
    song.division_ = division;
    return song;
}

bool MidiF0Data::checkHeader(bool report) {
    if (used() == 0) return false;
    const int at = findMidiHeader(bytes(), used());
    if (at < 0) {
        if (report) reportError(ErrorClass::M0dt, errc::kF0NotMidi);
        return false;
    }
    if (at == kMacHeader) bytes_.erase(bytes_.begin(), bytes_.begin() + kMacHeader);
    const std::uint8_t* b = bytes();
    if (read16(b + 8) != 0) {
        if (report) reportError(ErrorClass::M0dt, errc::kF0NotFormat0);
        return false;
    }
    if (read16(b + 10) != 1) {
        if (report) reportError(ErrorClass::M0dt, errc::kF0BadTrackCount);
        return false;
    }
    division_ = read16(b + 12);
    position_ = 14;
    return true;
}

bool MidiF0Data::load(const std::string& path) {
    reportOnce(ErrorClass::M0dt, 0);
    track_->clear();
    track_->setState(TrackState::Connected);
    if (!loadFile(path)) return false;
    return loadImage();
}

bool MidiF0Data::loadBytes(const std::uint8_t* data, int length) {
    reportOnce(ErrorClass::M0dt, 0);
    track_->clear();
    track_->setState(TrackState::Connected);
    if (!assign(data, length)) {
        reportError(ErrorClass::Gene, errc::kDataTooLarge);
        return false;
    }
    return loadImage();
}

bool MidiF0Data::loadImage() {
    if (checkHeader(false)) {
        // Timecode divisions are not musical time: refuse them.
        if (division_ <= 0 || division_ >= 0x8000) {
            reportError(ErrorClass::M0dt, errc::kF0BadMusic);
            division_ = 960;
            return false;
        }
        const bool ok = track_->parse(used(), 14, bytes());
        if (track_->state() == TrackState::NoteOnOff)
            (void)track_->connectNotes(); // keeps what was read; cannot fail: note-on/off just checked
        else
            track_->setState(TrackState::Connected);
        return ok;
    }
    MidiF1Data f1(960, capacity_);
    const bool ok = f1.fromMemory(bytes(), used(), false);
    if (f1.trackCount() == 0) return false;
    const bool merged = f1.mergeInto(*this);
    return ok && merged;
}

bool MidiF0Data::parse() {
    if (state() != TrackState::Serialized) {
        reportError(ErrorClass::M0dt, errc::kF0Internal);
        return false;
    }
    return track_->parse(used(), 14, bytes());
}

bool MidiF0Data::connect() {
    if (state() != TrackState::NoteOnOff) {
        reportError(ErrorClass::M0dt, errc::kF0Internal);
        return false;
    }
    return track_->connectNotes();
}

bool MidiF0Data::split() {
    if (state() != TrackState::Connected) {
        reportError(ErrorClass::M0dt, errc::kF0Internal);
        return false;
    }
    return track_->splitNotes();
}

bool MidiF0Data::serialize() {
    if (state() != TrackState::NoteOnOff) {
        reportError(ErrorClass::M0dt, errc::kF0Internal);
        if (state() == TrackState::Connected) (void)split(); // checked just below
        if (state() != TrackState::NoteOnOff) return false;
    }
    ensureEndOfTrack(*track_);
    if (!track_->serialize("MTrk")) return false;
    if (14 + track_->chunk().used() > capacity_) {
        reportError(ErrorClass::M0dt, errc::kF0BadMusic);
        // Read the chunk back so the song keeps its events and its state.
        const std::vector<std::uint8_t> chunk = track_->chunk().byteVector();
        (void)track_->parse(static_cast<int>(chunk.size()), 0, chunk.data()); // wrote it just now
        return false;
    }
    std::vector<std::uint8_t> image = midiHeader(0, 1, division_);
    image.insert(image.end(), track_->chunk().byteVector().begin(), track_->chunk().byteVector().end());
    bytes_ = std::move(image);
    position_ = 0;
    track_->chunk().clearBytes();
    return true;
}

bool MidiF0Data::save(const std::string& path) {
    // Serialize a copy so the song keeps its state and events untouched.
    MidiF0Data copy(*this);
    if (copy.state() == TrackState::Serialized) return saveFile(path);
    if (copy.state() == TrackState::Connected && !copy.split()) return false;
    if (!copy.serialize()) return false;
    return copy.saveFile(path);
}

bool MidiF0Data::rescale(int newDivision, bool dropShortNotes) {
    if (newDivision <= 0) {
        reportError(ErrorClass::M0dt, errc::kF0BadMusic);
        return false;
    }
    if (static_cast<long long>(totalLength(*track_)) * newDivision / std::max(1, division_) >
        MidiTrackData::kMaxTicks) {
        reportError(ErrorClass::M0dt, errc::kF0BadMusic);
        return false;
    }
    // False only for the same division (nothing to do); errors were checked above.
    (void)harmolin::rescale(*track_, division_, newDivision, dropShortNotes);
    division_ = newDivision;
    return true;
}

void MidiF0Data::removeChannel(int channel) {
    for (auto& e : track_->events())
        if (e.isChannelEvent() && e.channel == channel) e.kind = kDeleted;
    track_->compact();
}

bool MidiF0Data::usesChannel(int channel) const {
    if (state() != TrackState::Connected) {
        reportError(ErrorClass::M0dt, errc::kF0Internal);
        return false;
    }
    for (const auto& e : track_->events())
        if (e.isChannelEvent() && e.channel == channel) return true;
    return false;
}

int MidiF0Data::ticksPerMeasure() const {
    const int code = timeSigOverride_ != 0 ? timeSigOverride_ : firstTimeSignature(*track_);
    if (code == 0 || division_ == 0) return 384;
    const int numerator = code >> 8;
    const int denominator = code & 0xFF;
    if (numerator <= 0 || denominator <= 0) return 384;
    return static_cast<int>(4.0 / denominator * numerator * division_);
}

int MidiF0Data::skipLeadingEmptyMeasures() {
    if (state() != TrackState::NoteOnOff && state() != TrackState::Connected) {
        reportError(ErrorClass::M0dt, errc::kF0Internal);
        return 0;
    }
    const int perMeasure = ticksPerMeasure();
    int time = 0;
    int first = -1;
    for (const auto& e : track_->events()) {
        time += e.delta;
        if (e.kind == kConnectedNote || e.isNoteOn()) {
            first = time;
            break;
        }
    }
    if (first < 0 || perMeasure <= 0) return 0;
    const int cut = first / perMeasure * perMeasure;
    int left = cut;
    for (auto& e : track_->events()) {
        if (left == 0) break;
        const int take = std::min(left, e.delta);
        e.delta -= take;
        left -= take;
    }
    return cut;
}

} // namespace harmolin
