#include "engine/accompaniment/SongAssembly.h"

#include "engine/ComposeLoop.h"
#include "engine/EngineErrors.h"
#include "engine/Melody.h"
#include "engine/accompaniment/Accompaniment.h"
#include "engine/accompaniment/PartSetup.h"
#include "midi/MidiF0Data.h"
#include "midi/MidiTrackEdit.h"

#include <algorithm>
#include <cstdlib>

namespace harmolin {
namespace {

constexpr int kLineVelocity = 100;

// A part's line for every block, laid out in playing order; starts receives
// where the key-change blocks begin.
EventList assembleLine(CompositionState& state, const std::vector<EventList>& perBlock,
                       std::array<int, 2>& starts) {
    EventList line;
    starts = {0, 0};
    const auto& sequence = state.tune.sequence;
    for (std::size_t p = 0; p < sequence.size(); ++p) {
        for (int k = 0; k < 2; ++k)
            if (static_cast<int>(p) == state.modulation[k].sequencePosition) starts[k] = line.count();
        const int number = sequence[p];
        if (number < 1 || number > static_cast<int>(perBlock.size())) continue;
        for (const EngineEvent& e : perBlock[static_cast<std::size_t>(number - 1)])
            line.appendCopy(e);
    }
    return line;
}

// Follows the song's key changes as the melody does.
void followKeyChanges(CompositionState& state, EventList& line, const std::array<int, 2>& starts) {
    if (state.style.keyChange != 1) return;
    const int s1 = state.modulation[0].shift;
    const int s2 = state.modulation[1].shift;
    if (starts[0] != 0 && state.modulation[0].chordIndex != -1) {
        const bool down = s1 + s2 > 12 && s1 < s2;
        const int times = down ? 12 - s1 : s1;
        for (int t = 0; t < times; ++t)
            for (int i = starts[0]; i < line.count(); ++i)
                down ? lowerMelodyEvent(state, line[i]) : raiseMelodyEvent(state, line[i]);
    }
    if (starts[1] != 0 && state.modulation[1].chordIndex != -1)
        for (int t = 0; t < s2; ++t)
            for (int i = starts[1]; i < line.count(); ++i)
                raiseMelodyEvent(state, line[i]);
}

void addFurtherLine(CompositionState& state, int part, std::vector<MidiTrackData>& tracks) {
    if (state.style.programs[part] == kNoProgram) return;
    if (part == kPartLineB && state.style.sectionCopyMode == 6)
        state.style.sectionB() = state.style.sectionA();
    std::vector<EventList> perBlock(static_cast<std::size_t>(std::max(0, state.tune.blockCount)));
    composeLine(state, part, perBlock);
    std::array<int, 2> starts{};
    EventList line = assembleLine(state, perBlock, starts);
    followKeyChanges(state, line, starts);
    tracks.push_back(buildLineTrack(state, part, line));
}

// Notes outside the MIDI range are repaired; false when any was found.
bool checkSong(MidiTrackData& song) {
    bool ok = true;
    for (auto& e : song.events()) {
        if (e.kind != kConnectedNote) continue;
        if (e.note < 0 || e.note > 127 || e.velocity < 0 || e.velocity > 127 || e.length < 0) {
            ok = false;
            e.note = std::clamp(e.note, 0, 127);
            e.velocity = std::clamp(e.velocity, 0, 127);
            e.length = std::max(e.length, 0);
        }
    }
    return ok;
}

} // namespace

MidiTrackData buildConductorTrack(CompositionState& state) {
    const StyleRecord& s = state.style;
    MidiTrackData track = newPartTrack();
    // The reset comes first, before any part sets its instrument.
    if (engine::kOutputVariant == 0)
        addXgSystemOn(track);
    else if (engine::kOutputVariant == 1)
        addGsReset(track);
    else
        addGmSystemOn(track);
    insertMasterVolume(track, 127, track.count());
    const int numerator = s.meter == 0 ? 4 : s.meter == 1 ? 3 : 7;
    const int power = s.meter == 2 ? 3 : 2;
    addTimeSignature(track, numerator, power);
    int tonic = ((s.scaleShift % 12) + 12) % 12;
    addKeySignature(track, tonic, s.keyVariant == 2);
    addTempo(track, s.tempo > 0 ? s.tempo : kDefaultTempo);
    // Where the song changes key the new key is signed, so that readers
    // and notation show the key the song is in.
    int at = 0;
    for (const Modulation& m : state.modulation) {
        if (m.applied == 0 || m.chordIndex < 0) continue;
        int tick = state.leadIn();
        for (int c = 0; c < m.chordIndex && c < static_cast<int>(state.tune.songChords.size()); ++c)
            tick += state.tune.songChords[static_cast<std::size_t>(c)].length;
        tonic = (tonic + m.applied + 24) % 12;
        addKeySignature(track, tonic, s.keyVariant == 2, std::max(0, tick - at));
        at = std::max(at, tick);
    }
    return track;
}

MidiTrackData buildLineTrack(CompositionState& state, int part, const EventList& line, int velocityOffset) {
    MidiTrackData track = newPartTrack();
    writePartHeader(state, track, part, resolveProgram(state, state.style.programs[part], part));
    const int velocity = std::clamp(kLineVelocity + velocityOffset, 0, 127);
    int pending = state.leadIn();
    for (const EngineEvent& e : line) {
        if (e.kind != kEngineNote) continue;
        if (e.value > 0) {
            addEngineNote(track, part, pending, e.value, velocity, e.length);
            pending = 0;
        }
        pending += e.length;
    }
    if (part < static_cast<int>(state.style.octaveShift.size()) && state.style.octaveShift[part] != 0)
        transpose(track, part, 12 * state.style.octaveShift[part]);
    ensureEndOfTrack(track, pending);
    return track;
}

void filterClashes(MidiTrackData& song, int partA, int partB) {
    struct Sounding {
        int start;
        int end;
        int note;
    };
    const std::vector<int> times = absoluteTimes(song);
    std::vector<Sounding> soundingA;
    for (int i = 0; i < song.count(); ++i) {
        const MusicEvent& e = song.event(i);
        if (e.kind == kConnectedNote && e.channel == partA && e.velocity > 0)
            soundingA.push_back({times[i], times[i] + e.length, e.note});
    }
    bool removed = false;
    for (int i = 0; i < song.count(); ++i) {
        MusicEvent& e = song.event(i);
        if (e.kind != kConnectedNote || e.channel != partB || e.velocity == 0) continue;
        for (const Sounding& a : soundingA) {
            if (a.start > times[i] || a.end <= times[i]) continue;
            const int distance = std::abs(a.note - e.note);
            if (distance == 11 || distance == 13) {
                e.kind = kDeleted;
                removed = true;
                break;
            }
        }
    }
    if (removed) song.compact();
}

void assembleSong(CompositionState& state, std::vector<std::uint8_t>& out, const std::string& title,
                  const std::string& notice) {
    StyleRecord& s = state.style;
    std::vector<MidiTrackData> tracks;
    tracks.push_back(buildConductorTrack(state));

    MidiTrackData melody = buildLineTrack(state, kPartMelody, state.tune.melodyTrack);
    if (s.mixer[kPartMelody][kMixDoubling] != 0)
        tracks.push_back(makeDoubledCopy(state, melody, kPartMelody));
    tracks.push_back(std::move(melody));

    if (s.sectionA()[kMelSecondMelody] != 0 && s.programs[kPartSecondMelody] != kNoProgram)
        tracks.push_back(buildLineTrack(state, kPartSecondMelody, state.tune.secondMelodyTrack, -25));

    buildAccompanimentPart(state, kPartHarmony, s.part3Pattern, s.patternParams[kPartHarmony], tracks);
    buildAccompanimentPart(state, kPartAccompaniment2, s.part7Pattern, s.patternParams[kPartAccompaniment2],
                           tracks);
    addFurtherLine(state, kPartLineB, tracks);
    addFurtherLine(state, kPartLineC, tracks);
    writeBassTrack(state, tracks);
    buildDrumPart(state, tracks);
    buildPartEight(state, tracks);
    if (s.programs[kPartMelodyLast] != kNoProgram)
        tracks.push_back(buildLineTrack(state, kPartMelodyLast, state.tune.melodyTrack));

    std::vector<const MidiTrackData*> sources;
    for (auto& t : tracks) {
        t.setState(TrackState::Connected);
        sources.push_back(&t);
    }
    MidiTrackData song(kSongCapacity, TrackState::Connected);
    (void)merge(song, sources); // a failed merge is reported; the data check below sees the rest

    if (s.sectionA()[kMelDissonance] == 10) {
        filterClashes(song, kPartMelody, kPartSecondMelody);
        filterClashes(song, kPartMelody, kPartLineB);
        filterClashes(song, kPartSecondMelody, kPartLineB);
        if (s.part7Pattern == 13) {
            filterClashes(song, kPartMelody, kPartAccompaniment2);
            filterClashes(song, kPartSecondMelody, kPartAccompaniment2);
            filterClashes(song, kPartLineB, kPartAccompaniment2);
        }
    }
    if (!checkSong(song)) reportEngineError(engine_error::kDataCheck);
    if (!title.empty()) addTextAtStart(song, kMetaTrackName, title);
    if (!notice.empty()) addTextAtStart(song, kMetaCopyright, notice);
    ensureEndOfTrack(song);

    MidiF0Data file = MidiF0Data::fromTrack(song, engine::kDivision);
    if (state.outputMode != 2 && state.writeFile && !state.outputPath.empty())
        (void)file.save(state.outputPath); // a failed save is reported; the tune is still returned
    MidiF0Data image(file);
    if (image.split() && image.serialize()) out = image.byteVector();
}

} // namespace harmolin
