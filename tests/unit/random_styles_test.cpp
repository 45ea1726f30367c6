// Random styles: a base of the group's list, the redrawn fields within their
// tables, the table slot restored, and every random slot composing cleanly.
#include "app/DataFolder.h"
#include "app/SongPipeline.h"
#include "base/ErrorCodes.h"
#include "engine/accompaniment/PartSetup.h"
#include "midi/MidiF0Data.h"
#include "styles/StyleTable.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace harmolin;
using namespace harmolin::test;

namespace {

constexpr std::uint32_t kCategoryError = errc::engine::kClassBits | errc::engine::kCategory;
constexpr std::uint32_t kChannelError = errc::engine::kClassBits | errc::engine::kChannel;

std::string dataDir() {
#ifdef HARMOLIN_TEST_DATA
    return std::string(HARMOLIN_TEST_DATA) + "/../../data";
#else
    return dataFolder();
#endif
}

// Whether the program lies in the column a kind draws the part from.
bool drawnFromItsColumn(int kind, int part, int program) {
    return randomProgramAllowed(randomProgramColumn(kind, part), program);
}

struct Engine {
    explicit Engine(std::uint32_t seed) {
        state.rng.seed(seed);
        registerStyles(table, state.rng);
    }
    StyleTable table;
    CompositionState state;
};

// The base a built random style came from: the style of the kind's list
// whose description the build kept ("" for the bare techno record).
std::vector<std::string> basesOf(const StyleTable& table, const StyleRecord& built, int kind) {
    std::vector<std::string> found;
    for (const std::string name : randomStyleBases(kind)) {
        if (name.empty()) {
            if (built.descriptionText() == table.at(kind - 1, 0).descriptionText()) found.push_back(name);
            continue;
        }
        const auto at = findStyle(table, name);
        if (at && table.at(at->first, at->second).descriptionText() == built.descriptionText())
            found.push_back(name);
    }
    return found;
}

const StyleRecord& baseRecord(const StyleTable& table, const std::string& name) {
    const auto at = findStyle(table, name);
    return table.at(at->first, at->second);
}

bool gridHasCells(const StyleRecord& s, int block) {
    for (int row = 0; row < grid::kRows; ++row)
        for (int step = 0; step < grid::kSteps; ++step)
            if (s.cell(block, row, step) == 1) return true;
    return false;
}

} // namespace

// Each kind's base list: names of table styles (not random ones), no name
// twice, the bare techno record only in the techno list.
TEST(RandomStyles, BaseListsNameTableStyles) {
    Engine e(1);
    EXPECT_TRUE(randomStyleBases(0).empty());
    EXPECT_TRUE(randomStyleBases(StyleTable::kGroups + 1).empty());
    for (int kind = 1; kind <= StyleTable::kGroups; ++kind) {
        const auto& bases = randomStyleBases(kind);
        EXPECT_GE(bases.size(), 3u) << kind;
        std::set<std::string> seen;
        for (const std::string name : bases) {
            EXPECT_TRUE(seen.insert(name).second) << kind << ' ' << name;
            if (name.empty()) {
                EXPECT_EQ(kind, StyleTable::kGroups) << "only techno has a bare record";
                continue;
            }
            const auto at = findStyle(e.table, name);
            ASSERT_TRUE(at.has_value()) << name;
            EXPECT_EQ(e.table.at(at->first, at->second).randomKind, 0) << name;
        }
    }
}

// The program table: a kind has a row for all five drawn parts or for none;
// every column a row names exists, is not the volume column and allows a
// program (the draw repeats until it finds one); lifts are for melodies only.
TEST(RandomStyles, ProgramTableIsConsistent) {
    const std::vector<int> parts = {kPartMelody, kPartBass, kPartHarmony, kPartLineB, kPartAccompaniment2};
    const int volumeColumn = 1;
    std::set<int> named;
    int rows = 0;
    for (int kind = 0; kind < StyleTable::kGroups; ++kind) {
        int noRow = 0;
        for (int part : parts) {
            const int column = randomProgramColumn(kind, part);
            if (column == kNoProgramRow) {
                ++noRow;
                continue;
            }
            if (column == kNoProgramColumn) continue;
            ASSERT_GE(column, 0) << kind;
            ASSERT_LT(column, kRandomProgramColumns) << kind;
            EXPECT_NE(column, volumeColumn) << kind;
            named.insert(column);
        }
        EXPECT_TRUE(noRow == 0 || noRow == static_cast<int>(parts.size())) << kind;
        rows += noRow == 0 ? 1 : 0;
        // Parts that are never redrawn have no column.
        if (noRow == 0) {
            EXPECT_EQ(randomProgramColumn(kind, kPartDrums), kNoProgramColumn) << kind;
        }
    }
    EXPECT_GE(rows, 7);
    EXPECT_EQ(randomProgramColumn(-1, kPartMelody), kNoProgramRow);
    EXPECT_EQ(randomProgramColumn(StyleTable::kGroups, kPartMelody), kNoProgramRow);
    // Every column but the volume one is named by some row.
    EXPECT_EQ(named.size(), static_cast<std::size_t>(kRandomProgramColumns - 1));
    for (int column = 0; column < kRandomProgramColumns; ++column) {
        int allowed = 0;
        for (int program = 0; program < 128; ++program)
            allowed += randomProgramAllowed(column, program) ? 1 : 0;
        if (column == volumeColumn) {
            EXPECT_EQ(allowed, 0);
        } else {
            EXPECT_GT(allowed, 0) << column;
            EXPECT_LT(allowed, 128) << column;
        }
    }
    EXPECT_FALSE(randomProgramAllowed(0, -1));
    EXPECT_FALSE(randomProgramAllowed(0, 128));
    EXPECT_FALSE(randomProgramAllowed(kRandomProgramColumns, 0));
    int lifted = 0;
    for (int program = 0; program < 128; ++program) {
        const int lift = randomMelodyLift(program);
        EXPECT_GE(lift, 0) << program;
        EXPECT_LE(lift, 20) << program;
        if (lift == 0) continue;
        ++lifted;
        EXPECT_TRUE(randomProgramAllowed(randomProgramColumn(0, kPartMelody), program)) << program;
    }
    EXPECT_GT(lifted, 0);
}

// Successive builds draw bases from the group's own list only, vary, and
// leave the table as it was: the random record back in its slot.
TEST(RandomStyles, BuildsDrawFromTheGroupListAndRestoreTheSlot) {
    for (int group = 0; group < StyleTable::kGroups; ++group) {
        const int kind = group + 1;
        Engine e(100 + static_cast<std::uint32_t>(group));
        const std::string randomName = e.table.at(group, 0).nameText();
        const std::string randomText = e.table.at(group, 0).descriptionText();
        const std::vector<int> tempoBefore = [&] {
            std::vector<int> t;
            for (int slot = 1; slot < StyleTable::kSlots; ++slot)
                t.push_back(e.table.at(group, slot).tempo);
            return t;
        }();
        std::set<std::string> bases;
        std::set<int> tempos;
        std::set<std::vector<int>> instrumentSets;
        for (int build = 0; build < 40; ++build) {
            CollectReports reports;
            selectStyle(e.state, e.table, group, 0);
            const StyleRecord& s = e.state.style;
            EXPECT_TRUE(reports.lines.empty()) << group;
            EXPECT_EQ(s.nameText(), randomName);
            EXPECT_EQ(s.randomKind, 1);
            const auto found = basesOf(e.table, s, kind);
            ASSERT_FALSE(found.empty()) << "group " << group << ": " << s.descriptionText();
            bases.insert(found.front());
            tempos.insert(s.tempo);
            instrumentSets.insert({s.programs[1], s.programs[2], s.programs[3], s.programs[7]});

            const StyleRecord& slot = e.table.at(group, 0);
            EXPECT_EQ(slot.nameText(), randomName);
            EXPECT_EQ(slot.descriptionText(), randomText);
            EXPECT_EQ(slot.randomKind, kind);
        }
        EXPECT_GE(bases.size(), 3u) << group;
        EXPECT_GE(tempos.size(), 2u) << group;
        EXPECT_GE(instrumentSets.size(), 5u) << group;
        for (int slot = 1; slot < StyleTable::kSlots; ++slot)
            EXPECT_EQ(e.table.at(group, slot).tempo, tempoBefore[static_cast<std::size_t>(slot - 1)]);
    }
}

TEST(RandomStyles, DifferentSeedsGiveDifferentStyles) {
    std::set<std::string> descriptions;
    std::set<int> melodies;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        Engine e(seed * 7919u);
        selectStyle(e.state, e.table, 0, 0);
        descriptions.insert(e.state.style.descriptionText());
        melodies.insert(e.state.style.programs[kPartMelody]);
    }
    EXPECT_GE(descriptions.size(), 4u);
    EXPECT_GE(melodies.size(), 4u);
}

// The redrawn instruments come from their kind's columns; unused parts stay
// unused; the melody's volume follows the reed lift; the jazz bass is kept.
TEST(RandomStyles, RedrawnProgramsLieInTheirColumns) {
    // The pops, jazz and techno groups draw from the table rows of their own kind.
    for (int group : {0, 2, 8}) {
        Engine e(5);
        for (int build = 0; build < 60; ++build) {
            selectStyle(e.state, e.table, group, 0);
            const StyleRecord& s = e.state.style;
            const auto found = basesOf(e.table, s, group + 1);
            ASSERT_FALSE(found.empty());
            if (found.front().empty()) continue; // the bare techno record has parts of its own
            const StyleRecord& base = baseRecord(e.table, found.front());
            for (int part : {kPartMelody, kPartBass, kPartHarmony, kPartLineB, kPartAccompaniment2}) {
                if (randomProgramColumn(group, part) == kNoProgramColumn) continue;
                const int program = s.programs[static_cast<std::size_t>(part)];
                if (base.programs[static_cast<std::size_t>(part)] == kNoProgram) {
                    EXPECT_EQ(program, kNoProgram) << found.front() << " part " << part;
                } else {
                    EXPECT_TRUE(drawnFromItsColumn(group, part, program))
                        << found.front() << " part " << part << " program " << program;
                }
            }
            if (group == 2) {
                EXPECT_EQ(s.programs[kPartBass], base.programs[kPartBass]) << found.front();
            }
            if (group == 0) {
                const int lift = randomMelodyLift(s.programs[kPartMelody]);
                EXPECT_EQ(s.mixer[kPartMelody][kMixVolume],
                          (base.mixer[kPartMelody][kMixVolume] + lift) & 0xFF);
            }
        }
    }
}

TEST(RandomStyles, HealingKeepsPartsFourAndSevenAndDrawsItsOwnRow) {
    Engine e(77);
    std::set<int> drums;
    for (int build = 0; build < 80; ++build) {
        selectStyle(e.state, e.table, 7, 0);
        const StyleRecord& s = e.state.style;
        const auto found = basesOf(e.table, s, 8);
        ASSERT_FALSE(found.empty());
        const StyleRecord& base = baseRecord(e.table, found.front());
        EXPECT_EQ(s.programs[kPartLineB], base.programs[kPartLineB]) << found.front();
        EXPECT_EQ(s.programs[kPartAccompaniment2], base.programs[kPartAccompaniment2]) << found.front();
        EXPECT_TRUE(drawnFromItsColumn(7, kPartMelody, s.programs[kPartMelody]));
        if (s.programs[kPartHarmony] != kNoProgram) {
            EXPECT_TRUE(drawnFromItsColumn(7, kPartHarmony, s.programs[kPartHarmony]));
        }
        if (s.programs[kPartBass] != kNoProgram) {
            EXPECT_TRUE(drawnFromItsColumn(7, kPartBass, s.programs[kPartBass]));
        }
        drums.insert(s.programs[kPartDrums]);
        if (s.programs[kPartDrums] != kNoProgram) {
            EXPECT_EQ(s.programs[kPartDrums], 1);
            EXPECT_EQ(s.drumPattern, 22);
        }
    }
    EXPECT_EQ(drums, (std::set<int>{1, kNoProgram}));
}

TEST(RandomStyles, DrawInstrumentKeepsUnusedPartsAndRefusesMissingColumns) {
    Engine e(9);
    for (int kind : {0, 2, 3, 4, 5, 7, 8}) {
        e.state.style.programs[kPartHarmony] = kNoProgram;
        drawInstrument(e.state, kPartHarmony, kind);
        EXPECT_EQ(e.state.style.programs[kPartHarmony], kNoProgram) << kind;
    }
    // A group code is an instrument in use: it is redrawn to a plain program.
    e.state.style.programs[kPartHarmony] = 140;
    drawInstrument(e.state, kPartHarmony, 8);
    EXPECT_TRUE(drawnFromItsColumn(8, kPartHarmony, e.state.style.programs[kPartHarmony]));

    e.state.style.programs[kPartMelody] = 65;
    e.state.style.programs[kPartBass] = 32;
    e.state.style.programs[kPartLineB] = 40;
    for (int kind : {1, 6, 9, -1, 1000}) {
        CollectReports reports;
        drawInstrument(e.state, kPartMelody, kind);
        EXPECT_TRUE(reports.sawCode(kCategoryError)) << kind;
        EXPECT_EQ(e.state.style.programs[kPartMelody], 65);
    }
    const std::vector<std::pair<int, int>> missing = {{2, kPartBass}, {7, kPartLineB}, {0, 5},
                                                      {0, 9},         {3, -1},         {3, 99}};
    for (const auto& [kind, part] : missing) {
        CollectReports reports;
        drawInstrument(e.state, part, kind);
        EXPECT_TRUE(reports.sawCode(kChannelError)) << kind << ' ' << part;
        EXPECT_FALSE(reports.sawCode(kCategoryError));
    }
    EXPECT_EQ(e.state.style.programs[kPartBass], 32);
    EXPECT_EQ(e.state.style.programs[kPartLineB], 40);
}

TEST(RandomStyles, MelodyLineGroupDrawsItsMembersWithTheDoubledOneTwiceAsOften) {
    CompositionState state;
    state.rng.seed(2024);
    std::map<int, int> counts;
    constexpr int kDraws = 36000;
    for (int i = 0; i < kDraws; ++i)
        ++counts[resolveProgram(state, 140, kPartMelody)];
    ASSERT_GE(counts.size(), 4u);
    // One member is listed twice: it comes about twice as often as each of
    // the others, which come equally often.
    const auto doubled =
        std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; });
    const double single = static_cast<double>(kDraws) / static_cast<double>(counts.size() + 1);
    for (const auto& [program, count] : counts) {
        EXPECT_GE(program, 0);
        EXPECT_LE(program, 127);
        EXPECT_NEAR(count, program == doubled->first ? 2 * single : single, 0.15 * single) << program;
    }
    // A plain program is its own resolution.
    EXPECT_EQ(resolveProgram(state, doubled->first, kPartMelody), doubled->first);
}

// The classical kind redraws the meter both ways, and the chosen time chart
// follows the new meter.
TEST(RandomStyles, ClassicMeterRedrawChoosesTheTimeChart) {
    Engine e(31);
    bool waltzFromFourFour = false;
    bool fourFourFromWaltz = false;
    for (int build = 0; build < 120; ++build) {
        selectStyle(e.state, e.table, 3, 0);
        const StyleRecord& s = e.state.style;
        ASSERT_TRUE(s.meter == 0 || s.meter == 1);
        const std::string chart = e.state.patterns.timeChartName;
        if (s.meter == 1) {
            EXPECT_EQ(chart, "TIMECHT3.DB");
        } else {
            EXPECT_TRUE(chart == "TIMECHT.DB" || chart == "TIMECHT.DB2") << chart;
        }
        EXPECT_EQ(s.sectionA()[kMelDissonance], 10);
        EXPECT_EQ(s.sectionA()[kMelEndingKind], 1);
        const auto found = basesOf(e.table, s, 4);
        ASSERT_FALSE(found.empty());
        const int baseMeter = baseRecord(e.table, found.front()).meter;
        waltzFromFourFour |= baseMeter == 0 && s.meter == 1;
        fourFourFromWaltz |= baseMeter == 1 && s.meter == 0;
    }
    EXPECT_TRUE(waltzFromFourFour);
    EXPECT_TRUE(fourFourFromWaltz);
}

// Grid redraws write only their rows, hold normalised ties, and replace the
// base's second bars.
TEST(RandomStyles, RedrawnGridsUseTheirRowsAndAreNormalised) {
    Engine e(4242);
    const std::map<int, std::set<int>> rows = {
        {grid::kHarmonyBlock, {2, 3, 4, 6, 9}},
        {grid::kOtherBlock, {2, 4, 6, 9}},
        {grid::kDrumBlock, {0, 2, 5, 9}},
        {grid::kBassBlock, {2, 4, 6}},
    };
    int strummedGuitars = 0;
    for (int build = 0; build < 40; ++build) {
        selectStyle(e.state, e.table, 0, 0);
        const StyleRecord& s = e.state.style;
        const bool guitar = s.programs[kPartHarmony] >= 24 && s.programs[kPartHarmony] <= 30;
        for (const auto& [block, allowed] : rows) {
            // Guitar ties may hold rests over the other parts' whole bar.
            if (!(guitar && block == grid::kOtherBlock)) {
                EXPECT_TRUE(gridHasCells(s, block)) << block;
            }
            EXPECT_FALSE(gridHasCells(s, block + 4)) << block;
            for (int step = 0; step < grid::kSteps; ++step) {
                for (int row = 0; row < grid::kRows; ++row)
                    if (s.cell(block, row, step) == 1) {
                        EXPECT_TRUE(allowed.count(row)) << block << ' ' << row;
                    }
                if (s.tie(block, step) != 1 || block == grid::kDrumBlock) continue;
                const int previous = step == 0 ? grid::kSteps - 1 : step - 1;
                for (int row = 0; row < grid::kRows; ++row)
                    EXPECT_EQ(s.cell(block, row, step), s.cell(block, row, previous)) << block << ' ' << step;
            }
        }
        const int value = s.rowValue(grid::kDrumBlock, 9);
        EXPECT_TRUE(value == 19 || value == kInitialDrumCodes[9]) << value;
        if (guitar) {
            EXPECT_EQ(s.trailer(8), 1);
            ++strummedGuitars;
        }
    }
    EXPECT_GT(strummedGuitars, 0);
}

// Every random slot composes with several seeds without one reporter line;
// the bare techno base still plays bass, harmony and drums.
TEST(RandomStyles, EveryRandomSlotComposesCleanly) {
    CollectReports reports;
    for (int group = 0; group < StyleTable::kGroups; ++group) {
        for (std::uint32_t seed : {1u, 29u, 613u}) {
            SongComposer composer(dataDir(), seed + static_cast<std::uint32_t>(group) * 1000u);
            const std::string path = tempPath("random.mid");
            ASSERT_TRUE(composer.composeSong({group, 0}, path)) << group << ' ' << seed;
            EXPECT_EQ(composer.state().style.randomKind, 1);
        }
    }
    bool plainTechno = false;
    for (std::uint32_t seed = 1; seed < 200 && !plainTechno; ++seed) {
        SongComposer composer(dataDir(), seed);
        const std::string randomText = composer.styles().at(8, 0).descriptionText();
        const std::string path = tempPath("random-techno.mid");
        ASSERT_TRUE(composer.composeSong({8, 0}, path));
        if (composer.state().style.descriptionText() != randomText) continue;
        plainTechno = true;
        MidiF0Data song;
        ASSERT_TRUE(song.load(path));
        for (int part : {kPartBass, kPartHarmony, kPartAccompaniment2, kPartDrums})
            EXPECT_TRUE(song.usesChannel(part)) << "seed " << seed << " part " << part;
    }
    EXPECT_TRUE(plainTechno);
    for (const auto& line : reports.lines)
        ADD_FAILURE() << line.text;
}
