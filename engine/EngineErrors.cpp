#include "engine/EngineErrors.h"

#include "base/ErrorReport.h"

#include <mutex>

namespace harmolin {
namespace {

struct Row {
    std::uint32_t sub;
    const char* text;
};

const Row kRows[] = {
    {engine_error::kDrumPattern, "Drum paggern error!"},
    {engine_error::kDrumSound, "Drum sound error!"},
    {engine_error::kThreeFour, "3/4 error!"},
    {engine_error::kSevenEight, "7/8 error!"},
    {engine_error::kChordLength, "chord length error!"},
    {engine_error::kMeter, "can't add meater information!"},
    {engine_error::kRootNote, "root note error!"},
    {engine_error::kThirdNote, "third note error!"},
    {engine_error::kFifthNote, "5th note error!"},
    {engine_error::kSeventhNote, "7th note error!"},
    {engine_error::kBackingPattern, "backing pattern error!"},
    {engine_error::kTrackInformation, "track information error!"},
    {engine_error::kMelodyNoteLength, "melody note length error!"},
    {engine_error::kTimeChartMemory, "insuficcient memory for time chart!"},
    {engine_error::kPatternFile, "error in pattern file!"},
    {engine_error::kCadenceFile, "error in cadence file!"},
    {engine_error::kCadenceTimeChartFile, "error in cadence time chart file!"},
    {engine_error::kTimeChartFile, "error in time chart file!"},
    {engine_error::kTimeChart, "can not create time chart!"},
    {engine_error::kThreeFourChart, "can not create 3/4!"},
    {engine_error::kSevenEightChart, "can not create 7/8!"},
    {engine_error::kTimeChartLength, "failed to create time chart length!"},
    {engine_error::kDatabaseRead, "can't read database file!"},
    {engine_error::kChordProgression, "error in chord progression!"},
    {engine_error::kDiminishedChord, "Diminish chord error!"},
    {engine_error::kMelodyPoints, "Error occured while points for melody were picked up!"},
    {engine_error::kMemory, "Memory Error!"},
    {engine_error::kBeat, "Beat Error!"},
    {engine_error::kNoMoreNotes, "No more memory for notes!"},
    {engine_error::kDb2, "Error in DB2!"},
    {engine_error::kInstrument, "Errir of music instrument."},
    {engine_error::kChannel, "Channel is invalid!"},
    {engine_error::kCategory, "Music Category is invalid!"},
    {engine_error::kDataCheck, "Error is detected with data check!"},
    {engine_error::kMelodyGeneration, "Error occured in melody generation!"},
    {engine_error::kMelodyAlgorithm, "Error occured in melody generation algorithm!"},
    {engine_error::kPatternProcess, "Failed in pattern process!"},
    {engine_error::kPatternEventCount, "The number on event is invalid in pattern processing!"},
    {engine_error::kEndlessLoop, "There is a risk of infinite loop!"},
    {engine_error::kAdjustment, "Error occured in Algorithm of adjustment!"},
    {engine_error::kAdjustmentToo, "Error occured in Algorithm of adjustment!"},
    {engine_error::kAlgorithmSelection, "Algorithm selection is invalid!"},
    {engine_error::kLengthDetermination, "Error occured in algorithm of length determination!"},
    {engine_error::kMelodyTrackType, "Data type of melody track is invalid!"},
    {engine_error::kObbligatoLength, "The length of obbligato is wrong!"},
    {engine_error::kInvalidProgression, "Invalid chord progression!"},
    {engine_error::kBlockLength, "Invalid chord block length!"},
    {engine_error::kChordPattern, "Invalid chord pattern!"},
    {engine_error::kDisplayData, "Error occured in display data!"},
    {engine_error::kArpeggio, "Error occured in abbelimenti!"},
    {engine_error::kBassRiff, "Error occured bass riff!"},
    {engine_error::kDrumPatternData, "Error occured in drum pattern!"},
    {engine_error::kEnvironmentInstrument, "Instrument of environment is wrong!"},
    {engine_error::kRiffLength, "Invalid length of riff!"},
    {engine_error::kBeatMismatch, "Time sign and base beat does not match!"},
    {engine_error::kDeltaTime, "Delta time is worng!"},
    {engine_error::kPitchBend, "Pitch Bend data is wrong!"},
};

const char* lookup(std::uint32_t code) {
    if ((code & 0xFFFF0000u) != errc::engine::kClassBits) return nullptr;
    const std::uint32_t sub = code & 0xFFFF;
    for (const Row& r : kRows)
        if (r.sub == sub) return r.text;
    return nullptr;
}

} // namespace

void registerEngineMessages() {
    registerMessages(ErrorClass::Znrc, lookup, "Error occured in MobileDialogSelectChanel!");
}

void reportEngineError(std::uint32_t subCode) {
    static std::once_flag registered;
    std::call_once(registered, registerEngineMessages);
    reportError(ErrorClass::Znrc, errc::engine::kClassBits | (subCode & errc::engine::kSubCodeBits));
}

} // namespace harmolin
