// The tables the random styles are drawn from: the program table with its
// columns, the base styles of each random kind and each kind's redraw plan.
#include "styles/RandomStyleTables.h"

#include <initializer_list>

namespace harmolin::random_styles {

// ---------------------------------------------------------------------------
// Program table.

namespace {

struct Span {
    int first;
    int last;
};

} // namespace

const ProgramTable& programTable() {
    static const ProgramTable table = [] {
        ProgramTable t{};
        auto allow = [&t](int column, std::initializer_list<Span> spans) {
            for (const Span& s : spans)
                for (int p = s.first; p <= s.last; ++p)
                    t[static_cast<std::size_t>(p)][static_cast<std::size_t>(column)] = 1;
        };
        allow(0, {{22, 22}, {29, 30}, {53, 53}, {61, 66}, {80, 81}});
        allow(2, {{0, 2}, {4, 5}, {16, 20}, {24, 27}, {29, 30}, {48, 54}, {88, 95}});
        allow(3, {{32, 35}, {38, 39}});
        allow(4, {{0, 13},
                  {15, 30},
                  {38, 41},
                  {45, 46},
                  {48, 54},
                  {56, 75},
                  {77, 86},
                  {88, 91},
                  {93, 112},
                  {114, 114}});
        allow(5, {{0, 2},
                  {4, 7},
                  {10, 11},
                  {15, 30},
                  {41, 42},
                  {46, 46},
                  {48, 55},
                  {61, 63},
                  {68, 68},
                  {71, 75},
                  {78, 85},
                  {88, 91},
                  {93, 100},
                  {103, 103},
                  {105, 108}});
        allow(6, {{11, 11},
                  {16, 18},
                  {20, 23},
                  {29, 30},
                  {40, 41},
                  {53, 53},
                  {56, 57},
                  {59, 59},
                  {61, 68},
                  {71, 75},
                  {78, 79}});
        allow(7, {{0, 5},
                  {11, 11},
                  {16, 18},
                  {20, 21},
                  {23, 27},
                  {29, 30},
                  {46, 46},
                  {48, 51},
                  {53, 53},
                  {61, 61},
                  {71, 75},
                  {78, 79}});
        allow(8, {{40, 42}, {48, 51}, {53, 53}, {56, 57}, {61, 61}, {65, 68}, {71, 75}});
        allow(9, {{0, 1},
                  {6, 7},
                  {19, 19},
                  {24, 24},
                  {27, 27},
                  {41, 42},
                  {46, 46},
                  {48, 53},
                  {61, 61},
                  {68, 68},
                  {71, 74},
                  {79, 79}});
        allow(10, {{19, 19}, {32, 32}, {41, 43}, {48, 49}, {53, 53}, {57, 58}, {60, 61}, {69, 70}});
        allow(
            11,
            {{12, 13}, {15, 15}, {27, 27}, {53, 53}, {74, 75}, {77, 79}, {104, 108}, {111, 111}, {115, 115}});
        allow(12, {{15, 15}, {32, 32}, {42, 43}, {45, 46}, {53, 53}, {104, 104}, {106, 108}});
        allow(13, {{9, 9},
                   {15, 15},
                   {21, 21},
                   {23, 24},
                   {27, 27},
                   {42, 43},
                   {46, 46},
                   {53, 53},
                   {68, 68},
                   {71, 75},
                   {78, 79},
                   {105, 105},
                   {109, 110},
                   {114, 114}});
        allow(14, {{15, 15}, {23, 24}, {32, 32}, {42, 43}, {45, 45}, {53, 53}, {58, 58}, {60, 60}, {69, 70}});
        allow(15, {{0, 8}, {10, 11}, {46, 46}, {53, 53}, {78, 78}, {88, 88}, {98, 98}, {100, 100}});
        allow(16, {{0, 7}, {10, 11}, {32, 32}, {43, 43}, {45, 46}, {53, 53}, {60, 60}, {78, 78}, {88, 88}});
        allow(17, {{29, 30}, {53, 53}, {61, 63}, {65, 65}, {80, 82}, {90, 91}, {100, 100}});
        allow(18, {{0, 2},
                   {4, 5},
                   {11, 11},
                   {16, 18},
                   {20, 20},
                   {26, 26},
                   {28, 30},
                   {46, 46},
                   {48, 51},
                   {53, 53},
                   {61, 63},
                   {72, 72},
                   {80, 82},
                   {90, 91},
                   {100, 100}});
        allow(19, {{32, 39}, {80, 81}, {90, 90}, {100, 100}});
        // Reed and alto sax melodies sit low in the mix without a lift.
        t[22][kVolumeColumn] = 10;
        t[53][kVolumeColumn] = 10;
        return t;
    }();
    return table;
}

namespace {

// Column by table kind for parts 1, 2, 3, 4 and 7; -1 where the part has no
// column. Table kinds 1 and 6 have no row at all.
constexpr std::array<int, 5> kColumnParts = {kPartMelody, kPartBass, kPartHarmony, kPartLineB,
                                             kPartAccompaniment2};
constexpr std::array<std::array<int, 5>, 9> kColumnRows = {{
    {0, 3, 2, 4, 5},
    {kNoRow, kNoRow, kNoRow, kNoRow, kNoRow},
    {6, kNoColumn, 7, 6, 7},
    {8, 10, 9, 8, 9},
    {11, 12, 11, 11, 11},
    {13, 14, 13, 13, 13},
    {kNoRow, kNoRow, kNoRow, kNoRow, kNoRow},
    {15, 16, 15, kNoColumn, kNoColumn},
    {17, 19, 18, 17, 18},
}};

} // namespace

int programColumn(int tableKind, int part) {
    if (tableKind < 0 || tableKind >= static_cast<int>(kColumnRows.size())) return kNoRow;
    const auto& row = kColumnRows[static_cast<std::size_t>(tableKind)];
    if (row[0] == kNoRow) return kNoRow;
    for (std::size_t i = 0; i < kColumnParts.size(); ++i)
        if (kColumnParts[i] == part) return row[i];
    return kNoColumn;
}

// ---------------------------------------------------------------------------
// Base styles per random kind.

const std::array<std::vector<const char*>, StyleTable::kGroups>& randomBases() {
    static const std::array<std::vector<const char*>, StyleTable::kGroups> bases = {{
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
        {kPlainTechno, "Techno Dance", "Techno Rock", "Club Techno", "Trance", "Techno Pop", "J-Techno Pop",
         "Euro Beat"},
    }};
    return bases;
}

// ---------------------------------------------------------------------------
// Field redraws.

const std::array<KindPlan, StyleTable::kGroups>& kindPlans() {
    using S = Step;
    static const std::array<KindPlan, StyleTable::kGroups> plans = {{
        {0,
         0,
         {S::Key, S::Section9, S::Section45, S::Mixer, S::Tempo, S::Instruments, S::Section12, S::HarmonyGrid,
          S::OtherGrid, S::BassGrid, S::DrumGrid, S::BassPattern, S::Category}},
        {0,
         0,
         {S::Key, S::Section9, S::Section45, S::Mixer, S::Tempo, S::Instruments, S::HarmonyGrid, S::OtherGrid,
          S::BassGrid, S::DrumGrid, S::Section12, S::BassPattern, S::Category}},
        {2, 2, {S::Key, S::Section9, S::Section45, S::DrumPattern, S::Tempo, S::Instruments, S::Section12}},
        {3, 3, {S::Key, S::Section9, S::Tempo, S::Instruments, S::Section12, S::Meter}},
        {4, 4, {S::Key, S::Section9, S::Section45, S::Tempo, S::Instruments, S::Section12}},
        {5, 5, {S::Key, S::Section9, S::Section45, S::Tempo, S::Instruments, S::Section12}},
        {0,
         0,
         {S::Key, S::Section9, S::Section45, S::Mixer, S::Tempo, S::Instruments, S::Section12,
          S::BassPattern}},
        {7,
         7,
         {S::Key, S::Section9, S::Section45, S::Tempo, S::Mixer, S::Healing, S::Section12, S::BassPattern}},
        {8, 8, {S::Key, S::Section9, S::Section45, S::Mixer, S::Tempo, S::Instruments, S::Section12}},
    }};
    return plans;
}

} // namespace harmolin::random_styles
