#include "styles/StyleTable.h"

#include "styles/StylesInternal.h"
#include "styles/patterns/PatternDatabase.h"

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

// The base styles a random style of each kind starts from.
const std::vector<std::vector<const char*>>& randomBases() {
    static const std::vector<std::vector<const char*>> bases = {
        {"Unplugged",       "70s Pops",      "Rock Guitar",
         "Easy Listening",  "AOR",           "Mersey Beat",
         "Ballade",         "Jaunty Keys",   "Rock",
         "Dog Rap",         "American Rock", "Rock Orchestra",
         "Rockabilly",      "SKA",           "90s Pops",
         "Oldies",          "Hard Rock",     "Hawaian Venture",
         "Bossanova Vocal", "Pop Vocal",     "Glam Rock",
         "Pops Symphonie"},
        {"Enka", "Japanese Pops", "JPOP DUO", "Evening Girls", "Electronic chime", "Okinawan Pops",
         "Folk Song"},
        {"Fusion", "Jazz Quartet", "Blues Quartet", "Blues Guitar2", "Harmonica Blues", "Vibraphone Jazz",
         "Jazz Piano Trio", "Rag Time", "Bossanova Piano", "Latin Rock", "Guitar Loundge", "Blues Piano",
         "Blues Piano Trio", "Blues Guitar", "Jazz Guitar", "Jazz Guitar Trio"},
        {"Wind Music", "Chamber Music", "Classic Piano", "Calm Airs", "Flute Music", "Classical Guitar",
         "Bolero", "Piano Solo", "Cembalo Solo", "Church Organ", "3/4 Piano", "Strings Quartet"},
        {"African Forest",
         "African",
         "Aboriginal Music",
         "Arabian",
         "Xoomij",
         "Bon Odori",
         "Japan Traditional",
         "China Town",
         "Matsuri Bayashi",
         "Indian Traditional",
         "Gamelan && Flute",
         "Okinawa",
         "Okinawa Ocean",
         "Gamelan",
         "Gagaku",
         "Chinese Spring",
         "China",
         "Country",
         "Kecak",
         "Erhu Music"},
        {"Scotland", "Andes", "Bossanova", "Paris Musette", "Hawaian", "Ethnic Guitar", "Samba",
         "German Polka", "Reggae", "Mambo", "European Tango"},
        {"Against War Song", "Mystery Cave", "Piano Vocal", "Horror", "Hero's Theme", "Fighting Theme",
         "Theme of Mouse", "Japanese Tale", "Theme of Stars"},
        {"Music Box", "Silk Road", "Nostalgic", "Forest Music", "Morning Music", "Deep sea drifting",
         "Dream World", "Local Town", "Fantasy", "EZ Piano", "Street Singers", "Healing Harp",
         "Healing Piano", "EZ Trio", "Space Sound", "Country Side", "Light Pops", "Healing Piano Plus"},
        // The techno kind may also start from its own bare record; a bare
        // record without the redraws would be a lone melody, so it is left out.
        {"Techno Dance", "Techno Rock", "Club Techno", "Trance", "Techno Pop", "J-Techno Pop", "Euro Beat"},
    };
    return bases;
}

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
    else
        kGroupSetUps[static_cast<std::size_t>(group)](slot, style);
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
    const int kind = chosen.randomKind;
    if (kind >= 1 && kind <= StyleTable::kGroups) {
        // Until random styles redraw their fields, a random style plays one
        // of its kind's base styles, drawn as the random builder draws it,
        // under the random style's name.
        const auto& bases = randomBases()[static_cast<std::size_t>(kind - 1)];
        const int pick = state.rng.randRange(0, static_cast<int>(bases.size()) - 1);
        const auto found = findStyle(table, bases[static_cast<std::size_t>(pick)]);
        const std::string randomName = chosen.nameText();
        state.style = found ? table.at(found->first, found->second) : chosen;
        state.style.setName(randomName);
        state.style.randomKind = 1;
    } else {
        state.style = chosen;
    }
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
