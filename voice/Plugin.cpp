// The VST 2 face of the singer: the entry points, the effect record and the
// dispatcher. The host talks only through these.
#include "base/VstInterface.h"
#include "voice/ControlStream.h"
#include "voice/Synth.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <xmmintrin.h>

namespace hvoice {
namespace vst = harmolin::vst;
namespace {

constexpr char kProduct[] = "harmolin-voice";
constexpr char kVendor[] = "Harmolin";
constexpr std::int32_t kUniqueId = 0x486d5663; // 'HmVc'
constexpr std::int32_t kVersion = 100;
constexpr int kMaxStringBytes = 64; // the host's buffers for names hold this much

struct Plugin {
    vst::AEffect effect{};
    vst::HostCallback host = nullptr;
    ControlStream stream;
    Synth synth;
    int blockSize = 882;
    int program = 0;
};

Plugin* self(vst::AEffect* e) {
    return e ? static_cast<Plugin*>(e->object) : nullptr;
}

void copyString(void* ptr, const char* text) {
    if (!ptr) return;
    char* out = static_cast<char*>(ptr);
    std::strncpy(out, text, kMaxStringBytes - 1);
    out[kMaxStringBytes - 1] = '\0';
}

void receiveEvents(Plugin& p, const vst::VstEvents* events) {
    if (!events || events->numEvents <= 0) return;
    for (std::int32_t i = 0; i < events->numEvents; ++i) {
        const vst::VstEvent* e = events->events[i];
        if (!e || e->type != vst::kEventTypeMidi) continue;
        const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(e);
        std::uint8_t bytes[3];
        std::memcpy(bytes, midi->midiData, 3);
        VoiceCommand command;
        if (p.stream.tryParse(bytes, 3, command)) p.synth.schedule(command, midi->deltaFrames);
    }
}

std::intptr_t dispatch(vst::AEffect* effect, std::int32_t opcode, std::int32_t index, std::intptr_t value,
                       void* ptr, float opt) {
    Plugin* p = self(effect);
    if (!p) return 0;
    (void)index;
    switch (opcode) {
    case vst::effOpen:
        return 0;
    case vst::effClose:
        effect->object = nullptr;
        delete p;
        return 1;
    case vst::effSetSampleRate:
        p->synth.setSampleRate(opt);
        // The voice sings a fixed look-ahead behind its input (its consonants
        // start before the beat); hosts hold the rest of the music back by it.
        effect->initialDelay = p->synth.lookAheadFrames();
        return 0;
    case vst::effSetBlockSize:
        if (value > 0) p->blockSize = static_cast<int>(std::min<std::intptr_t>(value, 1 << 20));
        return 0;
    case vst::effMainsChanged:
        // Suspending or resuming starts the voice from silence.
        p->synth.reset();
        p->stream.reset();
        return 0;
    case vst::effSetProgram:
        p->program = static_cast<int>(std::clamp<std::intptr_t>(value, 0, 127));
        p->stream.setProgram(p->program);
        return 0;
    case vst::effGetProgram:
        return p->program;
    case vst::effGetProgramName:
        copyString(ptr, "syllable");
        return 1;
    case vst::effProcessEvents:
        receiveEvents(*p, static_cast<const vst::VstEvents*>(ptr));
        return 1;
    case vst::effGetPlugCategory:
        return vst::kCategorySynth;
    case vst::effGetEffectName:
    case vst::effGetProductString:
        copyString(ptr, kProduct);
        return 1;
    case vst::effGetVendorString:
        copyString(ptr, kVendor);
        return 1;
    case vst::effGetVendorVersion:
        return kVersion;
    case vst::effCanDo: {
        if (!ptr) return 0;
        const char* what = static_cast<const char*>(ptr);
        if (std::strcmp(what, "receiveVstEvents") == 0 || std::strcmp(what, "receiveVstMidiEvent") == 0)
            return 1;
        return -1;
    }
    case vst::effGetVstVersion:
        return 2400;
    default:
        return 0;
    }
}

void processReplacing(vst::AEffect* effect, float** inputs, float** outputs, std::int32_t frames) {
    (void)inputs;
    Plugin* p = self(effect);
    if (!p || !outputs || !outputs[0] || frames <= 0) return;
    // Flush tiny values to zero while we run; the host's mode is put back.
    const unsigned int mode = _mm_getcsr();
    _mm_setcsr(mode | 0x8040);
    p->synth.render(outputs[0], frames);
    _mm_setcsr(mode);
}

void processAccumulating(vst::AEffect* effect, float** inputs, float** outputs, std::int32_t frames) {
    Plugin* p = self(effect);
    if (!p || !outputs || !outputs[0] || frames <= 0) return;
    float buffer[256];
    std::int32_t done = 0;
    while (done < frames) {
        const std::int32_t n = std::min<std::int32_t>(256, frames - done);
        float* chunk[1] = {buffer};
        processReplacing(effect, inputs, chunk, n);
        for (std::int32_t i = 0; i < n; ++i)
            outputs[0][done + i] += buffer[i];
        done += n;
    }
}

void setParameter(vst::AEffect*, std::int32_t, float) {}
float getParameter(vst::AEffect*, std::int32_t) {
    return 0.0f;
}

vst::AEffect* create(vst::HostCallback host) {
    Plugin* p = new (std::nothrow) Plugin;
    if (!p) return nullptr;
    p->host = host;
    vst::AEffect& e = p->effect;
    e.magic = vst::kMagic;
    e.dispatcher = dispatch;
    e.process = processAccumulating;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numPrograms = 128; // one per syllable number
    e.numParams = 0;
    e.numInputs = 0;
    e.numOutputs = 1;
    e.flags = vst::kFlagCanReplacing | vst::kFlagIsSynth;
    e.initialDelay = p->synth.lookAheadFrames();
    e.ioRatio = 1.0f;
    e.object = p;
    e.uniqueId = kUniqueId;
    e.version = kVersion;
    e.processReplacing = processReplacing;
    e.processDoubleReplacing = nullptr;
    return &e;
}

} // namespace
} // namespace hvoice

extern "C" {
__attribute__((visibility("default"))) hvoice::vst::AEffect* VSTPluginMain(hvoice::vst::HostCallback host) {
    return hvoice::create(host);
}
// Older hosts look for this name; the symbol is not the program entry of a
// shared library, so it is declared through an assembler name.
__attribute__((visibility("default"))) hvoice::vst::AEffect*
vstMainAlias(hvoice::vst::HostCallback host) __asm__("main");
hvoice::vst::AEffect* vstMainAlias(hvoice::vst::HostCallback host) {
    return hvoice::create(host);
}
}
