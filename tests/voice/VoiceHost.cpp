#include "tests/voice/VoiceHost.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <memory>

namespace voicetest {
namespace {

struct MidiEventRecord {
    std::int32_t type, byteSize, deltaFrames, flags, noteLength, noteOffset;
    char midiData[4];
    char detune, noteOffVelocity, reserved1, reserved2;
};
static_assert(sizeof(MidiEventRecord) == 32);

std::intptr_t hostCallback(EffectRecord*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float) {
    return opcode == 1 ? 2400 : 0; // the version question; nothing else is answered
}

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

} // namespace

PluginHost::PluginHost(const std::string& path, const char* entry) {
    library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) return;
    using Entry = EffectRecord* (*)(decltype(&hostCallback));
    auto main = reinterpret_cast<Entry>(dlsym(library_, entry));
    if (!main) return;
    EffectRecord* e = main(hostCallback);
    if (e && e->magic == 0x56737450) effect_ = e;
}

PluginHost::~PluginHost() {
    if (effect_) effect_->dispatcher(effect_, 1, 0, 0, nullptr, 0); // effClose
    if (library_) dlclose(library_);
}

std::intptr_t PluginHost::dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                                   float opt) {
    return effect_ ? effect_->dispatcher(effect_, opcode, index, value, ptr, opt) : 0;
}

void PluginHost::start() {
    dispatch(0); // effOpen
    dispatch(10, 0, 0, nullptr, 44100.0f);
    dispatch(11, 0, 882);
    char name[64] = {};
    dispatch(48, 0, 0, name); // product string, as the program asks
    dispatch(12, 0, 1);       // resume
    dispatch(2, 0, 0);        // program 0
}

std::vector<float> PluginHost::render(const std::vector<TimedMidi>& messages, long long frames, int block) {
    std::vector<float> out;
    if (!effect_) return out;
    out.reserve(static_cast<std::size_t>(frames));
    std::vector<float> buffer(static_cast<std::size_t>(block));
    std::vector<MidiEventRecord> records;
    // Header (count, reserved) then the pointers, as the interface lays them out.
    std::vector<std::intptr_t> list;
    std::size_t next = 0;
    for (long long pos = 0; pos < frames; pos += block) {
        const int n = static_cast<int>(std::min<long long>(block, frames - pos));
        records.clear();
        while (next < messages.size() && messages[next].frame < pos + n) {
            MidiEventRecord r{};
            r.type = 1;
            r.byteSize = 32;
            r.deltaFrames = static_cast<std::int32_t>(std::max(0LL, messages[next].frame - pos));
            std::memcpy(r.midiData, messages[next].bytes, 3);
            records.push_back(r);
            ++next;
        }
        if (!records.empty()) {
            list.assign(2 + records.size(), 0);
            list[0] = static_cast<std::intptr_t>(records.size());
            for (std::size_t i = 0; i < records.size(); ++i)
                list[2 + i] = reinterpret_cast<std::intptr_t>(&records[i]);
            dispatch(25, 0, 0, list.data()); // effProcessEvents
        }
        float* outputs[1] = {buffer.data()};
        effect_->processReplacing(effect_, nullptr, outputs, n);
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    return out;
}

bool writeWav(const std::string& path, const std::vector<float>& samples, int rate) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    auto u32 = [&](std::uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](std::uint16_t v) { std::fwrite(&v, 2, 1, f); };
    const std::uint32_t bytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + bytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(1);
    u32(static_cast<std::uint32_t>(rate));
    u32(static_cast<std::uint32_t>(rate * 2));
    u16(2);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(bytes);
    for (float s : samples) {
        const float c = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
        const auto v = static_cast<std::int16_t>(std::lrint(c * 32767.0f));
        std::fwrite(&v, 2, 1, f);
    }
    return std::fclose(f) == 0;
}

std::vector<std::pair<double, double>> aubioPitch(const std::string& wav) {
    std::vector<std::pair<double, double>> track;
    const std::string text = run("aubiopitch -p yinfft -s -60 -i '" + wav + "' 2>/dev/null");
    const char* p = text.c_str();
    double t, hz;
    int used;
    while (std::sscanf(p, "%lf %lf%n", &t, &hz, &used) == 2) {
        track.emplace_back(t, hz);
        p += used;
    }
    return track;
}

std::pair<double, double> praatFormants(const std::string& wav, double start, double end) {
    char args[128];
    std::snprintf(args, sizeof args, " %.4f %.4f", start, end);
    const std::string text =
        run(std::string("praat --run '") + VOICE_FORMANT_SCRIPT + "' '" + wav + "'" + args + " 2>/dev/null");
    double f1 = 0, f2 = 0;
    if (std::sscanf(text.c_str(), "%lf %lf", &f1, &f2) != 2) return {0, 0};
    return {f1, f2};
}

} // namespace voicetest
