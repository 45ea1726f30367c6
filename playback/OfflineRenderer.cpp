#include "playback/OfflineRenderer.h"

#include "lyrics/VocaloidWriter.h"
#include "midi/MidiF0Data.h"
#include "playback/LiveWaveOut.h"
#include "playback/MidiOutput.h"
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
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace harmolin {

namespace {

// One render step of the host, 20 ms.
constexpr int kBlock = 882;
// Below full scale with room for the 16-bit rounding.
constexpr double kCeiling = 0.98;
// A voice rendered before its gain is decided: far below any clipping.
constexpr double kUnclippedGain = 1.0 / 16.0;

// One message for a synthesizer, at the sample it was sent.
struct SinkMessage {
    std::int64_t sample = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::vector<std::uint8_t> sysex; // F0 ... F7 for a system exclusive
};

struct FluidDeleter {
    void operator()(fluid_synth_t* s) const { delete_fluid_synth(s); }
    void operator()(fluid_settings_t* s) const { delete_fluid_settings(s); }
};

class GmSynth {
  public:
    // A rough synthesizer (a low rate, few voices) serves to hear how loud a
    // song is.
    bool open(const std::string& soundFont, std::string& error, int rate = kRenderRate, bool rough = false) {
        startFluidSynth();
        settings_.reset(new_fluid_settings());
        if (!settings_) {
            error = "the synthesizer could not be started";
            return false;
        }
        fluid_settings_setnum(settings_.get(), "synth.sample-rate", rate);
        // The effects stay: they are much of a style's loudness.
        if (rough) fluid_settings_setint(settings_.get(), "synth.polyphony", 24);
        fluid_settings_setint(settings_.get(), "synth.threadsafe-api", 0);
        fluid_settings_setint(settings_.get(), "synth.cpu-cores", 1);
        // Offline, nothing gains from pinning the samples in memory.
        fluid_settings_setint(settings_.get(), "synth.lock-memory", 0);
        fluid_settings_setnum(settings_.get(), "synth.gain", 0.6);
        // Only the samples of the instruments a song uses are read: a tenth of
        // the GM SoundFont's memory, and the same sound.
        fluid_settings_setint(settings_.get(), "synth.dynamic-sample-loading", 1);
        // Loading registers the file in the sample cache every synthesizer
        // of the process shares: the synthesizers take turns here too.
        std::lock_guard presets(soundFontCacheMutex());
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

    void apply(const SinkMessage& m) {
        fluid_synth_t* s = synth_.get();
        // Choosing a preset loads its samples into a cache every synthesizer
        // of the process shares, under a lock of FluidSynth's own that the
        // thread checker cannot see: our synthesizers take turns here.
        const int kind = m.status & 0xF0;
        std::unique_lock<std::mutex> presets(soundFontCacheMutex(), std::defer_lock);
        if (!m.sysex.empty() || kind == kProgramChange) presets.lock();
        if (!m.sysex.empty()) {
            // The synthesizer wants the message without its F0 and F7.
            auto begin = m.sysex.begin();
            auto end = m.sysex.end();
            if (*begin == 0xF0) ++begin;
            if (begin != end && *(end - 1) == 0xF7) --end;
            if (begin != end) {
                std::vector<char> body(begin, end);
                fluid_synth_sysex(s, body.data(), static_cast<int>(body.size()), nullptr, nullptr, nullptr,
                                  0);
            }
            return;
        }
        const int ch = m.status & 0x0F;
        switch (kind) {
        case kNoteOn:
            if (m.data2 == 0)
                fluid_synth_noteoff(s, ch, m.data1);
            else
                fluid_synth_noteon(s, ch, m.data1, m.data2);
            break;
        case kNoteOff:
            fluid_synth_noteoff(s, ch, m.data1);
            break;
        case kControlChange:
            fluid_synth_cc(s, ch, m.data1, m.data2);
            break;
        case kProgramChange:
            fluid_synth_program_change(s, ch, m.data1);
            break;
        case kPitchBend:
            fluid_synth_pitch_bend(s, ch, m.data1 | (m.data2 << 7));
            break;
        case kChannelPressure:
            fluid_synth_channel_pressure(s, ch, m.data1);
            break;
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

// A sample as 16-bit PCM, rounded half to even as lrint rounds, without a
// library call per sample: below 2^22, adding 1.5 * 2^23 leaves no fraction.
short pcm16(float sample) {
    constexpr float kRounder = 12582912.0f;
    const float scaled = std::clamp(sample * 32768.0f, -32768.0f, 32767.0f);
    if (!(scaled == scaled)) return 0; // not a number
    return static_cast<short>((scaled + kRounder) - kRounder);
}

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
                const std::function<bool(std::int64_t first, int n, float* interleaved)>& fill,
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
        if (!fill(at, n, buffer.data())) {
            ok = false;
            break;
        }
        if (type == AudioFileType::Ogg) {
            ok = sf_writef_float(file, buffer.data(), n) == n;
        } else {
            // Rounded here, as libsndfile rounds for WAV, and the same way for
            // every PCM type, so that a FLAC file decodes to exactly the
            // samples of the WAV file.
            for (int i = 0; i < 2 * n; ++i)
                pcm[static_cast<std::size_t>(i)] = pcm16(buffer[static_cast<std::size_t>(i)]);
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

// Whether an event is a message on `channel`.
bool onChannel(const MusicEvent& e, int channel) {
    return e.isChannelEvent() && e.channel != kNoChannel && (e.channel & 0x0F) == channel;
}

bool isVoice(const TimedEvent& t, int channel) {
    return onChannel(t.event, channel);
}

// How much of a song is heard to decide the voice's gain, from the voice's
// first message.
constexpr double kListenSeconds = 15.0;

// The events the voice's gain is decided from, with their seconds: from the
// start to kListenSeconds after the voice channel's first message; `voice`
// tells which are the voice's.
void walkListenedEvents(const MidiF0Data& song, int voiceChannel,
                        const std::function<void(double seconds, const MusicEvent& e, bool voice)>& visit) {
    std::optional<double> voiceFrom;
    (void)walkSongSeconds(song, [&](double seconds, const MusicEvent& e) { // where it stopped is not needed
        if (voiceFrom && seconds > *voiceFrom + kListenSeconds) return false;
        const bool voice = onChannel(e, voiceChannel);
        if (voice && !voiceFrom) voiceFrom = seconds;
        visit(seconds, e, voice);
        return true;
    });
}

// Sung parts carry a burst of control changes per syllable.
constexpr int kRenderedSongCapacity = 0x400000;

// The group (0..groups-1) of every channel, balanced by the notes each
// plays; a channel the plug-in sings counts for nothing. Decided by the song
// alone, so it is the same on any machine.
std::array<int, 16> channelGroups(const std::vector<MusicEvent>& events, int groups, int sungChannel) {
    std::array<long long, 16> notes{};
    for (const MusicEvent& e : events)
        if (e.isNoteOn() && e.channel != kNoChannel && (e.channel & 0x0F) != sungChannel)
            ++notes[static_cast<std::size_t>(e.channel & 0x0F)];
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

// ---------------------------------------------------------------------------
// The pipeline of a render. The player (on the caller's thread) sends each
// event at its sample; the parts (each synthesizer group, the voice, the
// played melody) render into small rings of chunks as far as the events
// sent so far allow, and the writer sums every finished chunk in a fixed
// order and streams it to raw files. Nothing depends on which thread ran
// what, so the same song gives the same bytes on any number of cores.

// Frames per chunk of the rings: ten host blocks.
constexpr std::int64_t kChunk = kBlock * 10;
constexpr std::int64_t kRingChunks = 4;
// How far the player may run ahead of the writer: bounds the messages
// waiting for the synthesizers and the voice's queue in the host.
constexpr std::int64_t kAhead = kChunk * kRingChunks;

struct Pipeline {
    std::atomic<std::int64_t> bound{0}; // every message before this sample has been sent
    std::atomic<std::int64_t> total{std::numeric_limits<std::int64_t>::max()}; // frames, once known
    std::atomic<std::int64_t> written{0};                                      // frames the writer has summed
    std::atomic<std::uint64_t> progress{0}; // bumped when someone else may go on
    std::atomic<bool> cancel{false};

    void bump() {
        progress.fetch_add(1);
        progress.notify_all();
    }
    // Whether the ring slot of the chunk holding `frame` is free again.
    bool slotFree(std::int64_t frame) const { return frame / kChunk < written.load() / kChunk + kRingChunks; }
};

class Part {
  public:
    Part(Pipeline& pipe, int channels)
        : pipe_(pipe), channels_(channels),
          ring_(static_cast<std::size_t>(kChunk * kRingChunks * channels), 0.0f) {}
    virtual ~Part() = default;
    // Does what can be done now; true when it got anywhere.
    virtual bool step() = 0;
    bool finished() const { return cursor.load() >= pipe_.total.load(); }
    // Channel c of the chunk holding `frame`, from that frame on.
    float* at(std::int64_t frame, int c = 0) {
        const std::int64_t slot = (frame / kChunk) % kRingChunks;
        return ring_.data() + (slot * channels_ + c) * kChunk + frame % kChunk;
    }
    std::atomic<std::int64_t> cursor{0}; // frames rendered

  protected:
    // Called after rendering up to `frame`: a finished chunk lets the writer on.
    void advance(std::int64_t frame) {
        cursor.store(frame);
        if (frame % kChunk == 0 || frame == pipe_.total.load()) pipe_.bump();
    }
    Pipeline& pipe_;

  private:
    int channels_;
    std::vector<float> ring_;
};

// One General MIDI synthesizer: takes its messages in sending order and
// renders up to each one's sample before applying it.
class SynthPart final : public Part {
  public:
    SynthPart(Pipeline& pipe, std::string soundFont) : Part(pipe, 2), soundFont_(std::move(soundFont)) {}
    std::string error; // why the synthesizer could not be started
    // From the player's thread.
    void post(SinkMessage message) {
        std::lock_guard lock(mutex_);
        inbox_.push_back(std::move(message));
    }
    bool step() override {
        // Started on the part's own thread, while the player starts sending.
        if (!opened_) {
            opened_ = true;
            if (!synth_.open(soundFont_, error)) {
                pipe_.cancel.store(true);
                pipe_.bump();
                return false;
            }
        }
        bool moved = false;
        for (;;) {
            if (pipe_.cancel.load()) return moved;
            if (next_ == taken_.size()) {
                // The bound is read first: every message before it is then in the inbox.
                const std::int64_t bound = pipe_.bound.load();
                taken_.clear();
                next_ = 0;
                {
                    std::lock_guard lock(mutex_);
                    taken_.swap(inbox_);
                }
                if (taken_.empty()) return renderTo(bound) || moved;
            }
            const SinkMessage& m = taken_[next_];
            if (cursor.load() < m.sample) {
                moved = renderTo(m.sample) || moved;
                if (cursor.load() < m.sample) return moved;
            }
            synth_.apply(m);
            ++next_;
            moved = true;
        }
    }

  private:
    bool renderTo(std::int64_t until) {
        until = std::min(until, pipe_.total.load());
        bool any = false;
        for (std::int64_t from = cursor.load(); from < until && pipe_.slotFree(from); from = cursor.load()) {
            const std::int64_t end = std::min(until, (from / kChunk + 1) * kChunk);
            synth_.write(at(from, 0), at(from, 1), static_cast<int>(end - from));
            advance(end);
            any = true;
        }
        return any;
    }

    std::string soundFont_;
    bool opened_ = false;
    GmSynth synth_;
    std::mutex mutex_;
    std::vector<SinkMessage> inbox_;
    std::vector<SinkMessage> taken_;
    std::size_t next_ = 0;
};

// The voice: the host renders fixed blocks once every event inside one is
// queued, so a plug-in sees the same blocks on every run.
class VoicePart final : public Part {
  public:
    VoicePart(Pipeline& pipe, CVstHostMain& host) : Part(pipe, 1), host_(host) {}
    bool step() override {
        bool any = false;
        while (!pipe_.cancel.load()) {
            const std::int64_t pos = cursor.load();
            const std::int64_t total = pipe_.total.load();
            if (pos >= total) break;
            const int n = static_cast<int>(std::min<std::int64_t>(kBlock, total - pos));
            if (pos + n > pipe_.bound.load() || !pipe_.slotFree(pos)) break;
            (void)host_.renderBlock(at(pos), n, pos); // valid arguments: every frame is rendered
            if (host_.clipped()) clipped.store(true);
            advance(pos + n);
            any = true;
        }
        return any;
    }
    std::atomic<bool> clipped{false};

  private:
    CVstHostMain& host_;
};

// Raw float samples on disk until the level is known: the file is unlinked
// at once, so nothing is left behind whatever happens.
class RawFile {
  public:
    bool open(const std::string& beside) {
        const std::string name = beside + ".raw-" + std::to_string(::getpid());
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        ::unlink(name.c_str());
        file_ = ::fdopen(fd, "w+b");
        if (!file_) ::close(fd);
        return file_ != nullptr;
    }
    ~RawFile() {
        if (file_) std::fclose(file_);
    }
    bool put(const float* data, std::size_t n) { return std::fwrite(data, sizeof(float), n, file_) == n; }
    bool rewind() { return std::fflush(file_) == 0 && std::fseek(file_, 0, SEEK_SET) == 0; }
    bool get(float* data, std::size_t n) { return std::fread(data, sizeof(float), n, file_) == n; }

  private:
    std::FILE* file_ = nullptr;
};

// The mean power over the moments a part sounds (within 30 dB of its
// loudest block): the quiet between phrases does not count. Nothing when
// the part stays below -80 dB: a song without an accompaniment, a plug-in
// that stays silent.
std::optional<double> soundingPower(const std::vector<double>& power) {
    constexpr double kNothing = 1e-8;
    if (power.empty()) return std::nullopt;
    const double loudest = *std::max_element(power.begin(), power.end());
    if (loudest < kNothing) return std::nullopt;
    double sum = 0.0;
    int frames = 0;
    for (double p : power)
        if (p > loudest * 1e-3) {
            sum += p;
            ++frames;
        }
    if (frames == 0 || sum <= 0.0) return std::nullopt;
    return sum / frames;
}

// How loud a voice heard at kUnclippedGain is at unit gain, from the mean
// squares of its blocks and its peak; nothing when it stayed silent.
std::optional<VoiceLoudness> loudnessAtUnitGain(const std::vector<double>& power, double peak) {
    const auto sounding = soundingPower(power);
    if (!sounding) return std::nullopt;
    return VoiceLoudness{*sounding / (kUnclippedGain * kUnclippedGain), peak / kUnclippedGain};
}

// The first seconds of the voice and what plays beside it, block by block,
// as Play's listen hears them before a song.
struct FirstSeconds {
    static constexpr std::int64_t kBlockFrames = kRenderRate / 10;
    std::atomic<std::int64_t> voiceFrom{-1};  // the sample of the voice's first message, once sent
    std::vector<double> voice, accompaniment; // mean squares of whole blocks from the start
    double voicePeak = 0.0;
    static constexpr auto kHeardFrames = static_cast<std::int64_t>((kListenSeconds + 1.0) * kRenderRate);
    // Whether the block starting at `frame` is still heard.
    bool hears(std::int64_t frame) const {
        const std::int64_t from = voiceFrom.load();
        return from < 0 || frame < from + kHeardFrames;
    }
    // Whether every block heard lies before `frame`.
    bool heardBefore(std::int64_t frame) const {
        const std::int64_t from = voiceFrom.load();
        return from >= 0 && frame >= from + kHeardFrames;
    }
    // The voice's gain by Play's rule, from what was heard of a voice
    // rendered at kUnclippedGain.
    double voiceGain(PluginKind kind) const {
        return balancedVoiceGain(kind, loudnessAtUnitGain(voice, voicePeak), soundingPower(accompaniment));
    }
};

// The voice as the mix hears it: raised to its gain and clipped as the host
// clips, when that gain was decided after it was rendered; then at its level.
struct VoiceLevel {
    float raise = 1.0f;
    bool clip = false;
    float level = 1.0f;
    float heard(float v, bool& clipped) const {
        float h = v * raise;
        if (clip && (h > 1.0f || h < -1.0f)) {
            h = std::clamp(h, -1.0f, 1.0f);
            clipped = true;
        }
        return h * level;
    }
};

// Sums the accompaniment's groups chunk by chunk, in their order, and keeps
// it and the voice apart on disk: the mix is made in the second pass, when
// every level is known.
class Writer final : public Part {
  public:
    // With `first`, the voice's gain is decided by `kind`'s rule from its first seconds.
    Writer(Pipeline& pipe, std::vector<SynthPart*> groups, Part* voice, bool voiceIsStereo, float voiceLevel,
           RawFile& acc, RawFile* voiceRaw, FirstSeconds* first, PluginKind kind)
        : Part(pipe, 0), groups_(std::move(groups)), voice_(voice), stereoVoice_(voiceIsStereo),
          voiceLevel_(voiceLevel), acc_(acc), voiceRaw_(voiceRaw), first_(first), kind_(kind),
          accBuffer_(static_cast<std::size_t>(kChunk) * 2), voiceBuffer_(static_cast<std::size_t>(kChunk)) {}

    bool step() override {
        bool any = false;
        while (!pipe_.cancel.load()) {
            const std::int64_t from = pipe_.written.load();
            const std::int64_t total = pipe_.total.load();
            if (from >= total) break;
            const std::int64_t end = std::min(from + kChunk, total);
            if (voice_ && voice_->cursor.load() < end) break;
            bool ready = true;
            for (SynthPart* g : groups_)
                ready = ready && g->cursor.load() >= end;
            if (!ready) break;
            if (!sum(from, static_cast<int>(end - from))) {
                failed = true;
                pipe_.cancel.store(true);
                pipe_.bump();
                break;
            }
            cursor.store(end);
            pipe_.written.store(end);
            pipe_.bump();
            any = true;
        }
        return any;
    }

    // The loudest samples of the mix, the voice at voiceLevel and the accompaniment.
    double peak = 0.0, voicePeak = 0.0, accPeak = 0.0;
    bool failed = false;
    // The voice's gain, decided here once its first seconds are heard; from
    // `from` on, the loudest samples with the voice at that gain.
    struct Decided {
        double gain = 0.0;
        std::int64_t from = 0;
        double peak = 0.0, voicePeak = 0.0;
        bool clipped = false;
    };
    std::optional<Decided> decided;

  private:
    bool sum(std::int64_t from, int n) {
        std::fill(accBuffer_.begin(), accBuffer_.end(), 0.0f);
        for (SynthPart* g : groups_) {
            const float* left = g->at(from, 0);
            const float* right = g->at(from, 1);
            for (int i = 0; i < n; ++i) {
                accBuffer_[static_cast<std::size_t>(2 * i)] += left[i];
                accBuffer_[static_cast<std::size_t>(2 * i + 1)] += right[i];
            }
        }
        for (int i = 0; i < n; ++i) {
            float v = 0.0f;
            if (voice_ && stereoVoice_)
                v = 0.5f * (voice_->at(from, 0)[i] + voice_->at(from, 1)[i]);
            else if (voice_)
                v = voice_->at(from)[i];
            voiceBuffer_[static_cast<std::size_t>(i)] = v;
            const float heard = v * voiceLevel_;
            const float l = accBuffer_[static_cast<std::size_t>(2 * i)];
            const float r = accBuffer_[static_cast<std::size_t>(2 * i + 1)];
            voicePeak = std::max(voicePeak, double(std::fabs(heard)));
            accPeak = std::max({accPeak, double(std::fabs(l)), double(std::fabs(r))});
            peak = std::max({peak, double(std::fabs(l + heard)), double(std::fabs(r + heard))});
        }
        if (first_) {
            listen(from, n);
            follow(from, n);
        }
        const auto samples = static_cast<std::size_t>(n);
        if (!acc_.put(accBuffer_.data(), 2 * samples)) return false;
        return !voiceRaw_ || voiceRaw_->put(voiceBuffer_.data(), samples);
    }

    void listen(std::int64_t from, int n) {
        constexpr auto kBlockFrames = static_cast<int>(FirstSeconds::kBlockFrames);
        for (int b = 0; b + kBlockFrames <= n && first_->hears(from + b); b += kBlockFrames) {
            double voice = 0.0, acc = 0.0;
            for (int i = b; i < b + kBlockFrames; ++i) {
                const auto at = static_cast<std::size_t>(i);
                const double v = voiceBuffer_[at];
                voice += v * v;
                first_->voicePeak = std::max(first_->voicePeak, std::fabs(v));
                acc += 0.5 * (double(accBuffer_[2 * at]) * accBuffer_[2 * at] +
                              double(accBuffer_[2 * at + 1]) * accBuffer_[2 * at + 1]);
            }
            first_->voice.push_back(voice / kBlockFrames);
            first_->accompaniment.push_back(acc / kBlockFrames);
        }
    }

    // The mix's loudest samples at the decided gain, so that after the
    // render only the frames before the decision are looked at again.
    void follow(std::int64_t from, int n) {
        if (!decided) {
            if (first_->heardBefore(from + n)) decided = Decided{first_->voiceGain(kind_), from + n};
            return;
        }
        const VoiceLevel at{static_cast<float>(decided->gain / kUnclippedGain), true, voiceLevel_};
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
            const float v = at.heard(voiceBuffer_[i], decided->clipped);
            decided->voicePeak = std::max(decided->voicePeak, double(std::fabs(v)));
            decided->peak = std::max({decided->peak, double(std::fabs(accBuffer_[2 * i] + v)),
                                      double(std::fabs(accBuffer_[2 * i + 1] + v))});
        }
    }

    std::vector<SynthPart*> groups_;
    Part* voice_;
    bool stereoVoice_;
    float voiceLevel_;
    RawFile& acc_;
    RawFile* voiceRaw_;
    FirstSeconds* first_;
    PluginKind kind_;
    std::vector<float> accBuffer_, voiceBuffer_;
};

// The parts as the writer kept them, read back chunk by chunk with the
// voice brought to its level.
class RawParts {
  public:
    RawParts(RawFile& acc, RawFile* voice, VoiceLevel level) : acc_(acc), voice_(voice), level_(level) {}
    bool rewind() { return acc_.rewind() && (!voice_ || voice_->rewind()); }
    // The next n frames: the accompaniment (stereo) and the voice (mono).
    bool next(int n) {
        const auto samples = static_cast<std::size_t>(n);
        acc.resize(2 * samples);
        voice.assign(samples, 0.0f);
        if (!acc_.get(acc.data(), 2 * samples)) return false;
        if (!voice_) return true;
        if (!voice_->get(voice.data(), samples)) return false;
        for (float& v : voice)
            v = level_.heard(v, clipped);
        return true;
    }
    std::vector<float> acc, voice;
    bool clipped = false;

  private:
    RawFile& acc_;
    RawFile* voice_;
    VoiceLevel level_;
};

// The device the player plays into: each message goes to its channel's
// synthesizer, stamped with the sample clock's time.
class FileSink final : public MidiOutPort {
  public:
    struct Routes {
        std::array<SynthPart*, 16> channel{};
        std::vector<SynthPart*> all;
        // The played melody: its channel gets the chosen program whatever the
        // song says, and no bank select.
        int melodyChannel = -1;
        int melodyProgram = 0;
    };
    FileSink(const std::int64_t& now, Routes routes) : now_(now), routes_(std::move(routes)) {}
    std::string name() const override { return "file"; }
    void shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override {
        const int channel = status & 0x0F;
        const int kind = status & 0xF0;
        if (channel == routes_.melodyChannel) {
            if (kind == kProgramChange) data1 = static_cast<std::uint8_t>(routes_.melodyProgram);
            if (kind == kControlChange && (data1 == 0 || data1 == 32)) return;
        }
        SinkMessage m;
        m.sample = now_;
        m.status = status;
        m.data1 = data1;
        m.data2 = data2;
        routes_.channel[static_cast<std::size_t>(channel)]->post(std::move(m));
    }
    bool longMessage(const std::uint8_t* bytes, int length) override {
        for (SynthPart* part : routes_.all) {
            SinkMessage m;
            m.sample = now_;
            m.sysex.assign(bytes, bytes + length);
            part->post(std::move(m));
        }
        // A reset must not take the melody's program away.
        if (routes_.melodyChannel >= 0)
            shortMessage(static_cast<std::uint8_t>(kProgramChange | routes_.melodyChannel), 0, 0);
        return true;
    }
    // The end of the song is not the end of the file: its tail rings on.
    bool reset() override { return true; }

  private:
    const std::int64_t& now_;
    Routes routes_;
};

// Song time as rendered samples. Waiting for a time publishes that every
// message before it has been sent; the player is held back while it is far
// ahead of the writer, or while the voice's queue fills with messages the
// voice could already take.
class OfflineClock final : public PlayerClock {
  public:
    OfflineClock(Pipeline& pipe, CVstHostMain* host, const Part* voice, std::function<bool()> keepGoing)
        : pipe_(pipe), host_(host), voice_(voice), keepGoing_(std::move(keepGoing)) {}
    static std::int64_t sampleOf(std::chrono::nanoseconds at) {
        return (at.count() * kRenderRate + 500000000) / 1000000000;
    }
    bool waitUntil(std::chrono::nanoseconds at) override {
        const std::int64_t s = sampleOf(at);
        if (s <= now_) return !pipe_.cancel.load();
        pipe_.bound.store(s);
        pipe_.bump();
        for (;;) {
            if (pipe_.cancel.load()) return false;
            const std::uint64_t seen = pipe_.progress.load();
            const bool far = s - pipe_.written.load() > kAhead;
            const bool crowded = host_ && host_->queuedEvents() > CVstHostMain::kEventsPerPlugin / 2 &&
                                 voice_->cursor.load() + kBlock <= s;
            if (!far && !crowded) break;
            pipe_.progress.wait(seen);
        }
        now_ = s;
        if (s - reported_ >= kChunk) {
            reported_ = s;
            if (!keepGoing_()) {
                pipe_.cancel.store(true);
                pipe_.bump();
                return false;
            }
        }
        return true;
    }
    bool passed(std::chrono::nanoseconds at) const override { return sampleOf(at) <= now_; }
    const std::int64_t& now() const { return now_; }

  private:
    Pipeline& pipe_;
    CVstHostMain* host_;
    const Part* voice_;
    std::function<bool()> keepGoing_;
    std::int64_t now_ = 0;
    std::int64_t reported_ = 0;
};

} // namespace

std::mutex& soundFontCacheMutex() {
    static std::mutex mutex;
    return mutex;
}

void startFluidSynth() {
    static const bool once = [] {
        // Its warnings (unknown sysex, missing presets) would break the
        // one-line error rule; real failures come back as return codes.
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, nullptr, nullptr);
        // The first synthesizer builds tables every later one copies, and a
        // second made meanwhile on another thread would take them half
        // built: the first is made here, where other threads wait for it.
        fluid_settings_t* settings = new_fluid_settings();
        if (settings) {
            fluid_settings_setint(settings, "synth.lock-memory", 0);
            if (fluid_synth_t* synth = new_fluid_synth(settings)) delete_fluid_synth(synth);
            delete_fluid_settings(settings);
        }
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

std::unique_ptr<CVstHostMain> openOfflineHost(const std::string& pluginPath, PluginKind kind,
                                              int voiceChannel, std::string& error) {
    auto host = std::make_unique<CVstHostMain>(nullptr, offlineHostConfig());
    if (!host->loadSingingPlugin(pluginPath, kind)) {
        error = host->loadFailure(pluginPath);
        return nullptr;
    }
    host->setVoiceChannel(voiceChannel, kind);
    host->setGain(1.0);
    return host;
}

VstHostConfig offlineHostConfig() {
    VstHostConfig config;
    config.renderThread = false;
    return config;
}

RenderResult renderSong(MidiF0Data& song, CVstHostMain* host, const PlayerEventCallback& onEvent,
                        const std::string& outputPath, const RenderOptions& options) {
    RenderResult result;
    const auto type = audioFileTypeOf(outputPath);
    if (!type) {
        result.error = unknownAudioTypeMessage(outputPath);
        return result;
    }
    const std::string soundFont = options.soundFont.empty() ? defaultSoundFont() : options.soundFont;
    if (soundFont.empty()) {
        result.error = "no General MIDI SoundFont found (install fluid-soundfont-gm)";
        return result;
    }
    const bool sung = host != nullptr;
    const bool stems = !options.stemsFolder.empty();
    const int voiceChannel = options.voiceChannel & 0x0F;

    Pipeline pipe;
    // The accompaniment's channels in groups, each played by its own
    // synthesizer with the same settings; the played melody gets one of its
    // own only when it needs a stem of its own.
    const int groupCount = std::clamp(options.accompanimentGroups, 1, 16);
    const auto groupOf = channelGroups(song.track().events(), groupCount, sung ? voiceChannel : -1);
    std::vector<std::unique_ptr<SynthPart>> groups;
    std::vector<SynthPart*> groupParts;
    for (int g = 0; g < groupCount; ++g) {
        groups.push_back(std::make_unique<SynthPart>(pipe, soundFont));
        groupParts.push_back(groups.back().get());
    }
    std::unique_ptr<SynthPart> melody;
    if (!sung && stems) melody = std::make_unique<SynthPart>(pipe, soundFont);
    std::unique_ptr<VoicePart> voice;
    if (sung) voice = std::make_unique<VoicePart>(pipe, *host);

    FileSink::Routes routes;
    for (int c = 0; c < 16; ++c)
        routes.channel[static_cast<std::size_t>(c)] =
            groupParts[static_cast<std::size_t>(groupOf[static_cast<std::size_t>(c)])];
    routes.all = groupParts;
    if (!sung) {
        routes.melodyChannel = voiceChannel;
        routes.melodyProgram = std::clamp(options.melodyProgram, 0, 127);
        if (melody) {
            routes.channel[static_cast<std::size_t>(voiceChannel)] = melody.get();
            routes.all.push_back(melody.get());
        }
    }

    Part* voiceSource = voice ? static_cast<Part*>(voice.get()) : melody.get();
    RawFile accRaw, voiceRaw;
    if (!accRaw.open(outputPath) || (voiceSource && !voiceRaw.open(outputPath))) {
        result.error = "cannot write " + outputPath;
        return result;
    }
    const float voiceLevel = voice ? static_cast<float>(options.voiceGain * LiveWaveOut::kVoiceLevel) : 1.0f;
    // A gain decided from the render: the voice below any clipping until
    // it is raised in the second pass.
    const bool gainLater = voice && options.balanceVoice;
    FirstSeconds first;
    Writer writer(pipe, groupParts, voiceSource, !voice && melody, voiceLevel, accRaw,
                  voiceSource ? &voiceRaw : nullptr, gainLater ? &first : nullptr, options.pluginKind);
    const double hostGain = host ? host->gain() : 1.0;
    if (gainLater) host->setGain(kUnclippedGain);

    // The synthesis is most of the work; the files' encoding the rest.
    const int filesToWrite = stems ? 3 : 1;
    constexpr double kSynthesisShare = 0.7;
    bool stopped = false;
    double shown = 0.0;
    auto report = [&](double done) {
        shown = std::max(shown, std::clamp(done, 0.0, 1.0));
        if (options.progress && !options.progress(shown)) stopped = true;
        return !stopped;
    };
    const double expected = std::max(1.0, songSeconds(song) * kRenderRate);
    auto synthesised = [&](std::int64_t total) {
        return kSynthesisShare * std::min(1.0, static_cast<double>(pipe.written.load()) /
                                                   static_cast<double>(total > 0 ? total : expected));
    };

    // Every part runs on the thread it is given; by default each has its own.
    std::vector<Part*> parts;
    if (voiceSource) parts.push_back(voiceSource);
    for (SynthPart* g : groupParts)
        parts.push_back(g);
    parts.push_back(&writer);
    const int threads = std::clamp(options.threads > 0 ? options.threads : static_cast<int>(parts.size()), 1,
                                   static_cast<int>(parts.size()));
    auto work = [&](int t) {
        std::vector<Part*> mine;
        for (std::size_t i = static_cast<std::size_t>(t); i < parts.size();
             i += static_cast<std::size_t>(threads))
            mine.push_back(parts[i]);
        while (!pipe.cancel.load()) {
            if (std::all_of(mine.begin(), mine.end(), [](const Part* p) { return p->finished(); })) return;
            const std::uint64_t seen = pipe.progress.load();
            bool moved = false;
            for (Part* p : mine)
                moved = p->step() || moved;
            if (!moved) pipe.progress.wait(seen);
        }
    };
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(work, t);

    // The player, on this thread: the play road with the sample clock.
    OfflineClock clock(pipe, host, voice.get(), [&] { return report(synthesised(0)); });
    if (host) host->setEventClock([&clock] { return clock.now(); });
    // The balance hears from the voice's first message on.
    const PlayerEventCallback noted = [&](int index, long long tick, MusicEvent& event) {
        if (gainLater && first.voiceFrom.load() < 0 && onChannel(event, voiceChannel))
            first.voiceFrom.store(clock.now());
        if (onEvent) onEvent(index, tick, event);
    };
    MidiPlayer player;
    const bool played = player.playWith(&song, std::make_unique<FileSink>(clock.now(), routes), noted, clock);
    if (host) host->setEventClock({});
    const std::int64_t frames =
        clock.now() + static_cast<std::int64_t>(std::llround(options.tailSeconds * kRenderRate));
    if (played) {
        pipe.total.store(frames);
        pipe.bound.store(frames);
        pipe.bump();
        while (!pipe.cancel.load() && pipe.written.load() < frames) {
            if (!report(synthesised(frames))) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (!played || stopped) {
        pipe.cancel.store(true);
        pipe.bump();
    }
    for (std::thread& w : workers)
        w.join();
    if (pipe.cancel.load()) {
        for (const SynthPart* synth : routes.all)
            if (!synth->error.empty()) {
                result.error = synth->error;
                return result;
            }
        result.error = writer.failed       ? "cannot write " + outputPath
                       : stopped || played ? "rendering stopped"
                                           : "the song has nothing to play";
        return result;
    }

    float raise = 1.0f;
    if (gainLater) {
        host->setGain(hostGain);
        result.voiceGain = writer.decided ? writer.decided->gain : first.voiceGain(options.pluginKind);
        raise = static_cast<float>(result.voiceGain / kUnclippedGain);
    } else if (voice) {
        result.voiceGain = hostGain;
    }
    RawParts kept(accRaw, voiceSource ? &voiceRaw : nullptr, VoiceLevel{raise, gainLater, voiceLevel});
    double peak = writer.peak, voicePeak = writer.voicePeak;
    if (gainLater) {
        // The mix's loudest sample with the voice at its gain, before any
        // file is written: the writer followed it after its decision.
        peak = voicePeak = 0.0;
        std::int64_t sweepTo = frames;
        if (writer.decided) {
            peak = writer.decided->peak;
            voicePeak = writer.decided->voicePeak;
            kept.clipped = writer.decided->clipped;
            sweepTo = std::min(frames, writer.decided->from);
        }
        if (!kept.rewind()) {
            result.error = "cannot write " + outputPath;
            return result;
        }
        for (std::int64_t at = 0; at < sweepTo; at += kChunk) {
            const int n = static_cast<int>(std::min<std::int64_t>(kChunk, sweepTo - at));
            if (!kept.next(n)) {
                result.error = "cannot write " + outputPath;
                return result;
            }
            for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
                const float v = kept.voice[i];
                voicePeak = std::max(voicePeak, double(std::fabs(v)));
                peak = std::max({peak, double(std::fabs(kept.acc[2 * i] + v)),
                                 double(std::fabs(kept.acc[2 * i + 1] + v))});
            }
        }
    }
    result.pluginClipped = (voice && voice->clipped.load()) || kept.clipped;
    const double loudest = std::max({peak, voicePeak, writer.accPeak});
    const float scale = loudest > kCeiling ? static_cast<float>(kCeiling / loudest) : 1.0f;
    result.scaled = scale;
    result.peak = peak * scale;
    result.voicePeak = voicePeak;

    // The second pass: the parts at their level into the files.
    enum class Output { Mix, Voice, Accompaniment };
    auto fill = [&kept, scale](Output what) {
        return [&kept, scale, what](std::int64_t, int n, float* out) {
            if (!kept.next(n)) return false;
            for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
                const float v = what == Output::Accompaniment ? 0.0f : kept.voice[i];
                const float l = what == Output::Voice ? 0.0f : kept.acc[2 * i];
                const float r = what == Output::Voice ? 0.0f : kept.acc[2 * i + 1];
                out[2 * i] = (l + v) * scale;
                out[2 * i + 1] = (r + v) * scale;
            }
            return true;
        };
    };
    int filesWritten = 0;
    auto written = [&](std::int64_t done) {
        const double share =
            (static_cast<double>(filesWritten) + static_cast<double>(done) / frames) / filesToWrite;
        return report(kSynthesisShare + (1.0 - kSynthesisShare) * share);
    };
    auto write = [&](const std::string& path, Output what) {
        if (!kept.rewind()) {
            result.error = "cannot write " + path;
            return false;
        }
        const bool ok = writeAudio(path, *type, frames, fill(what), written, result.error);
        ++filesWritten;
        return ok;
    };
    if (stems) {
        std::error_code ec;
        std::filesystem::create_directories(options.stemsFolder, ec);
        const std::filesystem::path folder(options.stemsFolder);
        const std::string extension = audioExtension(*type);
        if (!write((folder / ("voice" + extension)).string(), Output::Voice) ||
            !write((folder / ("accompaniment" + extension)).string(), Output::Accompaniment))
            return result;
    }
    if (!write(outputPath, Output::Mix)) return result;
    result.seconds = static_cast<double>(frames) / kRenderRate;
    result.ok = true;
    return result;
}

RenderResult renderMidiToFile(const std::string& midiPath, const std::string& outputPath,
                              const RenderOptions& options) {
    RenderResult result;
    if (!audioFileTypeOf(outputPath)) {
        result.error = unknownAudioTypeMessage(outputPath);
        return result;
    }
    MidiF0Data song(kRenderedSongCapacity);
    if (!song.load(midiPath) || (song.state() != TrackState::NoteOnOff && !song.split()) ||
        song.division() <= 0) {
        result.error = midiPath + " is not a readable MIDI file";
        return result;
    }
    std::unique_ptr<CVstHostMain> host;
    if (!options.pluginPath.empty()) {
        host = openOfflineHost(options.pluginPath, options.pluginKind, options.voiceChannel, result.error);
        if (!host) return result;
        host->setGain(voiceGainOf(options.pluginKind));
    }
    CVstHostMain* voice = host.get();
    return renderSong(
        song, voice,
        [voice](int, long long, MusicEvent& event) {
            if (voice) (void)voice->routeVoiceEvent(event); // a taken event has its status cleared
        },
        outputPath, options);
}

std::optional<double> accompanimentPower(const MidiF0Data& song, int voiceChannel) {
    const std::string soundFont = defaultSoundFont();
    if (soundFont.empty() || song.division() <= 0) return std::nullopt;
    constexpr int kRate = 8000;
    constexpr std::int64_t kFrame = kRate / 10;
    GmSynth synth;
    std::string error;
    if (!synth.open(soundFont, error, kRate, true)) return std::nullopt;
    std::vector<float> left(kFrame), right(kFrame);
    std::vector<double> power;
    std::int64_t cursor = 0;
    auto runTo = [&](std::int64_t until) {
        while (cursor < until) {
            // Whole frames only: an event waits for the frame it falls in.
            synth.write(left.data(), right.data(), static_cast<int>(kFrame));
            double sum = 0.0;
            for (std::size_t i = 0; i < left.size(); ++i)
                sum += 0.5 * (double(left[i]) * left[i] + double(right[i]) * right[i]);
            power.push_back(sum / kFrame);
            cursor += kFrame;
        }
    };
    // The first seconds after the voice's first message are enough: a style
    // keeps its instruments through the song.
    walkListenedEvents(song, voiceChannel, [&](double seconds, const MusicEvent& e, bool voice) {
        if (voice || !e.isChannelEvent() || e.channel == kNoChannel) return;
        const int channel = e.channel & 0x0F;
        runTo(static_cast<std::int64_t>(seconds * kRate) / kFrame * kFrame);
        SinkMessage m;
        m.status = static_cast<std::uint8_t>((e.kind & 0xF0) | channel);
        switch (e.kind) {
        case kNoteOn:
        case kNoteOff:
            m.data1 = static_cast<std::uint8_t>(e.note & 0x7F);
            m.data2 = static_cast<std::uint8_t>(e.kind == kNoteOn ? std::clamp(e.velocity, 0, 127) : 0);
            break;
        case kControlChange:
            m.data1 = static_cast<std::uint8_t>(e.type & 0x7F);
            m.data2 = static_cast<std::uint8_t>(std::clamp(e.value, 0, 127));
            break;
        case kPitchBend:
            m.data1 = static_cast<std::uint8_t>(e.note & 0x7F);
            m.data2 = static_cast<std::uint8_t>(e.value & 0x7F);
            break;
        default:
            m.data1 = static_cast<std::uint8_t>(e.value & 0x7F);
            break;
        }
        synth.apply(m);
    });
    runTo(cursor + kRate); // the last notes' release
    return soundingPower(power);
}

std::optional<VoiceLoudness> voiceLoudness(const std::string& pluginPath, PluginKind kind,
                                           const MidiF0Data& song, int voiceChannel) {
    if (song.division() <= 0) return std::nullopt;
    std::string error;
    auto host = openOfflineHost(pluginPath, kind, voiceChannel, error);
    if (!host) return std::nullopt;
    constexpr std::int64_t kFrame = kRenderRate / 10;
    std::vector<float> block(kFrame);
    std::vector<double> power;
    double peak = 0.0;
    std::int64_t cursor = 0;
    auto runTo = [&](std::int64_t until) {
        for (; cursor + kFrame <= until; cursor += kFrame) {
            (void)host->renderBlock(block.data(), static_cast<int>(kFrame), cursor); // always the whole block
            double sum = 0.0;
            for (float v : block) {
                sum += double(v) * v;
                peak = std::max(peak, double(std::fabs(v)));
            }
            power.push_back(sum / kFrame);
        }
    };
    // Its unclipped level: the host's clipping would hide how loud it is.
    host->setGain(kUnclippedGain);
    walkListenedEvents(song, voiceChannel, [&](double seconds, const MusicEvent& stored, bool voice) {
        if (!voice) return;
        const auto sample = static_cast<std::int64_t>(seconds * kRenderRate);
        // The host's queue is bounded: what is due before this event is rendered first.
        runTo(sample / kFrame * kFrame);
        MusicEvent e = stored;
        (void)host->routeVoiceEventAt(sample, e); // events the plug-in does not take are not for it
    });
    runTo(cursor + kRenderRate);
    return loudnessAtUnitGain(power, peak);
}

double balancedVoiceGain(PluginKind kind, const std::optional<VoiceLoudness>& voice,
                         std::optional<double> accompaniment) {
    // Styles differ in how loud their accompaniment plays: the voice sits
    // this far over it, as the mean squares where each sounds.
    constexpr double kVoiceOverAccompanimentDb = 3.0;
    if (!voice || !accompaniment || voice->power <= 0.0 || *accompaniment <= 0.0) return voiceGainOf(kind);
    // An instrument is never raised over its own gain; a singer only as far
    // as its loudest moment stays below full scale.
    const double most =
        kind == PluginKind::Instrument ? voiceGainOf(kind) : std::numeric_limits<double>::max();
    const double wanted = std::pow(10.0, kVoiceOverAccompanimentDb / 10.0);
    const double gain = std::sqrt(wanted * *accompaniment / voice->power);
    return std::min({gain, most, kCeiling / voice->peak});
}

double voiceGainFor(const MidiF0Data& song, const std::string& pluginPath, PluginKind kind,
                    int voiceChannel) {
    std::optional<VoiceLoudness> voice;
    std::thread listener;
    try {
        listener = std::thread([&] { voice = voiceLoudness(pluginPath, kind, song, voiceChannel); });
    } catch (const std::system_error&) {
        voice = voiceLoudness(pluginPath, kind, song, voiceChannel);
    }
    const std::optional<double> accompaniment = accompanimentPower(song, voiceChannel);
    if (listener.joinable()) listener.join();
    return balancedVoiceGain(kind, voice, accompaniment);
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
    auto host = openOfflineHost(pluginPath, kind, voiceChannel, error);
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
    return timeFirstSound(*host, kNoteAt, kRenderRate, error);
}

std::optional<int> timeFirstSound(CVstHostMain& host, std::int64_t noteAt, std::int64_t listenFrames,
                                  std::string& error) {
    constexpr float kThreshold = 0.001f; // -60 dB: any sound at all, as Auto Adjust hears it
    std::vector<float> block(kBlock);
    for (std::int64_t pos = 0; pos < noteAt + listenFrames; pos += kBlock) {
        (void)host.renderBlock(block.data(), kBlock, pos); // valid arguments: every frame is rendered
        for (int i = 0; i < kBlock; ++i) {
            if (std::fabs(block[static_cast<std::size_t>(i)]) < kThreshold) continue;
            const std::int64_t at = std::max<std::int64_t>(pos + i - noteAt, 0);
            return static_cast<int>((at * 1000 + kRenderRate / 2) / kRenderRate);
        }
    }
    error = "the plug-in did not sing the test note";
    return std::nullopt;
}

} // namespace harmolin
