#include "styles/StyleTable.h"

#include "engine/patterns/PatternDatabase.h"
#include "styles/StylesInternal.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace harmolin {
namespace {

constexpr std::array<const char*, StyleTable::kGroups> kGroupNames = {
    "Pops",        "Japanese Pops", "Jazz and Blues", "Classical", "Ethnic East",
    "Ethnic West", "Game",          "Healing",        "Techno"};

constexpr std::array<styles::GroupSetUp, StyleTable::kGroups> kGroupSetUps = {
    styles::setUpPopsStyle,    styles::setUpJapaneseStyle,   styles::setUpJazzStyle,
    styles::setUpClassicStyle, styles::setUpEthnicEastStyle, styles::setUpEthnicWestStyle,
    styles::setUpGameStyle,    styles::setUpHealingStyle,    styles::setUpTechnoStyle};

bool validSlot(int group, int slot) {
    return group >= 0 && group < StyleTable::kGroups && slot >= 0 && slot < StyleTable::kSlots;
}

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

const char* styleGroupName(int group) {
    if (group < 0 || group >= StyleTable::kGroups) return "";
    return kGroupNames[static_cast<std::size_t>(group)];
}

void setUpStyle(StyleTable& table, int group, int slot, EngineRandom& random) {
    if (!validSlot(group, slot)) return;
    StyleRecord& style = table.at(group, slot);
    initStyleDefaults(style, random);
    if (slot == 0)
        styles::setUpRandomStyle(style, group);
    else if (kGroupSetUps[static_cast<std::size_t>(group)](slot, style))
        (void)styles::arrangeStyle(group, slot, style); // the family's name is for the catalogue
    finaliseStyle(style);
}

void registerStyles(StyleTable& table, EngineRandom& random) {
    for (int group = 0; group < StyleTable::kGroups; ++group)
        for (int slot = 0; slot < StyleTable::kSlots; ++slot)
            setUpStyle(table, group, slot, random);
}

void selectStyle(CompositionState& state, StyleTable& table, int group, int slot) {
    if (!validSlot(group, slot)) return;
    const StyleRecord& chosen = table.at(group, slot);
    if (chosen.randomKind != 0) {
        buildRandomStyle(state, table, group, slot);
        return;
    }
    state.style = chosen;
    chooseDatabases(state);
}

std::optional<std::pair<int, int>> findStyle(const StyleTable& table, std::string_view name) {
    if (name.empty()) return std::nullopt;
    for (int group = 0; group < StyleTable::kGroups; ++group)
        for (int slot = 0; slot < StyleTable::kSlots; ++slot)
            if (sameText(table.at(group, slot).nameText(), name)) return std::make_pair(group, slot);
    return std::nullopt;
}

} // namespace harmolin
