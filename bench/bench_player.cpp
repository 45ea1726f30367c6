// Timing of the real-time player: plays a dense song (or a MIDI file given as
// the argument) through a port that only counts, while another thread keeps
// a core busy, and prints how late events went out and how long the song took
// against its length from the tempo map.
//
//   bench_player [FILE.mid] [--seconds N]
#include "midi/MidiF0Data.h"
#include "playback/MidiPlayer.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace harmolin;
using Clock = std::chrono::steady_clock;

namespace {

class NullPort final : public MidiOutPort {
  public:
    explicit NullPort(std::atomic<long>& count) : count_(count) {}
    std::string name() const override { return "null"; }
    void shortMessage(std::uint8_t, std::uint8_t, std::uint8_t) override { count_.fetch_add(1); }
    bool longMessage(const std::uint8_t*, int) override {
        count_.fetch_add(1);
        return true;
    }
    bool reset() override { return true; }

  private:
    std::atomic<long>& count_;
};

class BenchSong : public MidiF0Data {
  public:
    explicit BenchSong(int division) {
        division_ = division;
        track_->setState(TrackState::NoteOnOff);
    }
};

// A 16th-note texture on four channels at 180 to 230 bpm, changing tempo every
// two bars: an event every few milliseconds.
void fillSynthetic(MidiF0Data& song, double seconds) {
    auto& events = song.track().events();
    events.push_back(makeTempo(0, 300000));
    for (int ch = 0; ch < 4; ++ch)
        events.push_back(makeChannelEvent(kProgramChange, ch, ch * 8, 0));
    const int step = 6; // a 64th note at 96 ticks per quarter
    double elapsed = 0;
    int tempo = 300000;
    int pending = 0;
    for (int n = 0; elapsed < seconds; ++n) {
        if (n > 0 && n % 128 == 0) {
            tempo = 60000000 / (180 + (n / 128 * 17) % 51);
            events.push_back(makeTempo(pending, tempo));
            pending = 0;
        }
        const int ch = n % 4;
        const int key = 48 + (n * 7) % 36;
        events.push_back(makeChannelEvent(kNoteOn, ch, key, 90, pending));
        events.push_back(makeChannelEvent(kNoteOff, (ch + 3) % 4, 48 + ((n - 1) * 7 + 36) % 36, 0, 0));
        if (n % 16 == 0) events.push_back(makeChannelEvent(kControlChange, ch, 11, 64 + n % 64, 0));
        pending = step;
        elapsed += step * (tempo / 1e6) / 96;
    }
    events.push_back(makeEndOfTrack(pending));
}

// The song's length from its first note to its last event, from the tempo map.
double expectedSeconds(const MidiF0Data& song, int firstNote) {
    const auto& events = song.track().events();
    double seconds = 0;
    double tempo = 250000; // until the song's first tempo
    for (int i = 0; i < static_cast<int>(events.size()); ++i) {
        const auto& e = events[static_cast<std::size_t>(i)];
        if (i > firstNote) seconds += std::max(e.delta, 0) * tempo / 1e6 / song.division();
        if (e.isMeta(kMetaTempo)) tempo = std::clamp(e.value < 1000 ? 1000000 : e.value, 1000, 6000000);
    }
    return seconds;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(at, v.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    std::string path;
    double seconds = 20;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else
            path = argv[i];
    }

    std::unique_ptr<MidiF0Data> song;
    if (path.empty()) {
        song = std::make_unique<BenchSong>(96);
        fillSynthetic(*song, seconds);
    } else {
        song = std::make_unique<MidiF0Data>();
        if (!song->load(path) || !song->split()) {
            std::fprintf(stderr, "bench_player: cannot read %s\n", path.c_str());
            return 1;
        }
    }
    int firstNote = -1;
    for (int i = 0; i < song->track().count() && firstNote < 0; ++i)
        if (song->track().event(i).isNoteOn()) firstNote = i;
    if (firstNote < 0) {
        std::fprintf(stderr, "bench_player: the song has no notes\n");
        return 1;
    }

    std::atomic<long> messages{0};
    setMidiPortOpener([&](int, std::string&) { return std::make_unique<NullPort>(messages); });

    std::atomic<bool> done{false};
    std::thread busy([&] {
        volatile unsigned long x = 1;
        while (!done.load(std::memory_order_relaxed))
            x = x * 6364136223846793005ul + 1442695040888963407ul;
    });

    MidiPlayer player;
    player.setPreludeGap(std::chrono::milliseconds(0));
    player.recordTiming(true);
    if (!player.start(song.get(), -1)) {
        done = true;
        busy.join();
        return 1;
    }
    while (player.waitWhilePlaying(std::chrono::seconds(1))) {
    }
    player.close();
    const long sent = messages.load();

    // How soon a stop takes: a second run stopped while it waits for events.
    double stopUs = 0;
    {
        MidiPlayer again;
        again.setPreludeGap(std::chrono::milliseconds(0));
        if (again.start(song.get(), -1)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const auto asked = Clock::now();
            again.requestStop();
            while (again.waitWhilePlaying(std::chrono::seconds(1))) {
            }
            stopUs = std::chrono::duration<double, std::micro>(Clock::now() - asked).count();
        }
    }
    done = true;
    busy.join();

    const auto& timing = player.timing();
    std::vector<double> lateUs;
    for (std::size_t i = static_cast<std::size_t>(firstNote); i < timing.size(); ++i)
        lateUs.push_back(std::chrono::duration<double, std::micro>(timing[i].sent - timing[i].due).count());
    const auto first = timing[static_cast<std::size_t>(firstNote)];
    const double measured = std::chrono::duration<double>(timing.back().sent - first.due).count();
    const double expected = expectedSeconds(*song, firstNote);

    std::printf("events            %zu (%ld messages)\n", lateUs.size(), sent);
    std::printf("lateness p50      %.1f us\n", percentile(lateUs, 0.50));
    std::printf("lateness p99      %.1f us\n", percentile(lateUs, 0.99));
    std::printf("lateness max      %.1f us\n",
                lateUs.empty() ? 0.0 : *std::max_element(lateUs.begin(), lateUs.end()));
    std::printf("duration          %.6f s measured, %.6f s expected\n", measured, expected);
    std::printf("duration ratio    %.6f\n", expected > 0 ? measured / expected : 0.0);
    std::printf("stop latency      %.1f us\n", stopUs);
    return 0;
}
