// Part headers, instrument groups, the drum kit rule, doubled copies and the
// engine's note operation.
#include "accomp_fixture.h"
#include "base/ErrorCodes.h"
#include "engine/accompaniment/PartSetup.h"
#include "midi/MidiTrackEdit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace harmolin {
namespace {

using test::accompState;

std::vector<std::pair<int, int>> controllers(const MidiTrackData& track) {
    std::vector<std::pair<int, int>> out;
    for (const MusicEvent& e : track.events())
        if (e.kind == kControlChange) out.emplace_back(e.type, e.value);
    return out;
}

TEST(AccompSetup, HeaderSendsChangedControllersInOrderThenPanAndBendRange) {
    auto state = accompState();
    auto& mix = state->style.mixer[3];
    mix[kMixVolume] = 100;
    mix[kMixReverb] = 120;
    mix[kMixDecay] = 30;
    mix[kMixPan] = 20;
    MidiTrackData track = newPartTrack();
    writePartHeader(*state, track, 3, 24);

    ASSERT_GE(track.count(), 1);
    EXPECT_EQ(track.event(0).kind, kProgramChange);
    EXPECT_EQ(track.event(0).value, 24);
    EXPECT_EQ(track.event(0).channel, 3);
    const std::vector<std::pair<int, int>> expected = {{7, 100}, {91, 120}, {75, 30}, {10, 20},
                                                       {101, 0}, {100, 0},  {6, 12}};
    EXPECT_EQ(controllers(track), expected);

    // A file for the user carries every effect controller, neutral ones too.
    state->writeFile = true;
    MidiTrackData full = newPartTrack();
    writePartHeader(*state, full, 3, 24);
    std::vector<int> order;
    for (const auto& [cc, value] : controllers(full))
        order.push_back(cc);
    const std::vector<int> fullOrder = {7, 91, 93, 74, 71, 72, 73, 75, 10, 101, 100, 6};
    EXPECT_EQ(order, fullOrder);
}

TEST(AccompSetup, ProgramCodesResolveThroughInstrumentGroups) {
    auto state = accompState();
    EXPECT_EQ(resolveProgram(*state, 53, 3), 53);
    const std::set<int> melodyLine = {65, 22, 53, 21, 61, 62, 63, 71, 79, 56, 68, 80, 81, 100, 75, 90, 82};
    int fiftyThree = 0;
    for (int i = 0; i < 2000; ++i) {
        const int p = resolveProgram(*state, 140, 1);
        EXPECT_TRUE(melodyLine.count(p)) << p;
        fiftyThree += p == 53;
    }
    // 53 is listed twice among eighteen members.
    EXPECT_GT(fiftyThree, 2000 * 2 / 18 * 7 / 10);

    test::CollectReports reports;
    EXPECT_EQ(resolveProgram(*state, 150, 3), 0);
    EXPECT_TRUE(reports.sawCode(errc::engine::kClassBits | errc::engine::kInstrument));

    // Built-in styles carry 128 to 131; the program byte keeps seven bits.
    MidiTrackData track = newPartTrack();
    writePartHeader(*state, track, 7, 129);
    EXPECT_EQ(track.event(0).value, 1);
}

TEST(AccompSetup, DrumKitProgramFollowsPatternFeelAndMeter) {
    auto state = accompState();
    auto& s = state->style;
    s.drumPattern = 1;
    s.feel = 3;
    s.programs[kPartDrums] = 1;
    EXPECT_EQ(drumKitProgram(*state), 40);
    s.programs[kPartDrums] = 2;
    EXPECT_EQ(drumKitProgram(*state), 0);
    s.meter = 1;
    EXPECT_EQ(drumKitProgram(*state), 40);
    s.feel = 0;
    EXPECT_EQ(drumKitProgram(*state), 0);
    s.drumPattern = 18;
    EXPECT_EQ(drumKitProgram(*state), 0);
    state->soundModule = 1;
    EXPECT_EQ(drumKitProgram(*state), 49);
}

TEST(AccompSetup, DoubledCopyIsDelayedFineTunedAndPannedApart) {
    auto state = accompState();
    auto& mix = state->style.mixer[3];
    mix[kMixDoubling] = 4;
    mix[kMixPan] = 20;
    MidiTrackData source = newPartTrack();
    writePartHeader(*state, source, 3, 24);
    addEngineNote(source, 3, 0, 60, 64, 90);
    const int sourceNotesAt = absoluteTimes(source).back();

    MidiTrackData copy = makeDoubledCopy(*state, source, 3);
    for (const MusicEvent& e : copy.events())
        EXPECT_EQ(e.channel, 11);
    const auto ccs = controllers(copy);
    ASSERT_GE(ccs.size(), 4u);
    const std::vector<std::pair<int, int>> fine = {{101, 0}, {100, 1}, {6, 56}, {38, 0}};
    const std::vector<std::pair<int, int>> firstFour(ccs.begin(), ccs.begin() + 4);
    EXPECT_EQ(firstFour, fine);
    EXPECT_EQ(absoluteTimes(copy).back(), sourceNotesAt + 4);
    // (20 - 40) mod 128 for the copy, 20 + 40 for the harmony source.
    for (const MusicEvent& e : copy.events())
        if (e.isControl(10)) {
            EXPECT_EQ(e.value, 108);
        }
    for (const MusicEvent& e : source.events())
        if (e.isControl(10)) {
            EXPECT_EQ(e.value, 60);
        }

    // The melody's copy goes to part 10 and leaves the melody's pan alone.
    state->style.mixer[1][kMixDoubling] = 2;
    state->style.mixer[1][kMixPan] = 64;
    MidiTrackData melody = newPartTrack();
    writePartHeader(*state, melody, 1, 64);
    MidiTrackData melodyCopy = makeDoubledCopy(*state, melody, 1);
    EXPECT_EQ(melodyCopy.event(4).channel, 10);
    for (const MusicEvent& e : melody.events())
        if (e.isControl(10)) {
            EXPECT_EQ(e.value, 64);
        }
}

TEST(AccompSetup, EngineNoteSilencesNotesOutsideTheRange) {
    MidiTrackData track = newPartTrack();
    addEngineNote(track, 2, 5, 128, 64, 90);
    addEngineNote(track, 2, 0, 12, 64, 90);
    addEngineNote(track, 2, 0, 60, 64, -5);
    addEngineNote(track, 2, 0, 13, 64, 10);
    addEngineNote(track, 2, 0, 0, 0, 0);
    ASSERT_EQ(track.count(), 5);
    for (int i : {0, 1, 4}) {
        EXPECT_EQ(track.event(i).note, 0);
        EXPECT_EQ(track.event(i).velocity, 0);
        EXPECT_EQ(track.event(i).length, 1);
    }
    EXPECT_EQ(track.event(0).delta, 5);
    EXPECT_EQ(track.event(2).length, 0);
    EXPECT_EQ(track.event(3).note, 13);
}

} // namespace
} // namespace harmolin
