#include "app/DataFolder.h"
#include "app/SongPipeline.h"
#include "base/ErrorCodes.h"
#include "engine/ComposeLoop.h"
#include "midi/MidiF0Data.h"
#include "midi/MidiTrackEdit.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace harmolin;
using namespace harmolin::test;

namespace {

std::string dataDir() {
#ifdef HARMOLIN_TEST_DATA
    return std::string(HARMOLIN_TEST_DATA) + "/../../data";
#else
    return dataFolder();
#endif
}

} // namespace

TEST(ComposeLoop, LengthBoundsFollowTheTarget) {
    const LengthBounds eight = tuneLengthBounds(8);
    for (int bars = 0; bars < 20; ++bars)
        EXPECT_EQ(eight.accepts(bars), bars >= 4 && bars <= 8) << bars;
    const LengthBounds twenty = tuneLengthBounds(20);
    for (int bars = 0; bars < 40; ++bars)
        EXPECT_EQ(twenty.accepts(bars), bars >= 16 && bars <= 20) << bars;
}

TEST(ComposeLoop, MelodyEventsFollowKeyChangesWithinTheirRange) {
    CompositionState state;
    state.style.sectionA()[kMelHighest] = 70;
    state.style.sectionA()[kMelLowest] = 56;
    EngineEvent note;
    note.kind = kEngineNote;
    note.value = 126;
    raiseMelodyEvent(state, note);
    EXPECT_EQ(note.value, 115 - 12); // wraps down an octave, then folds under the range's top
    note.value = 0;                  // rests stay rests
    raiseMelodyEvent(state, note);
    EXPECT_EQ(note.value, 0);
    note.value = 40;
    lowerMelodyEvent(state, note);
    EXPECT_EQ(note.value, 51); // 39 + 12 is still below the lowest note
    note.value = 45;
    lowerMelodyEvent(state, note);
    EXPECT_EQ(note.value, 44); // 44 + 12 would reach the range: left where it is
    EngineEvent chord;
    chord.kind = kEngineChord;
    chord.code = ChordCode("BMPs");
    raiseMelodyEvent(state, chord);
    EXPECT_EQ(chord.code.str(), "CMPs");
    lowerMelodyEvent(state, chord);
    lowerMelodyEvent(state, chord);
    EXPECT_EQ(chord.code.str(), "bMPs");
}

// Every style of the song types composes within its length bounds, with the
// melody the lyrics need, the same way for the same seed.
TEST(ComposeLoop, SongTypeStylesComposeWithinBounds) {
    CollectReports reports;
    for (int type = 0; type < kSongTypeCount; ++type) {
        for (int variant = 1; variant <= 2; ++variant) {
            const auto choice = styleChoice(type, variant);
            if (!choice) continue;
            for (std::uint32_t seed : {3u, 11u}) {
                SongComposer composer(dataDir(), seed);
                const std::string path = tempPath("compose.mid");
                ASSERT_TRUE(composer.composeSong(*choice, path)) << type << ' ' << variant;
                CompositionState& state = composer.state();
                const StyleRecord& s = state.style;
                const LengthBounds bounds = tuneLengthBounds(s.barCount);
                if (s.chordMode != 8 && s.fixedChordLength != 1 && s.chordLengthSource != 4 && s.meter != 2) {
                    EXPECT_TRUE(bounds.accepts(state.tune.tuneBars))
                        << s.nameText() << " seed " << seed << ": " << state.tune.tuneBars << " bars";
                }
                int notes = 0;
                for (const EngineEvent& e : state.tune.melodyTrack) {
                    if (e.kind != kEngineNote || e.value == 0) continue;
                    ++notes;
                    // The window's styles never change key: the melody stays in the singer's range.
                    EXPECT_GE(e.value, 56);
                    EXPECT_LE(e.value, 70);
                }
                EXPECT_GT(notes, 20) << s.nameText();
                // The melody closes on the chord the accompaniment ends on.
                const EngineEvent* closing = nullptr;
                for (const EngineEvent& e : state.tune.melodyTrack)
                    if (e.kind == kEngineChord) closing = &e;
                ASSERT_NE(closing, nullptr);
                ASSERT_FALSE(state.tune.songChords.empty());
                EXPECT_EQ(closing->code.str(), state.tune.songChords.back().codeCopy.str()) << s.nameText();
                EXPECT_EQ(closing->length, state.tune.songChords.back().length) << s.nameText();
                // Markers: one per chord of the played blocks, plus two bars.
                int chords = 0;
                for (int number : state.tune.sequence)
                    for (const EngineEvent& e : state.tune.block(number).chords)
                        chords += e.kind == kEngineChord;
                EXPECT_EQ(state.tune.markerTrack.count(), chords + 2);

                SongComposer again(dataDir(), seed);
                const std::string second = tempPath("compose-again.mid");
                ASSERT_TRUE(again.composeSong(*choice, second));
                MidiF0Data a, b;
                ASSERT_TRUE(a.load(path));
                ASSERT_TRUE(b.load(second));
                EXPECT_EQ(a.track().count(), b.track().count());
                EXPECT_EQ(totalLength(a.track()), totalLength(b.track()));
            }
        }
    }
    for (const auto& line : reports.lines)
        ADD_FAILURE() << line.text;
}

TEST(ComposeLoop, MissingPatternFilesFailTheComposition) {
    CollectReports reports;
    SongComposer composer("/nonexistent-data-folder", 1u);
    EXPECT_FALSE(composer.composeSong({1, 4}, tempPath("never.mid")));
    EXPECT_TRUE(reports.sawCode(errc::engine::kClassBits | errc::engine::kPatternFile));
}
