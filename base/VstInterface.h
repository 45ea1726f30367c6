// Our own declarations of the VST 2 binary interface on Linux x86-64: the
// effect record, the event records, the opcodes the host and plug-ins use.
// The host and our singing plug-in both read this one header.
// Layout is checked below field by field, so a mistake fails the build
// instead of corrupting a plug-in's memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace harmolin::vst {

struct AEffect;

using HostCallback = std::intptr_t (*)(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                       std::intptr_t value, void* ptr, float opt);
using DispatcherProc = HostCallback;
using ProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs, std::int32_t frames);
using ProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs, std::int32_t frames);
using SetParameterProc = void (*)(AEffect* effect, std::int32_t index, float value);
using GetParameterProc = float (*)(AEffect* effect, std::int32_t index);
using EntryProc = AEffect* (*)(HostCallback host);

inline constexpr std::int32_t kMagic = 0x56737450; // 'VstP'

struct AEffect {
    std::int32_t magic;
    DispatcherProc dispatcher;
    ProcessProc process; // old accumulating call, never used
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    std::int32_t flags;
    std::intptr_t reserved1;
    std::intptr_t reserved2;
    std::int32_t initialDelay;
    std::int32_t unused1;
    std::int32_t unused2;
    float ioRatio;
    void* object;
    void* user;
    std::int32_t uniqueId;
    std::int32_t version;
    ProcessProc processReplacing;
    ProcessDoubleProc processDoubleReplacing;
};

static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, setParameter) == 24);
static_assert(offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, numOutputs) == 52);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, ioRatio) == 92);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, uniqueId) == 112);
static_assert(offsetof(AEffect, processReplacing) == 120);
static_assert(offsetof(AEffect, processDoubleReplacing) == 128);
static_assert(sizeof(AEffect) == 136);

// Effect flags.
inline constexpr std::int32_t kFlagHasEditor = 1 << 0;
inline constexpr std::int32_t kFlagCanReplacing = 1 << 4;
inline constexpr std::int32_t kFlagProgramChunks = 1 << 5;
inline constexpr std::int32_t kFlagIsSynth = 1 << 8;
inline constexpr std::int32_t kFlagNoSoundInStop = 1 << 9;
inline constexpr std::int32_t kFlagCanDoubleReplacing = 1 << 12;

// Dispatcher opcodes (host to plug-in).
enum EffectOpcode : std::int32_t {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effGetPlugCategory = 35,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetVstVersion = 58,
};

// Callback opcodes (plug-in to host).
enum HostOpcode : std::int32_t {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterTempoAt = 10,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterBeginEdit = 43,
    audioMasterEndEdit = 44,
};

// Plug-in categories (effGetPlugCategory): an instrument is 2.
inline constexpr std::intptr_t kCategorySynth = 2;

inline constexpr std::int32_t kEventTypeMidi = 1;
inline constexpr std::int32_t kEventTypeSysEx = 6;
inline constexpr int kProductStringBytes = 64;

// Common head of every event record.
struct VstEvent {
    std::int32_t type;
    std::int32_t byteSize;
    std::int32_t deltaFrames;
    std::int32_t flags;
    char data[16];
};

struct VstMidiEvent {
    std::int32_t type;
    std::int32_t byteSize;
    std::int32_t deltaFrames;
    std::int32_t flags;
    std::int32_t noteLength;
    std::int32_t noteOffset;
    std::uint8_t midiData[4];
    char detune;
    std::uint8_t noteOffVelocity;
    std::uint8_t reserved1;
    std::uint8_t reserved2;
};

static_assert(sizeof(VstEvent) == 32);
static_assert(sizeof(VstMidiEvent) == 32);
static_assert(offsetof(VstMidiEvent, deltaFrames) == 8);
static_assert(offsetof(VstMidiEvent, midiData) == 24);
static_assert(offsetof(VstMidiEvent, detune) == 28);

// An event list as plug-ins read it: the count, a reserved word, then the
// event pointers. The array length is only nominal.
struct VstEvents {
    std::int32_t numEvents;
    std::intptr_t reserved;
    VstEvent* events[2];
};

static_assert(offsetof(VstEvents, events) == 16);

// The same head with room for N pointers, for lists the host fills.
template <int N> struct VstEventList {
    std::int32_t numEvents = 0;
    std::intptr_t reserved = 0;
    VstEvent* events[N] = {};

    VstEvents* asEvents() { return reinterpret_cast<VstEvents*>(this); }
};

static_assert(offsetof(VstEventList<1024>, events) == 16);

} // namespace harmolin::vst
