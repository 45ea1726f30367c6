#include "base/ErrorReport.h"

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
    {0x01000002, "Needs more memory!"}, {0x01000004, "Quit and restart!"},
    {0x01000005, "Cant find file!"},    {0x01000006, "16 digit error"},
    {0x01000007, "Cant open file!"},    {0x0100000A, "data size is too large!"},
    {0x0100000B, "parameter is wrong"}, {0x0100000C, "Can not get current directory"},
    {0x0100000D, "file size error!"},   {0x0100000E, "Time sign is invalid!"},
};

const Message mdctTable[] = {
    {0x07000001, "Can not open Midi device!"},
    {0x07000002, "Can not close Midi device!"},
    {0x07000003, "Can not change tone with Midi device!"},
    {0x07000004, "Can not send system exclusive with midi device!"},
    {0x07000005, "Invalid parameter in Midi!"},
};

const Message m0dtTable[] = {
    {0x04000001, "This file is not Format 0!"},
    {0x04000002, "Can not open the file!"},
    {0x04000003, "The number of track is invalid! in MidiF0Data!"},
    {0x04000004, "This is not a MIDI file. Or maybe mac binary is attached to the file!"},
    {0x04000005, "Internal error occured in MidiF0Data!"},
    {0x04000008, "The number of measure is invalid!"},
    {0x04000009, "Musical information is wrong!"},
    {0x0400000A, "Error occured during stop process!"},
    {0x0400000B, "The end of track is invalid!"},
};

const Message m1dtTable[] = {
    {0x03000001, "The number of Track is too many!"},
    {0x03000002, "This file is not format 1 of midi."},
    {0x03000003, "Internal error has been occured in MidiF1Data!"},
    {0x03000004, "This is not Midi file!"},
    {0x03000005, "Can not open file!"},
    {0x03000006, "There are more than two master volume!"},
    {0x03000007, "Program change is set to drum.(SysEx has been found that use channel other than 10.)"},
    {0x03000008, "Time Sing error!"},
    {0x03000009, "Too many tempo data have been found!"},
    {0x0300000A, "There are more than two SysExTrack!"},
    {0x0300000B, "There are more than two system channel!"},
    {0x0300000C, "Duplicate Channel has been found!"},
    {0x03000011, "Try to divide track with more than two program change. There is no spare channel!"},
    {0x03000012, "No drum track has been found!"},
    {0x03000015, "There is a treck that has no program change. 0 has been set!"},
    {0x03000016, "There is no master volume! 127 has been set!"},
    {0x03000017, "More than two pitch bend sensitivity were set to one track"},
    {0x03000018, "There is a track where pitch bend sensitivity is zero!"},
    {0x03000019, "Data is too large!"},
    {0x0300001A, "The Number of channels is invalid!"},
    {0x0300001B, "Begin point is invalid!"},
    {0x0300001D, "System exclusive is invalid!"},
    {0x0300001E, "Channel is invalid!"},
    {0x03000020, "Program change is invalid!"},
    {0x03000021, "Internal data is invalid!"},
};

const Message m1tkTable[] = {
    {0x2E00000C, "Can not reduce to zero voice."},
};

const Message mdplTable[] = {
    {0x08000001, "Division is too large!"},   {0x08000002, "Can not use timer!"},
    {0x08000003, "Tempo is too slow!"},       {0x08000004, "Internal error occured in MidiPlayer!"},
    {0x08000005, "Play point is wrong!"},     {0x08000006, "Tempo is wrong!"},
    {0x08000007, "Musical data is invalid!"},
};

const Message mdssTable[] = {
    {0x37000002, "Time Sign is invalid!"},
};

const Message muevTable[] = {
    {0x06000001,
     "Event data size is too large! If it includes MFi terminal tone data, it would not be a problem."},
    {0x06000002, "Error occured in event data!"},
};

const Message mdtkTable[] = {
    {0x0D000001, "MidiTrackData Internal Error"},
    {0x0D000002, "Undefined Midi Event"},
    {0x0D000003, "Chanel is wrong"},
    {0x0D000005, "Tempo is wrong."},
    {0x0D000006, "Large data"},
    {0x0D000007, "This is not a midi file."},
    {0x0D000008, "Drum range is not within 35 to 81. Data is modified."},
    {0x0D00000C, "Wrong program change is modified to zero."},
    {0x0D00000D, "Duplicate note on has been found."},
    {0x0D00000E, "Duplicate note off has been found."},
    {0x0D000010, "Invalid parameter."},
    {0x0D000013, "Drum bank select is wrong."},
    {0x0D000014, "Note number is wrong."},
    {0x0D000015, "MidiTrackData tempo data is wrong."},
    {0x0D000018, "Can not find center note!"},
    {0x0D000019, "Musical data is invalid!"},
    {0x0D00001A, "Can not add data!"},
    {0x0D00001B, "Musical data is invalid!"},
    {0x0D00001C, "Can not divice data!"},
    {0x0D00001D, "The number of voice is invalid!"},
    {0x0D00001E, "Channel volume is invalid!"},
    {0x0D00001F, "Can not marge tracks!"},
    {0x0D000020, "Error occured in channel data!"},
    {0x0D000021, "Error occured in note!"},
    {0x0D000022, "Error occured in adding data!"},
    {0x0D000023, "Error occured in connecting notes!"},
    {0x0D000024, "Value is invalid!"},
    {0x0D000025, "Data is invalid!"},
    {0x0D000026, "Error occured in track!"},
    {0x0D000027, "Error occured in time sign!"},
    {0x0D000028, "Error occured in adding data!"},
    {0x0D000029, "Error occured in data operation!"},
    {0x0D00002A, "Error occured in reducing voice!"},
    {0x0D00002B, "Error occured in pitch bend editing!"},
    {0x0D00002C, "Error occured in data editing!"},
    {0x0D00002D, "Error occured in data editing!"},
};

const Message xfdtTable[] = {
    {0x2F000001, "Not XF Format!"},
    {0x2F000002, "Internal Error occured in CXfData!"},
    {0x2F000003, "Master Voulme is not found after GM Rest!"},
};

const Message vofwTable[] = {
    {1, "テンポの値が不正です。"},
    {2, "note error"},
    {3, "Error Num"},
    {4, "エラー発生、一旦終了してください。"},
    {5, "GetVoiceListでエラー"},
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
     {{0x04000007, "拍子記号の位置が異常です。", M0dtTimeSign}},
     "Error occurred in MidiF0Data!"},
    {ErrorClass::M1dt,
     {{0x0300000D, "Location of Time sign is invalid!", M1dtTimeSign},
      {0x0300000E, "There are no more channels for mapping!", M1dtNoChannels},
      {0x0300000F, "Can not merge drum tracks that have different program chagne!", M1dtDrumMerge},
      {0x03000010, "Can not merge tracks that have different program chagne!", M1dtMerge},
      {0x03000013, "There is the same channel already!", M1dtSameChannel},
      {0x03000014, "Error occured in conversion of note to pitchbend!", M1dtPitchBend}},
     "MidiF1Data Error!"},
    {ErrorClass::M1tk,
     {{0x03000017, "More than one pitchbend sensitivity are found!", M1tkSensitivity},
      {0x2E00001A, "Location of time sign is invalid!", M1tkTimeSign},
      {0x2E00001B, "Pitchbend range is over the capaticty of conversion!", M1tkBendRange}},
     "Undefined Error!"},
    {ErrorClass::Mdtk,
     {{0x0D000002, "未定義のMIDIイベントが含まれていました。", MdtkUndefined},
      {0x0D000009, "複数のボリュームが設定されています。", MdtkVolume},
      {0x0D00000A, "複数のパンが設定されています。", MdtkPan},
      {0x0D00000B, "サイズが大きすぎるイベントが含まれています。", MdtkLargeEvent},
      {0x0D00000F, "音の間引きに失敗しました。", MdtkThinning},
      {0x0D000011, "複数のマスターボリュームが設定されています。", MdtkVolume},
      {0x0D000012, "トップノートは間引かないを指定していますが、指定をはずして間引きました。", MdtkTopNote},
      {0x0D000016, "Poly Pressのイベントが含まれていました。", MdtkPolyPressure},
      {0x0D000017, "内部処理のエラーでノートナンバーが異常になりましたので０に修正しました。",
       MdtkNoteNumber}},
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
