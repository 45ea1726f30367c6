#include "engine/EngineErrors.h"

#include "base/ErrorReport.h"

#include <mutex>

namespace harmolin {
namespace {

struct Row {
    std::uint16_t sub;
    const char* text;
};

const Row kRows[] = {
    {0x0001, "Drum paggern error!"},
    {0x0002, "Drum sound error!"},
    {0x0004, "3/4 error!"},
    {0x0005, "7/8 error!"},
    {0x0007, "chord length error!"},
    {0x001F, "can't add meater information!"},
    {0x0022, "root note error!"},
    {0x0023, "third note error!"},
    {0x0024, "5th note error!"},
    {0x0025, "7th note error!"},
    {0x0027, "backing pattern error!"},
    {0x0028, "track information error!"},
    {0x0029, "melody note length error!"},
    {0x0031, "insuficcient memory for time chart!"},
    {0x0035, "error in pattern file!"},
    {0x0036, "error in cadence file!"},
    {0x0037, "error in cadence time chart file!"},
    {0x0038, "error in time chart file!"},
    {0x003A, "can not create time chart!"},
    {0x003B, "can not create 3/4!"},
    {0x003C, "can not create 7/8!"},
    {0x003D, "failed to create time chart length!"},
    {0x003E, "can't read database file!"},
    {0x003F, "error in chord progression!"},
    {0x006B, "Diminish chord error!"},
    {0x006F, "Error occured while points for melody were picked up!"},
    {0x0100, "Memory Error!"},
    {0x0133, "Beat Error!"},
    {0x0134, "No more memory for notes!"},
    {0x014A, "Error in DB2!"},
    {0x0156, "Errir of music instrument."},
    {0x0177, "Channel is invalid!"},
    {0x0178, "Music Category is invalid!"},
    {0x01AA, "Error is detected with data check!"},
    {0x01AB, "Error occured in melody generation!"},
    {0x01AC, "Error occured in melody generation algorithm!"},
    {0x01AD, "Failed in pattern process!"},
    {0x01AE, "The number on event is invalid in pattern processing!"},
    {0x01AF, "There is a risk of infinite loop!"},
    {0x01B0, "Error occured in Algorithm of adjustment!"},
    {0x01B1, "Error occured in Algorithm of adjustment!"},
    {0x01B2, "Algorithm selection is invalid!"},
    {0x01B3, "Error occured in algorithm of length determination!"},
    {0x01B4, "Data type of melody track is invalid!"},
    {0x01B5, "The length of obbligato is wrong!"},
    {0x01C6, "Invalid chord progression!"},
    {0x01C7, "Invalid chord block length!"},
    {0x01C8, "Invalid chord pattern!"},
    {0x01CD, "Error occured in display data!"},
    {0x01CE, "Error occured in abbelimenti!"},
    {0x01CF, "Error occured bass riff!"},
    {0x01D0, "Error occured in drum pattern!"},
    {0x01D2, "Instrument of environment is wrong!"},
    {0x01D3, "Invalid length of riff!"},
    {0x01D4, "Time sign and base beat does not match!"},
    {0x01DC, "Delta time is worng!"},
    {0x01DD, "Pitch Bend data is wrong!"},
};

const char* lookup(std::uint32_t code) {
    if ((code & 0xFFFF0000u) != 0xFF010000u) return nullptr;
    const auto sub = static_cast<std::uint16_t>(code & 0xFFFF);
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
    reportError(ErrorClass::Znrc, 0xFF010000u | (subCode & 0xFFFF));
}

} // namespace harmolin
