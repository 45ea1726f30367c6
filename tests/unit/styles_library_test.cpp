// The style library as a whole: every named style composes cleanly, the
// styles differ the way their names say, and the grids they rely on exist.
#include "app/DataFolder.h"
#include "app/SongPipeline.h"
#include "engine/CompositionState.h"
#include "styles/StyleTable.h"
#include "styles/StylesInternal.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace harmolin;
using namespace harmolin::test;

namespace {

std::string dataDir() {
#ifdef HARMOLIN_TEST_DATA
    return std::string(HARMOLIN_TEST_DATA) + "/../../data";
#else
    return dataFolder();
#endif
}

struct Named {
    int group;
    int slot;
    const StyleRecord* style;
};

class StyleLibrary : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        table_ = std::make_unique<StyleTable>();
        EngineRandom random;
        random.seed(7);
        registerStyles(*table_, random);
    }
    static void TearDownTestSuite() { table_.reset(); }

    // Every style with a name, random slots left out.
    static std::vector<Named> namedStyles() {
        std::vector<Named> out;
        for (int g = 0; g < StyleTable::kGroups; ++g)
            for (int s = 1; s < StyleTable::kSlots; ++s)
                if (!table_->at(g, s).nameText().empty()) out.push_back({g, s, &table_->at(g, s)});
        return out;
    }

    static const StyleRecord& named(const std::string& name) {
        const auto at = findStyle(*table_, name);
        EXPECT_TRUE(at.has_value()) << name;
        return at ? table_->at(at->first, at->second) : table_->at(2, 10);
    }

    static bool uses(const StyleRecord& s, int part) { return s.programs[part] != kNoProgram; }

    static bool anyCell(const StyleRecord& s, int block) {
        for (int row = 0; row < grid::kRows; ++row)
            for (int step = 0; step < grid::kSteps; ++step)
                if (s.cell(block, row, step) != 0) return true;
        return false;
    }

    static std::unique_ptr<StyleTable> table_;
};

std::unique_ptr<StyleTable> StyleLibrary::table_;

} // namespace

// The whole library through the song pipeline: no engine error, no
// warning, a file written, for three seeds each.
TEST_F(StyleLibrary, EveryNamedStyleComposesWithoutAReport) {
    const std::string path = tempPath("library.mid");
    int composed = 0;
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        SongComposer composer(dataDir(), seed);
        for (const Named& n : namedStyles()) {
            CollectReports reports;
            std::filesystem::remove(path);
            const bool ok = composer.composeSong({n.group, n.slot}, path);
            std::string lines;
            for (const auto& l : reports.lines)
                lines += l.text + "\n";
            EXPECT_TRUE(ok) << n.style->nameText() << " seed " << seed;
            EXPECT_TRUE(reports.lines.empty()) << n.style->nameText() << " seed " << seed << ":\n" << lines;
            EXPECT_GT(std::filesystem::file_size(path), 200u) << n.style->nameText();
            ++composed;
        }
    }
    EXPECT_GE(composed, 3 * 140);
}

TEST_F(StyleLibrary, StylesSpreadAsTheirNamesSuggest) {
    std::set<int> tempos, meters, melodyPrograms, drumPatterns, bassPatterns, harmonyPatterns, bassPrograms;
    for (const Named& n : namedStyles()) {
        const StyleRecord& s = *n.style;
        tempos.insert(s.tempo);
        meters.insert(s.meter);
        melodyPrograms.insert(s.programs[kPartMelody]);
        if (uses(s, kPartDrums)) drumPatterns.insert(s.drumPattern);
        if (uses(s, kPartBass)) {
            bassPatterns.insert(s.bassPattern);
            bassPrograms.insert(s.programs[kPartBass]);
        }
        if (uses(s, kPartHarmony)) harmonyPatterns.insert(s.part3Pattern);
    }
    EXPECT_GT(tempos.size(), 40u);
    EXPECT_EQ(meters, (std::set<int>{0, 1, 2}));
    EXPECT_GT(melodyPrograms.size(), 40u);
    EXPECT_GT(drumPatterns.size(), 15u);
    EXPECT_GT(bassPatterns.size(), 15u);
    EXPECT_GT(harmonyPatterns.size(), 20u);
    EXPECT_GT(bassPrograms.size(), 10u);
}

TEST_F(StyleLibrary, BluesStylesKeepTheBluesDatabasesAndScale) {
    int blues = 0;
    for (const Named& n : namedStyles()) {
        const StyleRecord& s = *n.style;
        if (s.category != 6) continue;
        ++blues;
        SCOPED_TRACE(s.nameText());
        EXPECT_EQ(n.group, 2);
        EXPECT_EQ(s.chordDbText(), "PATTERN.DBB");
        EXPECT_EQ(s.cadenceDbText(), "RESOLUT.DBB");
        EXPECT_EQ(s.feel, 3);
        // The blue third sits next to the major third in the melody's scale.
        const std::string scale = lookupScaleTemplate(s);
        EXPECT_GE(scale[4 + 3], '5');
        EXPECT_EQ(scale[4 + 4], '9');
    }
    EXPECT_EQ(blues, 6);
}

TEST_F(StyleLibrary, NamedStylesSoundLikeTheirNames) {
    auto isStrings = [](int p) { return p >= 40 && p <= 51; };
    const StyleRecord& bossa = named("Bossanova");
    EXPECT_EQ(bossa.programs[kPartHarmony], 24); // nylon guitar
    EXPECT_TRUE(bossa.drumPattern == 12 || bossa.drumPattern == 28);
    EXPECT_EQ(bossa.bassPattern, 15);
    for (const char* name : {"Bossanova Vocal", "Bossanova Piano"}) {
        const StyleRecord& s = named(name);
        EXPECT_TRUE(s.drumPattern == 12 || (s.drumPattern == 28 && anyCell(s, grid::kDrumBlock))) << name;
    }

    const StyleRecord& vienna = named("Vienna Waltz");
    EXPECT_EQ(vienna.meter, 1);
    EXPECT_TRUE(isStrings(vienna.programs[kPartMelody]) || isStrings(vienna.programs[kPartHarmony]));
    EXPECT_LT(vienna.tempo, 450000); // a fast waltz
    EXPECT_EQ(named("Bolero").meter, 1);
    for (const char* name : {"Progressive Rock", "Bulgarian Voice"})
        EXPECT_EQ(named(name).meter, 2) << name;

    const StyleRecord& gamelan = named("Gamelan");
    EXPECT_EQ(gamelan.scaleNumber, 11);
    EXPECT_EQ(lookupScaleTemplate(gamelan), std::string(gamelan.customScale.data()));
    for (const char* name :
         {"Gamelan && Flute", "Japan Traditional", "Arabian", "Indian Traditional", "China"})
        EXPECT_EQ(named(name).scaleNumber, 11) << name;

    const StyleRecord& euro = named("Euro Beat");
    EXPECT_LT(euro.tempo, 430000);
    EXPECT_TRUE(euro.programs[kPartBass] == 38 || euro.programs[kPartBass] == 39);
    for (const char* name : {"Techno Dance", "Trance", "Club Techno", "Euro Beat"}) {
        const StyleRecord& s = named(name);
        // Four on the floor: a house groove or a grid with the kick on every beat.
        if (s.drumPattern == 28) {
            for (int beat = 0; beat < 4; ++beat)
                EXPECT_EQ(s.cell(grid::kDrumBlock, 1, 4 * beat), 1) << name;
        } else {
            EXPECT_TRUE(s.drumPattern == 27 || s.drumPattern == 37 || s.drumPattern == 8) << name;
        }
    }

    for (const char* name : {"Piano Solo", "Classic Piano", "Healing Piano", "Healing Harp", "Cembalo Solo",
                             "Music Box", "Blues Piano", "Modern Piano", "Piano Vocal"})
        EXPECT_FALSE(uses(named(name), kPartDrums)) << name;

    EXPECT_NE(named("Samba").feel, 3); // straight sixteenths, not a shuffle
    EXPECT_EQ(named("Reggae").drumPattern, 28);
    EXPECT_EQ(named("Reggae").cell(grid::kDrumBlock, 1, 8), 1);    // the drop on three
    EXPECT_EQ(named("Reggae").cell(grid::kDrumBlock, 1, 0), 0);    // the full kick only there
    EXPECT_EQ(named("Reggae").cell(grid::kHarmonyBlock, 4, 4), 1); // skank on two
    EXPECT_EQ(named("Brass Band March").drumPattern, 34);
    for (const char* name : {"Jazz Quartet", "Jazz Guitar", "Vibraphone Jazz", "EZ Trio", "Guitar Loundge"})
        EXPECT_EQ(named(name).feel, 3) << name;
    EXPECT_EQ(named("Scotland").programs[kPartMelody], 109);           // bagpipe
    EXPECT_EQ(named("Indian Traditional").programs[kPartMelody], 104); // sitar
    EXPECT_EQ(named("Japan Traditional").programs[kPartMelody], 77);   // shakuhachi
    EXPECT_EQ(named("Japan Traditional").programs[kPartHarmony], 107); // koto
}

// A grid player with nothing to play, or a grid that drifts against the bar,
// would be silence or a limp groove.
TEST_F(StyleLibrary, GridsAreThereAndFitTheMetre) {
    for (const Named& n : namedStyles()) {
        const StyleRecord& s = *n.style;
        SCOPED_TRACE(s.nameText());
        if (uses(s, kPartAccompaniment2) && s.part7Pattern == 47) {
            EXPECT_TRUE(anyCell(s, grid::kOtherBlock));
        }
        if (uses(s, kPartHarmony) && s.part3Pattern == 47 && s.trailer(0) == 1) {
            EXPECT_TRUE(anyCell(s, grid::kHarmonyBlock + 4));
        }
        // Drum and bass grids count sixteen steps whatever the metre.
        if (s.meter != 0) {
            EXPECT_FALSE(uses(s, kPartDrums) && s.drumPattern == 28);
            EXPECT_FALSE(uses(s, kPartBass) && s.bassPattern == 20);
        }
        // Harmony grid cells past the bar's steps would never sound.
        if (uses(s, kPartHarmony) && s.part3Pattern == 47) {
            const int steps = s.meter == 1 ? (s.feel == 3 ? 9 : 12) : (s.feel == 3 ? 12 : 16);
            for (int row = 0; row < grid::kRows; ++row)
                for (int step = steps; step < grid::kSteps; ++step)
                    EXPECT_EQ(s.cell(grid::kHarmonyBlock, row, step), 0) << row << "," << step;
        }
    }
}

// Every style's scale gives a melody enough tones and holds the tonic of
// the key its chords are in.
TEST_F(StyleLibrary, EveryScaleIsSingableAndHoldsTheTonic) {
    for (const Named& n : namedStyles()) {
        const StyleRecord& s = *n.style;
        SCOPED_TRACE(s.nameText());
        const std::string scale = lookupScaleTemplate(s);
        ASSERT_EQ(scale.size(), 16u);
        int tones = 0;
        for (int pc = 0; pc < 12; ++pc) {
            const char c = scale[static_cast<std::size_t>(4 + pc)];
            EXPECT_TRUE(c >= '0' && c <= '9');
            if (c >= '5') ++tones;
        }
        EXPECT_GE(tones, 5);
        const int tonic = s.keyVariant == 1 ? 0 : 9; // C, or A for the minor databases
        EXPECT_GE(scale[static_cast<std::size_t>(4 + tonic)], '8');
    }
}

// The arranger's pass: every named style but the three given whole has a
// family; the melody stays the loudest pitched part of its style, doublings
// and harmony voices sit under it, and the switches only go where the
// engine has rules for them.
TEST_F(StyleLibrary, ArrangementKeepsTheMelodyInFrontAndSwitchesWhereTheyWork) {
    int arranged = 0;
    for (const Named& n : namedStyles()) {
        const StyleRecord& s = *n.style;
        SCOPED_TRACE(s.nameText());
        const char* family = styles::styleFamily(n.group, n.slot);
        const std::string name = s.nameText();
        if (name == "Unplugged" || name == "Enka" || name == "Jazz Waltz") {
            EXPECT_EQ(family, nullptr);
            continue;
        }
        ASSERT_NE(family, nullptr);
        ++arranged;
        const int melody = s.mixer[kPartMelody][kMixVolume];
        for (int part : {kPartSecondMelody, kPartEight, kPartMelodyLast}) {
            if (uses(s, part)) {
                EXPECT_LT(s.mixer[static_cast<std::size_t>(part)][kMixVolume], melody) << part;
            }
        }
        if (s.fixedBassMode == 10) {
            EXPECT_EQ(s.keyVariant, 1) << "the G pedal belongs to the major keys";
            EXPECT_TRUE(uses(s, kPartBass));
        }
        if (s.chordMode == 1) {
            EXPECT_NE(s.category, 6);
            EXPECT_NE(s.meter, 2);
        }
        if (s.sectionA()[kMelSecondMelody] != 0) {
            EXPECT_TRUE(uses(s, kPartSecondMelody));
        }
        EXPECT_GE(s.patternParams[kPartMelody], 20);
        EXPECT_LE(s.patternParams[kPartMelody], 160);
    }
    EXPECT_GE(arranged, 130);
}
