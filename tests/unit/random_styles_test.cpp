// Random styles: a base of the group's list, the redrawn fields within their
// tables, the table slot restored, and every random slot composing cleanly.
#include "app/DataFolder.h"
#include "app/SongPipeline.h"
#include "engine/accompaniment/PartSetup.h"
#include "midi/MidiF0Data.h"
#include "styles/StyleTable.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

using namespace harmolin;
using namespace harmolin::test;

namespace {

constexpr std::uint32_t kCategoryError = 0xff010178;
constexpr std::uint32_t kChannelError = 0xff010177;

std::string dataDir() {
#ifdef HARMOLIN_TEST_DATA
    return std::string(HARMOLIN_TEST_DATA) + "/../../data";
#else
    return dataFolder();
#endif
}

// The base styles of each random kind; "" is the bare techno record.
const std::vector<std::vector<std::string>>& kindBases() {
    static const std::vector<std::vector<std::string>> bases = {
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
        {"", "Techno Dance", "Techno Rock", "Club Techno", "Trance", "Techno Pop", "J-Techno Pop",
         "Euro Beat"},
    };
    return bases;
}

std::set<int> programs(std::initializer_list<std::pair<int, int>> spans) {
    std::set<int> out;
    for (const auto& [first, last] : spans)
        for (int p = first; p <= last; ++p)
            out.insert(p);
    return out;
}

// The allowed programs of the columns the tests look at.
const std::map<int, std::set<int>>& columns() {
    static const std::map<int, std::set<int>> c = {
        {0, programs({{22, 22}, {29, 30}, {53, 53}, {61, 66}, {80, 81}})},
        {2, programs({{0, 2}, {4, 5}, {16, 20}, {24, 27}, {29, 30}, {48, 54}, {88, 95}})},
        {3, programs({{32, 35}, {38, 39}})},
        {4, programs({{0, 13},
                      {15, 30},
                      {38, 41},
                      {45, 46},
                      {48, 54},
                      {56, 75},
                      {77, 86},
                      {88, 91},
                      {93, 112},
                      {114, 114}})},
        {5, programs({{0, 2},
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
                      {105, 108}})},
        {6, programs({{11, 11},
                      {16, 18},
                      {20, 23},
                      {29, 30},
                      {40, 41},
                      {53, 53},
                      {56, 57},
                      {59, 59},
                      {61, 68},
                      {71, 75},
                      {78, 79}})},
        {7, programs({{0, 5},
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
                      {78, 79}})},
        {15, programs({{0, 8}, {10, 11}, {46, 46}, {53, 53}, {78, 78}, {88, 88}, {98, 98}, {100, 100}})},
        {16,
         programs({{0, 7}, {10, 11}, {32, 32}, {43, 43}, {45, 46}, {53, 53}, {60, 60}, {78, 78}, {88, 88}})},
        {17, programs({{29, 30}, {53, 53}, {61, 63}, {65, 65}, {80, 82}, {90, 91}, {100, 100}})},
        {18, programs({{0, 2},
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
                       {100, 100}})},
        {19, programs({{32, 39}, {80, 81}, {90, 90}, {100, 100}})},
    };
    return c;
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
    for (const std::string& name : kindBases()[static_cast<std::size_t>(kind - 1)]) {
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

TEST(RandomStyles, EveryBaseNameIsATableStyle) {
    Engine e(1);
    for (std::size_t kind = 0; kind < kindBases().size(); ++kind)
        for (const std::string& name : kindBases()[kind]) {
            if (name.empty()) continue;
            const auto at = findStyle(e.table, name);
            ASSERT_TRUE(at.has_value()) << name;
            EXPECT_EQ(e.table.at(at->first, at->second).randomKind, 0) << name;
        }
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
    struct Expect {
        int group;
        std::map<int, int> partColumn;
    };
    const std::vector<Expect> expects = {
        {0, {{1, 0}, {2, 3}, {3, 2}, {4, 4}, {7, 5}}},
        {2, {{1, 6}, {3, 7}, {4, 6}, {7, 7}}},
        {8, {{1, 17}, {2, 19}, {3, 18}, {4, 17}, {7, 18}}},
    };
    for (const Expect& x : expects) {
        Engine e(5);
        for (int build = 0; build < 60; ++build) {
            selectStyle(e.state, e.table, x.group, 0);
            const StyleRecord& s = e.state.style;
            const auto found = basesOf(e.table, s, x.group + 1);
            ASSERT_FALSE(found.empty());
            if (found.front().empty()) continue; // the bare techno record has parts of its own
            const StyleRecord& base = baseRecord(e.table, found.front());
            for (const auto& [part, column] : x.partColumn) {
                const int program = s.programs[static_cast<std::size_t>(part)];
                if (base.programs[static_cast<std::size_t>(part)] == kNoProgram) {
                    EXPECT_EQ(program, kNoProgram) << found.front() << " part " << part;
                } else {
                    EXPECT_TRUE(columns().at(column).count(program))
                        << found.front() << " part " << part << " program " << program;
                }
            }
            if (x.group == 2) {
                EXPECT_EQ(s.programs[kPartBass], base.programs[kPartBass]) << found.front();
            }
            if (x.group == 0) {
                const int lift = s.programs[kPartMelody] == 22 || s.programs[kPartMelody] == 53 ? 10 : 0;
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
        EXPECT_TRUE(columns().at(15).count(s.programs[kPartMelody]));
        if (s.programs[kPartHarmony] != kNoProgram) {
            EXPECT_TRUE(columns().at(15).count(s.programs[kPartHarmony]));
        }
        if (s.programs[kPartBass] != kNoProgram) {
            EXPECT_TRUE(columns().at(16).count(s.programs[kPartBass]));
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
    EXPECT_TRUE(columns().at(18).count(e.state.style.programs[kPartHarmony]));

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
    const std::set<int> members = {65, 22, 53, 21, 61, 62, 63, 71, 79, 56, 68, 80, 81, 100, 75, 90, 82};
    std::map<int, int> counts;
    constexpr int kDraws = 36000;
    for (int i = 0; i < kDraws; ++i)
        ++counts[resolveProgram(state, 140, kPartMelody)];
    for (const auto& [program, count] : counts)
        EXPECT_TRUE(members.count(program)) << program;
    EXPECT_EQ(counts.size(), members.size());
    // 2000 draws expected per single member, 4000 for 53.
    EXPECT_NEAR(counts[53], 4000, 400);
    EXPECT_NEAR(counts[65], 2000, 300);
    EXPECT_EQ(resolveProgram(state, 53, kPartMelody), 53);
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
