// The VST host with the test plug-in: loading and refusing libraries, the
// calls a plug-in gets, event timing, voice routing, and the mix's level.
#include "midi/MusicEvent.h"
#include "playback_host_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace harmolin {
namespace {

using test::callerDriven;
using test::CollectReports;
using test::pluginLog;
using test::testPlugin;

// ---- loading ----

void expectRefused(const std::string& path) {
    CollectReports reports;
    CVstHostMain host(nullptr, callerDriven());
    EXPECT_FALSE(host.loadSingingPlugin(path)) << path;
    ASSERT_EQ(reports.lines.size(), 1u) << path;
    // The fixed line with its reason, raised as a message of its own.
    EXPECT_EQ(reports.lines[0].text.rfind("Failed to load VST plugin. (", 0), 0u) << reports.lines[0].text;
    EXPECT_EQ(reports.lines[0].text.back(), ')');
    EXPECT_EQ(reports.lines[0].severity, Severity::Message);
    EXPECT_EQ(host.loadedCount(), 0);
    EXPECT_FALSE(host.isLoaded(0));
    EXPECT_FALSE(host.lastLoadError().empty());
    // The host goes on working: silence, and a good plug-in still loads.
    std::vector<float> out(100, 1.0f);
    EXPECT_EQ(host.renderBlock(out.data(), 100, 0), 100);
    EXPECT_EQ(out[50], 0.0f);
    EXPECT_TRUE(host.loadSingingPlugin(testPlugin("harmolin_test_sine")));
}

TEST(VstHostLoad, BadLibrariesAreRefusedWithOneLine) {
    expectRefused("/nonexistent/folder/voice.so");
    expectRefused("");
    expectRefused("/lib/x86_64-linux-gnu/libm.so.6"); // a library, but no plug-in
    expectRefused("libm.so.6"); // a bare name is a file here, not one of the system's libraries
    expectRefused(testPlugin("harmolin_test_null"));      // entry gives nothing
    expectRefused(testPlugin("harmolin_test_badmagic"));  // not 'VstP'
    expectRefused(std::string(HARMOLIN_TEST_DATA) + "/"); // a folder
}

TEST(VstHostLoad, SlotNumbersAndReplacing) {
    CollectReports reports;
    CVstHostMain host(nullptr, callerDriven());
    EXPECT_FALSE(host.loadPlugin(16, testPlugin("harmolin_test_sine")));
    EXPECT_FALSE(host.loadPlugin(-1, testPlugin("harmolin_test_sine")));
    EXPECT_TRUE(reports.sawMessage("MIDIチャンネルの指定が正しくありません。"));

    // An older plug-in with only "main" loads.
    EXPECT_TRUE(host.loadPlugin(3, testPlugin("harmolin_test_mainonly")));
    EXPECT_TRUE(host.loadPlugin(15, testPlugin("harmolin_test_sine")));
    EXPECT_EQ(host.loadedCount(), 2);
    // Loading into a full slot replaces its plug-in.
    EXPECT_TRUE(host.loadPlugin(3, testPlugin("harmolin_test_sine")));
    EXPECT_EQ(host.loadedCount(), 2);
    host.unloadPlugin(3);
    host.unloadPlugin(3);
    host.unloadPlugin(99);
    EXPECT_EQ(host.loadedCount(), 1);
    EXPECT_EQ(host.productName(15), "Harmolin Test Sine");
    EXPECT_EQ(host.productName(3), "");
}

TEST(VstHostLoad, SingingPluginGetsItsCallsInOrder) {
    CVstHostMain host(nullptr, callerDriven());
    ASSERT_TRUE(host.loadSingingPlugin(testPlugin("harmolin_test_sine")));
    EXPECT_TRUE(host.isRunning());
    const auto* log = pluginLog(host);
    ASSERT_NE(log, nullptr);

    using namespace vst;
    const std::vector<int> expected = {
        effOpen, effSetSampleRate, effSetBlockSize, effGetProductString, effMainsChanged, effSetProgram};
    ASSERT_EQ(log->dispatchCount, static_cast<int>(expected.size()));
    for (int i = 0; i < log->dispatchCount; ++i)
        EXPECT_EQ(log->dispatches[i].opcode, expected[i]) << i;
    EXPECT_FLOAT_EQ(log->dispatches[1].opt, 44100.0f);
    EXPECT_EQ(log->dispatches[2].value, 882);
    EXPECT_EQ(log->dispatches[4].value, 1);
    EXPECT_EQ(log->dispatches[5].value, 0);
    EXPECT_FALSE(log->suspended);
    EXPECT_EQ(log->program, 0);
}

TEST(VstHostLoad, HostAnswersPluginRequests) {
    CVstHostMain host(nullptr, callerDriven());
    ASSERT_TRUE(host.loadPlugin(0, testPlugin("harmolin_test_sine")));
    const auto* log = pluginLog(host);
    ASSERT_NE(log->host, nullptr);
    auto ask = [&](int opcode, void* ptr = nullptr) {
        return log->host(host.effect(0), opcode, 0, 0, ptr, 0.0f);
    };
    using namespace vst;
    EXPECT_EQ(ask(audioMasterVersion), 2400);
    EXPECT_EQ(ask(audioMasterGetLanguage), 6);
    EXPECT_EQ(ask(audioMasterIdle), 0);
    EXPECT_EQ(ask(audioMasterGetTime), 0); // no time information
    EXPECT_EQ(ask(audioMasterGetSampleRate), 44100);
    EXPECT_EQ(ask(audioMasterGetBlockSize), 882);
    EXPECT_EQ(ask(audioMasterWantMidi), 0);
    for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "supplyIdle"})
        EXPECT_EQ(ask(audioMasterCanDo, const_cast<char*>(yes)), 1) << yes;
    for (const char* no : {"receiveVstEvents", "sendVstEvent", "", "supplyIdle "})
        EXPECT_EQ(ask(audioMasterCanDo, const_cast<char*>(no)), 0) << no;
    EXPECT_EQ(ask(audioMasterCanDo), 0);
    EXPECT_EQ(ask(9999), 0);
}

// ---- events ----

TEST(VstHostEvents, DeltaFramesCountFromTheBlockStart) {
    CVstHostMain host(nullptr, callerDriven());
    ASSERT_TRUE(host.loadPlugin(0, testPlugin("harmolin_test_sine")));
    ASSERT_TRUE(host.queueMidiAt(1000, 0x90, 60, 100));
    ASSERT_TRUE(host.queueMidiAt(1000, 0xB0, 7, 90));
    ASSERT_TRUE(host.queueMidiAt(2000, 0x80, 60, 0));
    ASSERT_TRUE(host.queueMidiAt(10, 0x95, 60, 100)); // channel 6: no plug-in there

    std::vector<float> out(3000);
    EXPECT_EQ(host.renderBlock(out.data(), 882, 0), 882);
    const auto* log = pluginLog(host);
    EXPECT_EQ(log->eventCount, 0); // all due later (the last is stuck behind them)
    EXPECT_EQ(host.renderBlock(out.data() + 882, 3000 - 882, 882), 3000 - 882);
    ASSERT_EQ(log->eventCount, 3);
    EXPECT_EQ(log->events[0].deltaFrames, 1000 - 882);
    EXPECT_EQ(log->events[0].at, 1000);
    EXPECT_EQ(log->events[0].byteSize, 32);
    EXPECT_EQ(log->events[0].midi[0], 0x90);
    EXPECT_EQ(log->events[0].midi[3], 0);
    EXPECT_EQ(log->events[1].midi[0], 0xB0);
    EXPECT_EQ(log->events[2].at, 2000);
    EXPECT_LT(log->events[2].deltaFrames, 882);
    EXPECT_LE(log->largestBlock, 882);
    EXPECT_EQ(out[999], 0.0f);
    EXPECT_NE(out[1001], 0.0f);
}

TEST(VstHostEvents, RingRenderingKeepsTheLeadAhead) {
    std::vector<std::int16_t> played;
    auto sink = std::make_unique<MemoryWaveSink>(
        [&](const std::int16_t* s, int n) { played.insert(played.end(), s, s + n); });
    MemoryWaveSink* clock = sink.get();
    CVstHostMain host(std::move(sink), callerDriven());
    ASSERT_TRUE(host.loadSingingPlugin(testPlugin("harmolin_test_sine")));
    ASSERT_EQ(host.leadSamples(), 2469);

    std::vector<double> levels;
    host.stopOutput();
    host.setLevelListener([&](double db) { levels.push_back(db); });
    ASSERT_TRUE(host.startOutput());

    // Queued at position 0: it sounds one lead later.
    ASSERT_TRUE(host.queueMidi(0x90, 69, 100));
    EXPECT_EQ(host.renderStep(), 882);
    EXPECT_EQ(host.renderStep(), 882);
    EXPECT_EQ(host.renderStep(), 2469 - 2 * 882);
    EXPECT_EQ(host.renderStep(), 0); // caught up with the target
    const auto* log = pluginLog(host);
    EXPECT_EQ(log->eventCount, 0);

    // The output plays in steps of 441 while the host keeps rendering ahead.
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(clock->advance(441), 441);
        (void)host.renderStep(); // how much each step renders is not the point here
        EXPECT_EQ(host.renderedUpTo(), host.device().position() + 2469);
    }
    ASSERT_EQ(log->eventCount, 1);
    EXPECT_EQ(log->events[0].at, 2469);
    EXPECT_EQ(levels.size(), 23u);
    EXPECT_EQ(levels[0], -1.7e308);
    EXPECT_NEAR(levels.back(), 20 * std::log10(0.5), 0.1);

    ASSERT_GE(played.size(), 2600u);
    for (int i = 0; i < 2469; ++i)
        ASSERT_EQ(played[i], 0) << i;
    int loud = 0;
    for (int i = 2469; i < 2600; ++i)
        loud = std::max(loud, std::abs(int(played[i])));
    EXPECT_GT(loud, 16000);
    EXPECT_LE(loud, 16384);

    // The render thread stalls for 2500 samples, past its lead: what plays
    // beyond the rendered part is silence, not the sine of one ring ago.
    const std::size_t before = played.size();
    const std::int64_t rendered = host.renderedUpTo();
    ASSERT_EQ(clock->advance(2500), 2500);
    const auto stalePart = static_cast<std::size_t>(rendered - (host.device().position() - 2500));
    ASSERT_LT(stalePart, 2500u);
    int heard = 0;
    for (std::size_t i = before; i < before + stalePart; ++i)
        heard = std::max(heard, std::abs(int(played[i])));
    EXPECT_GT(heard, 16000);
    for (std::size_t i = before + stalePart; i < played.size(); ++i)
        ASSERT_EQ(played[i], 0) << "stale sample " << i - before - stalePart;
    // Rendering resumes from the play head.
    EXPECT_GT(host.renderStep(), 0);
    EXPECT_EQ(host.renderedUpTo(), host.device().position() + 882);
}

TEST(VstHostEvents, QueueLimitsAndDrops) {
    CollectReports reports;
    CVstHostMain host(nullptr, callerDriven());
    // Nothing loaded: dropped without a word.
    EXPECT_FALSE(host.queueMidi(0x90, 60, 100));
    EXPECT_TRUE(reports.lines.empty());

    ASSERT_TRUE(host.loadPlugin(0, testPlugin("harmolin_test_sine")));
    for (int i = 0; i < CVstHostMain::kEventsPerPlugin; ++i)
        ASSERT_TRUE(host.queueMidiAt(0, 0xB0, 1, i & 0x7F));
    EXPECT_FALSE(host.queueMidiAt(0, 0xB0, 1, 1));
    ASSERT_EQ(reports.lines.size(), 1u);
    EXPECT_TRUE(reports.sawMessage("CVstHostMain Error"));
    // Said once while the queue stays full, not once per dropped event.
    EXPECT_FALSE(host.queueMidiAt(0, 0xB0, 1, 2));
    EXPECT_EQ(reports.lines.size(), 1u);

    // A second plug-in doubles the room, and loading drops what was queued.
    ASSERT_TRUE(host.loadPlugin(1, testPlugin("harmolin_test_sine")));
    for (int i = 0; i < 2 * CVstHostMain::kEventsPerPlugin; ++i)
        ASSERT_TRUE(host.queueMidiAt(0, i % 2 ? 0xB1 : 0xB0, 1, 1));
    std::vector<float> out(882);
    EXPECT_EQ(host.renderBlock(out.data(), 882, 0), 882);
    EXPECT_EQ(pluginLog(host, 0)->eventCount, CVstHostMain::kEventsPerPlugin);
    EXPECT_EQ(pluginLog(host, 1)->eventCount, CVstHostMain::kEventsPerPlugin);

    // Out-of-range data bytes are kept within 7 bits.
    EXPECT_TRUE(host.queueMidiAt(882, 0xB0, 300, -4));
    EXPECT_EQ(host.renderBlock(out.data(), 882, 882), 882);
    const auto* log = pluginLog(host, 0);
    EXPECT_EQ(log->events[log->eventCount - 1].midi[1], 127);
    EXPECT_EQ(log->events[log->eventCount - 1].midi[2], 0);
}

// ---- voice routing ----

struct Routed {
    MusicEvent event;
    bool takenAway;
};

TEST(VstHostRouting, VocaloidKindTakesOnlyTheControlStream) {
    CVstHostMain host(nullptr, callerDriven());
    const std::string path = testPlugin("harmolin_test_sine");
    ASSERT_TRUE(host.loadSingingPlugin(path));
    host.setVoiceChannel(0, PluginKind::VocaloidStream);

    std::vector<Routed> cases = {
        {makeChannelEvent(kNoteOn, 0, 60, 100), true}, // neither plug-in nor MIDI output
        {makeChannelEvent(kNoteOff, 0, 60, 0), true},
        {makeChannelEvent(kProgramChange, 0, 5, 0), true},
        {makeChannelEvent(kControlChange, 0, 99, 200), true},
        {makeChannelEvent(kControlChange, 0, 6, 64), true},
        {makeChannelEvent(kPitchBend, 0, 0, 64), false}, // stays with the MIDI output
        {makeChannelEvent(kControlChange, 1, 7, 100), false},
        {makeChannelEvent(kNoteOn, 9, 36, 100), false},
        {makeTempo(0, 500000), false},
    };
    for (auto& c : cases) {
        const int kind = c.event.kind;
        EXPECT_EQ(host.routeVoiceEvent(c.event), c.takenAway);
        EXPECT_EQ(c.event.kind, c.takenAway ? kDeleted : kind)
            << std::hex << kind << " ch " << c.event.channel;
    }
    std::vector<float> out(4096);
    EXPECT_EQ(host.renderBlock(out.data(), 4096, 0), 4096);
    const auto* log = pluginLog(host);
    ASSERT_EQ(log->eventCount, 2);
    EXPECT_EQ(log->events[0].midi[0], 0xB0);
    EXPECT_EQ(log->events[0].midi[1], 99);
    EXPECT_EQ(log->events[0].midi[2], 0); // 200 is no MIDI value
    EXPECT_EQ(log->events[0].at, 2469);
    EXPECT_EQ(log->events[1].midi[1], 6);
    EXPECT_EQ(log->events[1].midi[2], 64);
    EXPECT_EQ(log->program, 0); // the program change did not reach it
}

TEST(VstHostRouting, InstrumentKindPlaysTheNotesAndKeepsItsSound) {
    CVstHostMain host(nullptr, callerDriven());
    const std::string path = testPlugin("harmolin_test_sine"); // no singer's name: an instrument
    ASSERT_TRUE(host.loadSingingPlugin(path));
    host.setVoiceChannel(0, path);
    EXPECT_EQ(host.voiceKind(), PluginKind::Instrument);
    MusicEvent program = makeChannelEvent(kProgramChange, 0, 17, 0);
    MusicEvent on = makeChannelEvent(kNoteOn, 0, 64, 90);
    MusicEvent off = makeChannelEvent(kNoteOff, 0, 64, 40);
    for (MusicEvent* e : {&program, &on, &off})
        EXPECT_TRUE(host.routeVoiceEvent(*e));
    // All taken from the MIDI output, so the melody does not sound twice.
    EXPECT_EQ(program.kind, kDeleted);
    EXPECT_EQ(on.kind, kDeleted);
    EXPECT_EQ(off.kind, kDeleted);
    std::vector<float> out(4096);
    EXPECT_EQ(host.renderBlock(out.data(), 4096, 0), 4096);
    const auto* log = pluginLog(host);
    EXPECT_EQ(log->program, 0); // a syllable number is no preset of an instrument
    ASSERT_EQ(log->eventCount, 2);
    EXPECT_EQ(log->events[0].midi[0], 0x90);
    EXPECT_EQ(log->events[1].midi[0], 0x80);

    // At an explicit sample time (the offline clock), the same routing.
    MusicEvent late = makeChannelEvent(kNoteOn, 0, 67, 80);
    EXPECT_TRUE(host.routeVoiceEventAt(5000, late));
    EXPECT_EQ(host.renderBlock(out.data(), 882, 4500), 882);
    ASSERT_EQ(log->eventCount, 3);
    EXPECT_EQ(log->events[2].at, 4096 + 500); // 500 frames into the second block
}

TEST(VstHostRouting, CantrixKindGetsNotesAndSyllables) {
    CVstHostMain host(nullptr, callerDriven());
    const std::string path = testPlugin("harmolin_test_Cantrix");
    ASSERT_TRUE(host.loadSingingPlugin(path));
    host.setVoiceChannel(2, path);
    ASSERT_TRUE(host.loadPlugin(2, path));
    EXPECT_TRUE(host.startOutput());

    MusicEvent program = makeChannelEvent(kProgramChange, 2, 17, 0);
    MusicEvent on = makeChannelEvent(kNoteOn, 2, 64, 90);
    MusicEvent off = makeChannelEvent(kNoteOff, 2, 64, 40);
    MusicEvent other = makeChannelEvent(kNoteOn, 0, 64, 90);
    for (MusicEvent* e : {&program, &on, &off, &other})
        EXPECT_EQ(host.routeVoiceEvent(*e), e != &other);
    EXPECT_EQ(program.kind, kDeleted);
    EXPECT_EQ(on.kind, kDeleted);
    EXPECT_EQ(off.kind, kDeleted);
    EXPECT_EQ(other.kind, kNoteOn);

    std::vector<float> out(4096);
    EXPECT_EQ(host.renderBlock(out.data(), 4096, 0), 4096);
    const auto* log = pluginLog(host, 2);
    EXPECT_EQ(log->program, 17);
    ASSERT_EQ(log->eventCount, 2);
    EXPECT_EQ(log->events[0].midi[0], 0x92);
    EXPECT_EQ(log->events[0].midi[2], 90);
    EXPECT_EQ(log->events[1].midi[0], 0x82);
    EXPECT_EQ(log->events[1].midi[2], 0);
    EXPECT_EQ(pluginLog(host, 0)->eventCount, 0);
}

TEST(VstHostRouting, ProgramChangeEndsTheBlockBeforeIt) {
    CVstHostMain host(nullptr, callerDriven());
    const std::string path = testPlugin("harmolin_test_Cantrix");
    ASSERT_TRUE(host.loadSingingPlugin(path));
    host.setVoiceChannel(0, path);
    MusicEvent program = makeChannelEvent(kProgramChange, 0, 3, 0);
    EXPECT_TRUE(host.routeVoiceEvent(program)); // at 2469
    std::vector<float> out(882);
    const auto* log = pluginLog(host);
    EXPECT_EQ(host.renderBlock(out.data(), 882, 2400), 882);
    EXPECT_EQ(log->program, 3);
    // 69 frames before the change, the rest after it.
    EXPECT_EQ(log->framesProcessed, 882);
    EXPECT_EQ(log->blocks, 2);
}

// ---- level ----

TEST(VstHostLevel, GainPeakAndClip) {
    CVstHostMain host(nullptr, callerDriven());
    ASSERT_TRUE(host.loadPlugin(0, testPlugin("harmolin_test_sine")));
    EXPECT_TRUE(host.queueMidiAt(0, 0x90, 69, 100));
    std::vector<float> out(882);

    EXPECT_EQ(host.renderBlock(out.data(), 882, 0), 882);
    EXPECT_NEAR(host.peak(), 0.5, 0.001);
    EXPECT_NEAR(host.peakDb(), -6.02, 0.02);
    EXPECT_FALSE(host.clipped());

    host.setGain(0.0);
    EXPECT_EQ(host.renderBlock(out.data(), 882, 882), 882);
    EXPECT_EQ(host.peak(), 0.0);
    EXPECT_EQ(host.peakDb(), -1.7e308);
    EXPECT_FALSE(host.clipped());
    for (float v : out)
        ASSERT_EQ(v, 0.0f);

    host.setGain(1.0);
    host.setParameter(0, 0, 2.5f);
    EXPECT_EQ(host.renderBlock(out.data(), 882, 2 * 882), 882);
    EXPECT_TRUE(host.clipped());
    EXPECT_NEAR(host.peak(), 2.5, 0.01);
    float largest = 0.0f;
    for (float v : out)
        largest = std::max(largest, std::fabs(v));
    EXPECT_EQ(largest, 1.0f);

    host.setParameter(0, 0, 0.5f);
    EXPECT_EQ(host.renderBlock(out.data(), 882, 3 * 882), 882);
    EXPECT_FALSE(host.clipped()); // cleared every step

    // Two plug-ins add up.
    ASSERT_TRUE(host.loadPlugin(1, testPlugin("harmolin_test_sine")));
    EXPECT_TRUE(host.queueMidiAt(4 * 882, 0x90, 69, 100));
    EXPECT_TRUE(host.queueMidiAt(4 * 882, 0x91, 81, 100));
    EXPECT_EQ(host.renderBlock(out.data(), 882, 4 * 882), 882);
    EXPECT_GT(host.peak(), 0.6);
}

TEST(VstHostLevel, ShutdownUnloadsAndIsRepeatable) {
    CVstHostMain host(nullptr, callerDriven());
    ASSERT_TRUE(host.loadSingingPlugin(testPlugin("harmolin_test_sine")));
    ASSERT_TRUE(host.loadPlugin(9, testPlugin("harmolin_test_sine")));
    host.shutdown();
    EXPECT_EQ(host.loadedCount(), 0);
    EXPECT_FALSE(host.isRunning());
    host.shutdown();
    std::vector<float> out(10);
    EXPECT_EQ(host.renderBlock(out.data(), 10, 0), 10);
    EXPECT_EQ(host.renderBlock(nullptr, 10, 0), 0);
    EXPECT_EQ(host.renderBlock(out.data(), 0, 0), 0);
}

} // namespace
} // namespace harmolin
