// A music style: everything the engine needs to know about a kind of music.
// A plain fixed-size record copied whole; it holds no pointers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace harmolin {

class EngineRandom;

inline constexpr int kNoProgram = 256;         // part not used
inline constexpr int kFirstGroupProgram = 136; // 136 + g: instrument group g
inline constexpr int kMaxDefaultChords = 681;

// Parts are MIDI channels less one.
enum Part : int {
    kPartMelody = 1,
    kPartBass = 2,
    kPartHarmony = 3,
    kPartLineB = 4,
    kPartLineC = 5,
    kPartSecondMelody = 6,
    kPartAccompaniment2 = 7,
    kPartEight = 8,
    kPartDrums = 9,
    kPartMelodyCopy = 10,
    kPartHarmonyCopy = 11,
    kPartMelodyLast = 15,
};

// Mixer bytes of a part.
enum MixerByte : int {
    kMixVolume = 0,
    kMixChorus = 1,
    kMixReverb = 2,
    kMixBrightness = 3,
    kMixAttack = 4,
    kMixDecay = 5,
    kMixRelease = 6,
    kMixResonance = 7,
    kMixPan = 8,
    kMixDoubling = 9,
    kMixChordControl = 10,
};

// Melody parameters of a part (value 0 to 14).
enum MelodyValue : int {
    kMelDissonance = 0,
    kMelPartMode = 1,
    kMelRestSwitch = 2,
    kMelEndingKind = 4,
    kMelValue5 = 5,
    kMelSecondMelody = 6, // in sectionA; the rest-echo switch in part 6's entry
    kMelHighest = 7,
    kMelLowest = 8,
    kMelPitchMethod = 9,
    kMelTension = 10,
    kMelLengthRepeat = 11,
    kMelIntervalRepeat = 12,
    kMelSequence = 13,
};

// Layout of the step grids (int32 positions).
namespace grid {
inline constexpr int kBlockSize = 254;
inline constexpr int kBlocks = 16;
inline constexpr int kRows = 14;
inline constexpr int kSteps = 16;
inline constexpr int kRowValues = 224;                // within a block
inline constexpr int kTies = 238;                     // within a block
inline constexpr int kTrailer = kBlocks * kBlockSize; // 4064
inline constexpr int kSize = kTrailer + 12;           // 4076
inline constexpr int kHarmonyBlock = 0;
inline constexpr int kOtherBlock = 1;
inline constexpr int kDrumBlock = 2;
inline constexpr int kBassBlock = 3;
} // namespace grid

struct StyleRecord {
    std::array<std::int32_t, 16> programs{};
    std::array<std::array<std::uint8_t, 16>, 16> mixer{};
    std::array<std::int32_t, 14> octaveShift{};
    std::array<char, 20> name{};
    std::int32_t barCount = 0;
    std::array<char, 256> description{};
    std::int32_t meter = 0; // 0 4/4, 1 3/4, 2 7/8
    std::int32_t tempo = 0; // microseconds per quarter note
    std::int32_t keyVariant = 0;
    std::int32_t scaleNumber = 0;
    std::int32_t scaleShift = 0;
    std::array<std::int32_t, 2> reserved{};
    std::int32_t feel = 0; // 3 = triplet feel
    std::array<std::int32_t, 7> accompanimentSwitches{};
    std::int32_t chordScaleAdjust = 0;
    std::int32_t chordMode = 0;
    std::int32_t keyChange = 0;
    std::int32_t jumpCheckMode = 0;
    std::int32_t fixedBassMode = 0;
    std::array<std::uint8_t, 96> onsetPattern{};
    std::int32_t slashBass = 0;
    std::array<char, 17> customScale{};
    std::array<std::int32_t, 4> melodySwitches{};
    std::array<std::int32_t, 8> melodyJumpWeights{};
    std::array<std::int32_t, 8> melodyJumpSizes{};
    std::array<char, 128> chordDbName{};
    std::array<char, 128> cadenceDbName{};
    std::array<std::int32_t, grid::kSize> rhythmGrids{};
    std::int32_t fixedChordLength = 0;
    std::int32_t chordLengthSource = 0;
    std::array<std::int32_t, 11> unusedSwitches{};
    std::int32_t unsetValue = 0;
    std::int32_t sectionCopyMode = 0;
    std::int32_t part3Pattern = 0;
    std::int32_t category = 0;
    std::int32_t drumPattern = 0;
    std::int32_t part7Pattern = 0;
    std::int32_t bassPattern = 0;
    std::int32_t part5Alternative = 0;
    std::int32_t randomKind = 0;
    std::int32_t flagAfterRandomKind = 0;
    std::array<std::uint8_t, kMaxDefaultChords * 6 + 2> defaultChords{};
    std::array<std::array<std::int32_t, 15>, 16> melodySettings{};
    std::array<std::int32_t, 12> patternParams{};

    [[nodiscard]] std::array<std::int32_t, 15>& sectionA() { return melodySettings[1]; }
    [[nodiscard]] const std::array<std::int32_t, 15>& sectionA() const { return melodySettings[1]; }
    [[nodiscard]] std::array<std::int32_t, 15>& sectionB() { return melodySettings[4]; }
    [[nodiscard]] std::array<std::int32_t, 15>& sectionC() { return melodySettings[5]; }

    [[nodiscard]] std::string nameText() const;
    [[nodiscard]] std::string descriptionText() const;
    void setName(std::string_view text);
    void setDescription(std::string_view text);
    void setChordDatabases(std::string_view chords, std::string_view cadences);
    [[nodiscard]] std::string chordDbText() const;
    [[nodiscard]] std::string cadenceDbText() const;

    // Bar length in ticks (96 to the quarter): 384, 288 or 336.
    [[nodiscard]] int barLength() const { return meter == 0 ? 384 : meter == 1 ? 288 : 336; }
    // Beats per bar for the tune length check: 4 in 4/4, 3 otherwise.
    [[nodiscard]] int beatsPerBar() const { return meter == 0 ? 4 : 3; }
    [[nodiscard]] bool triplet() const { return feel == 3; }

    // Step grid access.
    [[nodiscard]] std::int32_t& cell(int block, int row, int step) {
        return rhythmGrids[block * grid::kBlockSize + 16 * row + step];
    }
    [[nodiscard]] std::int32_t cell(int block, int row, int step) const {
        return rhythmGrids[block * grid::kBlockSize + 16 * row + step];
    }
    [[nodiscard]] std::int32_t& rowValue(int block, int row) {
        return rhythmGrids[block * grid::kBlockSize + grid::kRowValues + row];
    }
    [[nodiscard]] std::int32_t rowValue(int block, int row) const {
        return rhythmGrids[block * grid::kBlockSize + grid::kRowValues + row];
    }
    [[nodiscard]] std::int32_t& tie(int block, int step) {
        return rhythmGrids[block * grid::kBlockSize + grid::kTies + step];
    }
    [[nodiscard]] std::int32_t tie(int block, int step) const {
        return rhythmGrids[block * grid::kBlockSize + grid::kTies + step];
    }
    [[nodiscard]] std::int32_t& trailer(int i) { return rhythmGrids[grid::kTrailer + i]; }
    [[nodiscard]] std::int32_t trailer(int i) const { return rhythmGrids[grid::kTrailer + i]; }
};

// The grid drum codes of the drum block's rows (drum note = code + 35).
inline constexpr std::array<int, 14> kInitialDrumCodes = {0, 1, 3, 4, 5, 7, 9, 10, 11, 14, 15, 16, 19, 24};

// Writes every default into a record (drawing its onset pattern).
void initStyleDefaults(StyleRecord& style, EngineRandom& random);
// The random onset pattern of a record.
void drawOnsetPattern(StyleRecord& style, EngineRandom& random);
// Run after a style's own values: default chord list, section copy.
void finaliseStyle(StyleRecord& style);
// The 16-character scale template ("xxxx" and twelve weight digits) of the
// style's scale number and key variant, rotated by its scale shift.
[[nodiscard]] std::string lookupScaleTemplate(const StyleRecord& style);

} // namespace harmolin
