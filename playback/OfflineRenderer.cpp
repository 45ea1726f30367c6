#include "playback/OfflineRenderer.h"

#include "lyrics/VocaloidWriter.h"
#include "playback/MidiSchedule.h"
#include "playback/VstHost.h"

#include <fluidsynth.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
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
        // Only the samples of the instruments a song uses are read: a tenth of
        // the GM SoundFont's memory, and the same sound.
        fluid_settings_setint(settings_.get(), "synth.dynamic-sample-loading", 1);
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

int sndfileFormat(AudioFileType type) {
    switch (type) {
    case AudioFileType::Flac:
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case AudioFileType::Ogg:
        return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    case AudioFileType::Wav:
        break;
    }
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

// Writes through a temporary file beside the target and a rename, so a
// failed run never leaves a half-written file under the wanted name.
// `written` is told the frames done so far; false from it stops the write.
bool writeAudio(const std::string& path, AudioFileType type, std::int64_t frames,
                const std::function<void(std::int64_t first, int n, float* interleaved)>& fill,
                const std::function<bool(std::int64_t written)>& written, std::string& error) {
    const std::string temporary = path + ".partial-" + std::to_string(::getpid());
    SF_INFO info{};
    info.samplerate = kRenderRate;
    info.channels = 2;
    info.format = sndfileFormat(type);
    SNDFILE* file = sf_open(temporary.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (type == AudioFileType::Ogg) {
        // About 160 kbit/s for this stereo mix: transparent for a voice over GM.
        double quality = 0.5;
        sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
    constexpr int kChunk = 8192;
    std::vector<float> buffer(2 * kChunk);
    std::vector<short> pcm(2 * kChunk);
    bool ok = true;
    bool stopped = false;
    for (std::int64_t at = 0; at < frames && ok; at += kChunk) {
        const int n = static_cast<int>(std::min<std::int64_t>(kChunk, frames - at));
        fill(at, n, buffer.data());
        if (type == AudioFileType::Ogg) {
            ok = sf_writef_float(file, buffer.data(), n) == n;
        } else {
            // Rounded here, as libsndfile rounds for WAV, and the same way for
            // every PCM type, so that a FLAC file decodes to exactly the
            // samples of the WAV file.
            for (int i = 0; i < 2 * n; ++i)
                pcm[static_cast<std::size_t>(i)] = static_cast<short>(std::lrint(
                    std::clamp(buffer[static_cast<std::size_t>(i)] * 32768.0f, -32768.0f, 32767.0f)));
            ok = sf_writef_short(file, pcm.data(), n) == n;
        }
        if (ok && written && !written(at + n)) {
            stopped = true;
            ok = false;
        }
    }
    ok = (sf_close(file) == 0) && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(temporary, path, ec);
    if (!ok || ec) {
        std::filesystem::remove(temporary, ec);
        error = stopped ? "rendering stopped" : "cannot write " + path;
        return false;
    }
    return true;
}

// Styles differ in how loud their accompaniment plays: the voice is brought
// to sit this far above it (RMS over the moments it sings), within limits.
constexpr double kVoiceOverAccompanimentDb = 3.0;

// The factor that puts the sung voice kVoiceOverAccompanimentDb over the
// accompaniment, measured in 100 ms frames where the voice sounds; 1 when
// nothing plays beside it.
double balanceVoice(const std::vector<float>& voice, const std::vector<float>& left,
                    const std::vector<float>& right) {
    constexpr std::size_t kFrame = kRenderRate / 10;
    std::vector<double> voicePower, accPower;
    for (std::size_t at = 0; at + kFrame <= voice.size(); at += kFrame) {
        double v = 0, a = 0;
        for (std::size_t i = at; i < at + kFrame; ++i) {
            v += double(voice[i]) * voice[i];
            a += 0.5 * (double(left[i]) * left[i] + double(right[i]) * right[i]);
        }
        voicePower.push_back(v / kFrame);
        accPower.push_back(a / kFrame);
    }
    if (voicePower.empty()) return 1.0;
    const double loudest = *std::max_element(voicePower.begin(), voicePower.end());
    double v = 0, a = 0;
    for (std::size_t f = 0; f < voicePower.size(); ++f) {
        if (voicePower[f] < loudest * 1e-3) continue; // the voice rests here
        v += voicePower[f];
        a += accPower[f];
    }
    if (v <= 0 || a <= 1e-12) return 1.0;
    const double wanted = std::pow(10.0, kVoiceOverAccompanimentDb / 10.0);
    return std::clamp(std::sqrt(wanted * a / v), 0.1, 10.0);
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

// The melody as played on an instrument: the chosen program, whatever the
// song's own program says; nothing for a bank select, which would change it.
std::optional<MusicEvent> melodyEvent(MusicEvent e, int melodyProgram) {
    if (e.kind == kProgramChange) e.value = melodyProgram;
    if (e.kind == kControlChange && (e.type == 0 || e.type == 32)) return std::nullopt;
    return e;
}

// The group (0..groups-1) of every channel, balanced by the notes each
// plays; a channel the plug-in sings counts for nothing. Decided by the song
// alone, so it is the same on any machine.
std::array<int, 16> channelGroups(const std::vector<TimedEvent>& events, int groups, int sungChannel) {
    std::array<long long, 16> notes{};
    for (const TimedEvent& t : events)
        if (t.event.isNoteOn() && t.event.channel != kNoChannel && (t.event.channel & 0x0F) != sungChannel)
            ++notes[static_cast<std::size_t>(t.event.channel & 0x0F)];
    std::array<int, 16> order{};
    for (int c = 0; c < 16; ++c)
        order[static_cast<std::size_t>(c)] = c;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return notes[static_cast<std::size_t>(a)] > notes[static_cast<std::size_t>(b)];
    });
    std::vector<long long> load(static_cast<std::size_t>(groups), 0);
    std::array<int, 16> groupOf{};
    for (int c : order) {
        const auto lightest = std::min_element(load.begin(), load.end()) - load.begin();
        groupOf[static_cast<std::size_t>(c)] = static_cast<int>(lightest);
        // Every channel costs a little even when silent: spread those too.
        load[static_cast<std::size_t>(lightest)] += notes[static_cast<std::size_t>(c)] + 1;
    }
    return groupOf;
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

std::optional<AudioFileType> audioFileTypeOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (AudioFileType type : {AudioFileType::Wav, AudioFileType::Flac, AudioFileType::Ogg})
        if (extension == audioExtension(type)) return type;
    return std::nullopt;
}

const char* audioExtension(AudioFileType type) {
    switch (type) {
    case AudioFileType::Flac:
        return ".flac";
    case AudioFileType::Ogg:
        return ".ogg";
    case AudioFileType::Wav:
        break;
    }
    return ".wav";
}

std::string unknownAudioTypeMessage(const std::string& path) {
    return "cannot tell the audio type of " + path + ": its name must end in .wav, .flac or .ogg";
}

std::string defaultSoundFont() {
    for (const char* candidate :
         {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2"}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
    }
    return {};
}

RenderResult renderMidiToFile(const std::string& midiPath, const std::string& outputPath,
                              const RenderOptions& options) {
    RenderResult result;
    const auto type = audioFileTypeOf(outputPath);
    if (!type) {
        result.error = unknownAudioTypeMessage(outputPath);
        return result;
    }
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
    const auto& events = schedule.events;
    // The accompaniment's channels in groups, each played by its own
    // synthesizer with the same settings; the played melody gets one of its
    // own only when it needs a stem of its own.
    const int groupCount = std::clamp(options.accompanimentGroups, 1, 16);
    const auto groupOf = channelGroups(events, groupCount, sung ? voiceChannel : -1);
    std::vector<GmSynth> groups(static_cast<std::size_t>(groupCount));
    for (GmSynth& g : groups)
        if (!g.open(soundFont, result.error)) return result;
    std::unique_ptr<GmSynth> melodySynth;
    if (!sung && stems) {
        melodySynth = std::make_unique<GmSynth>();
        if (!melodySynth->open(soundFont, result.error)) return result;
    }
    GmSynth& melody = melodySynth
                          ? *melodySynth
                          : groups[static_cast<std::size_t>(groupOf[static_cast<std::size_t>(voiceChannel)])];
    if (!sung) melody.program(voiceChannel, options.melodyProgram);

    const std::int64_t frames =
        schedule.lastSample + static_cast<std::int64_t>(std::llround(options.tailSeconds * kRenderRate));
    // The groups are summed into these as they go, in their fixed order:
    // group g adds a second only once group g - 1 has put its own there.
    std::vector<float> accLeft(static_cast<std::size_t>(frames), 0.0f);
    std::vector<float> accRight(static_cast<std::size_t>(frames), 0.0f);
    std::vector<std::atomic<std::int64_t>> merged(groups.size()); // frames each group has summed in
    std::vector<float> voice(static_cast<std::size_t>(frames), 0.0f);

    // The synthesis is most of the work; the files' encoding the rest.
    const int filesToWrite = stems ? 3 : 1;
    constexpr double kSynthesisShare = 0.7;
    bool stopped = false;
    auto report = [&](double done) {
        if (options.progress && !options.progress(std::clamp(done, 0.0, 1.0))) stopped = true;
        return !stopped;
    };

    // The parts are independent: each is a task, taken by the first free
    // thread; what a part sounds like does not depend on which thread or
    // how many there are.
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> framesDone{0};
    std::atomic<bool> pluginClipped{false};
    std::vector<std::function<void()>> tasks;
    if (sung) {
        tasks.push_back([&] {
            for (std::int64_t pos = 0, nextVoice = 0; pos < frames && !cancel.load(); pos += kBlock) {
                const int n = static_cast<int>(std::min<std::int64_t>(kBlock, frames - pos));
                // The host's queue is bounded: hand over one block's worth at a time.
                for (; nextVoice < static_cast<std::int64_t>(events.size()) &&
                       events[static_cast<std::size_t>(nextVoice)].sample < pos + n;
                     ++nextVoice) {
                    const TimedEvent& t = events[static_cast<std::size_t>(nextVoice)];
                    if (!isVoice(t, voiceChannel)) continue;
                    MusicEvent e = t.event;
                    (void)host->routeVoiceEventAt(t.sample,
                                                  e); // events the plug-in does not take are not for it
                }
                (void)host->renderBlock(voice.data() + pos, n,
                                        pos); // valid arguments: every frame is rendered
                if (host->clipped()) pluginClipped.store(true);
                framesDone.fetch_add(n);
            }
        });
    }
    // The played melody's own synthesizer, centred where the voice would stand.
    if (melodySynth) {
        tasks.push_back([&] {
            std::vector<float> left(kBlock), right(kBlock);
            std::int64_t cursor = 0;
            auto runTo = [&](std::int64_t until) {
                while (cursor < until && !cancel.load()) {
                    const int k = static_cast<int>(std::min<std::int64_t>(kBlock, until - cursor));
                    std::fill_n(left.begin(), k, 0.0f);
                    std::fill_n(right.begin(), k, 0.0f);
                    melodySynth->write(left.data(), right.data(), k);
                    for (int i = 0; i < k; ++i)
                        voice[static_cast<std::size_t>(cursor + i)] =
                            0.5f * (left[static_cast<std::size_t>(i)] + right[static_cast<std::size_t>(i)]);
                    cursor += k;
                    framesDone.fetch_add(k);
                }
            };
            for (const TimedEvent& t : events) {
                if (t.event.kind == kSysEx) {
                    runTo(t.sample);
                    melodySynth->send(t.event);
                    melodySynth->program(voiceChannel, options.melodyProgram);
                    continue;
                }
                if (!isVoice(t, voiceChannel)) continue;
                runTo(t.sample);
                if (const auto e = melodyEvent(t.event, options.melodyProgram)) melodySynth->send(*e);
            }
            runTo(frames);
        });
    }
    for (std::size_t g = 0; g < groups.size(); ++g) {
        tasks.push_back([&, g] {
            GmSynth& synth = groups[g];
            // The first group writes straight into the sum; the others a
            // second at a time into their own, added when the one before is there.
            std::vector<float> left(g == 0 ? 0 : kRenderRate), right(g == 0 ? 0 : kRenderRate);
            std::int64_t cursor = 0;
            std::int64_t segment = 0; // first frame held in left/right
            auto merge = [&] {
                if (g > 0) {
                    for (std::int64_t seen; (seen = merged[g - 1].load()) < cursor && !cancel.load();)
                        merged[g - 1].wait(seen);
                    for (std::int64_t i = segment; i < cursor; ++i) {
                        accLeft[static_cast<std::size_t>(i)] += left[static_cast<std::size_t>(i - segment)];
                        accRight[static_cast<std::size_t>(i)] += right[static_cast<std::size_t>(i - segment)];
                    }
                    segment = cursor;
                }
                merged[g].store(cursor);
                merged[g].notify_all();
            };
            // The synthesizer runs up to each event and takes it at its own sample.
            auto runTo = [&](std::int64_t until) {
                while (cursor < until && !cancel.load()) {
                    const std::int64_t end = std::min(until, g == 0 ? frames : segment + kRenderRate);
                    const int k = static_cast<int>(std::min<std::int64_t>(end - cursor, kRenderRate));
                    if (g == 0) {
                        synth.write(accLeft.data() + cursor, accRight.data() + cursor, k);
                    } else {
                        synth.write(left.data() + (cursor - segment), right.data() + (cursor - segment), k);
                    }
                    cursor += k;
                    framesDone.fetch_add(k);
                    if (g == 0 || cursor == segment + kRenderRate || cursor == frames) merge();
                }
            };
            for (const TimedEvent& t : events) {
                const MusicEvent& e = t.event;
                const bool mine = !e.isChannelEvent() || e.channel == kNoChannel ||
                                  groupOf[static_cast<std::size_t>(e.channel & 0x0F)] == static_cast<int>(g);
                if (!mine) continue;
                if (isVoice(t, voiceChannel)) {
                    if (sung && forPlugin(e)) continue; // the plug-in has it
                    if (melodySynth) continue;          // the melody's own synthesizer has it
                    runTo(std::max(t.sample, cursor));
                    if (sung) {
                        synth.send(e);
                    } else if (const auto played = melodyEvent(e, options.melodyProgram)) {
                        synth.send(*played);
                    }
                    continue;
                }
                runTo(std::max(t.sample, cursor));
                synth.send(e);
            }
            runTo(frames);
        });
    }
    // By default every part has its thread: the system spreads them over
    // the cores better than a fixed hand-out of unequal parts would.
    const int threads = std::clamp(options.threads > 0 ? options.threads : static_cast<int>(tasks.size()), 1,
                                   static_cast<int>(tasks.size()));
    std::atomic<std::size_t> nextTask{0};
    std::atomic<std::size_t> tasksDone{0};
    auto work = [&] {
        for (std::size_t i; (i = nextTask.fetch_add(1)) < tasks.size();) {
            tasks[i]();
            tasksDone.fetch_add(1);
        }
    };
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back(work);
    // Progress from this thread, which may be asked to stop.
    const double totalFrames = static_cast<double>(frames) * static_cast<double>(tasks.size());
    for (;;) {
        const bool finished = tasksDone.load() == tasks.size();
        if (!cancel.load() && !report(kSynthesisShare * std::min(1.0, framesDone.load() / totalFrames))) {
            cancel.store(true);
            // No group waits for one that has stopped.
            for (auto& m : merged) {
                m.store(frames);
                m.notify_all();
            }
        }
        if (finished || cancel.load()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (std::thread& w : workers)
        w.join();
    if (cancel.load()) {
        result.error = "rendering stopped";
        return result;
    }
    result.pluginClipped = pluginClipped.load();
    const float voiceGain =
        static_cast<float>(sung ? options.voiceGain * balanceVoice(voice, accLeft, accRight) : 1.0);
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
    int filesWritten = 0;
    auto written = [&](std::int64_t done) {
        const double share =
            (static_cast<double>(filesWritten) + static_cast<double>(done) / frames) / filesToWrite;
        return report(kSynthesisShare + (1.0 - kSynthesisShare) * share);
    };
    auto write = [&](const std::string& path, const std::function<void(std::int64_t, int, float*)>& fill) {
        const bool ok = writeAudio(path, *type, frames, fill, written, result.error);
        ++filesWritten;
        return ok;
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
        const std::string extension = audioExtension(*type);
        if (!write((folder / ("voice" + extension)).string(), voiceStem) ||
            !write((folder / ("accompaniment" + extension)).string(), accStem))
            return result;
    }
    if (!write(outputPath, mix)) return result;
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

    // The song's set-up (singer choice) first, then half a second of quiet,
    // then the test syllable in the kind's form, as Auto Adjust sends it: a
    // bare vowel, timed from its messages to its first sound, which is where
    // the plug-in puts every vowel.
    constexpr std::int64_t kNoteAt = kRenderRate / 2;
    for (const TimedEvent& t : schedule.events) {
        if (t.sample >= *noteSample) break;
        if (!isVoice(t, voiceChannel)) continue;
        MusicEvent e = t.event;
        (void)host->routeVoiceEventAt(0, e); // the test note is all voice-channel events
    }
    const int mode = kind == PluginKind::VocaloidStream ? kVocaloidMode : kSyllableProgramMode;
    for (MusicEvent e : testSyllableMessages("", 0, mode).note) {
        e.channel = voiceChannel;
        (void)host->routeVoiceEventAt(kNoteAt, e); // the test note is all voice-channel events
    }
    constexpr float kThreshold = 0.001f; // -60 dB: any sound at all
    std::vector<float> block(kBlock);
    for (std::int64_t pos = 0; pos < kNoteAt + kRenderRate; pos += kBlock) {
        (void)host->renderBlock(block.data(), kBlock, pos); // valid arguments: every frame is rendered
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
