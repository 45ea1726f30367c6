// A tiny VST 2 instrument for the host tests: a sine that follows note-ons,
// at the level of parameter 0, that logs every dispatcher call and event.
// Built several times with a define to give the broken variants a host must
// refuse.
#include "TestPluginLog.h"

#include <cmath>
#include <cstring>

using namespace harmolin::vst;
using harmolin::testplugin::Log;

namespace {

struct Plugin {
    AEffect effect{};
    Log log;
    float level = 0.5f;
    double rate = 0.0;
    double phase = 0.0;
    double step = 0.0;
    int note = -1;
    struct Pending {
        int delta;
        std::uint8_t midi[3];
    };
    Pending pending[2048];
    int pendingCount = 0;
};

Plugin* self(AEffect* e) {
    return static_cast<Plugin*>(e->object);
}

void handleMidi(Plugin* p, const std::uint8_t* m) {
    const int kind = m[0] & 0xF0;
    if (kind == 0x90 && m[2] > 0) {
        p->note = m[1];
        const double freq = 440.0 * std::pow(2.0, (m[1] - 69) / 12.0);
        p->step = 2.0 * M_PI * freq / (p->rate > 0 ? p->rate : 44100.0);
    } else if ((kind == 0x80 || kind == 0x90) && m[1] == p->note) {
        p->note = -1;
    }
}

[[maybe_unused]] std::intptr_t dispatch(AEffect* e, std::int32_t opcode, std::int32_t index,
                                        std::intptr_t value, void* ptr, float opt) {
    Plugin* p = self(e);
    Log& log = p->log;
    if (opcode == effVendorSpecific && index == harmolin::testplugin::kLogRequest)
        return reinterpret_cast<std::intptr_t>(&log);
    if (log.dispatchCount < Log::kMaxDispatches) log.dispatches[log.dispatchCount++] = {opcode, value, opt};
    switch (opcode) {
    case effSetSampleRate:
        p->rate = opt;
        return 0;
    case effSetProgram:
        log.program = static_cast<int>(value);
        return 0;
    case effMainsChanged:
        log.suspended = value == 0;
        return 0;
    case effGetProductString:
        std::strcpy(static_cast<char*>(ptr), "Harmolin Test Sine");
        return 1;
    case effProcessEvents: {
        const auto* list = static_cast<const VstEvents*>(ptr);
        for (int i = 0; i < list->numEvents; ++i) {
            const auto* ev = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
            if (log.eventCount < Log::kMaxEvents) {
                auto& r = log.events[log.eventCount++];
                r.at = log.framesProcessed + ev->deltaFrames;
                r.deltaFrames = ev->deltaFrames;
                r.byteSize = ev->byteSize;
                std::memcpy(r.midi, ev->midiData, 4);
            }
        }
        for (int i = 0; i < list->numEvents && p->pendingCount < 2048; ++i) {
            const auto* ev = reinterpret_cast<const VstMidiEvent*>(list->events[i]);
            auto& pending = p->pending[p->pendingCount++];
            pending.delta = ev->deltaFrames;
            std::memcpy(pending.midi, ev->midiData, 3);
        }
        return 1;
    }
    case effClose:
        delete p;
        return 0;
    default:
        return 0;
    }
}

[[maybe_unused]] void processReplacing(AEffect* e, float**, float** outputs, std::int32_t frames) {
    Plugin* p = self(e);
    p->log.blocks++;
    if (frames > p->log.largestBlock) p->log.largestBlock = frames;
    p->log.framesProcessed += frames;
    int next = 0;
    for (int i = 0; i < frames; ++i) {
        while (next < p->pendingCount && p->pending[next].delta <= i)
            handleMidi(p, p->pending[next++].midi);
        float v = 0.0f;
        if (p->note >= 0) {
            v = p->level * static_cast<float>(std::sin(p->phase));
            p->phase += p->step;
        }
        outputs[0][i] = v;
        outputs[1][i] = v;
    }
    while (next < p->pendingCount)
        handleMidi(p, p->pending[next++].midi); // late ones still count
    p->pendingCount = 0;
}

[[maybe_unused]] void setParameter(AEffect* e, std::int32_t index, float value) {
    if (index == 0) self(e)->level = value;
}

[[maybe_unused]] float getParameter(AEffect* e, std::int32_t index) {
    return index == 0 ? self(e)->level : 0.0f;
}

AEffect* create(HostCallback host) {
#ifdef TEST_PLUGIN_NULL
    (void)host;
    return nullptr;
#else
#ifdef TEST_PLUGIN_BAD_MAGIC
    // The host must not touch a record it does not recognise, so nothing
    // would ever free it: keep it static.
    static Plugin refused;
    auto* p = &refused;
#else
    auto* p = new Plugin;
#endif
    p->log.host = host;
    AEffect& e = p->effect;
#ifdef TEST_PLUGIN_BAD_MAGIC
    e.magic = 0x12345678;
#else
    e.magic = kMagic;
#endif
    e.dispatcher = dispatch;
    e.setParameter = setParameter;
    e.getParameter = getParameter;
    e.numPrograms = 1;
    e.numParams = 1;
    e.numInputs = 0;
    e.numOutputs = 2;
    e.flags = kFlagCanReplacing | kFlagIsSynth;
    e.object = p;
    e.uniqueId = 0x486D5473;
    e.version = 1;
    e.processReplacing = processReplacing;
    return &e;
#endif
}

} // namespace

#ifdef TEST_PLUGIN_MAIN_ONLY
// Older plug-ins export only "main"; a C++ function cannot be called that.
extern "C" __attribute__((visibility("default"))) AEffect* legacyEntry(HostCallback host) __asm__("main");
extern "C" AEffect* legacyEntry(HostCallback host) {
    return create(host);
}
#else
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(HostCallback host) {
    return create(host);
}
#endif
