#include "playback/OfflineRenderer.h"

#include "playback/MidiSchedule.h"
#include "playback/VstHost.h"

#include <fluidsynth.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <unistd.h>

namespace harmolin {

namespace {

// One render step of the host, 20 ms.
constexpr int kBlock = 882;
// Below full scale with room for the 16-bit rounding.
constexpr double kCeiling = 0.98;

struct FluidDeleter {
    void operator()(fluid_synth_t* s) const { delete_fluid_synth(s); }
    void operator()(fluid_settings_t* s) const { delete_fluid_settings(s); }
};

class GmSynth {
  public:
    bool open(const std::string& soundFont, std::string& error) {
        quietFluidSynthLog();
        settings_.reset(new_fluid_settings());
        if (!settings_) {
            error = "the synthesizer could not be started";
            return false;
        }
        fluid_settings_setnum(settings_.get(), "synth.sample-rate", kRenderRate);
        fluid_settings_setint(settings_.get(), "synth.threadsafe-api", 0);
        fluid_settings_setint(settings_.get(), "synth.cpu-cores", 1);
        fluid_settings_setnum(settings_.get(), "synth.gain", 0.6);
        synth_.reset(new_fluid_synth(settings_.get()));
        if (!synth_) {
            error = "the synthesizer could not be started";
            return false;
        }
        if (fluid_synth_sfload(synth_.get(), soundFont.c_str(), 1) == FLUID_FAILED) {
            error = "the SoundFont " + soundFont + " could not be loaded";
            return false;
        }
        return true;
    }

    void send(const MusicEvent& e) {
        fluid_synth_t* s = synth_.get();
        const int ch = e.channel & 0x0F;
        switch (e.kind) {
        case kNoteOn:
            if (e.velocity == 0)
                fluid_synth_noteoff(s, ch, e.note & 0x7F);
            else
                fluid_synth_noteon(s, ch, e.note & 0x7F, e.velocity > 127 ? 127 : e.velocity);
            break;
        case kNoteOff:
            fluid_synth_noteoff(s, ch, e.note & 0x7F);
            break;
        case kControlChange:
            fluid_synth_cc(s, ch, e.type & 0x7F, std::clamp(e.value, 0, 127));
            break;
        case kProgramChange:
            fluid_synth_program_change(s, ch, e.value & 0x7F);
            break;
        case kPitchBend:
            fluid_synth_pitch_bend(s, ch, std::clamp(e.pitchBend(), 0, 16383));
            break;
        case kChannelPressure:
            fluid_synth_channel_pressure(s, ch, std::clamp(e.value, 0, 127));
            break;
        case kSysEx: {
            // The synthesizer wants the message without its F0 and F7.
            auto begin = e.data.begin();
            auto end = e.data.end();
            if (begin != end && *begin == 0xF0) ++begin;
            if (begin != end && *(end - 1) == 0xF7) --end;
            if (begin != end) {
                std::vector<char> body(begin, end);
                fluid_synth_sysex(s, body.data(), static_cast<int>(body.size()), nullptr, nullptr, nullptr,
                                  0);
            }
            break;
        }
        default:
            break;
        }
    }

    void program(int channel, int program) { fluid_synth_program_change(synth_.get(), channel, program); }

    // Adds n frames of stereo into left/right.
    void write(float* left, float* right, int n) {
        if (n <= 0) return;
        fluid_synth_write_float(synth_.get(), n, left, 0, 1, right, 0, 1);
    }

  private:
    std::unique_ptr<fluid_settings_t, FluidDeleter> settings_;
    std::unique_ptr<fluid_synth_t, FluidDeleter> synth_;
};

// Writes through a temporary file beside the target and a rename, so a
// failed run never leaves a half-written WAV under the wanted name.
bool writeWav(const std::string& path, std::int64_t frames,
              const std::function<void(std::int64_t first, int n, float* interleaved)>& fill,
              std::string& error) {
    const std::string temporary = path + ".partial-" + std::to_string(::getpid());
    SF_INFO info{};
    info.samplerate = kRenderRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    constexpr int kChunk = 8192;
    std::vector<float> buffer(2 * kChunk);
    bool ok = true;
    for (std::int64_t at = 0; at < frames && ok; at += kChunk) {
        const int n = static_cast<int>(std::min<std::int64_t>(kChunk, frames - at));
        fill(at, n, buffer.data());
        ok = sf_writef_float(file, buffer.data(), n) == n;
    }
    ok = (sf_close(file) == 0) && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(temporary, path, ec);
    if (!ok || ec) {
        std::filesystem::remove(temporary, ec);
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool isVoice(const TimedEvent& t, int channel) {
    return t.event.isChannelEvent() && (t.event.channel & 0x0F) == channel && t.event.channel != kNoChannel;
}

bool forPlugin(const MusicEvent& e) {
    return e.kind == kNoteOn || e.kind == kNoteOff || e.kind == kControlChange || e.kind == kProgramChange;
}

std::unique_ptr<CVstHostMain> openHost(const std::string& pluginPath, PluginKind kind, int voiceChannel,
                                       std::string& error) {
    VstHostConfig config;
    config.renderThread = false;
    auto host = std::make_unique<CVstHostMain>(nullptr, config);
    if (!host->loadSingingPlugin(pluginPath, kind)) {
        error = "Failed to load VST plugin: " + pluginPath + " (" + host->lastLoadError() + ")";
        return nullptr;
    }
    host->setVoiceChannel(voiceChannel, kind);
    host->setGain(1.0);
    return host;
}

} // namespace

void quietFluidSynthLog() {
    // Its warnings (unknown sysex, missing presets) would break the one-line
    // error rule; real failures come back as return codes.
    static const bool once = [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
        return true;
    }();
    (void)once;
}

std::string defaultSoundFont() {
    for (const char* candidate :
         {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2"}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
    }
    return {};
}

RenderResult renderMidiToWav(const std::string& midiPath, const std::string& wavPath,
                             const RenderOptions& options) {
    RenderResult result;
    MidiSchedule schedule;
    if (!loadMidiSchedule(midiPath, schedule)) {
        result.error = midiPath + " is not a readable MIDI file";
        return result;
    }
    const std::string soundFont = options.soundFont.empty() ? defaultSoundFont() : options.soundFont;
    if (soundFont.empty()) {
        result.error = "no General MIDI SoundFont found (install fluid-soundfont-gm)";
        return result;
    }
    const bool sung = !options.pluginPath.empty();
    const bool stems = !options.stemsFolder.empty();
    const int voiceChannel = options.voiceChannel;

    std::unique_ptr<CVstHostMain> host;
    if (sung) {
        host = openHost(options.pluginPath, options.pluginKind, voiceChannel, result.error);
        if (!host) return result;
    }
    GmSynth accompaniment;
    if (!accompaniment.open(soundFont, result.error)) return result;
    // The played melody gets its own synthesizer only when it needs a stem of
    // its own; one SoundFont load is a second of work.
    std::unique_ptr<GmSynth> melodySynth;
    if (!sung && stems) {
        melodySynth = std::make_unique<GmSynth>();
        if (!melodySynth->open(soundFont, result.error)) return result;
    }
    GmSynth& melody = melodySynth ? *melodySynth : accompaniment;
    if (!sung) melody.program(voiceChannel, options.melodyProgram);

    const std::int64_t frames =
        schedule.lastSample + static_cast<std::int64_t>(std::llround(options.tailSeconds * kRenderRate));
    std::vector<float> accLeft(static_cast<std::size_t>(frames), 0.0f);
    std::vector<float> accRight(static_cast<std::size_t>(frames), 0.0f);
    std::vector<float> voice(static_cast<std::size_t>(frames), 0.0f);
    std::vector<float> scratchL(kBlock), scratchR(kBlock);

    const auto& events = schedule.events;
    std::size_t nextVoice = 0; // next event to hand to the plug-in
    std::size_t next = 0;      // next event for the synthesizers
    for (std::int64_t pos = 0; pos < frames; pos += kBlock) {
        const int n = static_cast<int>(std::min<std::int64_t>(kBlock, frames - pos));
        const std::int64_t end = pos + n;
        if (sung) {
            // The host's queue is bounded: hand over one block's worth at a time.
            for (; nextVoice < events.size() && events[nextVoice].sample < end; ++nextVoice) {
                const TimedEvent& t = events[nextVoice];
                if (!isVoice(t, voiceChannel)) continue;
                MusicEvent e = t.event;
                host->routeVoiceEventAt(t.sample, e);
            }
            host->renderBlock(voice.data() + pos, n, pos);
            result.pluginClipped = result.pluginClipped || host->clipped();
        }
        // The synthesizers run up to each event and take it at its own sample.
        std::int64_t cursor = pos;
        auto runTo = [&](std::int64_t until) {
            const int k = static_cast<int>(until - cursor);
            if (k <= 0) return;
            accompaniment.write(accLeft.data() + cursor, accRight.data() + cursor, k);
            if (melodySynth) {
                std::fill_n(scratchL.begin(), k, 0.0f);
                std::fill_n(scratchR.begin(), k, 0.0f);
                melodySynth->write(scratchL.data(), scratchR.data(), k);
                // Centred: the melody stands where the voice would.
                for (int i = 0; i < k; ++i)
                    voice[static_cast<std::size_t>(cursor + i)] =
                        0.5f *
                        (scratchL[static_cast<std::size_t>(i)] + scratchR[static_cast<std::size_t>(i)]);
            }
            cursor = until;
        };
        for (; next < events.size() && events[next].sample < end; ++next) {
            const TimedEvent& t = events[next];
            runTo(std::max(t.sample, cursor));
            MusicEvent e = t.event;
            if (isVoice(t, voiceChannel)) {
                if (sung) {
                    if (forPlugin(e)) continue; // the plug-in has it
                    accompaniment.send(e);
                    continue;
                }
                if (e.kind == kProgramChange) e.value = options.melodyProgram;
                if (e.kind == kControlChange && (e.type == 0 || e.type == 32))
                    continue; // keep the chosen sound
                melody.send(e);
                continue;
            }
            if (e.kind == kSysEx) {
                accompaniment.send(e);
                if (melodySynth) {
                    melodySynth->send(e);
                    melodySynth->program(voiceChannel, options.melodyProgram);
                }
                continue;
            }
            accompaniment.send(e);
        }
        runTo(end);
    }

    const float voiceGain = static_cast<float>(sung ? options.voiceGain : 1.0);
    double peak = 0.0, voicePeak = 0.0, accPeak = 0.0;
    for (std::size_t i = 0; i < voice.size(); ++i) {
        const double v = voice[i] * voiceGain;
        voicePeak = std::max(voicePeak, std::fabs(v));
        accPeak = std::max({accPeak, std::fabs(double(accLeft[i])), std::fabs(double(accRight[i]))});
        peak = std::max({peak, std::fabs(accLeft[i] + v), std::fabs(accRight[i] + v)});
    }
    const double loudest = std::max({peak, voicePeak, accPeak});
    const float scale = loudest > kCeiling ? static_cast<float>(kCeiling / loudest) : 1.0f;
    result.scaled = scale;
    result.peak = peak * scale;

    auto mix = [&](std::int64_t first, int n, float* out) {
        for (int i = 0; i < n; ++i) {
            const auto k = static_cast<std::size_t>(first + i);
            const float v = voice[k] * voiceGain;
            out[2 * i] = (accLeft[k] + v) * scale;
            out[2 * i + 1] = (accRight[k] + v) * scale;
        }
    };
    if (stems) {
        std::error_code ec;
        std::filesystem::create_directories(options.stemsFolder, ec);
        const std::filesystem::path folder(options.stemsFolder);
        auto voiceStem = [&](std::int64_t first, int n, float* out) {
            for (int i = 0; i < n; ++i)
                out[2 * i] = out[2 * i + 1] = voice[static_cast<std::size_t>(first + i)] * voiceGain * scale;
        };
        auto accStem = [&](std::int64_t first, int n, float* out) {
            for (int i = 0; i < n; ++i) {
                out[2 * i] = accLeft[static_cast<std::size_t>(first + i)] * scale;
                out[2 * i + 1] = accRight[static_cast<std::size_t>(first + i)] * scale;
            }
        };
        if (!writeWav((folder / "voice.wav").string(), frames, voiceStem, result.error) ||
            !writeWav((folder / "accompaniment.wav").string(), frames, accStem, result.error))
            return result;
    }
    if (!writeWav(wavPath, frames, mix, result.error)) return result;
    result.seconds = static_cast<double>(frames) / kRenderRate;
    result.ok = true;
    return result;
}

std::optional<int> measureVoiceDelay(const std::string& pluginPath, PluginKind kind,
                                     const std::string& sungPartPath, int voiceChannel, std::string& error) {
    MidiSchedule schedule;
    if (!loadMidiSchedule(sungPartPath, schedule)) {
        error = sungPartPath + " is not a readable MIDI file";
        return std::nullopt;
    }
    // The first note: a note-on, or the start of a note message of the
    // control stream (NRPN parameter 0x50..).
    std::optional<std::int64_t> noteSample;
    for (const TimedEvent& t : schedule.events) {
        if (!isVoice(t, voiceChannel)) continue;
        if (t.event.isNoteOn() || (t.event.isControl(99) && t.event.value == 0x50)) {
            noteSample = t.sample;
            break;
        }
    }
    if (!noteSample) {
        error = sungPartPath + " has nothing to sing";
        return std::nullopt;
    }
    auto host = openHost(pluginPath, kind, voiceChannel, error);
    if (!host) return std::nullopt;

    // Set-up (singer choice) first, then half a second of quiet, then the
    // note's messages alone, as one sung syllable.
    constexpr std::int64_t kNoteAt = kRenderRate / 2;
    for (const TimedEvent& t : schedule.events) {
        if (t.sample > *noteSample) break;
        if (!isVoice(t, voiceChannel)) continue;
        MusicEvent e = t.event;
        host->routeVoiceEventAt(t.sample < *noteSample ? 0 : kNoteAt, e);
    }
    constexpr float kThreshold = 0.001f; // -60 dB: any sound at all
    std::vector<float> block(kBlock);
    for (std::int64_t pos = 0; pos < kNoteAt + kRenderRate; pos += kBlock) {
        host->renderBlock(block.data(), kBlock, pos);
        for (int i = 0; i < kBlock; ++i) {
            if (std::fabs(block[static_cast<std::size_t>(i)]) < kThreshold) continue;
            const std::int64_t at = std::max<std::int64_t>(pos + i - kNoteAt, 0);
            return static_cast<int>((at * 1000 + kRenderRate / 2) / kRenderRate);
        }
    }
    error = "the plug-in did not sing the test note";
    return std::nullopt;
}

} // namespace harmolin
