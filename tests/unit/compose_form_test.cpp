// The tune's form: length fitting where chord lengths may not change, and
// key changes that the conductor track signs.
#include "engine/ComposeLoop.h"
#include "engine/accompaniment/SongAssembly.h"
#include "engine/patterns/PatternDatabase.h"
#include "styles/StyleTable.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace harmolin;

namespace {

// A style of the table composed the way the song pipeline does it, after
// `change` has touched the style.
std::unique_ptr<CompositionState> composeStyle(const std::string& name, std::uint32_t seed,
                                               const std::function<void(StyleRecord&)>& change) {
    auto state = std::make_unique<CompositionState>();
    state->rng.seed(seed);
    state->programFolder = std::string(HARMOLIN_TEST_DATA) + "/../../data/patterns";
    StyleTable table;
    registerStyles(table, state->rng);
    const auto at = findStyle(table, name);
    EXPECT_TRUE(at.has_value()) << name;
    if (!at) return state;
    state->style = table.at(at->first, at->second);
    change(state->style);
    auto& a = state->style.sectionA();
    a[kMelPartMode] = 5;
    a[kMelPitchMethod] = 6;
    a[kMelLowest] = 56;
    a[kMelHighest] = 70;
    chooseDatabases(*state);
    EXPECT_TRUE(loadPatternFiles(*state));
    state->writeFile = true;
    state->outputMode = 2;
    std::vector<std::uint8_t> image;
    (void)composeTune(*state, image); // the image is checked
    EXPECT_FALSE(image.empty());
    return state;
}

double chordBars(const CompositionState& state) {
    long long ticks = 0;
    for (const ChordRecord& c : state.tune.songChords)
        ticks += c.length;
    return static_cast<double>(ticks) / state.style.barLength();
}

} // namespace

// One chord a bar, random chord lengths and no fitting at all used to run
// to two or three times the target; the form is now fitted instead.
TEST(ComposeForm, TunesWhoseChordsKeepTheirLengthsStayNearTheTarget) {
    test::CollectReports reports;
    const std::vector<std::pair<std::string, std::function<void(StyleRecord&)>>> cases = {
        {"one chord a bar", [](StyleRecord& s) { s.fixedChordLength = 1; }},
        {"random lengths", [](StyleRecord& s) { s.chordLengthSource = 4; }},
        {"no fitting", [](StyleRecord& s) { s.chordMode = 8; }},
        {"both", [](StyleRecord& s) { s.fixedChordLength = 1, s.chordLengthSource = 4; }},
    };
    for (const auto& [what, change] : cases) {
        for (const char* style : {"Ballade", "Folk Song", "Jazz Waltz"}) {
            for (std::uint32_t seed = 1; seed <= 5; ++seed) {
                const auto state = composeStyle(style, seed, change);
                const double bars = chordBars(*state);
                const int target = state->style.barCount;
                EXPECT_LE(std::abs(bars - target), 0.25 * target)
                    << style << ", " << what << ", seed " << seed << ": " << bars << " bars for " << target;
            }
        }
    }
    // 7/8 tunes cannot change a chord's length either.
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        const auto state = composeStyle("Kecak", seed, [](StyleRecord& s) { s.meter = 2; });
        const double bars = chordBars(*state);
        EXPECT_LE(std::abs(bars - state->style.barCount), 0.25 * state->style.barCount) << bars;
    }
    for (const auto& line : reports.lines)
        ADD_FAILURE() << line.text;
}

// Every key change is signed where it happens, and the song ends on the
// tonic of the key it has reached.
TEST(ComposeForm, KeyChangesAreSignedInTheConductorTrack) {
    int changed = 0;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        auto state = composeStyle("Ballade", seed, [](StyleRecord& s) { s.keyChange = 1; });
        const MidiTrackData conductor = buildConductorTrack(*state);
        std::vector<std::pair<int, int>> signatures; // tick, sharps (negative: flats)
        int tick = 0;
        for (int i = 0; i < conductor.count(); ++i) {
            const MusicEvent& e = conductor.event(i);
            tick += e.delta;
            if (e.isMeta(kMetaKeySignature))
                signatures.emplace_back(tick, static_cast<std::int8_t>(e.data.at(0)));
        }
        int shift = 0, applied = 0;
        for (const Modulation& m : state->modulation) {
            shift += m.applied;
            applied += m.applied != 0;
        }
        ASSERT_EQ(signatures.size(), 1u + applied) << "seed " << seed;
        changed += applied;
        // Sharps of the major key on each tonic from C.
        static constexpr int kSharps[12] = {0, 7, 2, -3, 4, -1, 6, 1, -4, 3, -2, 5};
        EXPECT_EQ(signatures.back().second, kSharps[((shift % 12) + 12) % 12]) << "seed " << seed;
        for (std::size_t i = 1; i < signatures.size(); ++i)
            EXPECT_GE(signatures[i].first, signatures[i - 1].first);
        int last = 0;
        for (const EngineEvent& e : state->tune.melodyTrack)
            if (e.kind == kEngineNote && e.value != 0) last = e.value;
        const int degree = (((last - shift) % 12) + 12) % 12;
        EXPECT_TRUE(degree == 0 || degree == 4 || degree == 7) << "seed " << seed << " last " << last;
    }
    EXPECT_GT(changed, 6);
}
