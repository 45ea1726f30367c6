// The composition engine's error class: codes 0xFF01xxxx shown as "ZNRC...".
// A report never stops a composition; the caller goes on with a neutral value.
#pragma once

#include <cstdint>

namespace harmolin {

// Reports engine error 0xFF010000 | subCode (sub-code 0 shows the general text).
void reportEngineError(std::uint32_t subCode);
// Puts the engine's message table in place (done by the first report).
void registerEngineMessages();

// Sub-codes the engine raises.
namespace engine_error {
inline constexpr std::uint32_t kDrumPattern = 0x0001;
inline constexpr std::uint32_t kDrumSound = 0x0002;
inline constexpr std::uint32_t kThreeFour = 0x0004;
inline constexpr std::uint32_t kSevenEight = 0x0005;
inline constexpr std::uint32_t kChordLength = 0x0007;
inline constexpr std::uint32_t kMeter = 0x001F;
inline constexpr std::uint32_t kRootNote = 0x0022;
inline constexpr std::uint32_t kThirdNote = 0x0023;
inline constexpr std::uint32_t kFifthNote = 0x0024;
inline constexpr std::uint32_t kSeventhNote = 0x0025;
inline constexpr std::uint32_t kBackingPattern = 0x0027;
inline constexpr std::uint32_t kTrackInformation = 0x0028;
inline constexpr std::uint32_t kMelodyNoteLength = 0x0029;
inline constexpr std::uint32_t kPatternFile = 0x0035;
inline constexpr std::uint32_t kCadenceFile = 0x0036;
inline constexpr std::uint32_t kCadenceTimeChartFile = 0x0037;
inline constexpr std::uint32_t kTimeChartFile = 0x0038;
inline constexpr std::uint32_t kTimeChart = 0x003A;
inline constexpr std::uint32_t kThreeFourChart = 0x003B;
inline constexpr std::uint32_t kSevenEightChart = 0x003C;
inline constexpr std::uint32_t kTimeChartLength = 0x003D;
inline constexpr std::uint32_t kDatabaseRead = 0x003E;
inline constexpr std::uint32_t kChordProgression = 0x003F;
inline constexpr std::uint32_t kMemory = 0x0100;
inline constexpr std::uint32_t kNoMoreNotes = 0x0134;
inline constexpr std::uint32_t kDb2 = 0x014A;
inline constexpr std::uint32_t kInstrument = 0x0156;
inline constexpr std::uint32_t kChannel = 0x0177;
inline constexpr std::uint32_t kCategory = 0x0178;
inline constexpr std::uint32_t kDataCheck = 0x01AA;
inline constexpr std::uint32_t kAlgorithmSelection = 0x01B2;
inline constexpr std::uint32_t kLengthDetermination = 0x01B3;
inline constexpr std::uint32_t kInvalidProgression = 0x01C6;
inline constexpr std::uint32_t kBlockLength = 0x01C7;
inline constexpr std::uint32_t kChordPattern = 0x01C8;
inline constexpr std::uint32_t kBeatMismatch = 0x01D4;
} // namespace engine_error

} // namespace harmolin
