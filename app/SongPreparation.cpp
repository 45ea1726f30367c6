#include "app/SongPreparation.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "midi/MidiF1Data.h"
#include "midi/MidiTrackEdit.h"

#include <algorithm>

namespace harmolin {
namespace {

constexpr int kMelody = 0;    // channel 1
constexpr int kDrums = 9;     // channel 10
constexpr int kGuide = 10;    // channel 11
constexpr int kBeatNote = 35; // acoustic bass drum, played at velocity 1
constexpr int kVolume = 7;

} // namespace

void keepTopNotes(MidiTrackData& track) {
    const std::vector<int> times = absoluteTimes(track);
    auto& events = track.events();
    std::size_t i = 0;
    while (i < events.size()) {
        std::size_t j = i;
        int highest = -1;
        while (j < events.size() && times[j] == times[i]) {
            if (events[j].kind == kConnectedNote) highest = std::max(highest, events[j].note);
            ++j;
        }
        for (std::size_t k = i; k < j; ++k)
            if (events[k].kind == kConnectedNote && events[k].note < highest) events[k].kind = kDeleted;
        i = j;
    }
    track.compact();
}

bool prepareSongData(MidiF0Data& song, const PrepareOptions& options) {
    if (options.melodyChannel < 1 || options.melodyChannel > 16 || options.guideVolume < 0 ||
        options.guideVolume > 127)
        return false;
    if (song.state() != TrackState::Connected) return false;
    if (!song.rescale(kLyricDivision, false)) return false;
    const int melody = options.melodyChannel - 1;
    if (melody != kMelody) swapChannels(song.track(), kMelody, melody);
    const int songLength = totalLength(song.track());
    setControllerValue(song.track(), kVolume, options.guideVolume, kGuide);

    MidiF1Data parts = MidiF1Data::fromSong(song);
    int drumNotes = -1; // note-ons of the last drum track seen
    for (int t = 0; t < parts.trackCount(); ++t) {
        MidiF1TrackData& track = parts.track(t);
        const int channel = firstChannel(track);
        if (channel == kMelody) keepTopNotes(track);
        if (channel == kDrums) drumNotes = noteCount(track);
    }
    if (drumNotes <= 0) {
        // A beat the dancing figure can follow when the song has no drums.
        const int t = parts.addEmptyTrack();
        if (t >= 0) {
            MidiF1TrackData& beat = parts.track(t);
            int previous = 0;
            for (int tick = kLyricDivision;; tick += kLyricDivision) {
                if (beat.count() >= MidiTrackData::kMaxEvents) { // a song too long to beat through
                    reportError(ErrorClass::Mdtk, errc::kTrackTooLarge);
                    return false;
                }
                addNote(beat, kDrums, tick - previous, kBeatNote, 1, 1);
                previous = tick;
                if (tick >= songLength) break;
            }
            ensureEndOfTrack(beat, 1);
        }
    }
    return parts.mergeInto(song);
}

bool prepareSong(const std::string& inputPath, const PrepareOptions& options, const std::string& outputPath) {
    MidiF0Data song;
    if (!song.load(inputPath)) return false;
    if (!prepareSongData(song, options)) return false;
    return song.save(outputPath);
}

} // namespace harmolin
