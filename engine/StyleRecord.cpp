#include "engine/StyleRecord.h"

#include "base/EngineRandom.h"

#include <algorithm>
#include <cstring>

namespace harmolin {
namespace {

template <std::size_t N> std::string textOf(const std::array<char, N>& field) {
    const char* data = field.data();
    return std::string(data, strnlen(data, N));
}

// Copies text into a NUL-terminated field, cutting what does not fit.
template <std::size_t N> void setText(std::array<char, N>& field, std::string_view text) {
    field.fill(0);
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field.data(), text.data(), n);
}

// Scale templates in search order: number, major-key form, minor-key form.
struct ScaleRow {
    int number;
    const char* major;
    const char* minor;
};

constexpr ScaleRow kScaleRows[] = {
    {1, "xxxx919299192929", "xxxx919295555929"},  {7, "xxxx929299292929", "xxxx929295555929"},
    {6, "xxxx919959199595", "xxxx919957777595"},  {3, "xxxx900099090009", "xxxx900099090009"},
    {2, "xxxx900099090009", "xxxx900099090009"},  {4, "xxxx909009090900", "xxxx909009090900"},
    {9, "xxxx009090090909", "xxxx009090090909"},  {10, "xxxx990099099009", "xxxx990099099009"},
    {5, "xxxx909909099009", "xxxx909909099009"},  {8, "xxxx959398696897", "xxxx959398696897"},
    {12, "xxxx909090909090", "xxxx909090909090"}, {13, "xxxx990009099000", "xxxx990009099000"},
    {14, "xxxx909099909099", "xxxx909099909099"}, {15, "xxxx990099099009", "xxxx990099099009"},
    {16, "xxxx900990990990", "xxxx900990990990"}, {20, "xxxx909900000099", "xxxx909900000099"},
    {17, "xxxx909099090990", "xxxx909099090990"}, {18, "xxxx909090990909", "xxxx909090990909"},
    {19, "xxxx990990990990", "xxxx990990990990"}, {21, "xxxx909099009909", "xxxx909099009909"},
    {22, "xxxx990909090909", "xxxx909099009990"}, {24, "xxxx990090909099", "xxxx990090909099"},
};

constexpr int kCustomScaleNumber = 11;
constexpr std::size_t kTemplateLength = 16;
constexpr std::size_t kDigitsStart = 4;

// Mixer volumes of the parts that have a default mix.
constexpr std::array<std::pair<int, int>, 8> kDefaultVolumes = {
    {{1, 100}, {2, 100}, {3, 115}, {4, 100}, {5, 60}, {7, 115}, {8, 100}, {9, 100}}};

} // namespace

std::string StyleRecord::nameText() const {
    return textOf(name);
}
std::string StyleRecord::descriptionText() const {
    return textOf(description);
}
void StyleRecord::setName(std::string_view text) {
    setText(name, text);
}
void StyleRecord::setDescription(std::string_view text) {
    setText(description, text);
}

void StyleRecord::setChordDatabases(std::string_view chords, std::string_view cadences) {
    setText(chordDbName, chords);
    setText(cadenceDbName, cadences);
}

std::string StyleRecord::chordDbText() const {
    return textOf(chordDbName);
}
std::string StyleRecord::cadenceDbText() const {
    return textOf(cadenceDbName);
}

void initStyleDefaults(StyleRecord& style, EngineRandom& random) {
    style.programs.fill(0);
    for (int part : {2, 3, 4, 5, 7, 8, 9})
        style.programs[part] = kNoProgram;

    for (auto& entry : style.mixer)
        entry.fill(0);
    for (const auto& [part, volume] : kDefaultVolumes) {
        auto& entry = style.mixer[static_cast<std::size_t>(part)];
        entry[kMixVolume] = static_cast<std::uint8_t>(volume);
        for (int b = kMixChorus; b <= kMixPan; ++b)
            entry[static_cast<std::size_t>(b)] = 64;
    }

    style.octaveShift.fill(0);
    style.setName("");
    style.barCount = 40;
    style.setDescription("No music style is defined.");
    style.meter = 0;
    style.tempo = 750000;
    style.keyVariant = 1;
    style.scaleNumber = 1;
    style.scaleShift = 0;
    style.reserved = {0, 1};
    style.feel = 0;
    style.accompanimentSwitches = {0, 0, 0, 100, 100, 100, 0};
    style.chordScaleAdjust = 0;
    style.chordMode = 0;
    style.keyChange = 0;
    style.jumpCheckMode = 0;
    style.fixedBassMode = 0;
    style.slashBass = 0;
    setText(style.customScale, "xxxx909099090909");
    style.melodySwitches = {1, 1, 1, 1};
    style.melodyJumpWeights = {40, 10, 70, 90, 90, 92, 94, 96};
    style.melodyJumpSizes = {-25, -25, 0, 10, 20, 30, 40, 50};
    style.setChordDatabases("PATTERN.DB", "RESOLUT.DB");

    style.rhythmGrids.fill(0);
    for (int row = 0; row < grid::kRows; ++row) {
        style.rowValue(grid::kHarmonyBlock, row) = row + 5;
        style.rowValue(grid::kOtherBlock, row) = row + 5;
        style.rowValue(grid::kDrumBlock, row) = kInitialDrumCodes[static_cast<std::size_t>(row)];
        style.rowValue(grid::kBassBlock, row) = row + 5;
    }

    style.fixedChordLength = 0;
    style.chordLengthSource = 0;
    style.unusedSwitches = {0, 0, 90, 0, 0, 90, 0, 0, 0, 0, 0};
    style.unsetValue = 0;
    style.sectionCopyMode = 6;
    style.part3Pattern = 17;
    style.category = 7;
    style.drumPattern = 14;
    style.part7Pattern = 15;
    style.bassPattern = 10;
    style.part5Alternative = 0;
    style.randomKind = 0;
    style.flagAfterRandomKind = 0;
    style.defaultChords.fill(0);

    for (auto& entry : style.melodySettings)
        entry.fill(0);
    auto& a = style.sectionA();
    a[kMelPartMode] = 2;
    a[kMelHighest] = 80;
    a[kMelLowest] = 50;
    a[kMelPitchMethod] = 1;
    style.sectionB() = a;
    style.sectionC() = a;

    style.patternParams = {0, 100, 100, 100, 100, 100, 0, 100, 100, 100, 0, 0};

    // Drawn last: it reads the meter and feel, which now hold their defaults.
    drawOnsetPattern(style, random);
}

void finaliseStyle(StyleRecord& style) {
    const int length = style.barLength();
    const int bars = std::clamp(style.barCount, 0, kMaxDefaultChords);
    std::size_t at = 0;
    for (int bar = 0; bar < bars; ++bar) {
        const char* code = (bar / 4) % 2 == 0 ? "CMPS" : "GMPs";
        style.defaultChords[at++] = static_cast<std::uint8_t>((length >> 8) & 0xFF);
        style.defaultChords[at++] = static_cast<std::uint8_t>(length & 0xFF);
        for (int i = 0; i < 4; ++i)
            style.defaultChords[at++] = static_cast<std::uint8_t>(code[i]);
    }
    style.defaultChords[at++] = 0;
    style.defaultChords[at] = 0;

    if (style.sectionCopyMode == 6) style.sectionB() = style.sectionA();
}

std::string lookupScaleTemplate(const StyleRecord& style) {
    std::string result;
    if (style.scaleNumber == kCustomScaleNumber) {
        result = textOf(style.customScale);
    } else {
        const ScaleRow* row = &kScaleRows[0];
        for (const auto& candidate : kScaleRows) {
            if (candidate.number == style.scaleNumber) {
                row = &candidate;
                break;
            }
        }
        result = style.keyVariant == 1 ? row->major : row->minor;
    }
    // Readers index twelve digits after the placeholders; a short custom
    // scale must not send them past the end.
    if (result.size() != kTemplateLength) result.resize(kTemplateLength, '0');

    const int steps = ((style.scaleShift % 12) + 12) % 12;
    if (steps != 0 && result.compare(0, 3, "REM") != 0) {
        const std::string digits = result.substr(kDigitsStart, 12);
        for (int pc = 0; pc < 12; ++pc)
            result[kDigitsStart + static_cast<std::size_t>((pc + steps) % 12)] =
                digits[static_cast<std::size_t>(pc)];
    }
    return result;
}

} // namespace harmolin
