// The table of built-in styles: 9 groups of 24 slots.
#pragma once

#include "engine/CompositionState.h"
#include "engine/StyleRecord.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace harmolin {

class StyleTable {
  public:
    static constexpr int kGroups = 9;
    static constexpr int kSlots = 24;

    [[nodiscard]] StyleRecord& at(int group, int slot) {
        return records_[static_cast<std::size_t>(group * kSlots + slot)];
    }
    [[nodiscard]] const StyleRecord& at(int group, int slot) const {
        return records_[static_cast<std::size_t>(group * kSlots + slot)];
    }

  private:
    std::vector<StyleRecord> records_ = std::vector<StyleRecord>(kGroups * kSlots);
};

[[nodiscard]] const char* styleGroupName(int group);

// Fills the whole table (every built-in style in its slot, defaults elsewhere).
void registerStyles(StyleTable& table, EngineRandom& random);
// Runs one slot's set-up routine (defaults, the style's values, finalisation).
void setUpStyle(StyleTable& table, int group, int slot, EngineRandom& random);
// Makes a style current: a copy into the state and the databases chosen (a
// random style is rebuilt instead).
void selectStyle(CompositionState& state, StyleTable& table, int group, int slot);
// Rebuilds a random style (a record with randomKind 1 to 9) as the current
// style: a base style of its kind with a set of fields redrawn.
void buildRandomStyle(CompositionState& state, StyleTable& table, int group, int slot);
// Redraws the current style's program of a part from the program table of
// a random kind; a part not in use (256) keeps its program.
void drawInstrument(CompositionState& state, int part, int tableKind);

// The random styles' tables, read for their checks. Base style names of a
// random kind 1 to 9 ("" names the bare techno record); the program column a
// table kind draws a part from (kNoProgramColumn, or kNoProgramRow for a
// kind without a row); whether a column allows a program; a melody
// program's volume lift.
inline constexpr int kRandomProgramColumns = 20;
inline constexpr int kNoProgramColumn = -1;
inline constexpr int kNoProgramRow = -2;
[[nodiscard]] const std::vector<const char*>& randomStyleBases(int kind);
[[nodiscard]] int randomProgramColumn(int tableKind, int part);
[[nodiscard]] bool randomProgramAllowed(int column, int program);
[[nodiscard]] int randomMelodyLift(int program);
// Group and slot of a style by name (case-insensitive), the first match.
[[nodiscard]] std::optional<std::pair<int, int>> findStyle(const StyleTable& table, std::string_view name);

} // namespace harmolin
