#include "base/ErrorReport.h"

#include "base/ErrorCodes.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <vector>

namespace harmolin {
namespace {

struct Message {
    std::uint32_t code;
    const char* text;
};

struct ClassInfo {
    const char* prefix;
    const Message* table;
    std::size_t tableSize;
    const char* generalText;
};

const Message geneTable[] = {
    {errc::kOutOfMemory, "Needs more memory!"},  {errc::kQuitAndRestart, "Quit and restart!"},
    {errc::kFileNotFound, "Cant find file!"},    {errc::kBadHexDigits, "16 digit error"},
    {errc::kCannotOpenFile, "Cant open file!"},  {errc::kDataTooLarge, "data size is too large!"},
    {errc::kBadParameter, "parameter is wrong"}, {errc::kNoCurrentFolder, "Can not get current directory"},
    {errc::kBadFileSize, "file size error!"},    {errc::kBadTimeSignature, "Time sign is invalid!"},
};

const Message mdctTable[] = {
    {errc::kDeviceCannotOpen, "Can not open Midi device!"},
    {errc::kDeviceCannotClose, "Can not close Midi device!"},
    {errc::kDeviceCannotChangeTone, "Can not change tone with Midi device!"},
    {errc::kDeviceCannotSendSysEx, "Can not send system exclusive with midi device!"},
    {errc::kDeviceBadParameter, "Invalid parameter in Midi!"},
};

const Message m0dtTable[] = {
    {errc::kF0NotFormat0, "This file is not Format 0!"},
    {errc::kF0CannotOpen, "Can not open the file!"},
    {errc::kF0BadTrackCount, "The number of track is invalid! in MidiF0Data!"},
    {errc::kF0NotMidi, "This is not a MIDI file. Or maybe mac binary is attached to the file!"},
    {errc::kF0Internal, "Internal error occured in MidiF0Data!"},
    {errc::kF0BadMeasureCount, "The number of measure is invalid!"},
    {errc::kF0BadMusic, "Musical information is wrong!"},
    {errc::kF0StopFailed, "Error occured during stop process!"},
    {errc::kF0BadEndOfTrack, "The end of track is invalid!"},
};

const Message m1dtTable[] = {
    {errc::kF1TooManyTracks, "The number of Track is too many!"},
    {errc::kF1NotFormat1, "This file is not format 1 of midi."},
    {errc::kF1Internal, "Internal error has been occured in MidiF1Data!"},
    {errc::kF1NotMidi, "This is not Midi file!"},
    {errc::kF1CannotOpen, "Can not open file!"},
    {errc::kF1SeveralMasterVolumes, "There are more than two master volume!"},
    {errc::kF1DrumSysExOffChannel10,
     "Program change is set to drum.(SysEx has been found that use channel other than 10.)"},
    {errc::kF1BadTimeSignature, "Time Sing error!"},
    {errc::kF1TooManyTempos, "Too many tempo data have been found!"},
    {errc::kF1SeveralSysExTracks, "There are more than two SysExTrack!"},
    {errc::kF1SeveralSystemChannels, "There are more than two system channel!"},
    {errc::kF1DuplicateChannel, "Duplicate Channel has been found!"},
    {errc::kF1NoSpareChannelToSplit,
     "Try to divide track with more than two program change. There is no spare channel!"},
    {errc::kF1NoDrumTrack, "No drum track has been found!"},
    {errc::kF1NoProgramChange, "There is a treck that has no program change. 0 has been set!"},
    {errc::kF1NoMasterVolume, "There is no master volume! 127 has been set!"},
    {errc::kF1SeveralBendSensitivities, "More than two pitch bend sensitivity were set to one track"},
    {errc::kF1ZeroBendSensitivity, "There is a track where pitch bend sensitivity is zero!"},
    {errc::kF1DataTooLarge, "Data is too large!"},
    {errc::kF1BadChannelCount, "The Number of channels is invalid!"},
    {errc::kF1BadBeginPoint, "Begin point is invalid!"},
    {errc::kF1BadSysEx, "System exclusive is invalid!"},
    {errc::kF1BadChannel, "Channel is invalid!"},
    {errc::kF1BadProgramChange, "Program change is invalid!"},
    {errc::kF1BadInternalData, "Internal data is invalid!"},
};

const Message m1tkTable[] = {
    {errc::kF1TrackCannotReduceToZero, "Can not reduce to zero voice."},
};

const Message mdplTable[] = {
    {errc::kPlayerDivisionTooLarge, "Division is too large!"},
    {errc::kPlayerNoTimer, "Can not use timer!"},
    {errc::kPlayerTempoTooSlow, "Tempo is too slow!"},
    {errc::kPlayerInternal, "Internal error occured in MidiPlayer!"},
    {errc::kPlayerBadPlayPoint, "Play point is wrong!"},
    {errc::kPlayerBadTempo, "Tempo is wrong!"},
    {errc::kPlayerBadData, "Musical data is invalid!"},
};

const Message mdssTable[] = {
    {errc::kStatusBadTimeSignature, "Time Sign is invalid!"},
};

const Message muevTable[] = {
    {errc::kEventTooLarge,
     "Event data size is too large! If it includes MFi terminal tone data, it would not be a problem."},
    {errc::kEventBadData, "Error occured in event data!"},
};

const Message mdtkTable[] = {
    {errc::kTrackInternal, "MidiTrackData Internal Error"},
    {errc::kTrackUndefinedEvent, "Undefined Midi Event"},
    {errc::kTrackBadChannel, "Chanel is wrong"},
    {errc::kTrackBadTempo, "Tempo is wrong."},
    {errc::kTrackTooLarge, "Large data"},
    {errc::kTrackNotMidi, "This is not a midi file."},
    {errc::kTrackDrumOutOfRange, "Drum range is not within 35 to 81. Data is modified."},
    {errc::kTrackBadProgramChange, "Wrong program change is modified to zero."},
    {errc::kTrackDuplicateNoteOn, "Duplicate note on has been found."},
    {errc::kTrackDuplicateNoteOff, "Duplicate note off has been found."},
    {errc::kTrackBadParameter, "Invalid parameter."},
    {errc::kTrackBadDrumBank, "Drum bank select is wrong."},
    {errc::kTrackBadNoteNumber, "Note number is wrong."},
    {errc::kTrackBadTempoData, "MidiTrackData tempo data is wrong."},
    {errc::kTrackNoCentreNote, "Can not find center note!"},
    {errc::kTrackBadMusic, "Musical data is invalid!"},
    {errc::kTrackCannotAdd, "Can not add data!"},
    {errc::kTrackEmptyBendSegment, "Musical data is invalid!"},
    {errc::kTrackCannotDivide, "Can not divice data!"},
    {errc::kTrackBadVoiceCount, "The number of voice is invalid!"},
    {errc::kTrackBadChannelVolume, "Channel volume is invalid!"},
    {errc::kTrackCannotMerge, "Can not marge tracks!"},
    {errc::kTrackChannelDataFailed, "Error occured in channel data!"},
    {errc::kTrackNoteFailed, "Error occured in note!"},
    {errc::kTrackGeneratedEventsFailed, "Error occured in adding data!"},
    {errc::kTrackConnectNotesFailed, "Error occured in connecting notes!"},
    {errc::kTrackBadValue, "Value is invalid!"},
    {errc::kTrackBadData, "Data is invalid!"},
    {errc::kTrackFailed, "Error occured in track!"},
    {errc::kTrackTimeSignatureFailed, "Error occured in time sign!"},
    {errc::kTrackTextTooLong, "Error occured in adding data!"},
    {errc::kTrackOperationFailed, "Error occured in data operation!"},
    {errc::kTrackReduceVoicesFailed, "Error occured in reducing voice!"},
    {errc::kTrackBendEditFailed, "Error occured in pitch bend editing!"},
    {errc::kTrackEditFailed, "Error occured in data editing!"},
    {errc::kTrackEditFailedToo, "Error occured in data editing!"},
};

const Message xfdtTable[] = {
    {errc::kXfNotXf, "Not XF Format!"},
    {errc::kXfInternal, "Internal Error occured in CXfData!"},
    {errc::kXfNoMasterVolumeAfterReset, "Master Voulme is not found after GM Rest!"},
};

const Message vofwTable[] = {
    {errc::kVocaloidBadTempo, "テンポの値が不正です。"},
    {errc::kVocaloidBadNote, "note error"},
    {errc::kVocaloidBadEventCount, "Error Num"},
    {errc::kVocaloidNoSingerList, "エラー発生、一旦終了してください。"},
    {errc::kVocaloidVoiceListFailed, "GetVoiceListでエラー"},
};

template <std::size_t N>
constexpr ClassInfo info(const char* prefix, const Message (&table)[N], const char* general) {
    return {prefix, table, N, general};
}
constexpr ClassInfo info(const char* prefix, const char* general) {
    return {prefix, nullptr, 0, general};
}

// Indexed by ErrorClass.
const std::array<ClassInfo, 16> classes = {
    info("GENE", geneTable, "General Error"),
    info("M1DT", m1dtTable, "MidiF1Data Error!"),
    info("M0DT", m0dtTable, "Error occurred in MidiF0Data!"),
    info("MUEV", muevTable, "Error occured in MusicEvent!"),
    info("MDCT", mdctTable, "Error occured in MidiControler!"),
    info("MDPL", mdplTable, "Error occured in MidiPlayer!"),
    info("MDSP", "Error occured in MusicPlayer!"),
    info("MDSX", "Error occured in System Exclusive!"),
    info("MDTK", mdtkTable, "MidiTrackData error."),
    info("GNLL", "Error occured in word list!"),
    info("M1TK", m1tkTable, "Error occured in MidiF1TrackData!"),
    info("XFDT", xfdtTable, "Error occured in CXfData!"),
    info("MDSS", mdssTable, "Error occured in MidiStatus"),
    info("ZNRC", "ZNR Error!"),
    info("VOFW", vofwTable, "CVocaloidFileWriter::ErrorMsg"),
    info("OSPC", "Error occured in COffScreenPicture!"),
};

struct Registered {
    MessageLookup lookup = nullptr;
    const char* generalText = nullptr;
};
// Registration may happen on any thread (a module's first use), while
// another thread reports: the table is read and written under this lock.
std::mutex registeredMutex;
std::array<Registered, 16> registered;

// A latched once-message. Latches that share a flag point to the same index.
struct OnceMessage {
    std::uint32_t code;
    const char* text;
    int latch;
};

enum Latch {
    M0dtTimeSign,
    M1dtTimeSign,
    M1dtNoChannels, // never reset
    M1dtDrumMerge,
    M1dtMerge,
    M1dtSameChannel, // never reset
    M1dtPitchBend,
    M1tkSensitivity,
    M1tkTimeSign,
    M1tkBendRange,
    MdtkUndefined,
    MdtkVolume, // shared by several volumes and several master volumes
    MdtkPan,
    MdtkLargeEvent,
    MdtkThinning,
    MdtkTopNote,
    MdtkPolyPressure,
    MdtkNoteNumber,
    LatchCount
};

std::array<std::atomic<bool>, LatchCount> latches{};

bool neverReset(int latch) {
    return latch == M1dtNoChannels || latch == M1dtSameChannel;
}

struct OnceClass {
    ErrorClass cls;
    std::vector<OnceMessage> messages;
    const char* otherText;
};

const OnceClass onceClasses[] = {
    {ErrorClass::M0dt,
     {{errc::kF0TimeSignatureMisplaced, "拍子記号の位置が異常です。", M0dtTimeSign}},
     "Error occurred in MidiF0Data!"},
    {ErrorClass::M1dt,
     {{errc::kF1TimeSignatureMisplaced, "Location of Time sign is invalid!", M1dtTimeSign},
      {errc::kF1NoChannelLeft, "There are no more channels for mapping!", M1dtNoChannels},
      {errc::kF1DrumMergeProgramsDiffer, "Can not merge drum tracks that have different program chagne!",
       M1dtDrumMerge},
      {errc::kF1MergeProgramsDiffer, "Can not merge tracks that have different program chagne!", M1dtMerge},
      {errc::kF1ChannelTaken, "There is the same channel already!", M1dtSameChannel},
      {errc::kF1NoteToBendFailed, "Error occured in conversion of note to pitchbend!", M1dtPitchBend}},
     "MidiF1Data Error!"},
    {ErrorClass::M1tk,
     {{errc::kF1SeveralBendSensitivities, "More than one pitchbend sensitivity are found!", M1tkSensitivity},
      {errc::kF1TrackTimeSignatureMisplaced, "Location of time sign is invalid!", M1tkTimeSign},
      {errc::kF1TrackBendRangeTooWide, "Pitchbend range is over the capaticty of conversion!",
       M1tkBendRange}},
     "Undefined Error!"},
    {ErrorClass::Mdtk,
     {{errc::kTrackUndefinedEvent, "未定義のMIDIイベントが含まれていました。", MdtkUndefined},
      {errc::kTrackSeveralVolumes, "複数のボリュームが設定されています。", MdtkVolume},
      {errc::kTrackSeveralPans, "複数のパンが設定されています。", MdtkPan},
      {errc::kTrackLargeEvent, "サイズが大きすぎるイベントが含まれています。", MdtkLargeEvent},
      {errc::kTrackThinningFailed, "音の間引きに失敗しました。", MdtkThinning},
      {errc::kTrackSeveralMasterVolumes, "複数のマスターボリュームが設定されています。", MdtkVolume},
      {errc::kTrackTopNoteThinned, "トップノートは間引かないを指定していますが、指定をはずして間引きました。",
       MdtkTopNote},
      {errc::kTrackPolyPressure, "Poly Pressのイベントが含まれていました。", MdtkPolyPressure},
      {errc::kTrackNoteNumberZeroed,
       "内部処理のエラーでノートナンバーが異常になりましたので０に修正しました。", MdtkNoteNumber}},
     "Midiのトラックデータでエラーが発生しました。"},
};

// Latches per class, so a reset clears only its own.
std::vector<int> latchesOf(ErrorClass cls) {
    std::vector<int> out;
    for (const auto& oc : onceClasses)
        if (oc.cls == cls)
            for (const auto& m : oc.messages)
                out.push_back(m.latch);
    return out;
}

std::mutex presenterMutex;
Presenter currentPresenter = [](const ReportLine& line) { std::cerr << line.text << '\n'; };

void present(ErrorClass cls, std::uint32_t code, Severity severity, std::string text) {
    Presenter p;
    {
        std::lock_guard lock(presenterMutex);
        p = currentPresenter;
    }
    if (p) p(ReportLine{cls, code, severity, std::move(text)});
}

std::string formatLine(ErrorClass cls, std::uint32_t code, const char* text) {
    char head[32];
    std::snprintf(head, sizeof head, "%s%08X ", classes[static_cast<int>(cls)].prefix, code);
    return std::string(head) + text;
}

const char* plainText(ErrorClass cls, std::uint32_t code) {
    Registered reg;
    {
        const std::lock_guard<std::mutex> lock(registeredMutex);
        reg = registered[static_cast<int>(cls)];
    }
    if (reg.lookup) {
        if (const char* t = reg.lookup(code)) return t;
        if (reg.generalText) return reg.generalText;
    }
    const ClassInfo& ci = classes[static_cast<int>(cls)];
    for (std::size_t i = 0; i < ci.tableSize; ++i)
        if (ci.table[i].code == code) return ci.table[i].text;
    return ci.generalText;
}

} // namespace

Presenter setPresenter(Presenter presenter) {
    std::lock_guard lock(presenterMutex);
    Presenter old = std::move(currentPresenter);
    currentPresenter = std::move(presenter);
    return old;
}

std::string_view errorPrefix(ErrorClass cls) {
    return classes[static_cast<int>(cls)].prefix;
}

std::string formatReport(ErrorClass cls, std::uint32_t code) {
    return formatLine(cls, code, plainText(cls, code));
}

void reportError(ErrorClass cls, std::uint32_t code) {
    present(cls, code, Severity::Error, formatReport(cls, code));
}

void reportOnce(ErrorClass cls, std::uint32_t code) {
    const OnceClass* oc = nullptr;
    for (const auto& c : onceClasses)
        if (c.cls == cls) oc = &c;
    if (!oc) { // not a once class: behave as the plain reporter
        if (code != 0) reportError(cls, code);
        return;
    }
    if (code == 0) {
        for (int l : latchesOf(cls))
            if (!neverReset(l)) latches[l].store(false);
        return;
    }
    for (const auto& m : oc->messages) {
        if (m.code != code) continue;
        if (latches[m.latch].exchange(true)) return;
        present(cls, code, Severity::Warning, formatLine(cls, code, m.text));
        return;
    }
    present(cls, code, Severity::Warning, formatLine(cls, code, oc->otherText));
}

void reportNotice(std::string_view text) {
    present(ErrorClass::Gene, 0, Severity::Notice, std::string(text));
}

void reportMessage(std::string_view text) {
    present(ErrorClass::Gene, 0, Severity::Message, std::string(text));
}

void registerMessages(ErrorClass cls, MessageLookup lookup, const char* generalText) {
    const std::lock_guard<std::mutex> lock(registeredMutex);
    registered[static_cast<int>(cls)] = Registered{lookup, generalText};
}

void resetAllLatchesForTesting() {
    for (auto& l : latches)
        l.store(false);
}

} // namespace harmolin
