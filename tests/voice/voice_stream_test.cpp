// The control-stream decoder fed with our writer's own messages, the symbol
// reader against the whole kana table, and the singer's safety limits.
#include "midi/MidiTrackEdit.h"
#include "voice/ControlStream.h"
#include "voice/Phonemes.h"
#include "voice/Synth.h"

#include "lyrics/PhonemeTable.h"
#include "lyrics/VocaloidWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <tuple>

namespace {

using hvoice::ControlStream;
using hvoice::VoiceCommand;

// The voice track's channel messages of a writer run, as raw bytes.
std::vector<std::array<std::uint8_t, 3>> writerMessages(const std::vector<harmolin::SyllableRecord>& list,
                                                        int mode) {
    using namespace harmolin;
    MidiTrackData source(kSongCapacity, TrackState::Connected);
    addTempo(source, 500000);
    ensureEndOfTrack(source);
    CVocaloidFileWriter writer(source, list, 0, 0, "Singer", 3, 0, mode, 480);
    std::vector<std::array<std::uint8_t, 3>> out;
    for (const MusicEvent& e : writer.tracks().at(1).events()) {
        if (e.kind == kControlChange)
            out.push_back({static_cast<std::uint8_t>(0xB0 | e.channel), static_cast<std::uint8_t>(e.type),
                           static_cast<std::uint8_t>(e.value)});
        else if (e.kind == kProgramChange)
            out.push_back(
                {static_cast<std::uint8_t>(0xC0 | e.channel), static_cast<std::uint8_t>(e.value), 0});
        else if (e.kind == kConnectedNote)
            out.push_back(
                {static_cast<std::uint8_t>(0x90 | e.channel), static_cast<std::uint8_t>(e.note), 127});
    }
    return out;
}

std::vector<VoiceCommand> decode(ControlStream& stream,
                                 const std::vector<std::array<std::uint8_t, 3>>& messages) {
    std::vector<VoiceCommand> commands;
    for (const auto& m : messages) {
        VoiceCommand c;
        if (stream.tryParse(m.data(), 3, c)) commands.push_back(c);
    }
    return commands;
}

TEST(VoiceControlStream, DecodesTheWritersNoteMessages) {
    using harmolin::SyllableRecord;
    const std::vector<SyllableRecord> list{{0, 60, 480, "\x82\xa9", "k a", 64},    // か
                                           {480, 67, 480, "\x82\xab", "k' i", 64}, // き
                                           {960, 55, 240, "\x82\xf1", "N", 64},    // ん
                                           {1200, -1, 0, "", "", 0}};
    ControlStream stream;
    const auto commands = decode(stream, writerMessages(list, harmolin::kVocaloidMode));
    ASSERT_EQ(commands.size(), 4u); // the singer, then three notes
    EXPECT_EQ(commands[0].kind, VoiceCommand::Kind::SelectVoice);
    EXPECT_EQ(commands[0].voice, 3);
    const char* symbols[] = {"k a", "k' i", "N"};
    const int notes[] = {60, 67, 55};
    const int durations[] = {500, 500, 250}; // each note's own length at 120 BPM
    for (int i = 0; i < 3; ++i) {
        const VoiceCommand& c = commands[static_cast<std::size_t>(i + 1)];
        EXPECT_EQ(c.kind, VoiceCommand::Kind::Sing);
        EXPECT_EQ(c.note, notes[i]);
        EXPECT_EQ(c.durationMs, durations[i]);
        EXPECT_EQ(c.symbolText(), symbols[i]);
    }
}

TEST(VoiceControlStream, SyllableProgramsNameTheNotesSyllable) {
    using harmolin::SyllableRecord;
    const std::vector<SyllableRecord> list{{0, 62, 480, "\x82\xb3", "s a", 64}, // さ
                                           {480, 64, 480, "\x82\xf1", "N", 64}, // ん
                                           {960, -1, 0, "", "", 0}};
    ControlStream stream;
    const auto commands = decode(stream, writerMessages(list, harmolin::kSyllableProgramMode));
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].symbolText(), "s a");
    EXPECT_EQ(commands[0].note, 62);
    EXPECT_EQ(commands[0].durationMs, 0);
    EXPECT_EQ(commands[1].symbolText(), "N");

    // The host may also select the syllable through the dispatcher.
    stream.setProgram(25);
    const std::uint8_t on[3] = {0x90, 70, 100}, staleOff[3] = {0x80, 62, 0}, off[3] = {0x80, 70, 0};
    VoiceCommand c;
    ASSERT_TRUE(stream.tryParse(on, 3, c));
    EXPECT_EQ(c.symbolText(), "h a");
    EXPECT_FALSE(stream.tryParse(staleOff, 3, c)) << "another note's release leaves the sung one";
    ASSERT_TRUE(stream.tryParse(off, 3, c));
    EXPECT_EQ(c.kind, VoiceCommand::Kind::Release);
}

TEST(VoiceControlStream, MalformedMessagesAreIgnored) {
    ControlStream stream;
    VoiceCommand c;
    const std::uint8_t dataOnly[3] = {0x40, 0x10, 0x10}, badData[3] = {0xB0, 0x63, 0x90},
                       sysex[3] = {0xF0, 1, 2};
    EXPECT_FALSE(stream.tryParse(nullptr, 3, c));
    EXPECT_FALSE(stream.tryParse(dataOnly, 3, c));
    EXPECT_FALSE(stream.tryParse(badData, 3, c));
    EXPECT_FALSE(stream.tryParse(sysex, 3, c));
    const std::uint8_t shortOn[1] = {0x90};
    EXPECT_FALSE(stream.tryParse(shortOn, 1, c));
    // A note message cut off before its end sings nothing, and the next whole
    // one is not disturbed by it.
    const std::uint8_t start[][3] = {
        {0xB0, 0x63, 0x50}, {0xB0, 0x62, 0x00}, {0xB0, 0x62, 0x02}, {0xB0, 0x06, 65}};
    for (const auto& m : start)
        EXPECT_FALSE(stream.tryParse(m, 3, c));
    const std::uint8_t whole[][3] = {
        {0xB0, 0x63, 0x50}, {0xB0, 0x62, 0x00}, {0xB0, 0x62, 0x13}, {0xB0, 0x06, 'o'}, {0xB0, 0x62, 0x7F}};
    for (const auto& m : whole)
        EXPECT_FALSE(stream.tryParse(m, 3, c)) << "no note number yet";
    const std::uint8_t end[3] = {0xB0, 0x06, 0x7F};
    EXPECT_FALSE(stream.tryParse(end, 3, c));
}

TEST(VoicePhonemes, EveryKanaOfTheTableIsUnderstood) {
    for (const harmolin::PhonemeRow& row : harmolin::phonemeTable()) {
        hvoice::Syllable s;
        ASSERT_TRUE(hvoice::tryParseSyllable(row.symbols, s)) << row.symbols;
        EXPECT_EQ(s.consonant != nullptr, row.consonant == 64 && row.symbols != "N") << row.symbols;
        // The program-change numbers give the same symbols as the table's first row with that number.
        const auto byNumber = harmolin::numberToPhonemes(row.number);
        ASSERT_TRUE(byNumber.has_value());
        EXPECT_EQ(hvoice::syllableSymbols(row.number), *byNumber) << row.number;
    }
    hvoice::Syllable s;
    EXPECT_FALSE(hvoice::tryParseSyllable("", s));
    EXPECT_FALSE(hvoice::tryParseSyllable("?? !!", s));
    ASSERT_TRUE(hvoice::tryParseSyllable("N", s));
    EXPECT_EQ(s.vowel, hvoice::Vowel::N);
    ASSERT_TRUE(hvoice::tryParseSyllable("zz k", s));
    EXPECT_EQ(s.vowel, hvoice::Vowel::A) << "a lone consonant leads into a";
    EXPECT_EQ(hvoice::syllableSymbols(500), "a");
}

TEST(VoiceSynth, EverySyllableStaysFiniteQuietEnoughAndClickFree) {
    auto synth = std::make_unique<hvoice::Synth>();
    synth->setSampleRate(44100);
    std::vector<float> out(44100 * 2);
    for (int number = 0; number <= 102; ++number) {
        synth->reset();
        VoiceCommand c;
        c.note = static_cast<std::uint8_t>(48 + number % 36);
        c.durationMs = 300;
        const auto text = hvoice::syllableSymbols(number);
        c.symbolCount = static_cast<std::uint8_t>(text.size());
        std::copy(text.begin(), text.end(), c.symbols.begin());
        synth->schedule(c, 100);
        c.note = static_cast<std::uint8_t>(c.note + 3);
        synth->schedule(c, 100 + 13230); // joined: 300 ms later
        for (std::size_t pos = 0; pos < out.size(); pos += 882)
            synth->render(out.data() + pos, 882);
        float peak = 0, jump = 0;
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_TRUE(std::isfinite(out[i])) << text;
            peak = std::max(peak, std::fabs(out[i]));
            if (i > 0) jump = std::max(jump, std::fabs(out[i] - out[i - 1]));
        }
        EXPECT_LT(peak, 0.9f) << text;
        EXPECT_GT(peak, 0.02f) << text << " is silent";
        // Bursts are steep by nature; a click would jump by most of the range.
        EXPECT_LT(jump, 0.8f) << text;
        EXPECT_EQ(out.back(), 0.0f) << text << " does not end";
    }
}

// Renders syllables (symbols, note, ms, then a gap in ms) with the voice's
// own clock; frame of each note's vowel onset (its command plus the
// look-ahead) in onsets.
std::vector<float> singAlone(const std::vector<std::tuple<const char*, int, int, int, int>>& notes,
                             std::vector<std::size_t>& onsets) {
    auto synth = std::make_unique<hvoice::Synth>();
    synth->setSampleRate(44100);
    std::vector<std::pair<std::size_t, VoiceCommand>> commands;
    std::size_t at = 4410;
    for (const auto& [symbols, note, ms, gap, velocity] : notes) {
        VoiceCommand c;
        c.note = static_cast<std::uint8_t>(note);
        c.durationMs = ms;
        c.velocity = static_cast<std::uint8_t>(velocity);
        const std::string_view text(symbols);
        c.symbolCount = static_cast<std::uint8_t>(text.size());
        std::copy(text.begin(), text.end(), c.symbols.begin());
        commands.push_back({at, c});
        onsets.push_back(at + static_cast<std::size_t>(synth->lookAheadFrames()));
        at += static_cast<std::size_t>((ms + gap) * 44.1);
    }
    std::vector<float> out(at + 44100);
    std::size_t next = 0;
    for (std::size_t pos = 0; pos < out.size(); pos += 882) {
        const int n = static_cast<int>(std::min<std::size_t>(882, out.size() - pos));
        for (; next < commands.size() && commands[next].first < pos + static_cast<std::size_t>(n); ++next)
            synth->schedule(commands[next].second, static_cast<int>(commands[next].first - pos));
        synth->render(out.data() + pos, n);
    }
    return out;
}

double rmsDb(const std::vector<float>& s, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to && i < s.size(); ++i)
        sum += double(s[i]) * s[i];
    return 10 * std::log10(sum / static_cast<double>(std::max<std::size_t>(1, to - from)) + 1e-20);
}

float largestStep(const std::vector<float>& s, std::size_t from, std::size_t to) {
    float step = 0;
    for (std::size_t i = from + 1; i < to && i < s.size(); ++i)
        step = std::max(step, std::fabs(s[i] - s[i - 1]));
    return step;
}

TEST(VoiceSynth, NotesRestartingAfterShortGapsDoNotClick) {
    // The last note still fades when the next one starts 40 to 70 ms later.
    std::vector<std::size_t> onsets;
    const auto out = singAlone({{"a", 67, 300, 40, 64},
                                {"a", 69, 300, 55, 64},
                                {"o", 64, 300, 70, 64},
                                {"a", 72, 300, 45, 64},
                                {"e", 67, 300, 0, 64}},
                               onsets);
    float steady = 0;
    for (std::size_t onset : onsets)
        steady = std::max(steady, largestStep(out, onset + 6615, onset + 11025));
    for (std::size_t onset : onsets)
        EXPECT_LE(largestStep(out, onset - 4410, onset + 2205), 1.2f * steady) << "restart at " << onset;
}

TEST(VoiceSynth, LoudHighVowelsStayBelowTheLimiter) {
    std::vector<std::tuple<const char*, int, int, int, int>> notes;
    for (int note = 55; note <= 84; note += 3)
        for (const char* vowel : {"a", "i", "M", "e", "o"})
            notes.push_back({vowel, note, 400, 100, 127});
    std::vector<std::size_t> onsets;
    const auto out = singAlone(notes, onsets);
    float peak = 0;
    for (float x : out)
        peak = std::max(peak, std::fabs(x));
    EXPECT_LT(peak, 0.85f) << "the limiter (0.89) would act";
}

TEST(VoiceSynth, PhrasesBreatheSwellAndAccent) {
    // Two phrases of joined notes with a 600 ms rest between them; the
    // fourth note of the first phrase is accented.
    std::vector<std::size_t> onsets;
    const auto out = singAlone({{"a", 65, 400, 0, 64},
                                {"k a", 67, 400, 0, 64},
                                {"m a", 67, 400, 0, 64},
                                {"a", 67, 400, 0, 110},
                                {"n a", 65, 1200, 600, 64},
                                {"s a", 64, 400, 0, 64},
                                {"t a", 65, 800, 0, 64}},
                               onsets);
    // Loudness moves within the first phrase by 3 dB or more (vowels only).
    std::vector<double> levels;
    for (int note = 0; note < 5; ++note) {
        const std::size_t length = note == 4 ? 52920 : 17640;
        for (std::size_t at = onsets[note] + 2205; at + 2205 < onsets[note] + length; at += 2205)
            levels.push_back(rmsDb(out, at, at + 2205));
    }
    const double loudest = *std::max_element(levels.begin(), levels.end());
    EXPECT_GE(loudest - *std::min_element(levels.begin(), levels.end()), 3.0);
    EXPECT_GT(rmsDb(out, onsets[3] + 4410, onsets[3] + 13230),
              rmsDb(out, onsets[2] + 4410, onsets[2] + 13230) + 1)
        << "the accented note";
    // In the rest: silence after the phrase, then a breath before the next
    // one, well below the singing.
    const std::size_t restEnd = onsets[4] + 52920;
    EXPECT_LT(rmsDb(out, restEnd + 6615, restEnd + 11025), loudest - 60);
    const double breath = rmsDb(out, onsets[5] - 11025, onsets[5] - 6615);
    EXPECT_GT(breath, loudest - 45) << "no breath";
    EXPECT_LT(breath, loudest - 15) << "the breath is as loud as singing";
}

TEST(VoiceSynth, AFullQueueDropsCommandsWithoutHarm) {
    auto synth = std::make_unique<hvoice::Synth>();
    VoiceCommand c;
    c.symbolCount = 1;
    c.symbols[0] = 'a';
    c.durationMs = 50;
    for (int i = 0; i < hvoice::Synth::kMaxScheduled + 100; ++i)
        synth->schedule(c, (i * 7919) % 100000);
    std::vector<float> out(882);
    for (int block = 0; block < 150; ++block) {
        synth->render(out.data(), 882);
        for (float s : out)
            ASSERT_TRUE(std::isfinite(s));
    }
}

} // namespace
