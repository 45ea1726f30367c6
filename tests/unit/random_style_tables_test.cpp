// The random styles' tables checked by what the drawing relies on: a column
// a part draws from must allow some program (the draw repeats until it hits
// one), and a kind that redraws instruments must have a row.
#include "styles/RandomStyleTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>

using namespace harmolin;
using namespace harmolin::random_styles;

namespace {

constexpr int kDrawnParts[] = {kPartMelody, kPartBass, kPartHarmony, kPartLineB, kPartAccompaniment2};

bool columnAllowsSomeProgram(int column) {
    const ProgramTable& table = programTable();
    return std::any_of(table.begin(), table.end(),
                       [column](const auto& row) { return row[static_cast<std::size_t>(column)] == 1; });
}

} // namespace

TEST(RandomStyleTables, EveryDrawnColumnAllowsAProgram) {
    for (int kind = 0; kind < StyleTable::kGroups; ++kind)
        for (int part : kDrawnParts) {
            const int column = programColumn(kind, part);
            if (column == kNoRow || column == kNoColumn) continue;
            ASSERT_GE(column, 0);
            ASSERT_LT(column, kProgramColumns);
            EXPECT_NE(column, kVolumeColumn) << "kind " << kind << " part " << part;
            EXPECT_TRUE(columnAllowsSomeProgram(column)) << "kind " << kind << " part " << part;
        }
    EXPECT_EQ(programColumn(-1, kPartMelody), kNoRow);
    EXPECT_EQ(programColumn(StyleTable::kGroups, kPartMelody), kNoRow);
}

TEST(RandomStyleTables, KindsThatRedrawInstrumentsHaveARowAndBases) {
    for (std::size_t kind = 0; kind < kindPlans().size(); ++kind) {
        const KindPlan& plan = kindPlans()[kind];
        EXPECT_FALSE(randomBases()[kind].empty()) << "kind " << kind + 1;
        EXPECT_FALSE(plan.steps.empty()) << "kind " << kind + 1;
        const bool redraws =
            std::find(plan.steps.begin(), plan.steps.end(), Step::Instruments) != plan.steps.end();
        if (redraws) {
            EXPECT_NE(programColumn(plan.tableKind, kPartMelody), kNoRow) << "kind " << kind + 1;
        }
    }
}
