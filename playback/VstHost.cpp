#include "playback/VstHost.h"

#include "base/ErrorReport.h"
#include "midi/MusicEvent.h"
#include "playback/SpscRing.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace harmolin {

using namespace vst;

namespace {

constexpr int kSampleRate = 44100;
constexpr double kSilentDb = -1.7e308;
constexpr double kSingerGain = 1.9;

constexpr double kInstrumentGain = 0.5;
constexpr int kMaxChannelsPerPlugin = 64; // more is a broken record, not a plug-in
constexpr const char* kLoadFailed = "Failed to load VST plugin.";

struct QueuedEvent {
    std::int64_t time = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    bool program = false; // applied with effSetProgram, not sent as MIDI
};

// True when the symbol comes from the library itself, not from a library it
// pulled in: a "main" found elsewhere is some program's, not an entry point.
bool definedIn(void* library, void* symbol) {
    link_map* own = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &own) != 0 || !own) return false;
    Dl_info info{};
    link_map* where = nullptr;
    if (dladdr1(symbol, &info, reinterpret_cast<void**>(&where), RTLD_DL_LINKMAP) == 0 || !where)
        return false;
    return where == own;
}

std::uint8_t midiByte(int v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0, 127));
}

} // namespace

double voiceGainOf(PluginKind kind) {
    return kind == PluginKind::Instrument ? kInstrumentGain : kSingerGain;
}

struct Slot {
    void* library = nullptr;
    AEffect* effect = nullptr;
    int numPrograms = 0;
    int numParams = 0;
    int numInputs = 0;
    int numOutputs = 0;
    bool canReplacing = false;
    std::vector<float> inputData;
    std::vector<float> outputData;
    std::vector<float*> inputs;
    std::vector<float*> outputs;
    std::unique_ptr<VstEventList<CVstHostMain::kEventsPerPlugin>> list;
    std::unique_ptr<std::array<VstMidiEvent, CVstHostMain::kEventsPerPlugin>> records;
};

struct CVstHostMain::Impl : std::enable_shared_from_this<Impl> {
    VstHostConfig config;
    int lead = 0;
    int blockLimit = 0;
    std::unique_ptr<WaveOutDevice> device;

    // Slots and everything the render step touches are guarded by slotMutex,
    // which the render step holds; producers never take it.
    mutable std::mutex slotMutex;
    std::array<std::unique_ptr<Slot>, kSlots> slots;
    std::atomic<int> loaded{0};
    std::string lastError;
    std::vector<float> mix;
    std::vector<std::int16_t> pcm;
    std::vector<std::int16_t> silence; // one ring of zeros, made once
    std::function<void(double)> levelListener;

    // Event ring: producers serialise on producerMutex, the render thread
    // consumes lock-free. Holds 1024 events per loaded plug-in.
    std::mutex producerMutex;
    SpscRing<QueuedEvent, kSlots * kEventsPerPlugin> ring{0};
    std::atomic<bool> fullSaid{false};
    std::function<std::int64_t()> eventClock; // guarded by producerMutex

    std::atomic<std::int64_t> renderedUpTo{0};
    std::atomic<double> gain{1.0};
    std::atomic<double> peak{0.0};
    std::atomic<bool> clip{false};
    std::atomic<bool> running{false};

    std::atomic<int> voiceChannel{0};
    std::atomic<PluginKind> voiceKind{PluginKind::VocaloidStream};

    std::thread thread;
    std::mutex threadMutex;
    std::condition_variable threadCv;
    bool stopRequested = false;
    bool threadDone = false;
    std::atomic<bool> stuck{false};

    explicit Impl(std::unique_ptr<WaveOutBackend> backend, const VstHostConfig& c) : config(c) {
        const int periods = config.leadMs + config.periodMs;
        lead = static_cast<int>(static_cast<std::int64_t>(periods) * kSampleRate / 1000);
        blockLimit = config.periodMs * kSampleRate * 2 / 1000;
        mix.assign(static_cast<std::size_t>(blockLimit), 0.0f);
        pcm.assign(static_cast<std::size_t>(blockLimit), 0);
        silence.assign(static_cast<std::size_t>(config.bufferBytes / 2 * std::max(config.bufferCount, 1)), 0);
        device = std::make_unique<WaveOutDevice>(config.deviceNumber, WaveFormat{}, config.bufferBytes,
                                                 config.bufferCount, std::move(backend));
    }

    ~Impl() {
        // Reached last by a render thread that was left behind in a plug-in:
        // now that it returned, the plug-ins can go.
        for (int s = 0; s < kSlots; ++s)
            releaseSlot(takeSlot(s));
    }

    // ---- slots ----

    std::unique_ptr<Slot> takeSlot(int s) {
        std::lock_guard lock(slotMutex);
        std::lock_guard plock(producerMutex);
        std::unique_ptr<Slot> slot = std::move(slots[static_cast<std::size_t>(s)]);
        if (slot) {
            loaded.fetch_sub(1);
            ring.setLimit(static_cast<std::size_t>(kEventsPerPlugin * loaded.load()));
        }
        return slot;
    }

    static void releaseSlot(std::unique_ptr<Slot> slot) {
        if (!slot) return;
        slot->effect->dispatcher(slot->effect, effClose, 0, 0, nullptr, 0.0f);
        dlclose(slot->library);
    }

    bool fail(const std::string& why, void* library, AEffect* opened) {
        if (opened) opened->dispatcher(opened, effClose, 0, 0, nullptr, 0.0f);
        if (library) dlclose(library);
        {
            std::lock_guard lock(slotMutex);
            lastError = why;
        }
        reportMessage(std::string(kLoadFailed) + " (" + why + ")");
        return false;
    }

    bool load(int s, const std::string& path) {
        if (s < 0 || s >= kSlots) {
            reportMessage("MIDIチャンネルの指定が正しくありません。");
            return false;
        }
        releaseSlot(takeSlot(s));

        // An empty name would open the program itself.
        if (path.empty()) return fail("no plug-in file given", nullptr, nullptr);
        dlerror();
        // A bare file name is the file in the current folder, not a search of
        // the system's library path.
        const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
        void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* why = dlerror();
            return fail(why ? why : "cannot open " + path, nullptr, nullptr);
        }
        void* symbol = dlsym(library, "VSTPluginMain");
        if (!symbol) symbol = dlsym(library, "main");
        if (!symbol || !definedIn(library, symbol))
            return fail(path + ": no VSTPluginMain or main", library, nullptr);
        auto entry = reinterpret_cast<EntryProc>(symbol);
        AEffect* effect = entry(&CVstHostMain::hostCallback);
        if (!effect) return fail(path + ": the entry point gave no effect", library, nullptr);
        if (effect->magic != kMagic) return fail(path + ": not a VST 2 effect (bad magic)", library, nullptr);
        if (!effect->dispatcher) return fail(path + ": effect without dispatcher", library, nullptr);

        effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kSampleRate));
        effect->dispatcher(effect, effSetBlockSize, 0, blockLimit, nullptr, 0.0f);

        auto slot = std::make_unique<Slot>();
        slot->library = library;
        slot->effect = effect;
        slot->numPrograms = effect->numPrograms;
        slot->numParams = effect->numParams;
        slot->numInputs = effect->numInputs;
        slot->numOutputs = effect->numOutputs;
        if (slot->numInputs < 0 || slot->numInputs > kMaxChannelsPerPlugin || slot->numOutputs < 0 ||
            slot->numOutputs > kMaxChannelsPerPlugin)
            return fail(path + ": implausible number of inputs or outputs", library, effect);
        slot->canReplacing = (effect->flags & kFlagCanReplacing) != 0 && effect->processReplacing;
        const auto block = static_cast<std::size_t>(blockLimit);
        slot->inputData.assign(block * static_cast<std::size_t>(slot->numInputs), 0.0f);
        slot->outputData.assign(block * static_cast<std::size_t>(slot->numOutputs), 0.0f);
        for (int i = 0; i < slot->numInputs; ++i)
            slot->inputs.push_back(slot->inputData.data() + block * i);
        for (int i = 0; i < slot->numOutputs; ++i)
            slot->outputs.push_back(slot->outputData.data() + block * i);
        // Never hand a plug-in a null channel array, even with no channels.
        slot->inputs.push_back(nullptr);
        slot->outputs.push_back(nullptr);
        slot->list = std::make_unique<VstEventList<kEventsPerPlugin>>();
        slot->records = std::make_unique<std::array<VstMidiEvent, kEventsPerPlugin>>();

        std::lock_guard lock(slotMutex);
        std::lock_guard plock(producerMutex);
        slots[static_cast<std::size_t>(s)] = std::move(slot);
        loaded.fetch_add(1);
        ring.setLimit(static_cast<std::size_t>(kEventsPerPlugin * loaded.load()));
        // The queue is sized anew for the plug-ins: what was queued is dropped.
        ring.discard();
        lastError.clear();
        return true;
    }

    template <typename F> int withSlot(int s, F&& f) {
        if (s < 0 || s >= kSlots) return 0;
        std::lock_guard lock(slotMutex);
        const Slot* slot = slots[static_cast<std::size_t>(s)].get();
        return slot ? f(*slot) : 0;
    }

    template <typename F> void withEffect(int s, F&& f) {
        if (s < 0 || s >= kSlots) return;
        std::lock_guard lock(slotMutex);
        if (Slot* slot = slots[static_cast<std::size_t>(s)].get()) f(slot->effect);
    }

    // ---- events ----

    // With stampNow the time is read under the lock, so events of several
    // senders enter the queue in time order.
    bool push(QueuedEvent ev, bool stampNow = false) {
        bool full = false;
        {
            std::lock_guard lock(producerMutex);
            if (stampNow) ev.time = eventClock ? eventClock() : now();
            if (ring.limit() == 0) return false; // nothing loaded: dropped without a word
            full = !ring.push(ev);
        }
        // Said when the queue fills, not for every event dropped while it
        // stays full (a box per event would bury the window).
        if (full && !fullSaid.exchange(true)) reportMessage("CVstHostMain Error");
        if (!full) fullSaid.store(false);
        return !full;
    }

    std::int64_t now() const { return device->position() + lead; }

    // ---- rendering (slotMutex held) ----

    // Delivers the events due before start + maxFrames, lets every plug-in
    // process, and leaves the unscaled mono mix in `mix`. A program change
    // that falls inside the block ends the block there, so it takes effect
    // between the notes it separates. Returns the frames rendered (>= 1).
    int renderCore(std::int64_t start, int maxFrames) {
        int frames = maxFrames;
        QueuedEvent ev;
        while (ring.peek(ev)) {
            const std::int64_t rel = ev.time - start;
            if (rel >= frames) break;
            Slot* slot = slots[ev.status & 0x0F].get();
            if (ev.program) {
                if (rel > 0) {
                    frames = static_cast<int>(rel);
                    break;
                }
                if (slot) slot->effect->dispatcher(slot->effect, effSetProgram, 0, ev.data1, nullptr, 0.0f);
                ring.pop();
                continue;
            }
            if (slot) {
                auto& list = *slot->list;
                if (list.numEvents >= kEventsPerPlugin) break; // the rest go with the next block
                VstMidiEvent& rec = (*slot->records)[static_cast<std::size_t>(list.numEvents)];
                rec = VstMidiEvent{};
                rec.type = kEventTypeMidi;
                rec.byteSize = sizeof(VstMidiEvent);
                rec.deltaFrames = static_cast<std::int32_t>(std::max<std::int64_t>(rel, 0));
                rec.midiData[0] = ev.status;
                rec.midiData[1] = ev.data1;
                rec.midiData[2] = ev.data2;
                list.events[list.numEvents++] = reinterpret_cast<VstEvent*>(&rec);
            }
            ring.pop();
        }

        for (auto& slot : slots) {
            if (!slot) continue;
            AEffect* e = slot->effect;
            if (slot->list->numEvents > 0) {
                e->dispatcher(e, effProcessEvents, 0, 0, slot->list->asEvents(), 0.0f);
                slot->list->numEvents = 0;
            }
            if (slot->canReplacing) e->processReplacing(e, slot->inputs.data(), slot->outputs.data(), frames);
        }

        // Plug-in by plug-in, each added in slot order: the same sums as
        // sample by sample, without visiting every empty slot per sample.
        std::fill(mix.begin(), mix.begin() + frames, 0.0f);
        for (auto& slot : slots) {
            if (!slot || slot->numOutputs == 0) continue;
            const auto outputs = static_cast<float>(slot->numOutputs);
            for (int i = 0; i < frames; ++i) {
                float each = 0.0f;
                for (int o = 0; o < slot->numOutputs; ++o)
                    each += slot->outputs[static_cast<std::size_t>(o)][i];
                mix[static_cast<std::size_t>(i)] += each / outputs;
            }
        }
        return frames;
    }

    // Gain, peak and clipping over mix[0, frames); writes the result to out.
    // A non-finite sample from a plug-in becomes silence and counts as a clip.
    void finish(int frames, float* outFloat, std::int16_t* outPcm, double& blockPeak, bool& blockClip) const {
        const double g = gain.load();
        for (int i = 0; i < frames; ++i) {
            double v = static_cast<double>(mix[static_cast<std::size_t>(i)]) * g;
            if (!std::isfinite(v)) {
                v = 0.0;
                blockClip = true;
            }
            blockPeak = std::max(blockPeak, std::fabs(v));
            if (v > 1.0 || v < -1.0) {
                v = std::clamp(v, -1.0, 1.0);
                blockClip = true;
            }
            if (outFloat) outFloat[i] = static_cast<float>(v);
            if (outPcm) outPcm[i] = static_cast<std::int16_t>(v * 32767.0);
        }
    }

    void publishLevel(double blockPeak, bool blockClip) {
        peak.store(blockPeak);
        clip.store(blockClip);
        if (levelListener) levelListener(blockPeak > 0.0 ? 20.0 * std::log10(blockPeak) : kSilentDb);
    }

    int renderStep() {
        std::lock_guard lock(slotMutex);
        if (!device->isOpen()) return 0;
        const std::int64_t position = device->position();
        const std::int64_t target = position + lead;
        // Behind the play head (a stalled step): what is played is lost, go on
        // from the play head instead of writing into the past.
        const std::int64_t from = std::max(renderedUpTo.load(), position);
        const int ringSamples = device->pool().totalSamples();
        RingPosition a(device->pool().samplesPerBuffer(), device->pool().bufferCount());
        RingPosition b(device->pool().samplesPerBuffer(), device->pool().bufferCount());
        a.set(from);
        b.set(target);
        int n = std::min(a.distanceTo(b), blockLimit);
        if (target - from < n || target - from >= ringSamples)
            n = static_cast<int>(std::min<std::int64_t>(target - from, blockLimit));
        if (n <= 0) return 0;

        n = renderCore(from, n);
        double blockPeak = 0.0;
        bool blockClip = false;
        finish(n, nullptr, pcm.data(), blockPeak, blockClip);
        device->writeSamples(a.buffer(), a.offset(), pcm.data(), n);
        // Advance by what was written, so a late step is caught up by the
        // next ones instead of leaving stale samples in the ring.
        renderedUpTo.store(from + n);
        // Everything past what is rendered holds the previous lap: silence
        // it, so a step that comes late lets the device play silence rather
        // than voice from one ring ago.
        const std::int64_t stale = position + ringSamples - (from + n);
        if (stale > 0) {
            RingPosition z(device->pool().samplesPerBuffer(), device->pool().bufferCount());
            z.set(from + n);
            device->writeSamples(z.buffer(), z.offset(), silence.data(),
                                 static_cast<int>(std::min<std::int64_t>(stale, ringSamples)));
        }
        publishLevel(blockPeak, blockClip);
        return n;
    }

    int renderBlock(float* out, int frames, std::int64_t sampleTime) {
        if (!out || frames <= 0) return 0;
        std::lock_guard lock(slotMutex);
        double blockPeak = 0.0;
        bool blockClip = false;
        int done = 0;
        while (done < frames) {
            const int n = renderCore(sampleTime + done, std::min(frames - done, blockLimit));
            finish(n, out + done, nullptr, blockPeak, blockClip);
            done += n;
        }
        renderedUpTo.store(sampleTime + frames);
        publishLevel(blockPeak, blockClip);
        return frames;
    }

    // ---- render thread ----

    void threadMain() {
        sched_param param{};
        param.sched_priority = sched_get_priority_max(SCHED_FIFO);
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param); // needs privileges; fine without

        const auto period = std::chrono::milliseconds(config.periodMs);
        auto next = std::chrono::steady_clock::now();
        std::unique_lock lock(threadMutex);
        while (!stopRequested) {
            lock.unlock();
            renderStep();
            lock.lock();
            next += period;
            const auto now = std::chrono::steady_clock::now();
            if (next < now) next = now; // do not race to catch up after a stall
            threadCv.wait_until(lock, next, [this] { return stopRequested; });
        }
        threadDone = true;
        threadCv.notify_all();
    }

    void startThread() {
        {
            std::lock_guard lock(threadMutex);
            stopRequested = false;
            threadDone = false;
        }
        thread = std::thread([self = shared_from_this()] { self->threadMain(); });
    }

    // False when the thread did not finish within the timeout: it is then
    // left behind, holding the host state alive until it returns.
    bool stopThread() {
        if (!thread.joinable()) return true;
        std::unique_lock lock(threadMutex);
        stopRequested = true;
        threadCv.notify_all();
        const bool ended = threadCv.wait_for(lock, config.stopTimeout, [this] { return threadDone; });
        lock.unlock();
        if (ended) {
            thread.join();
            return true;
        }
        thread.detach();
        stuck.store(true);
        reportMessage("The VST plugin did not finish rendering in time; it is left loaded.");
        return false;
    }

    // ---- output ----

    bool startOutput() {
        if (running.load()) return true;
        if (stuck.load()) return false;
        if (!device->checkFormat()) return false;
        if (!device->open([this](int buffer) { onBufferDone(buffer); })) return false;
        if (!device->queueAll()) {
            device->reset();
            (void)device->close(); // best effort: the start has failed already
            return false;
        }
        device->restart();
        renderedUpTo.store(0);
        running.store(true);
        if (config.renderThread) startThread();
        return true;
    }

    void stopOutput() {
        running.store(false);
        stopThread();
        if (device->isOpen()) {
            device->reset();
            (void)device->close(); // best effort while stopping
        }
    }

    void onBufferDone(int buffer) {
        if (running.load())
            (void)device->requeue(buffer); // a refused buffer drops out; the device is stopping
    }

    void shutdown() {
        stopOutput();
        if (stuck.load())
            return; // the left-behind thread holds the slots; freeing them would pull code from under it
        for (int s = 0; s < kSlots; ++s)
            withEffect(s, [](AEffect* e) { e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f); });
        for (int s = 0; s < kSlots; ++s)
            releaseSlot(takeSlot(s));
    }
};

// ---- public face ----

CVstHostMain::CVstHostMain(std::unique_ptr<WaveOutBackend> backend, const VstHostConfig& config)
    : impl_(std::make_shared<Impl>(std::move(backend), config)) {}

CVstHostMain::~CVstHostMain() {
    impl_->shutdown();
}

bool CVstHostMain::loadSingingPlugin(const std::string& path, int value, int bank) {
    return loadSingingPlugin(path, pluginKindOf(path), value, bank);
}

bool CVstHostMain::loadSingingPlugin(const std::string& path, PluginKind kind, int value, int bank) {
    suspend(0);
    stopOutput();
    if (!loadPlugin(0, path)) return false;
    if (kind == PluginKind::SyllableProgram) {
        // Parameters a plug-in does not have are left alone: setting them
        // would index past its table.
        const int params = impl_->withSlot(0, [](const Slot& s) { return s.numParams; });
        if (value != 0 && params > 2) setParameter(0, 2, static_cast<float>(value));
        if (params > 3) setParameter(0, 3, 1.0f / 110000.0f);
        if (params > 4) setParameter(0, 4, 0.0001f);
        (void)queueMidi(0xB0, 0x00, 100); // a freshly loaded slot's queue has room
        (void)queueMidi(0xB0, 0x20, bank);
    }
    (void)productName(0); // asked once after loading, as hosts do; the name is not needed
    resume(0);
    setProgram(0, 0);
    (void)startOutput(); // a device failure is reported by the device; the plug-in stays loaded
    return true;
}

bool CVstHostMain::loadPlugin(int slot, const std::string& path) {
    return impl_->load(slot, path);
}
void CVstHostMain::unloadPlugin(int slot) {
    if (slot >= 0 && slot < kSlots) Impl::releaseSlot(impl_->takeSlot(slot));
}

bool CVstHostMain::isLoaded(int slot) const {
    return effect(slot) != nullptr;
}
int CVstHostMain::loadedCount() const {
    return impl_->loaded.load();
}

std::string CVstHostMain::lastLoadError() const {
    std::lock_guard lock(impl_->slotMutex);
    return impl_->lastError;
}

std::string CVstHostMain::loadFailure(const std::string& path) const {
    return "Failed to load VST plugin: " + path + " (" + lastLoadError() + ")";
}

vst::AEffect* CVstHostMain::effect(int slot) const {
    if (slot < 0 || slot >= kSlots) return nullptr;
    std::lock_guard lock(impl_->slotMutex);
    const auto& s = impl_->slots[static_cast<std::size_t>(slot)];
    return s ? s->effect : nullptr;
}

void CVstHostMain::setParameter(int slot, int index, float value) {
    impl_->withEffect(slot, [&](AEffect* e) {
        if (e->setParameter) e->setParameter(e, index, value);
    });
}

void CVstHostMain::setProgram(int slot, int program) {
    impl_->withEffect(slot, [&](AEffect* e) { e->dispatcher(e, effSetProgram, 0, program, nullptr, 0.0f); });
}

void CVstHostMain::resume(int slot) {
    impl_->withEffect(slot, [](AEffect* e) { e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f); });
}

void CVstHostMain::suspend(int slot) {
    impl_->withEffect(slot, [](AEffect* e) { e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f); });
}

std::string CVstHostMain::productName(int slot) {
    // Room well past the 64 bytes a plug-in may use, and a forced end, so an
    // over-long answer cannot run past the buffer.
    char text[256] = {};
    impl_->withEffect(slot, [&](AEffect* e) { e->dispatcher(e, effGetProductString, 0, 0, text, 0.0f); });
    text[sizeof text - 1] = '\0';
    return text;
}

namespace {
QueuedEvent midiEvent(std::int64_t time, int status, int data1, int data2) {
    QueuedEvent ev;
    ev.time = time;
    ev.status = static_cast<std::uint8_t>(status & 0xFF);
    ev.data1 = midiByte(data1);
    ev.data2 = midiByte(data2);
    return ev;
}
} // namespace

bool CVstHostMain::queueMidi(int status, int data1, int data2) {
    return impl_->push(midiEvent(0, status, data1, data2), true);
}

bool CVstHostMain::queueMidiAt(std::int64_t sampleTime, int status, int data1, int data2) {
    return impl_->push(midiEvent(sampleTime, status, data1, data2));
}

void CVstHostMain::setVoiceChannel(int channel, const std::string& pluginPath) {
    setVoiceChannel(channel, pluginKindOf(pluginPath));
}

void CVstHostMain::setVoiceChannel(int channel, PluginKind kind) {
    impl_->voiceChannel.store(channel);
    impl_->voiceKind.store(kind);
}

PluginKind CVstHostMain::voiceKind() const {
    return impl_->voiceKind.load();
}

bool CVstHostMain::routeVoiceEvent(MusicEvent& event) {
    return routeVoice(event, std::nullopt);
}

bool CVstHostMain::routeVoiceEventAt(std::int64_t sampleTime, MusicEvent& event) {
    return routeVoice(event, sampleTime);
}

bool CVstHostMain::routeVoice(MusicEvent& event, std::optional<std::int64_t> at) {
    const int channel = impl_->voiceChannel.load();
    if (event.channel != channel || channel < 0 || channel >= kSlots) return false;
    const PluginKind kind = impl_->voiceKind.load();
    // The control-stream singers take only the stream; the others also play
    // the notes.
    const bool notes = kind != PluginKind::VocaloidStream;
    auto queue = [&](QueuedEvent ev) {
        if (at) {
            ev.time = *at;
            impl_->push(ev);
        } else {
            impl_->push(ev, true);
        }
    };
    switch (event.kind) {
    case kNoteOn:
        if (notes) queue(midiEvent(0, 0x90 | channel, event.note, event.velocity));
        break;
    case kNoteOff:
        if (notes) queue(midiEvent(0, 0x80 | channel, event.note, 0));
        break;
    case kProgramChange:
        // Only a syllable-program singer reads a program as a syllable; an
        // instrument keeps its own sound.
        if (kind == PluginKind::SyllableProgram) {
            // In the event stream, so the syllable changes between the notes
            // on the render thread, not under a running render step.
            QueuedEvent ev = midiEvent(0, 0xC0 | channel, event.value, 0);
            ev.program = true;
            queue(ev);
        }
        break;
    case kControlChange: {
        const int value = (event.value >= 128 || event.value < 0) ? 0 : event.value;
        queue(midiEvent(0, 0xB0 | channel, event.type & 0x7F, value));
        break;
    }
    default:
        return false; // stays with the MIDI output
    }
    event.kind = kDeleted;
    return true;
}

void CVstHostMain::setEventClock(std::function<std::int64_t()> clock) {
    std::lock_guard lock(impl_->producerMutex);
    impl_->eventClock = std::move(clock);
}

int CVstHostMain::queuedEvents() const {
    return static_cast<int>(impl_->ring.size());
}

bool CVstHostMain::startOutput() {
    return impl_->startOutput();
}
void CVstHostMain::stopOutput() {
    impl_->stopOutput();
}
bool CVstHostMain::isRunning() const {
    return impl_->running.load();
}
void CVstHostMain::onBufferDone(int buffer) {
    impl_->onBufferDone(buffer);
}

void CVstHostMain::setGain(double gain) {
    impl_->gain.store(gain);
}
double CVstHostMain::gain() const {
    return impl_->gain.load();
}
double CVstHostMain::peak() const {
    return impl_->peak.load();
}
double CVstHostMain::peakDb() const {
    const double p = impl_->peak.load();
    return p > 0.0 ? 20.0 * std::log10(p) : kSilentDb;
}
bool CVstHostMain::clipped() const {
    return impl_->clip.load();
}

void CVstHostMain::setLevelListener(std::function<void(double)> listener) {
    std::lock_guard lock(impl_->slotMutex);
    impl_->levelListener = std::move(listener);
}

int CVstHostMain::renderStep() {
    return impl_->renderStep();
}
int CVstHostMain::renderBlock(float* out, int frames, std::int64_t sampleTime) {
    return impl_->renderBlock(out, frames, sampleTime);
}

void CVstHostMain::shutdown() {
    impl_->shutdown();
}

WaveOutDevice& CVstHostMain::device() {
    return *impl_->device;
}
std::int64_t CVstHostMain::renderedUpTo() const {
    return impl_->renderedUpTo.load();
}
int CVstHostMain::leadSamples() const {
    return impl_->lead;
}
int CVstHostMain::blockLimit() const {
    return impl_->blockLimit;
}

std::intptr_t CVstHostMain::hostCallback(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t,
                                         void* ptr, float) {
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterIdle:
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    case audioMasterCanDo: {
        if (!ptr) return 0;
        const char* what = static_cast<const char*>(ptr);
        for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "supplyIdle"})
            if (std::strcmp(what, yes) == 0) return 1;
        return 0;
    }
    case audioMasterGetLanguage:
        return 6; // Japanese
    // Answered truthfully rather than with 0, which a plug-in might divide by.
    case audioMasterGetSampleRate:
        return kSampleRate;
    case audioMasterGetBlockSize:
        return kSampleRate * 2 / 100;
    default:
        return 0; // no time information, no automation, no windows
    }
}

} // namespace harmolin
