// The control-stream decoder fed with our writer's own messages, the symbol
// reader against the whole kana table, and the singer's safety limits.
#include "voice/ControlStream.h"
#include "voice/Phonemes.h"
#include "voice/Synth.h"

#include "lyrics/PhonemeTable.h"
#include "midi/VocaloidWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

using hvoice::ControlStream;
using hvoice::VoiceCommand;

// The voice track's channel messages of a writer run, as raw bytes.
std::vector<std::array<std::uint8_t, 3>> writerMessages(const std::vector<harmolin::SyllableRecord>& list,
                                                        int mode) {
    using namespace harmolin;
    MidiTrackData source(kSongCapacity, TrackState::Connected);
    source.addTempo(500000);
    source.ensureEndOfTrack();
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
