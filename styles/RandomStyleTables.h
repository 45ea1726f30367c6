// The tables the random styles are drawn from: which General MIDI programs a
// part may be redrawn to, the built-in styles each random kind starts from,
// and the fields each kind redraws. The drawing itself is in RandomStyles.cpp.
#pragma once

#include "styles/StyleTable.h"

#include <array>
#include <cstdint>
#include <vector>

namespace harmolin::random_styles {

// Program table: one row per General MIDI program; a column is 1 where the
// program may be drawn. Column 1 is the melody's volume adjustment instead.
inline constexpr int kProgramColumns = 20;
inline constexpr int kVolumeColumn = 1;
inline constexpr int kMelodyColumn = 0;
inline constexpr int kBassColumn = 3;
using ProgramTable = std::array<std::array<std::int32_t, kProgramColumns>, 128>;
const ProgramTable& programTable();

// The program table's column for a part under a table kind: kNoColumn where
// the part has none, kNoRow where the kind has no row at all.
inline constexpr int kNoColumn = -1;
inline constexpr int kNoRow = -2;
int programColumn(int tableKind, int part);

// Base styles per random kind (kind 1 first). kPlainTechno names the bare
// techno record in the techno list; it is not a table style.
inline constexpr const char* kPlainTechno = "";
const std::array<std::vector<const char*>, StyleTable::kGroups>& randomBases();

// Field redraws: the steps each random kind takes, in order.
enum class Step {
    Key,
    Section9,
    Section45,
    Mixer,
    Tempo,
    Instruments,
    Section12,
    HarmonyGrid,
    OtherGrid,
    BassGrid,
    DrumGrid,
    BassPattern,
    Category,
    DrumPattern,
    Meter,
    Healing,
};

struct KindPlan {
    int tempoType;
    int tableKind;
    std::vector<Step> steps;
};

const std::array<KindPlan, StyleTable::kGroups>& kindPlans();

} // namespace harmolin::random_styles
