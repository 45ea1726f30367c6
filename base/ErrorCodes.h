// Every error code the program reports, by name. The numbers are what the
// user sees ("M1DT03000004 ..."), so they never change; the class number sits
// in the top byte, except for the writer's and the pictures' small codes and
// the engine's sub-codes (shown as 0xFF01xxxx).
//
// The message texts are tabled beside their reporters (base/ErrorReport.cpp,
// engine/EngineErrors.cpp), keyed by these names.
#pragma once

#include <cstdint>

namespace harmolin::errc {

// Code 0 of a plain reporter shows the class's general text.
inline constexpr std::uint32_t kGeneralText = 0;

// GENE: general functions (files, memory, parameters).
inline constexpr std::uint32_t kOutOfMemory = 0x01000002;
inline constexpr std::uint32_t kQuitAndRestart = 0x01000004;
inline constexpr std::uint32_t kFileNotFound = 0x01000005;
inline constexpr std::uint32_t kBadHexDigits = 0x01000006;
inline constexpr std::uint32_t kCannotOpenFile = 0x01000007;
inline constexpr std::uint32_t kDataTooLarge = 0x0100000A;
inline constexpr std::uint32_t kBadParameter = 0x0100000B;
inline constexpr std::uint32_t kNoCurrentFolder = 0x0100000C;
inline constexpr std::uint32_t kBadFileSize = 0x0100000D;
inline constexpr std::uint32_t kBadTimeSignature = 0x0100000E;

// M1DT: reading and tidying a format-1 song.
inline constexpr std::uint32_t kF1TooManyTracks = 0x03000001;
inline constexpr std::uint32_t kF1NotFormat1 = 0x03000002;
inline constexpr std::uint32_t kF1Internal = 0x03000003;
inline constexpr std::uint32_t kF1NotMidi = 0x03000004;
inline constexpr std::uint32_t kF1CannotOpen = 0x03000005;
inline constexpr std::uint32_t kF1SeveralMasterVolumes = 0x03000006;
inline constexpr std::uint32_t kF1DrumSysExOffChannel10 = 0x03000007;
inline constexpr std::uint32_t kF1BadTimeSignature = 0x03000008;
inline constexpr std::uint32_t kF1TooManyTempos = 0x03000009;
inline constexpr std::uint32_t kF1SeveralSysExTracks = 0x0300000A;
inline constexpr std::uint32_t kF1SeveralSystemChannels = 0x0300000B;
inline constexpr std::uint32_t kF1DuplicateChannel = 0x0300000C;
inline constexpr std::uint32_t kF1TimeSignatureMisplaced = 0x0300000D;  // once
inline constexpr std::uint32_t kF1NoChannelLeft = 0x0300000E;           // once, never reset
inline constexpr std::uint32_t kF1DrumMergeProgramsDiffer = 0x0300000F; // once
inline constexpr std::uint32_t kF1MergeProgramsDiffer = 0x03000010;     // once
inline constexpr std::uint32_t kF1NoSpareChannelToSplit = 0x03000011;
inline constexpr std::uint32_t kF1NoDrumTrack = 0x03000012;
inline constexpr std::uint32_t kF1ChannelTaken = 0x03000013;     // once, never reset
inline constexpr std::uint32_t kF1NoteToBendFailed = 0x03000014; // once
inline constexpr std::uint32_t kF1NoProgramChange = 0x03000015;
inline constexpr std::uint32_t kF1NoMasterVolume = 0x03000016;
// Also raised as a once warning of the M1TK class.
inline constexpr std::uint32_t kF1SeveralBendSensitivities = 0x03000017;
inline constexpr std::uint32_t kF1ZeroBendSensitivity = 0x03000018;
inline constexpr std::uint32_t kF1DataTooLarge = 0x03000019;
inline constexpr std::uint32_t kF1BadChannelCount = 0x0300001A;
inline constexpr std::uint32_t kF1BadBeginPoint = 0x0300001B;
inline constexpr std::uint32_t kF1BadSysEx = 0x0300001D;
inline constexpr std::uint32_t kF1BadChannel = 0x0300001E;
inline constexpr std::uint32_t kF1BadProgramChange = 0x03000020;
inline constexpr std::uint32_t kF1BadInternalData = 0x03000021;

// M0DT: reading and writing a format-0 song.
inline constexpr std::uint32_t kF0NotFormat0 = 0x04000001;
inline constexpr std::uint32_t kF0CannotOpen = 0x04000002;
inline constexpr std::uint32_t kF0BadTrackCount = 0x04000003;
inline constexpr std::uint32_t kF0NotMidi = 0x04000004; // or a MacBinary header in front
inline constexpr std::uint32_t kF0Internal = 0x04000005;
inline constexpr std::uint32_t kF0TimeSignatureMisplaced = 0x04000007; // once
inline constexpr std::uint32_t kF0BadMeasureCount = 0x04000008;
inline constexpr std::uint32_t kF0BadMusic = 0x04000009;
inline constexpr std::uint32_t kF0StopFailed = 0x0400000A;
inline constexpr std::uint32_t kF0BadEndOfTrack = 0x0400000B;

// MUEV: one music event.
inline constexpr std::uint32_t kEventTooLarge = 0x06000001;
inline constexpr std::uint32_t kEventBadData = 0x06000002;

// MDCT: the MIDI output device.
inline constexpr std::uint32_t kDeviceCannotOpen = 0x07000001;
inline constexpr std::uint32_t kDeviceCannotClose = 0x07000002;
inline constexpr std::uint32_t kDeviceCannotChangeTone = 0x07000003;
inline constexpr std::uint32_t kDeviceCannotSendSysEx = 0x07000004;
inline constexpr std::uint32_t kDeviceBadParameter = 0x07000005;

// MDPL: the player's clock and position.
inline constexpr std::uint32_t kPlayerDivisionTooLarge = 0x08000001;
inline constexpr std::uint32_t kPlayerNoTimer = 0x08000002;
inline constexpr std::uint32_t kPlayerTempoTooSlow = 0x08000003;
inline constexpr std::uint32_t kPlayerInternal = 0x08000004;
inline constexpr std::uint32_t kPlayerBadPlayPoint = 0x08000005;
inline constexpr std::uint32_t kPlayerBadTempo = 0x08000006;
inline constexpr std::uint32_t kPlayerBadData = 0x08000007;

// MDSP: the music player above it.
inline constexpr std::uint32_t kMusicPlayerNotNotes = 0x09000001;

// MDTK: one track's data.
inline constexpr std::uint32_t kTrackInternal = 0x0D000001;
inline constexpr std::uint32_t kTrackUndefinedEvent = 0x0D000002; // plain, and once
inline constexpr std::uint32_t kTrackBadChannel = 0x0D000003;
inline constexpr std::uint32_t kTrackBadTempo = 0x0D000005;
inline constexpr std::uint32_t kTrackTooLarge = 0x0D000006;
inline constexpr std::uint32_t kTrackNotMidi = 0x0D000007;
inline constexpr std::uint32_t kTrackDrumOutOfRange = 0x0D000008;
inline constexpr std::uint32_t kTrackSeveralVolumes = 0x0D000009; // once
inline constexpr std::uint32_t kTrackSeveralPans = 0x0D00000A;    // once
inline constexpr std::uint32_t kTrackLargeEvent = 0x0D00000B;     // once
inline constexpr std::uint32_t kTrackBadProgramChange = 0x0D00000C;
inline constexpr std::uint32_t kTrackDuplicateNoteOn = 0x0D00000D;
inline constexpr std::uint32_t kTrackDuplicateNoteOff = 0x0D00000E;
inline constexpr std::uint32_t kTrackThinningFailed = 0x0D00000F; // once
inline constexpr std::uint32_t kTrackBadParameter = 0x0D000010;
inline constexpr std::uint32_t kTrackSeveralMasterVolumes = 0x0D000011; // once
inline constexpr std::uint32_t kTrackTopNoteThinned = 0x0D000012;       // once
inline constexpr std::uint32_t kTrackBadDrumBank = 0x0D000013;
inline constexpr std::uint32_t kTrackBadNoteNumber = 0x0D000014;
inline constexpr std::uint32_t kTrackBadTempoData = 0x0D000015;
inline constexpr std::uint32_t kTrackPolyPressure = 0x0D000016;     // once
inline constexpr std::uint32_t kTrackNoteNumberZeroed = 0x0D000017; // once
inline constexpr std::uint32_t kTrackNoCentreNote = 0x0D000018;
inline constexpr std::uint32_t kTrackBadMusic = 0x0D000019;
inline constexpr std::uint32_t kTrackCannotAdd = 0x0D00001A;
inline constexpr std::uint32_t kTrackEmptyBendSegment = 0x0D00001B;
inline constexpr std::uint32_t kTrackCannotDivide = 0x0D00001C;
inline constexpr std::uint32_t kTrackBadVoiceCount = 0x0D00001D;
inline constexpr std::uint32_t kTrackBadChannelVolume = 0x0D00001E;
inline constexpr std::uint32_t kTrackCannotMerge = 0x0D00001F;
inline constexpr std::uint32_t kTrackChannelDataFailed = 0x0D000020;
inline constexpr std::uint32_t kTrackNoteFailed = 0x0D000021;
inline constexpr std::uint32_t kTrackGeneratedEventsFailed = 0x0D000022;
inline constexpr std::uint32_t kTrackConnectNotesFailed = 0x0D000023;
inline constexpr std::uint32_t kTrackBadValue = 0x0D000024;
inline constexpr std::uint32_t kTrackBadData = 0x0D000025;
inline constexpr std::uint32_t kTrackFailed = 0x0D000026;
inline constexpr std::uint32_t kTrackTimeSignatureFailed = 0x0D000027;
inline constexpr std::uint32_t kTrackTextTooLong = 0x0D000028;
inline constexpr std::uint32_t kTrackOperationFailed = 0x0D000029;
inline constexpr std::uint32_t kTrackReduceVoicesFailed = 0x0D00002A;
inline constexpr std::uint32_t kTrackBendEditFailed = 0x0D00002B;
inline constexpr std::uint32_t kTrackEditFailed = 0x0D00002C;
inline constexpr std::uint32_t kTrackEditFailedToo = 0x0D00002D;

// GNLL: the word-list loader.
inline constexpr std::uint32_t kListCannotOpen = 0x1E000001;
inline constexpr std::uint32_t kListBadValue = 0x1E000002;
inline constexpr std::uint32_t kListTooManyRows = 0x1E000003;
inline constexpr std::uint32_t kListInvalidSpace = 0x1E000004;
inline constexpr std::uint32_t kListNoDirectory = 0x1E000005;
inline constexpr std::uint32_t kListFieldTooLong = 0x1E000006;
inline constexpr std::uint32_t kListTooLarge = 0x1E000007;

// M1TK: a format-1 track's own edits.
inline constexpr std::uint32_t kF1TrackCannotReduceToZero = 0x2E00000C;
inline constexpr std::uint32_t kF1TrackTimeSignatureMisplaced = 0x2E00001A; // once
inline constexpr std::uint32_t kF1TrackBendRangeTooWide = 0x2E00001B;       // once

// XFDT: the XF song layer.
inline constexpr std::uint32_t kXfNotXf = 0x2F000001;
inline constexpr std::uint32_t kXfInternal = 0x2F000002;
inline constexpr std::uint32_t kXfNoMasterVolumeAfterReset = 0x2F000003;

// MDSX: a GS system-exclusive message.
inline constexpr std::uint32_t kSysExMissing = 0x36000001;

// MDSS: the song's status at a point of play.
inline constexpr std::uint32_t kStatusBadTimeSignature = 0x37000002;

// VOFW: the singing-sequence writer and the singer list (small codes).
inline constexpr std::uint32_t kVocaloidBadTempo = 1;
inline constexpr std::uint32_t kVocaloidBadNote = 2;
inline constexpr std::uint32_t kVocaloidBadEventCount = 3;
inline constexpr std::uint32_t kVocaloidNoSingerList = 4;
inline constexpr std::uint32_t kVocaloidVoiceListFailed = 5;

// OSPC: the off-screen pictures of the window. Code 0 re-arms the once latch.
inline constexpr std::uint32_t kPictureRearm = 0;
inline constexpr std::uint32_t kPictureDrawFailed = 1;

// ZNRC: sub-codes of the composition engine, reported as 0xFF010000 | sub.
namespace engine {
inline constexpr std::uint32_t kClassBits = 0xFF010000;
inline constexpr std::uint32_t kSubCodeBits = 0x0000FFFF;
inline constexpr std::uint32_t kGeneral = 0x0000;
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
inline constexpr std::uint32_t kTimeChartMemory = 0x0031;
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
inline constexpr std::uint32_t kDiminishedChord = 0x006B;
inline constexpr std::uint32_t kMelodyPoints = 0x006F;
inline constexpr std::uint32_t kMemory = 0x0100;
inline constexpr std::uint32_t kBeat = 0x0133;
inline constexpr std::uint32_t kNoMoreNotes = 0x0134;
inline constexpr std::uint32_t kDb2 = 0x014A;
inline constexpr std::uint32_t kInstrument = 0x0156;
inline constexpr std::uint32_t kChannel = 0x0177;
inline constexpr std::uint32_t kCategory = 0x0178;
inline constexpr std::uint32_t kDataCheck = 0x01AA;
inline constexpr std::uint32_t kMelodyGeneration = 0x01AB;
inline constexpr std::uint32_t kMelodyAlgorithm = 0x01AC;
inline constexpr std::uint32_t kPatternProcess = 0x01AD;
inline constexpr std::uint32_t kPatternEventCount = 0x01AE;
inline constexpr std::uint32_t kEndlessLoop = 0x01AF;
inline constexpr std::uint32_t kAdjustment = 0x01B0;
inline constexpr std::uint32_t kAdjustmentToo = 0x01B1;
inline constexpr std::uint32_t kAlgorithmSelection = 0x01B2;
inline constexpr std::uint32_t kLengthDetermination = 0x01B3;
inline constexpr std::uint32_t kMelodyTrackType = 0x01B4;
inline constexpr std::uint32_t kObbligatoLength = 0x01B5;
inline constexpr std::uint32_t kInvalidProgression = 0x01C6;
inline constexpr std::uint32_t kBlockLength = 0x01C7;
inline constexpr std::uint32_t kChordPattern = 0x01C8;
inline constexpr std::uint32_t kDisplayData = 0x01CD;
inline constexpr std::uint32_t kArpeggio = 0x01CE;
inline constexpr std::uint32_t kBassRiff = 0x01CF;
inline constexpr std::uint32_t kDrumPatternData = 0x01D0;
inline constexpr std::uint32_t kEnvironmentInstrument = 0x01D2;
inline constexpr std::uint32_t kRiffLength = 0x01D3;
inline constexpr std::uint32_t kBeatMismatch = 0x01D4;
inline constexpr std::uint32_t kDeltaTime = 0x01DC;
inline constexpr std::uint32_t kPitchBend = 0x01DD;
} // namespace engine

} // namespace harmolin::errc
