// The random styles of the groups' first slots: a built-in style of the
// group drawn as a base, then a fixed set of its fields redrawn, so every
// Generate plays a different style. The tables are in RandomStyleTables.cpp.
#include "engine/EngineErrors.h"
#include "engine/accompaniment/Accompaniment.h"
#include "engine/patterns/PatternDatabase.h"
#include "styles/RandomStyleTables.h"
#include "styles/StyleTable.h"
#include "styles/StylesInternal.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace harmolin {
namespace {

using namespace random_styles;

constexpr std::array<styles::GroupSetUp, StyleTable::kGroups> kGroupSetUps = {
    styles::setUpPopsStyle,    styles::setUpJapaneseStyle,   styles::setUpJazzStyle,
    styles::setUpClassicStyle, styles::setUpEthnicEastStyle, styles::setUpEthnicWestStyle,
    styles::setUpGameStyle,    styles::setUpHealingStyle,    styles::setUpTechnoStyle};

// ---------------------------------------------------------------------------
// Grid redraws.

enum GridRow : int {
    kRootRow = 2,
    kSecondRow = 3,
    kThirdRow = 4,
    kFifthRow = 6,
    kRootUpRow = 9,
};

enum DrumGridRow : int {
    kKickRow = 0,
    kSnareRow = 2,
    kHatRow = 5,
    kAccentRow = 9,
};

constexpr int kTambourineCode = 19;
constexpr int kStrumTrailer = 8;

// A redraw replaces the block's pattern, its second bar included, so
// nothing of the base's pattern shows through the new one.
void clearBlock(StyleRecord& s, int block) {
    for (int b : {block, block + 4}) {
        for (int row = 0; row < grid::kRows; ++row)
            for (int step = 0; step < grid::kSteps; ++step)
                s.cell(b, row, step) = 0;
        for (int step = 0; step < grid::kSteps; ++step)
            s.tie(b, step) = 0;
    }
}

bool guitarHarmony(const StyleRecord& s) {
    return s.programs[kPartHarmony] >= 24 && s.programs[kPartHarmony] <= 30;
}

// Chords of root (or its octave), third and fifth on the even steps; some
// even steps hold the previous chord on instead, some rest.
void drawChordSteps(StyleRecord& s, EngineRandom& r, int block) {
    for (int step = 0; step < grid::kSteps; step += 2) {
        if (r.oneIn(3)) {
            if (r.oneIn(2) && step != 0) {
                s.tie(block, step - 1) = 1;
                s.tie(block, step) = 1;
            }
        } else {
            s.cell(block, kThirdRow, step) = 1;
            s.cell(block, kFifthRow, step) = 1;
            s.cell(block, r.oneIn(3) ? kRootUpRow : kRootRow, step) = 1;
        }
    }
}

bool stepHasCells(const StyleRecord& s, int block, int step) {
    for (int row = 0; row < grid::kRows; ++row)
        if (s.cell(block, row, step) == 1) return true;
    return false;
}

// Where a struck chord is followed by three more sounding steps (held or
// struck), half of the time the three become a little run of single notes
// over root, second and third, up or down, so a busy bar gets a melodic turn.
void addShortRuns(StyleRecord& s, EngineRandom& r, int block) {
    auto sounds = [&](int step) { return s.tie(block, step) == 1 || stepHasCells(s, block, step); };
    int step = 0;
    while (step + 3 < grid::kSteps) {
        const bool struck = s.tie(block, step) != 1 && stepHasCells(s, block, step);
        if (!struck || !sounds(step + 1) || !sounds(step + 2) || !sounds(step + 3) || !r.oneIn(2)) {
            ++step;
            continue;
        }
        const bool upwards = r.oneIn(2);
        const std::array<int, 3> rows = upwards ? std::array<int, 3>{kRootRow, kSecondRow, kThirdRow}
                                                : std::array<int, 3>{kThirdRow, kSecondRow, kRootRow};
        for (int k = 0; k < 3; ++k) {
            const int at = step + 1 + k;
            s.tie(block, at) = 0;
            for (int row = 0; row < grid::kRows; ++row)
                s.cell(block, row, at) = 0;
            s.cell(block, rows[static_cast<std::size_t>(k)], at) = 1;
        }
        step += 4;
    }
}

void redrawHarmonyGrid(StyleRecord& s, EngineRandom& r) {
    const int block = grid::kHarmonyBlock;
    clearBlock(s, block);
    drawChordSteps(s, r, block);
    if (guitarHarmony(s)) {
        // A guitar lets its chords ring through the steps it does not strike.
        if (r.oneIn(3))
            for (int step = 0; step < grid::kSteps; ++step)
                if (s.cell(block, kThirdRow, step) == 0) s.tie(block, step) = 1;
        s.trailer(kStrumTrailer + block) = 1;
    }
    addShortRuns(s, r, block);
    normaliseGrid(s);
}

void redrawOtherGrid(StyleRecord& s, EngineRandom& r) {
    const int block = grid::kOtherBlock;
    clearBlock(s, block);
    drawChordSteps(s, r, block);
    if (guitarHarmony(s))
        for (int step = 0; step < grid::kSteps; step += 2)
            if (r.oneIn(2)) {
                s.tie(block, step) = 1;
                s.tie(block, step + 1) = 1;
            }
    normaliseGrid(s);
}

void redrawBassGrid(StyleRecord& s, EngineRandom& r) {
    const int block = grid::kBassBlock;
    clearBlock(s, block);
    const bool rootOnly = r.oneIn(2);
    bool first = true;
    for (int step = 0; step < grid::kSteps; step += 2) {
        if (r.oneIn(3)) {
            if (r.randRange(1, 3) <= 2 && step != 0) {
                s.tie(block, step - 1) = 1;
                s.tie(block, step) = 1;
            }
            continue;
        }
        int row = kRootRow;
        if (!first && !rootOnly) {
            static constexpr std::array<int, 3> kRows = {kRootRow, kThirdRow, kFifthRow};
            row = kRows[static_cast<std::size_t>(r.randRange(1, 3) - 1)];
        }
        s.cell(block, row, step) = 1;
        first = false;
    }
    normaliseGrid(s);
}

void redrawDrumGrid(StyleRecord& s, EngineRandom& r) {
    const int block = grid::kDrumBlock;
    clearBlock(s, block);
    if (r.oneIn(2)) {
        for (int step = 0; step < grid::kSteps; step += 2)
            s.cell(block, kHatRow, step) = 1;
    } else {
        for (int step = 0; step < grid::kSteps; ++step) {
            const bool on = step % 2 == 0 ? r.randRange(1, 4) <= 3 : r.oneIn(2);
            if (on) s.cell(block, kHatRow, step) = 1;
        }
    }
    for (int step = 0; step < grid::kSteps; step += 2)
        if (r.randRange(1, 3) <= 2) s.cell(block, r.oneIn(2) ? kKickRow : kSnareRow, step) = 1;
    if (r.oneIn(2)) s.cell(block, kKickRow, 0) = 1;
    if (r.oneIn(4)) {
        s.rowValue(block, kAccentRow) = kTambourineCode;
        for (int step = 0; step < grid::kSteps; ++step) {
            const int oneIn = step % 4 == 0 ? 2 : step % 2 == 0 ? 4 : 8;
            if (r.oneIn(oneIn)) s.cell(block, kAccentRow, step) = 1;
        }
    }
    normaliseGrid(s);
}

std::uint8_t& mix(StyleRecord& s, int part, int byte) {
    return s.mixer[static_cast<std::size_t>(part)][static_cast<std::size_t>(byte)];
}

void redrawMixer(StyleRecord& s, EngineRandom& r) {
    for (int part : {kPartDrums, kPartHarmony, kPartMelody, kPartBass})
        mix(s, part, kMixReverb) = static_cast<std::uint8_t>(r.randRange(64, 127));
    mix(s, kPartHarmony, kMixResonance) = static_cast<std::uint8_t>(r.randRange(64, 80));
    int bass = mix(s, kPartBass, kMixResonance) + r.randRange(0, 30) - 4;
    if (bass < 0 || bass > 127) bass = 127;
    mix(s, kPartBass, kMixResonance) = static_cast<std::uint8_t>(bass);
    for (int part : {kPartMelody, kPartLineB, kPartLineC, kPartDrums})
        mix(s, part, kMixResonance) = static_cast<std::uint8_t>(r.randRange(64, 80));
}

int drawTempo(EngineRandom& r, int type) {
    switch (type) {
    case 0:
    case 1:
    case 6: {
        const int d = r.randRange(1, 7);
        return d == 1 ? 850000 : d == 2 ? 750000 : d <= 5 ? 650000 : 500000;
    }
    case 2:
        return std::array<int, 3>{850000, 750000, 650000}[static_cast<std::size_t>(r.randRange(0, 2))];
    case 8:
        return std::array<int, 3>{500000, 400000, 300000}[static_cast<std::size_t>(r.randRange(0, 2))];
    default:
        return std::array<int, 3>{1000000, 750000, 850000}[static_cast<std::size_t>(r.randRange(0, 2))];
    }
}

void redrawInstruments(CompositionState& state, int tableKind) {
    for (int part : {kPartMelody, kPartLineB, kPartHarmony, kPartAccompaniment2})
        drawInstrument(state, part, tableKind);
    // The jazz row has no bass column: the bass keeps its instrument.
    if (tableKind != 2) drawInstrument(state, kPartBass, tableKind);
}

void drawHealingInstruments(CompositionState& state) {
    StyleRecord& s = state.style;
    EngineRandom& r = state.rng;
    drawInstrument(state, kPartMelody, 7);
    if (r.oneIn(2)) {
        s.programs[kPartBass] = s.programs[kPartMelody];
        s.programs[kPartHarmony] = s.programs[kPartMelody];
    } else {
        drawInstrument(state, kPartHarmony, 7);
        // Bright or buzzing programs would cover the melody.
        const int program = s.programs[kPartHarmony];
        const int cut = (program == 3 || program == 8)     ? 15
                        : (program == 88 || program == 98) ? 10
                        : program == 100                   ? 20
                                                           : 0;
        // A volume never wraps round to loud.
        std::uint8_t& volume = mix(s, kPartHarmony, kMixVolume);
        volume = static_cast<std::uint8_t>(std::max(0, volume - cut));
    }
    drawInstrument(state, kPartBass, 7);
    if (r.oneIn(3)) {
        s.programs[kPartDrums] = 1;
        s.drumPattern = 22;
    } else {
        s.programs[kPartDrums] = kNoProgram;
    }
}

void applyStep(CompositionState& state, Step step, const KindPlan& plan) {
    StyleRecord& s = state.style;
    EngineRandom& r = state.rng;
    auto& a = s.sectionA();
    switch (step) {
    case Step::Key:
        s.keyVariant = r.oneIn(2) ? 1 : 2;
        break;
    case Step::Section9:
        a[kMelPitchMethod] = r.randRange(1, 3) <= 2 ? 6 : r.randRange(1, 5);
        break;
    case Step::Section45:
        switch (r.randRange(1, 3)) {
        case 1:
            a[kMelEndingKind] = 11;
            break;
        case 2:
            a[kMelEndingKind] = 0;
            break;
        default:
            a[kMelValue5] = 5;
            break;
        }
        break;
    case Step::Mixer:
        redrawMixer(s, r);
        break;
    case Step::Tempo:
        s.tempo = drawTempo(r, plan.tempoType);
        break;
    case Step::Instruments:
        redrawInstruments(state, plan.tableKind);
        break;
    case Step::Section12: {
        static constexpr std::array<std::array<int, 2>, 8> kPairs = {
            {{2, 0}, {1, 0}, {1, 1}, {4, 1}, {3, 0}, {5, 0}, {6, 1}, {7, 0}}};
        const std::array<int, 2> pair =
            r.oneIn(3) ? std::array<int, 2>{8, 0} : kPairs[static_cast<std::size_t>(r.randRange(0, 7))];
        a[kMelPartMode] = pair[0];
        a[kMelRestSwitch] = pair[1];
        break;
    }
    case Step::HarmonyGrid:
        redrawHarmonyGrid(s, r);
        break;
    case Step::OtherGrid:
        redrawOtherGrid(s, r);
        break;
    case Step::BassGrid:
        redrawBassGrid(s, r);
        break;
    case Step::DrumGrid:
        redrawDrumGrid(s, r);
        break;
    case Step::BassPattern:
        s.bassPattern = std::array<int, 3>{9, 5, 19}[static_cast<std::size_t>(r.randRange(0, 2))];
        break;
    case Step::Category:
        s.category = r.randRange(2, 4);
        break;
    case Step::DrumPattern:
        switch (r.randRange(1, 3)) {
        case 1:
            s.drumPattern = 9;
            break;
        case 2:
            s.drumPattern = 11;
            break;
        default:
            break;
        }
        break;
    case Step::Meter:
        s.meter = r.oneIn(2) ? 0 : 1;
        break;
    case Step::Healing:
        drawHealingInstruments(state);
        break;
    }
}

// The techno kind's bare base: the default record alone is a lone piano
// melody, so it gets synth parts on the step-grid players and fresh grids;
// the instrument redraw then picks their sounds.
void shapePlainTechno(StyleRecord& s, EngineRandom& r) {
    s.randomKind = 0;
    s.programs[kPartBass] = 38;
    s.programs[kPartHarmony] = 90;
    s.programs[kPartAccompaniment2] = 81;
    s.programs[kPartDrums] = 1;
    s.part3Pattern = 47;
    s.part7Pattern = 47;
    s.bassPattern = 20;
    s.drumPattern = 28;
    s.category = 4;
    s.barCount = 32;
    redrawHarmonyGrid(s, r);
    redrawOtherGrid(s, r);
    redrawBassGrid(s, r);
    redrawDrumGrid(s, r);
    finaliseStyle(s);
}

// Writes the base into the random style's slot with the base's own set-up
// routine; false when the base is the bare record (or not in the table).
bool writeBase(StyleTable& table, EngineRandom& r, int group, int slot, const char* baseName) {
    const auto found = findStyle(table, baseName);
    if (!found) return false;
    StyleRecord& target = table.at(group, slot);
    initStyleDefaults(target, r);
    if (kGroupSetUps[static_cast<std::size_t>(found->first)](found->second, target))
        (void)styles::arrangeStyle(found->first, found->second,
                                   target); // the family's name is for the catalogue
    finaliseStyle(target);
    return true;
}

} // namespace

void drawInstrument(CompositionState& state, int part, int tableKind) {
    const int column = programColumn(tableKind, part);
    if (column == kNoRow) {
        reportEngineError(engine_error::kCategory);
        return;
    }
    if (column == kNoColumn) {
        reportEngineError(engine_error::kChannel);
        return;
    }
    StyleRecord& s = state.style;
    std::int32_t& program = s.programs[static_cast<std::size_t>(part)];
    if (program == kNoProgram) return;
    const ProgramTable& table = programTable();
    int drawn = 0;
    do {
        drawn = state.rng.randRange(0, 127);
    } while (table[static_cast<std::size_t>(drawn)][static_cast<std::size_t>(column)] != 1);
    program = drawn;
    if (column == kMelodyColumn) {
        std::uint8_t& volume = mix(s, kPartMelody, kMixVolume);
        volume = static_cast<std::uint8_t>(volume + table[static_cast<std::size_t>(drawn)][kVolumeColumn]);
    }
    if (column == kBassColumn && (drawn == 38 || drawn == 39)) {
        std::uint8_t& resonance = mix(s, kPartBass, kMixResonance);
        resonance = static_cast<std::uint8_t>(resonance + state.rng.randRange(0, 30));
    }
}

const std::vector<const char*>& randomStyleBases(int kind) {
    static const std::vector<const char*> none;
    if (kind < 1 || kind > StyleTable::kGroups) return none;
    return randomBases()[static_cast<std::size_t>(kind - 1)];
}

int randomProgramColumn(int tableKind, int part) {
    return programColumn(tableKind, part);
}

bool randomProgramAllowed(int column, int program) {
    if (column < 0 || column >= kProgramColumns || column == kVolumeColumn || program < 0 || program > 127)
        return false;
    return programTable()[static_cast<std::size_t>(program)][static_cast<std::size_t>(column)] == 1;
}

int randomMelodyLift(int program) {
    if (program < 0 || program > 127) return 0;
    return programTable()[static_cast<std::size_t>(program)][kVolumeColumn];
}

void buildRandomStyle(CompositionState& state, StyleTable& table, int group, int slot) {
    if (group < 0 || group >= StyleTable::kGroups || slot < 0 || slot >= StyleTable::kSlots) return;
    const int kind = table.at(group, slot).randomKind;
    if (kind < 1 || kind > StyleTable::kGroups) {
        // Not a kind this builder knows: play the record as it stands.
        state.style = table.at(group, slot);
        chooseDatabases(state);
        return;
    }
    EngineRandom& r = state.rng;
    const auto& bases = randomBases()[static_cast<std::size_t>(kind - 1)];
    const char* baseName =
        bases[static_cast<std::size_t>(r.randRange(0, static_cast<int>(bases.size()) - 1))];
    if (!writeBase(table, r, group, slot, baseName)) {
        setUpStyle(table, group, slot, r);
        shapePlainTechno(table.at(group, slot), r);
    }

    state.style = table.at(group, slot);
    chooseDatabases(state);
    setUpStyle(table, group, slot, r);
    state.style.setName(table.at(group, slot).nameText());

    auto& a = state.style.sectionA();
    if (kind == 1 || kind == 2) a[kMelDissonance] = 9;
    if (kind == 4) {
        a[kMelDissonance] = 10;
        a[kMelEndingKind] = 1;
    }
    const KindPlan& plan = kindPlans()[static_cast<std::size_t>(kind - 1)];
    for (Step step : plan.steps)
        applyStep(state, step, plan);

    state.style.randomKind = 1;
    chooseDatabases(state);
}

} // namespace harmolin
