#include "midi/XfData.h"

#include "base/ErrorCodes.h"
#include "base/TextCodec.h"
#include "midi/MidiF1Data.h"
#include "midi/MidiTrackEdit.h"

#include <cstring>

namespace harmolin {
namespace {

std::uint32_t read32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

int read16(const std::uint8_t* p) {
    return (p[0] << 8) | p[1];
}

// The information chunk the program writes: one "XFln:" text and an end.
std::vector<std::uint8_t> defaultHeaderChunk() {
    return {'X',  'F', 'I', 'H', 0,   0,   0,    13,   0x00, 0xFF, 0x01,
            0x05, 'X', 'F', 'l', 'n', ':', 0x00, 0xFF, 0x2F, 0x00};
}

bool chunkAt(const std::vector<std::uint8_t>& b, int pos, const char* name) {
    return pos >= 0 && pos + 8 <= static_cast<int>(b.size()) && std::memcmp(b.data() + pos, name, 4) == 0;
}

const std::uint8_t kResets[3][12] = {
    {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
    {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},
    {0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
};
const int kResetSizes[3] = {7, 12, 10};
const std::uint8_t kFullMasterVolume[9] = {0xF0, 0x07, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F, 0xF7};

bool sameBytes(const MusicEvent& e, const std::uint8_t* bytes, int size) {
    return e.size() == size && std::memcmp(e.data.data(), bytes, static_cast<std::size_t>(size)) == 0;
}

} // namespace

CXfData::CXfData() : MidiF0Data(kSongCapacity), karaoke_(kSongCapacity) {}

CXfData::CXfData(const MidiTrackData& songTrack, MidiTrackData karaokeTrack, int division)
    : MidiF0Data(kSongCapacity), header_(defaultHeaderChunk()), karaoke_(std::move(karaokeTrack)) {
    *track_ = MidiTrackData::copyOf(songTrack, kSongCapacity);
    division_ = division;
}

bool CXfData::load(const std::string& path, int pauseMs, int* result) {
    track_->clear();
    track_->setState(TrackState::Connected);
    division_ = 960;
    header_.clear();
    karaoke_ = MidiTrackData(kSongCapacity);
    if (!loadFile(path)) {
        if (result) *result = 0;
        return false;
    }
    return loadXfImage(pauseMs, result);
}

bool CXfData::loadBytes(const std::uint8_t* data, int length, int pauseMs, int* result) {
    track_->clear();
    track_->setState(TrackState::Connected);
    division_ = 960;
    header_.clear();
    karaoke_ = MidiTrackData(kSongCapacity);
    if (!assign(data, length)) {
        reportError(ErrorClass::Gene, errc::kDataTooLarge);
        if (result) *result = 0;
        return false;
    }
    return loadXfImage(pauseMs, result);
}

bool CXfData::loadXfImage(int pauseMs, int* result) {
    pause_ = pauseMs;
    if (used() == 0) {
        if (result) *result = 0;
        return false;
    }
    if (result) *result = 1;
    auto notXf = [&]() {
        if (result)
            *result = 0;
        else
            reportError(ErrorClass::Xfdt, errc::kXfNotXf);
    };
    const int at = findMidiHeader(bytes(), used());
    if (at < 0 || read16(bytes() + at + 8) != 0) {
        if (!result) {
            reportError(ErrorClass::Xfdt, errc::kXfNotXf);
            return false;
        }
        // Convert a format-1 song to format 0 before looking for XF chunks.
        MidiF1Data f1(960, capacity_);
        if (!f1.fromMemory(bytes(), used(), true) || f1.trackCount() == 0) {
            *result = 0;
            return false;
        }
        MidiF0Data merged(capacity_);
        if (!f1.mergeInto(merged) || !merged.split() || !merged.serialize()) {
            *result = 0;
            return false;
        }
        bytes_ = merged.byteVector();
    }
    if (!checkHeader(true)) {
        if (result) *result = 0;
        return false;
    }
    if (division_ <= 0 || division_ >= 0x8000) {
        reportError(ErrorClass::M0dt, errc::kF0BadMusic);
        division_ = 960;
        if (result) *result = 0;
        return false;
    }
    int pos = position_;
    if (!chunkAt(bytes_, pos, "MTrk")) {
        notXf();
        return false;
    }
    if (!track_->parse(used(), pos, bytes(), pauseMs)) {
        if (track_->state() == TrackState::NoteOnOff)
            (void)track_->connectNotes(); // cannot fail: the state was just checked
        else
            track_->setState(TrackState::Connected);
        if (result) *result = 0;
        return false;
    }
    (void)track_->connectNotes(); // cannot fail: the track was just parsed
    pos += 8 + static_cast<int>(read32(bytes() + pos + 4));
    if (!chunkAt(bytes_, pos, "XFIH")) {
        notXf();
        return result != nullptr;
    }
    const std::uint64_t headerEnd = std::uint64_t(pos) + 8 + read32(bytes() + pos + 4);
    if (headerEnd > std::uint64_t(used())) {
        reportError(ErrorClass::Mdtk, errc::kTrackInternal);
        if (result) *result = 0;
        return false;
    }
    header_.assign(bytes_.begin() + pos, bytes_.begin() + static_cast<long>(headerEnd));
    pos = static_cast<int>(headerEnd);
    if (!chunkAt(bytes_, pos, "XFKM")) {
        header_.clear();
        notXf();
        return result != nullptr;
    }
    if (!karaoke_.parse(used(), pos, bytes(), pauseMs)) {
        if (result) *result = 0;
        return false;
    }
    return true;
}

bool CXfData::image(std::vector<std::uint8_t>& out) {
    if (!masterVolumeAfterReset(false)) reportError(ErrorClass::Xfdt, errc::kXfNoMasterVolumeAfterReset);
    // Work on copies so the song and its lyrics keep their state.
    MidiTrackData song = *track_;
    if (song.state() == TrackState::Connected && !song.splitNotes()) return false;
    ensureEndOfTrack(song);
    if (song.state() != TrackState::NoteOnOff || !song.serialize("MTrk", false)) {
        reportError(ErrorClass::Xfdt, errc::kXfInternal);
        return false;
    }
    MidiTrackData lyrics = karaoke_;
    if (lyrics.state() == TrackState::Empty) lyrics.setState(TrackState::NoteOnOff);
    if (lyrics.state() != TrackState::NoteOnOff) {
        reportError(ErrorClass::Xfdt, errc::kXfInternal);
        return false;
    }
    ensureEndOfTrack(lyrics);
    if (!lyrics.serialize("XFKM", false)) {
        reportError(ErrorClass::Xfdt, errc::kXfInternal);
        return false;
    }
    const std::vector<std::uint8_t> info = header_.empty() ? defaultHeaderChunk() : header_;
    out = midiHeader(0, 1, division_);
    out.insert(out.end(), song.chunk().byteVector().begin(), song.chunk().byteVector().end());
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), lyrics.chunk().byteVector().begin(), lyrics.chunk().byteVector().end());
    if (static_cast<int>(out.size()) > capacity_) {
        reportError(ErrorClass::M0dt, errc::kF0BadMusic);
        return false;
    }
    return true;
}

bool CXfData::save(const std::string& path) {
    std::vector<std::uint8_t> out;
    if (!image(out)) return false;
    if (!writeFileAtomically(path, out.data(), out.size())) {
        reportNotice(path);
        reportError(ErrorClass::Gene, errc::kCannotOpenFile);
        return false;
    }
    return true;
}

void CXfData::removeRuby() {
    for (auto& e : karaoke_.events()) {
        if (!e.isMeta(kMetaLyric)) continue;
        std::vector<std::uint8_t> out;
        std::size_t lastStart = std::string::npos; // where the last kept character begins
        const std::string text = e.text();
        for (std::size_t i = 0; i < text.size();) {
            const auto c = static_cast<std::uint8_t>(text[i]);
            const std::size_t width = isCp932LeadByte(c) && i + 1 < text.size() ? 2 : 1;
            if (width == 1 && c == '[') {
                if (lastStart != std::string::npos) out.resize(lastStart);
                lastStart = std::string::npos;
            } else if (width == 1 && c == ']') {
                // dropped
            } else {
                lastStart = out.size();
                out.insert(out.end(), text.begin() + static_cast<long>(i),
                           text.begin() + static_cast<long>(i + width));
            }
            i += width;
        }
        if (out.empty()) out.push_back(0);
        e.data = std::move(out);
    }
}

bool CXfData::masterVolumeAfterReset(bool insert) {
    MidiTrackData& t = *track_;
    bool set = false;
    int lastReset = -1;
    bool ok = true;
    for (int i = 0; i < t.count(); ++i) {
        const MusicEvent& e = t.event(i);
        if (e.kind == kSysEx) {
            for (int r = 0; r < 3; ++r) {
                if (sameBytes(e, kResets[r], kResetSizes[r])) {
                    set = false;
                    lastReset = i;
                }
            }
            if (sameBytes(e, kFullMasterVolume, 9)) set = true;
            continue;
        }
        if (!(e.kind == kConnectedNote || e.isNoteOn()) || set) continue;
        if (!insert) return false;
        insertMasterVolume(t, 127, lastReset + 1);
        set = true;
        ok = false;
        ++i; // step over the inserted message
    }
    return ok;
}

} // namespace harmolin
