// The VST 2 binary interface as this plug-in sees it, declared here from the
// published layout (x86-64 Linux offsets in the comments). Only what the
// plug-in uses is named.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hvoice::vst {

struct Effect;

using HostCallback = std::intptr_t (*)(Effect* effect, std::int32_t opcode, std::int32_t index,
                                       std::intptr_t value, void* ptr, float opt);
using DispatcherProc = std::intptr_t (*)(Effect* effect, std::int32_t opcode, std::int32_t index,
                                         std::intptr_t value, void* ptr, float opt);
using ProcessProc = void (*)(Effect* effect, float** inputs, float** outputs, std::int32_t frames);
using ProcessDoubleProc = void (*)(Effect* effect, double** inputs, double** outputs, std::int32_t frames);
using SetParameterProc = void (*)(Effect* effect, std::int32_t index, float value);
using GetParameterProc = float (*)(Effect* effect, std::int32_t index);

inline constexpr std::int32_t kMagic = 0x56737450; // 'VstP'

// The effect record the entry point returns.
struct Effect {
    std::int32_t magic;                       // 0
    DispatcherProc dispatcher;                // 8
    ProcessProc process;                      // 16, the old accumulating call
    SetParameterProc setParameter;            // 24
    GetParameterProc getParameter;            // 32
    std::int32_t numPrograms;                 // 40
    std::int32_t numParams;                   // 44
    std::int32_t numInputs;                   // 48
    std::int32_t numOutputs;                  // 52
    std::int32_t flags;                       // 56
    std::intptr_t reserved1;                  // 64
    std::intptr_t reserved2;                  // 72
    std::int32_t initialDelay;                // 80
    std::int32_t unused[2];                   // 84
    float ioRatio;                            // 92
    void* object;                             // 96
    void* user;                               // 104
    std::int32_t uniqueId;                    // 112
    std::int32_t version;                     // 116
    ProcessProc processReplacing;             // 120
    ProcessDoubleProc processDoubleReplacing; // 128
};
static_assert(sizeof(void*) != 8 || sizeof(Effect) == 136, "effect record layout");
static_assert(sizeof(void*) != 8 || offsetof(Effect, processReplacing) == 120, "effect record layout");
static_assert(sizeof(void*) != 8 || offsetof(Effect, object) == 96, "effect record layout");

enum EffectFlags : std::int32_t {
    kFlagHasEditor = 1 << 0,
    kFlagCanReplacing = 1 << 4,
    kFlagProgramChunks = 1 << 5,
    kFlagIsSynth = 1 << 8,
    kFlagNoSoundInStop = 1 << 9,
    kFlagCanDoubleReplacing = 1 << 12,
};

enum Opcode : std::int32_t {
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

enum HostOpcode : std::int32_t {
    audioMasterVersion = 1,
};

// Plug-in categories: an instrument is 2.
inline constexpr std::intptr_t kCategorySynth = 2;

enum EventType : std::int32_t {
    kEventMidi = 1,
    kEventSysEx = 6,
};

struct Event {
    std::int32_t type;        // 0
    std::int32_t byteSize;    // 4
    std::int32_t deltaFrames; // 8
    std::int32_t flags;       // 12
    char data[16];            // 16
};

struct MidiEvent {
    std::int32_t type;        // 0
    std::int32_t byteSize;    // 4
    std::int32_t deltaFrames; // 8
    std::int32_t flags;       // 12
    std::int32_t noteLength;  // 16
    std::int32_t noteOffset;  // 20
    char midiData[4];         // 24
    char detune;              // 28
    char noteOffVelocity;     // 29
    char reserved1;           // 30
    char reserved2;           // 31
};
static_assert(sizeof(MidiEvent) == 32, "MIDI event layout");

struct Events {
    std::int32_t numEvents; // 0
    std::intptr_t reserved; // 8
    Event* events[2];       // 16, really numEvents long
};
static_assert(sizeof(void*) != 8 || offsetof(Events, events) == 16, "event list layout");

} // namespace hvoice::vst
