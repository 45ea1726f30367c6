#include "playback/MidiSchedule.h"

#include "midi/MidiF0Data.h"
#include "midi/MidiF1Data.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <vector>

namespace harmolin {

namespace {
// Sung-part files grow well past an ordinary song (every syllable is a burst
// of control changes).
constexpr int kScheduleCapacity = 0x400000;

bool isFormat0(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::uint8_t head[128 + 14] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const int n = static_cast<int>(in.gcount());
    const int at = findMidiHeader(head, n);
    return at >= 0 && at + 10 <= n && head[at + 8] == 0 && head[at + 9] == 0;
}
} // namespace

double walkSongSeconds(const MidiF0Data& song,
                       const std::function<bool(double seconds, const MusicEvent& event)>& visit) {
    double seconds = 0.0;
    if (song.division() <= 0) return seconds;
    double secondsPerTick = kDefaultTempo / 1e6 / song.division();
    for (const MusicEvent& e : song.track().events()) {
        seconds += std::max(e.delta, 0) * secondsPerTick;
        if (!visit(seconds, e)) break;
        if (e.isMeta(kMetaTempo)) secondsPerTick = playableTempo(e.value) / 1e6 / song.division();
    }
    return seconds;
}

double songSeconds(const MidiF0Data& song) {
    return walkSongSeconds(song, [](double, const MusicEvent&) { return true; });
}

int playableTempo(int us) {
    if (us < 1000) return 1000000;
    return std::min(us, 6000000);
}

bool loadMidiSchedule(const std::string& path, MidiSchedule& out) {
    MidiF1Data file(480, kScheduleCapacity);
    MidiF0Data single(kScheduleCapacity);
    std::vector<const MidiTrackData*> tracks;
    int division = 0;
    if (isFormat0(path)) {
        if (!single.load(path)) return false;
        if (single.state() != TrackState::NoteOnOff && !single.split()) return false;
        tracks.push_back(&single.track());
        division = single.division();
    } else {
        if (!file.load(path) || !file.splitAll()) return false;
        for (int t = 0; t < file.trackCount(); ++t)
            tracks.push_back(&file.track(t));
        division = file.division();
    }
    if (division <= 0) return false;
    out = MidiSchedule{};
    out.division = division;

    struct Stamped {
        long long tick;
        int track;
        int index;
        const MusicEvent* event;
    };
    std::vector<Stamped> all;
    for (int t = 0; t < static_cast<int>(tracks.size()); ++t) {
        const auto& events = tracks[static_cast<std::size_t>(t)]->events();
        long long tick = 0;
        for (int i = 0; i < static_cast<int>(events.size()); ++i) {
            tick += std::max(events[static_cast<std::size_t>(i)].delta, 0);
            if (events[static_cast<std::size_t>(i)].kind == kDeleted) continue;
            all.push_back({tick, t, i, &events[static_cast<std::size_t>(i)]});
        }
    }
    // Same tick: the earlier track first (the tempo track leads), then file order.
    std::stable_sort(all.begin(), all.end(), [](const Stamped& a, const Stamped& b) {
        if (a.tick != b.tick) return a.tick < b.tick;
        return a.track < b.track;
    });

    // Seconds are accumulated per tempo segment so rounding never builds up.
    double segmentStart = 0.0;
    long long segmentTick = 0;
    double secondsPerTick = kDefaultTempo / 1e6 / out.division;
    auto secondsAt = [&](long long tick) { return segmentStart + (tick - segmentTick) * secondsPerTick; };
    for (const Stamped& s : all) {
        const MusicEvent& e = *s.event;
        const double seconds = secondsAt(s.tick);
        const auto sample = static_cast<std::int64_t>(std::llround(seconds * kRenderRate));
        out.lastSample = std::max(out.lastSample, sample);
        out.lastTick = std::max(out.lastTick, s.tick);
        if (e.isMeta(kMetaTempo)) {
            segmentStart = seconds;
            segmentTick = s.tick;
            secondsPerTick = playableTempo(e.value) / 1e6 / out.division;
            continue;
        }
        if (e.isChannelEvent() || e.kind == kSysEx || e.kind == kSysExEscape)
            out.events.push_back({sample, s.tick, e});
    }
    return true;
}

} // namespace harmolin
