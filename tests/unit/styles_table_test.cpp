// The table of built-in styles: names and slots, the telling styles, the
// styles of the main window and the ranges every style must keep.
#include "engine/CompositionState.h"
#include "styles/StyleTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace harmolin;

namespace {

// The names of the table by group, "" where a slot holds no named style.
const std::vector<std::vector<std::string>>& expectedNames() {
    static const std::vector<std::vector<std::string>> names = {
        {"Random Pops",
         "Unplugged",
         "Latin Rock",
         "Rock Guitar",
         "Easy Listening",
         "AOR",
         "Mersey Beat",
         "Ballade",
         "Jaunty Keys",
         "Rock",
         "Dog Rap",
         "American Rock",
         "Rock Orchestra",
         "Rockabilly",
         "SKA",
         "90s Pops",
         "Oldies",
         "Hard Rock",
         "Hawaian Venture",
         "Progressive Rock",
         "Bossanova Vocal",
         "Pop Vocal",
         "Glam Rock",
         "3/4 Pops"},
        {"Random Pops", "Enka", "Japanese Pops", "JPOP DUO", "Evening Girls", "Electronic chime",
         "Okinawan Pops", "Folk Song", "Child Song", "70s Pops", "Pops Symphonie"},
        {"Random Jazz", "Fusion", "Jazz Quartet", "Blues Quartet", "Blues Guitar2", "Harmonica Blues",
         "Vibraphone Jazz", "Jazz Piano Trio", "Rag Time", "Bossanova Piano", "", "Guitar Loundge",
         "Blues Piano", "Blues Piano Trio", "Blues Guitar", "Jazz Guitar", "Jazz Guitar Trio", "Jazz Waltz"},
        {"Random Classic", "Modern Piano", "Wind Music", "Chamber Music", "Classic Piano", "Calm Airs",
         "Flute Music", "Classical Guitar", "Bolero", "Piano Solo", "Cembalo Solo", "Church Organ",
         "3/4 Piano", "Strings Quartet", "Colorist", "Theremin Music", "Vienna Waltz", "Brass Band March"},
        {"Random Ethnic",
         "African Forest",
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
         "Gamelan",
         "Okinawa",
         "Okinawa Ocean",
         "Gagaku",
         "Chinese Spring",
         "China",
         "Kecak",
         "Erhu Music",
         "Debayashi"},
        {"Random Ethnic", "Scotland", "Andes", "Bossanova", "Paris Musette", "Hawaian", "Ethnic Guitar",
         "Samba", "German Polka", "Reggae", "Mambo", "European Tango", "Country", "Cha Cha Cha",
         "Bulgarian Voice", "Yodel", "Flamenco"},
        {"Random Game", "Against War Song", "Mystery Cave", "Piano Vocal", "Horror", "Hero's Theme",
         "Fighting Theme", "Theme of Mouse", "Japanese Tale", "Theme of Stars", "Spaghetti Western"},
        {"Random Healing",    "Music Box",         "Silk Road",    "Nostalgic",     "Forest Music",
         "Morning Music",     "Deep sea drifting", "Dream World",  "Local Town",    "Fantasy",
         "EZ Piano",          "Street Singers",    "Healing Harp", "Healing Piano", "EZ Trio",
         "Space Sound",       "Light Pops",        "Goddess Harp", "Country Side",  "Recorder Quartet",
         "Healing Piano Plus"},
        {"Random Techno", "Techno Dance", "Techno Rock", "Club Techno", "Trance", "Techno Pop",
         "J-Techno Pop", "Euro Beat", "test(Melody)"},
    };
    return names;
}

std::string expectedName(int group, int slot) {
    const auto& row = expectedNames()[static_cast<std::size_t>(group)];
    return slot < static_cast<int>(row.size()) ? row[static_cast<std::size_t>(slot)] : "";
}

// The styles set up in full, with the main window's seven.
const std::vector<std::string> kAuthored = {
    "Unplugged",       "Enka",          "Jazz Waltz", "Evening Girls", "Jaunty Keys",
    "Jazz Piano Trio", "Okinawan Pops", "Light Pops", "Horror",        "Space Sound"};

class StylesTable : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        table_ = std::make_unique<StyleTable>();
        EngineRandom random;
        random.seed(42);
        registerStyles(*table_, random);
    }
    static void TearDownTestSuite() { table_.reset(); }

    static const StyleRecord& named(const std::string& name) {
        const auto at = findStyle(*table_, name);
        EXPECT_TRUE(at.has_value()) << name;
        return at ? table_->at(at->first, at->second) : table_->at(2, 10);
    }

    static bool anyCell(const StyleRecord& s, int block, int steps) {
        for (int row = 0; row < grid::kRows; ++row)
            for (int step = 0; step < steps; ++step)
                if (s.cell(block, row, step) != 0) return true;
        return false;
    }

    static std::unique_ptr<StyleTable> table_;
};

std::unique_ptr<StyleTable> StylesTable::table_;

} // namespace

TEST_F(StylesTable, EveryNameSitsInItsSlot) {
    for (int g = 0; g < StyleTable::kGroups; ++g)
        for (int s = 0; s < StyleTable::kSlots; ++s)
            EXPECT_EQ(table_->at(g, s).nameText(), expectedName(g, s)) << g << "," << s;
}

TEST_F(StylesTable, EmptySlotsHoldTheDefaultRecord) {
    for (const auto& [g, s] : {std::pair{1, 11}, {2, 10}, {2, 23}, {8, 9}, {3, 19}}) {
        const StyleRecord& r = table_->at(g, s);
        EXPECT_EQ(r.descriptionText(), "No music style is defined.");
        EXPECT_EQ(r.barCount, 40);
        EXPECT_EQ(r.programs[kPartBass], kNoProgram);
        EXPECT_EQ(r.randomKind, 0);
        for (int bar = 0; bar < 40; ++bar) {
            const auto* e = &r.defaultChords[static_cast<std::size_t>(bar) * 6];
            EXPECT_EQ(e[0] * 256 + e[1], 384);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(e + 2), 4), (bar / 4) % 2 ? "GMPs" : "CMPS");
        }
    }
    // Group 3 slot 18 is a style without a name: default texts, its own values.
    const StyleRecord& unnamed = table_->at(3, 18);
    EXPECT_EQ(unnamed.nameText(), "");
    EXPECT_EQ(unnamed.descriptionText(), "No music style is defined.");
    EXPECT_NE(unnamed.programs[kPartHarmony], kNoProgram);
}

TEST_F(StylesTable, RandomSlotsCarryTheirKind) {
    const char* kPopsText =
        "Different music style is generated every time and played. To read a file and use it "
        "later, set up to record generated music styles in a file.";
    for (int g = 0; g < StyleTable::kGroups; ++g) {
        const StyleRecord& r = table_->at(g, 0);
        EXPECT_EQ(r.randomKind, g + 1);
        EXPECT_EQ(r.programs[kPartBass], kNoProgram); // all else default
    }
    EXPECT_EQ(table_->at(1, 0).descriptionText(), kPopsText);
    EXPECT_EQ(table_->at(2, 0).descriptionText(), "Jazz music style is automately generated and played");
    EXPECT_EQ(table_->at(5, 0).descriptionText(),
              "West region ethnic music is automately generated and played.");
    for (int g = 0; g < StyleTable::kGroups; ++g)
        for (int s = 1; s < StyleTable::kSlots; ++s)
            EXPECT_EQ(table_->at(g, s).randomKind, 0);
}

TEST_F(StylesTable, EveryStyleKeepsItsValuesInRange) {
    std::set<std::string> seen;
    for (int g = 0; g < StyleTable::kGroups; ++g) {
        for (int s = 1; s < StyleTable::kSlots; ++s) {
            const StyleRecord& r = table_->at(g, s);
            const std::string name = r.nameText();
            if (name.empty()) continue;
            SCOPED_TRACE(name);
            EXPECT_TRUE(seen.insert(name).second) << "named twice";
            EXPECT_FALSE(r.descriptionText().empty());
            EXPECT_NE(r.descriptionText(), "No music style is defined.");
            EXPECT_GE(r.tempo, 350000);
            EXPECT_LE(r.tempo, 2000000);
            EXPECT_GE(r.meter, 0);
            EXPECT_LE(r.meter, 2);
            EXPECT_TRUE(r.keyVariant == 1 || r.keyVariant == 2);
            EXPECT_GE(r.category, 1);
            EXPECT_LE(r.category, 10);
            EXPECT_NE(r.category, 8);
            EXPECT_TRUE(r.feel == 0 || r.feel == 1 || r.feel == 3); // 1: straight with triplet runs
            EXPECT_FALSE(r.meter == 2 && r.feel == 3) << "7/8 has no triplet grid";
            EXPECT_GE(r.part3Pattern, 1);
            EXPECT_LE(r.part3Pattern, 60);
            EXPECT_NE(r.part3Pattern, 48);
            EXPECT_GE(r.part7Pattern, 1);
            EXPECT_LE(r.part7Pattern, 60);
            EXPECT_NE(r.part7Pattern, 48);
            EXPECT_GE(r.drumPattern, 1);
            EXPECT_LE(r.drumPattern, 38);
            EXPECT_GE(r.bassPattern, 1);
            EXPECT_LE(r.bassPattern, 23);
            for (int part = 0; part < 16; ++part) {
                const int p = r.programs[part];
                EXPECT_TRUE((p >= 0 && p <= 131) || (p >= 136 && p <= 144) || p == kNoProgram)
                    << part << ": " << p;
            }
            EXPECT_NE(r.programs[kPartMelody], kNoProgram);
            // A style that plays a grid has one to play.
            const int steps = r.feel == 3 ? 12 : 16;
            if (r.part3Pattern == 47 && r.programs[kPartHarmony] != kNoProgram) {
                EXPECT_TRUE(anyCell(r, grid::kHarmonyBlock, steps));
            }
            if (r.drumPattern == 28 && r.programs[kPartDrums] != kNoProgram) {
                EXPECT_TRUE(anyCell(r, grid::kDrumBlock, steps));
            }
            if (r.bassPattern == 20 && r.programs[kPartBass] != kNoProgram) {
                EXPECT_TRUE(anyCell(r, grid::kBassBlock, 16));
            }
        }
    }
    EXPECT_GE(seen.size(), 140u);
}

TEST_F(StylesTable, BluesStylesUseTheBluesDatabases) {
    for (const char* name : {"Blues Quartet", "Blues Guitar2", "Harmonica Blues", "Blues Piano",
                             "Blues Piano Trio", "Blues Guitar"}) {
        const StyleRecord& r = named(name);
        EXPECT_EQ(r.chordDbText(), "PATTERN.DBB") << name;
        EXPECT_EQ(r.cadenceDbText(), "RESOLUT.DBB") << name;
        EXPECT_EQ(r.category, 6) << name;
    }
    for (int g = 0; g < StyleTable::kGroups; ++g)
        for (int s = 0; s < StyleTable::kSlots; ++s)
            if (table_->at(g, s).category == 6) {
                EXPECT_EQ(table_->at(g, s).chordDbText(), "PATTERN.DBB");
            }
}

TEST_F(StylesTable, EnkaAsWritten) {
    const StyleRecord& r = named("Enka");
    EXPECT_EQ(findStyle(*table_, "Enka"), (std::pair{1, 1}));
    EXPECT_EQ(r.descriptionText(), "Enka is a popular music style among elder people in Japan.");
    const std::array<std::int32_t, 16> programs = {0, 65, 32, 24, 256, 256, 0, 48, 256, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(r.programs, programs);
    EXPECT_EQ((std::array<int, 3>{r.mixer[1][0], r.mixer[1][1], r.mixer[1][2]}),
              (std::array<int, 3>{115, 60, 120}));
    EXPECT_EQ((std::array<int, 3>{r.mixer[2][0], r.mixer[2][1], r.mixer[2][2]}),
              (std::array<int, 3>{110, 60, 60}));
    EXPECT_EQ((std::array<int, 3>{r.mixer[3][0], r.mixer[3][1], r.mixer[3][2]}),
              (std::array<int, 3>{100, 60, 120}));
    EXPECT_EQ((std::array<int, 3>{r.mixer[4][0], r.mixer[4][1], r.mixer[4][2]}),
              (std::array<int, 3>{115, 60, 60}));
    EXPECT_EQ((std::array<int, 3>{r.mixer[9][0], r.mixer[9][1], r.mixer[9][2]}),
              (std::array<int, 3>{100, 60, 120}));
    EXPECT_EQ(r.mixer[7][0], 100);
    EXPECT_EQ(r.mixer[7][1], 64); // unlisted bytes keep their defaults
    EXPECT_EQ(r.mixer[1][9], 0);
    EXPECT_EQ(r.barCount, 30);
    EXPECT_EQ(r.meter, 0);
    EXPECT_EQ(r.tempo, 850000);
    EXPECT_EQ(r.keyVariant, 2);
    EXPECT_EQ(r.chordDbText(), "PATTERN.DB2");
    EXPECT_EQ(r.cadenceDbText(), "RESOLUT.DB2");
    EXPECT_EQ(r.feel, 3);
    EXPECT_EQ(r.melodyJumpWeights, (std::array<std::int32_t, 8>{10, 10, 70, 90, 90, 92, 94, 96}));
    EXPECT_EQ(r.melodyJumpSizes, (std::array<std::int32_t, 8>{-25, -25, 0, 10, 20, 30, 40, 50}));
    EXPECT_EQ(r.part3Pattern, 22);
    EXPECT_EQ(r.category, 3);
    EXPECT_EQ(r.drumPattern, 17);
    EXPECT_EQ(r.part7Pattern, 24);
    EXPECT_EQ(r.bassPattern, 11);
    EXPECT_EQ(r.flagAfterRandomKind, 1);
    const std::array<std::int32_t, 15> sectionA = {9, 8, 0, 0, 0, 5, 0, 80, 50, 6, 0, 0, 0, 0, 0};
    EXPECT_EQ(r.sectionA(), sectionA);
    EXPECT_EQ(r.melodySettings[4], sectionA); // copied by finalisation
    EXPECT_EQ(r.patternParams[1], 120);
    EXPECT_EQ(r.scaleNumber, 1);
    EXPECT_EQ(r.sectionCopyMode, 6);
}

TEST_F(StylesTable, UnpluggedAsWritten) {
    const StyleRecord& r = named("Unplugged");
    EXPECT_EQ(findStyle(*table_, "unplugged"), (std::pair{0, 1}));
    EXPECT_EQ(r.descriptionText(), "Played with guitar and other acoustic instruments.");
    const std::array<std::int32_t, 16> programs = {0, 53, 32, 24, 256, 256, 0, 256, 256, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(r.programs, programs);
    EXPECT_EQ((std::array<int, 3>{r.mixer[1][0], r.mixer[1][1], r.mixer[1][2]}),
              (std::array<int, 3>{120, 64, 70}));
    EXPECT_EQ(r.mixer[1][9], 4);
    EXPECT_EQ((std::array<int, 3>{r.mixer[2][0], r.mixer[2][1], r.mixer[2][2]}),
              (std::array<int, 3>{93, 50, 60}));
    EXPECT_EQ((std::array<int, 3>{r.mixer[3][0], r.mixer[3][1], r.mixer[3][2]}),
              (std::array<int, 3>{100, 90, 100}));
    EXPECT_EQ((std::array<int, 3>{r.mixer[4][0], r.mixer[4][1], r.mixer[4][2]}),
              (std::array<int, 3>{98, 50, 50}));
    EXPECT_EQ((std::array<int, 3>{r.mixer[9][0], r.mixer[9][1], r.mixer[9][2]}),
              (std::array<int, 3>{70, 50, 90}));
    EXPECT_EQ(r.octaveShift[3], -1);
    EXPECT_EQ(r.barCount, 25);
    EXPECT_EQ(r.tempo, 500000);
    EXPECT_EQ(r.keyVariant, 2);
    EXPECT_EQ(r.feel, 0);
    EXPECT_EQ(r.jumpCheckMode, 2);
    EXPECT_EQ(r.melodyJumpWeights, (std::array<std::int32_t, 8>{60, 5, 85, 92, 93, 94, 95, 96}));
    EXPECT_EQ(r.part3Pattern, 47);
    EXPECT_EQ(r.category, 3);
    EXPECT_EQ(r.drumPattern, 1);
    EXPECT_EQ(r.bassPattern, 13);
    const std::array<std::int32_t, 15> sectionA = {9, 2, 0, 0, 0, 17, 1, 84, 60, 6, 0, 2, 2, 0, 0};
    EXPECT_EQ(r.sectionA(), sectionA);
    EXPECT_EQ(r.patternParams[1], 120);

    // The strum: strikes on every beat, never a tie across one, strummed,
    // and tied steps already hold the notes they continue.
    EXPECT_EQ(r.trailer(8), 1);
    for (int beat = 0; beat < 4; ++beat) {
        EXPECT_EQ(r.tie(grid::kHarmonyBlock, beat * 4), 0);
        EXPECT_EQ(r.cell(grid::kHarmonyBlock, 2, beat * 4), 1); // the root on the down strum
    }
    int strikes = 0;
    for (int step = 0; step < 16; ++step) {
        if (r.tie(grid::kHarmonyBlock, step) == 0) {
            ++strikes;
            continue;
        }
        for (int row = 0; row < grid::kRows; ++row)
            EXPECT_EQ(r.cell(grid::kHarmonyBlock, row, step), r.cell(grid::kHarmonyBlock, row, step - 1));
    }
    EXPECT_EQ(strikes, 7); // down, down-up, down-up, down-up
}

TEST_F(StylesTable, JazzWaltzAsWritten) {
    const StyleRecord& r = named("Jazz Waltz");
    EXPECT_EQ(findStyle(*table_, "Jazz Waltz"), (std::pair{2, 17}));
    EXPECT_EQ(r.descriptionText(), "Jazz of 3/4.");
    const std::array<std::int32_t, 16> programs = {0, 65, 32, 1, 70, 256, 0, 26, 256, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(r.programs, programs);
    EXPECT_EQ((std::array<int, 4>{r.mixer[1][0], r.mixer[1][1], r.mixer[1][2], r.mixer[1][3]}),
              (std::array<int, 4>{115, 0, 64, 110}));
    EXPECT_EQ(r.mixer[1][9], 6);
    EXPECT_EQ((std::array<int, 4>{r.mixer[3][0], r.mixer[3][1], r.mixer[3][2], r.mixer[3][3]}),
              (std::array<int, 4>{90, 0, 64, 100}));
    EXPECT_EQ(r.mixer[3][9], 4);
    EXPECT_EQ((std::array<int, 3>{r.mixer[5][0], r.mixer[5][1], r.mixer[5][2]}),
              (std::array<int, 3>{50, 50, 50}));
    EXPECT_EQ(r.octaveShift[4], -1);
    EXPECT_EQ(r.octaveShift[7], -1);
    EXPECT_EQ(r.barCount, 32);
    EXPECT_EQ(r.meter, 1);
    EXPECT_EQ(r.tempo, 400000);
    EXPECT_EQ(r.keyVariant, 1);
    EXPECT_EQ(r.chordDbText(), "PATTERN.DB");
    EXPECT_EQ(r.sectionCopyMode, 7);
    const std::array<std::int32_t, 15> sectionA = {7, 5, 0, 0, 0, 0, 1, 91, 59, 6, 2, 0, 0, 0, 0};
    EXPECT_EQ(r.sectionA(), sectionA);
    const std::array<std::int32_t, 15> sectionB = {0, 256, 0, 0, 0, 0, 0, 81, 49, 6, 0, 0, 0, 0, 0};
    EXPECT_EQ(r.melodySettings[4], sectionB);
    EXPECT_EQ(r.part3Pattern, 60);
    EXPECT_EQ(r.category, 1);
    EXPECT_EQ(r.drumPattern, 38);
    EXPECT_EQ(r.part7Pattern, 10);
    EXPECT_EQ(r.bassPattern, 23);
    EXPECT_EQ(r.patternParams[1], 80);
    EXPECT_EQ(r.patternParams[4], 20);
    EXPECT_EQ(r.patternParams[7], 60);
    // 32 bars of 3/4 in the default chord list.
    EXPECT_EQ(r.defaultChords[0], 1);
    EXPECT_EQ(r.defaultChords[1], 32);
    EXPECT_EQ(r.defaultChords[32 * 6], 0);
}

TEST_F(StylesTable, MainWindowStylesAreAuthoredInFull) {
    const std::vector<std::pair<std::string, std::pair<int, int>>> window = {
        {"Evening Girls", {1, 4}}, {"Jaunty Keys", {0, 8}}, {"Enka", {1, 1}},   {"Jazz Piano Trio", {2, 7}},
        {"Okinawan Pops", {1, 6}}, {"Light Pops", {7, 16}}, {"Horror", {6, 4}}, {"Space Sound", {7, 15}}};
    for (const auto& [name, at] : window)
        EXPECT_EQ(findStyle(*table_, name), at) << name;

    for (const auto& name : kAuthored) {
        SCOPED_TRACE(name);
        const StyleRecord& r = named(name);
        // Patterns the accompaniment, drum and bass builders all implement.
        if (r.programs[kPartHarmony] != kNoProgram) {
            EXPECT_TRUE(r.part3Pattern >= 1 && r.part3Pattern <= 60 && r.part3Pattern != 48);
        }
        EXPECT_TRUE(r.drumPattern >= 1 && r.drumPattern <= 38);
        EXPECT_TRUE(r.bassPattern >= 1 && r.bassPattern <= 23);
        // A real arrangement: a harmony part and a bass or drone, a mix that
        // is heard, and a melody range for the parts that sing.
        EXPECT_NE(r.programs[kPartHarmony], kNoProgram);
        EXPECT_NE(r.programs[kPartBass], kNoProgram);
        for (int part = 1; part < 10; ++part)
            if (r.programs[part] != kNoProgram && part != 6) {
                EXPECT_GT(r.mixer[part][kMixVolume], 40) << part;
            }
        EXPECT_GT(r.sectionA()[kMelHighest], r.sectionA()[kMelLowest]);
        EXPECT_EQ(r.sectionA()[kMelPitchMethod], 6);
    }

    EXPECT_EQ(named("Okinawan Pops").scaleNumber, 3); // Ryukyu: C E F G B
    EXPECT_EQ(named("Space Sound").category, 5);
    EXPECT_EQ(named("Horror").keyVariant, 2);
    EXPECT_EQ(named("Horror").chordDbText(), "PATTERN.DB2");
    EXPECT_EQ(named("Jaunty Keys").feel, 3);
    EXPECT_EQ(named("Jazz Piano Trio").feel, 3);
}

TEST_F(StylesTable, FindStyleIgnoresCaseAndTakesTheFirstMatch) {
    EXPECT_EQ(findStyle(*table_, "random pops"), (std::pair{0, 0}));
    EXPECT_EQ(findStyle(*table_, "HORROR"), (std::pair{6, 4}));
    EXPECT_EQ(findStyle(*table_, "Gamelan && Flute"), (std::pair{4, 11}));
    EXPECT_FALSE(findStyle(*table_, "Polka").has_value());
    EXPECT_FALSE(findStyle(*table_, "").has_value());
}

TEST_F(StylesTable, GroupNames) {
    EXPECT_STREQ(styleGroupName(0), "Pops");
    EXPECT_STREQ(styleGroupName(8), "Techno");
    EXPECT_STREQ(styleGroupName(9), "");
    EXPECT_STREQ(styleGroupName(-1), "");
}

TEST_F(StylesTable, SelectCopiesTheStyleAndChoosesItsDatabases) {
    auto state = std::make_unique<CompositionState>();
    selectStyle(*state, *table_, 2, 17);
    EXPECT_EQ(state->style.nameText(), "Jazz Waltz");
    EXPECT_EQ(state->style.meter, 1);
    EXPECT_EQ(state->patterns.timeChartName, "TIMECHT3.DB");
    EXPECT_EQ(state->patterns.tonic, ChordCode("CMPS"));

    selectStyle(*state, *table_, 1, 1);
    EXPECT_EQ(state->style.nameText(), "Enka");
    EXPECT_EQ(state->patterns.tonic, ChordCode("AmPs"));
    EXPECT_EQ(state->patterns.timeChartName, "TIMECHT.DB2");

    selectStyle(*state, *table_, 2, 3);
    EXPECT_EQ(state->patterns.tonic, ChordCode("CMPs"));

    // Out of the table: the current style stays.
    selectStyle(*state, *table_, 9, 0);
    selectStyle(*state, *table_, 0, 24);
    EXPECT_EQ(state->style.nameText(), "Blues Quartet");
}

TEST_F(StylesTable, RandomSlotPlaysABaseStyleOfItsKind) {
    auto state = std::make_unique<CompositionState>();
    state->rng.seed(5);
    const std::set<std::string> jazzBases = {
        "Fusion",           "Jazz Quartet",    "Blues Quartet",   "Blues Guitar2",
        "Harmonica Blues",  "Vibraphone Jazz", "Jazz Piano Trio", "Rag Time",
        "Bossanova Piano",  "Latin Rock",      "Guitar Loundge",  "Blues Piano",
        "Blues Piano Trio", "Blues Guitar",    "Jazz Guitar",     "Jazz Guitar Trio"};
    std::set<int> tempos;
    for (int i = 0; i < 40; ++i) {
        selectStyle(*state, *table_, 2, 0);
        EXPECT_EQ(state->style.nameText(), "Random Jazz");
        EXPECT_EQ(state->style.randomKind, 1);
        // Instruments and tempo are redrawn; the description stays the base's.
        bool matched = false;
        for (const auto& base : jazzBases) {
            const StyleRecord& b = named(base);
            if (b.descriptionText() == state->style.descriptionText() &&
                b.part3Pattern == state->style.part3Pattern)
                matched = true;
        }
        EXPECT_TRUE(matched);
        tempos.insert(state->style.tempo);
    }
    // The jazz kind's tempo is one of three.
    EXPECT_EQ(tempos, (std::set<int>{650000, 750000, 850000}));
    // The table still holds the random record.
    EXPECT_EQ(table_->at(2, 0).randomKind, 3);
}

TEST(StylesRegistration, SameSeedSameTable) {
    auto a = std::make_unique<StyleTable>();
    auto b = std::make_unique<StyleTable>();
    EngineRandom ra;
    EngineRandom rb;
    ra.seed(9);
    rb.seed(9);
    registerStyles(*a, ra);
    registerStyles(*b, rb);
    for (int g = 0; g < StyleTable::kGroups; ++g) {
        for (int s = 0; s < StyleTable::kSlots; ++s) {
            EXPECT_EQ(a->at(g, s).onsetPattern, b->at(g, s).onsetPattern);
            EXPECT_EQ(a->at(g, s).rhythmGrids, b->at(g, s).rhythmGrids);
        }
    }
    EXPECT_EQ(ra.state(), rb.state());
}
