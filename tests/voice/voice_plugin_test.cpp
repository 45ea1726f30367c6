// The singing plug-in loaded from its file, as the program's host loads it,
// singing the sung part our sequence writer makes; pitch measured by aubio,
// formants by praat.
#include "midi/MidiTrackEdit.h"
#include "tests/voice/VoiceHost.h"

#include "lyrics/PhonemeTable.h"
#include "lyrics/VocaloidWriter.h"
#include "midi/MidiF1Data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

using voicetest::PluginHost;
using voicetest::TimedMidi;

constexpr double kRate = 44100.0;
constexpr int kTempo = 600000; // 100 beats a minute: a quarter lasts 600 ms
constexpr int kQuarter = 480;
constexpr long long kLeadIn = 4410; // 100 ms of silence before the first note

struct Sung {
    std::vector<TimedMidi> messages;
    std::vector<long long> starts; // frame of each note
    std::vector<int> notes;
    long long frames = 0;
};

std::string tempDir() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("harmolin-voice-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

// Writes the sung part of these syllables (one quarter note each) with our
// writer, reads the voice track back from the file and turns its messages
// into timed MIDI for the plug-in.
Sung sungPart(const std::vector<std::pair<std::string, int>>& syllables, int mode, const std::string& name) {
    using namespace harmolin;
    MidiTrackData source(kSongCapacity, TrackState::Connected);
    addTempo(source, kTempo);
    ensureEndOfTrack(source);
    std::vector<SyllableRecord> list;
    int tick = 0;
    for (const auto& [kana, note] : syllables) {
        const PhonemeLookup lookup = kanaToPhonemes(kana);
        list.push_back(SyllableRecord{tick, note, kQuarter, kana, lookup.symbols, lookup.consonant});
        tick += kQuarter;
    }
    list.push_back(SyllableRecord{tick, -1, 0, "", "", 0});
    CVocaloidFileWriter writer(source, list, 0, 0, "Harmolin Voice", 0, 0, mode, kQuarter);
    const std::string path = tempDir() + "/" + name + ".mid";
    EXPECT_TRUE(writer.save(path));

    MidiF1Data file(kQuarter);
    EXPECT_TRUE(file.load(path));
    Sung sung;
    if (file.trackCount() < 2) return sung;
    const double framesPerTick = kTempo * 1e-6 / kQuarter * kRate;
    const MidiTrackData& voice = file.track(1);
    const std::vector<int> times = absoluteTimes(voice);
    for (int i = 0; i < voice.count(); ++i) {
        const MusicEvent& e = voice.event(i);
        const long long frame = kLeadIn + std::llround(times[static_cast<std::size_t>(i)] * framesPerTick);
        const auto ch = static_cast<std::uint8_t>(e.channel & 0x0F);
        if (e.kind == kControlChange) {
            sung.messages.push_back({frame,
                                     {static_cast<std::uint8_t>(0xB0 | ch), static_cast<std::uint8_t>(e.type),
                                      static_cast<std::uint8_t>(e.value)}});
        } else if (e.kind == kProgramChange) {
            sung.messages.push_back(
                {frame, {static_cast<std::uint8_t>(0xC0 | ch), static_cast<std::uint8_t>(e.value), 0}});
        } else if (e.kind == kConnectedNote || e.isNoteOn()) {
            sung.messages.push_back({frame,
                                     {static_cast<std::uint8_t>(0x90 | ch), static_cast<std::uint8_t>(e.note),
                                      static_cast<std::uint8_t>(e.velocity)}});
            if (e.kind == kConnectedNote)
                sung.messages.push_back(
                    {frame + std::llround(e.length * framesPerTick),
                     {static_cast<std::uint8_t>(0x80 | ch), static_cast<std::uint8_t>(e.note), 0}});
        } else if (e.isNoteOff()) {
            sung.messages.push_back(
                {frame, {static_cast<std::uint8_t>(0x80 | ch), static_cast<std::uint8_t>(e.note), 0}});
        }
    }
    std::stable_sort(sung.messages.begin(), sung.messages.end(),
                     [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });
    for (std::size_t i = 0; i < syllables.size(); ++i) {
        sung.starts.push_back(kLeadIn + std::llround(static_cast<double>(i) * kQuarter * framesPerTick));
        sung.notes.push_back(syllables[i].second);
    }
    sung.frames = kLeadIn + std::llround(static_cast<double>(tick) * framesPerTick) + 22050;
    return sung;
}

// Sings the part; the plug-in's declared look-ahead moves every note (and
// so the expected starts) later by the same amount.
std::vector<float> sing(Sung& sung) {
    PluginHost host(VOICE_PLUGIN_PATH);
    EXPECT_TRUE(host.loaded());
    host.start();
    const int delay = host.effect()->initialDelay;
    for (long long& start : sung.starts)
        start += delay;
    return host.render(sung.messages, sung.frames + delay);
}

const std::vector<std::pair<std::string, int>> kVowels{
    {"\x82\xa0", 60}, {"\x82\xa2", 62}, {"\x82\xa4", 64}, {"\x82\xa6", 65}, {"\x82\xa8", 67}}; // あいうえお

double medianOf(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void expectSafe(const std::vector<float>& samples) {
    ASSERT_FALSE(samples.empty());
    float peak = 0;
    for (float s : samples) {
        ASSERT_TRUE(std::isfinite(s));
        peak = std::max(peak, std::fabs(s));
    }
    EXPECT_LT(peak, 1.0f);
    EXPECT_GT(peak, 0.05f) << "the voice is (nearly) silent";
}

// Each note's steady part (after the onset and glide, before the release) is
// measured by aubio and must lie within 10 cents of the note.
void expectPitches(const Sung& sung, const std::string& wav) {
    const auto track = voicetest::aubioPitch(wav);
    ASSERT_FALSE(track.empty()) << "aubiopitch gave nothing";
    for (std::size_t i = 0; i < sung.starts.size(); ++i) {
        const double from = sung.starts[i] / kRate + 0.12, to = sung.starts[i] / kRate + 0.52;
        std::vector<double> hz;
        for (const auto& [t, f] : track)
            if (t >= from && t <= to && f > 50) hz.push_back(f);
        ASSERT_GT(hz.size(), 10u) << "note " << i;
        const double expected = 440.0 * std::pow(2.0, (sung.notes[i] - 69) / 12.0);
        const double cents = 1200.0 * std::log2(medianOf(hz) / expected);
        std::printf("note %d: median %.2f Hz, %+.1f cents\n", sung.notes[i], medianOf(hz), cents);
        EXPECT_LE(std::fabs(cents), 10.0) << "note " << sung.notes[i];
    }
}

// No jump between neighbouring samples near a note's start or end is much
// larger than the largest jump inside the notes' steady parts.
void expectNoClicks(const Sung& sung, const std::vector<float>& s) {
    float steady = 0;
    for (long long start : sung.starts)
        for (long long i = start + 6615; i < start + 22050 && i + 1 < static_cast<long long>(s.size()); ++i)
            steady = std::max(steady,
                              std::fabs(s[static_cast<std::size_t>(i + 1)] - s[static_cast<std::size_t>(i)]));
    std::vector<long long> joins = sung.starts;
    joins.push_back(sung.starts.back() + (sung.starts.size() > 1 ? sung.starts[1] - sung.starts[0] : 26460));
    for (long long j : joins) {
        float worst = 0;
        for (long long i = std::max(0LL, j - 441); i < j + 441 && i + 1 < static_cast<long long>(s.size());
             ++i)
            worst = std::max(worst,
                             std::fabs(s[static_cast<std::size_t>(i + 1)] - s[static_cast<std::size_t>(i)]));
        EXPECT_LE(worst, 1.5f * steady) << "jump at frame " << j;
    }
}

TEST(VoicePlugin, RecordAndDispatcher) {
    PluginHost host(VOICE_PLUGIN_PATH);
    ASSERT_TRUE(host.loaded());
    auto* e = host.effect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_TRUE(e->flags & (1 << 8)) << "is a synth";
    EXPECT_TRUE(e->flags & (1 << 4)) << "can replace";
    EXPECT_EQ(e->numInputs, 0);
    EXPECT_EQ(e->numOutputs, 1);
    EXPECT_NE(e->processReplacing, nullptr);
    host.start();
    char text[64];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(host.dispatch(48, 0, 0, text), 1);
    EXPECT_STREQ(text, "harmolin-voice");
    std::memset(text, 'x', sizeof text);
    host.dispatch(47, 0, 0, text);
    EXPECT_LT(std::strlen(text), 64u);
    EXPECT_EQ(host.dispatch(51, 0, 0, const_cast<char*>("receiveVstEvents")), 1);
    EXPECT_EQ(host.dispatch(51, 0, 0, const_cast<char*>("receiveVstMidiEvent")), 1);
    EXPECT_LE(host.dispatch(51, 0, 0, const_cast<char*>("sendVstEvents")), 0);
    EXPECT_EQ(host.dispatch(35), 2) << "instrument category";
    // Silence before anything is sung.
    const auto quiet = host.render({}, 4410);
    for (float s : quiet)
        EXPECT_EQ(s, 0.0f);

    PluginHost old(VOICE_PLUGIN_PATH, "main");
    ASSERT_TRUE(old.loaded()) << "older hosts' entry point";
}

TEST(VoicePlugin, SingsTheWritersVowelsInTuneWithoutClicks) {
    Sung sung = sungPart(kVowels, harmolin::kVocaloidMode, "vowels");
    ASSERT_EQ(sung.starts.size(), 5u);
    const auto samples = sing(sung);
    expectSafe(samples);
    const std::string wav = tempDir() + "/vowels.wav";
    ASSERT_TRUE(voicetest::writeWav(wav, samples));
    expectPitches(sung, wav);
    expectNoClicks(sung, samples);
}

// Published Japanese vowel formants (F1, F2 in Hz), raised for a woman's
// voice: a, i, u, e, o.
constexpr double kFemaleVowels[5][2] = {{880, 1630}, {370, 2560}, {430, 1570}, {585, 2300}, {610, 1180}};

// The nearest published vowel to a measured F1/F2, on a log scale.
int classifyVowel(double f1, double f2) {
    int best = -1;
    double bestDistance = 1e9;
    for (int v = 0; v < 5; ++v) {
        const double d =
            std::pow(std::log(f1 / kFemaleVowels[v][0]), 2) + std::pow(std::log(f2 / kFemaleVowels[v][1]), 2);
        if (d < bestDistance) {
            bestDistance = d;
            best = v;
        }
    }
    return best;
}

TEST(VoicePlugin, HeldVowelsAtC4AndE4ReadAsTheirOwnVowels) {
    for (const int note : {60, 64}) {
        std::vector<std::pair<std::string, int>> held;
        for (const auto& [kana, unused] : kVowels)
            held.push_back({kana, note});
        Sung sung = sungPart(held, harmolin::kVocaloidMode, "held" + std::to_string(note));
        const auto samples = sing(sung);
        expectSafe(samples);
        const std::string wav = tempDir() + "/held" + std::to_string(note) + ".wav";
        ASSERT_TRUE(voicetest::writeWav(wav, samples));
        for (int v = 0; v < 5; ++v) {
            const double t = sung.starts[static_cast<std::size_t>(v)] / kRate;
            const auto [f1, f2] = voicetest::praatFormants(wav, t + 0.15, t + 0.5);
            std::printf("note %d vowel %d: F1 %.0f Hz (published %.0f), F2 %.0f Hz (published %.0f)\n", note,
                        v, f1, kFemaleVowels[v][0], f2, kFemaleVowels[v][1]);
            EXPECT_EQ(classifyVowel(f1, f2), v) << "note " << note << " vowel " << v;
            // F1 lies between sparse harmonics at these pitches; praat reads it
            // towards the nearest one, hence the wider margin.
            EXPECT_NEAR(f1, kFemaleVowels[v][0], 0.2 * kFemaleVowels[v][0])
                << "F1, note " << note << " vowel " << v;
            EXPECT_NEAR(f2, kFemaleVowels[v][1], 0.15 * kFemaleVowels[v][1])
                << "F2, note " << note << " vowel " << v;
        }
    }
}

TEST(VoicePlugin, SyllableProgramsSingTheirNotes) {
    Sung sung = sungPart(kVowels, harmolin::kSyllableProgramMode, "programs");
    const auto samples = sing(sung);
    expectSafe(samples);
    const std::string wav = tempDir() + "/programs.wav";
    ASSERT_TRUE(voicetest::writeWav(wav, samples));
    expectPitches(sung, wav);
}

// Share of the high band (second difference: above about 3 kHz) in 40 ms
// from a frame: noise and bursts are bright, a vowel's onset is not.
double highBandOnset(const std::vector<float>& s, long long from) {
    double high = 0, all = 0;
    for (long long i = from + 2; i < from + 1764; ++i) {
        const double x = s[static_cast<std::size_t>(i)];
        const double d = x - 2.0 * s[static_cast<std::size_t>(i - 1)] + s[static_cast<std::size_t>(i - 2)];
        high += d * d;
        all += x * x;
    }
    return all > 0 ? std::sqrt(high / all) : 0.0;
}

TEST(VoicePlugin, ConsonantsBeginWithBurstOrNoise) {
    // あ か さ あ: the bare vowels are the reference.
    Sung sung = sungPart({{"\x82\xa0", 64}, {"\x82\xa9", 64}, {"\x82\xb3", 64}, {"\x82\xa0", 64}},
                         harmolin::kVocaloidMode, "consonants");
    const auto samples = sing(sung);
    expectSafe(samples);
    ASSERT_TRUE(voicetest::writeWav(tempDir() + "/consonants.wav", samples));
    const double vowel =
        std::max(highBandOnset(samples, sung.starts[0]), highBandOnset(samples, sung.starts[3]));
    // The consonants lie before their beats, so that the vowels start on them.
    const double ka = highBandOnset(samples, sung.starts[1] - 2000);
    const double sa = highBandOnset(samples, sung.starts[2] - 2000);
    std::printf("high band in the first 40 ms: a %.4f, ka %.4f, sa %.4f\n", vowel, ka, sa);
    EXPECT_GT(ka, 2.0 * vowel);
    EXPECT_GT(sa, 3.0 * vowel);
    EXPECT_GT(ka, 0.1);
    EXPECT_GT(sa, 0.3);
}

TEST(VoicePlugin, GarbageEventsAndOddCallsDoNoHarm) {
    PluginHost host(VOICE_PLUGIN_PATH);
    ASSERT_TRUE(host.loaded());
    host.start();
    host.dispatch(10, 0, 0, nullptr, std::nanf("")); // refused rate
    host.dispatch(10, 0, 0, nullptr, -5.0f);
    host.dispatch(25, 0, 0, nullptr); // no event list
    host.dispatch(48, 0, 0, nullptr); // no buffer
    host.dispatch(51, 0, 0, nullptr);
    host.dispatch(9999, -1, -1, nullptr, 0);
    std::mt19937 random(7);
    std::vector<TimedMidi> messages;
    for (int i = 0; i < 20000; ++i) {
        TimedMidi m{static_cast<long long>(random() % 441000), {}};
        for (auto& b : m.bytes)
            b = static_cast<std::uint8_t>(random());
        if (i % 3 == 0)
            m.bytes[0] = static_cast<std::uint8_t>(0xB0 | (m.bytes[0] & 0x0F)); // many NRPN pieces
        messages.push_back(m);
    }
    std::sort(messages.begin(), messages.end(),
              [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });
    const auto samples = host.render(messages, 441000, 517);
    for (float s : samples) {
        ASSERT_TRUE(std::isfinite(s));
        ASSERT_LT(std::fabs(s), 1.0f);
    }
    // Suspend and resume mid-note: silence, then singing again.
    host.dispatch(12, 0, 0);
    host.dispatch(12, 0, 1);
}

} // namespace
