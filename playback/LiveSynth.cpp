#include "playback/LiveSynth.h"

#include "playback/LiveAudio.h"
#include "playback/OfflineRenderer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace harmolin {

namespace {

// Largest span rendered in one synthesizer call.
constexpr int kScratch = 4096;

} // namespace

LiveSynthPort::LiveSynthPort(int leadFrames)
    : lead_(std::max(leadFrames, 0)), ring_(1024), scratchLeft_(kScratch), scratchRight_(kScratch) {}

LiveSynthPort::~LiveSynthPort() {
    // The source goes first: after removeSource the audio thread no longer
    // touches the synthesizer.
    if (sourceId_) LiveAudio::instance().removeSource(sourceId_);
    if (acquired_) LiveAudio::instance().release();
    if (synth_) delete_fluid_synth(synth_);
    if (settings_) delete_fluid_settings(settings_);
}

bool LiveSynthPort::open(const std::string& soundFont, std::string& error) {
    if (acquired_) return true;
    if (!LiveAudio::instance().acquire(error)) return false;
    acquired_ = true;

    // The same sound as the offline renderer: its rate, gain and effects.
    startFluidSynth();
    settings_ = new_fluid_settings();
    if (!settings_) {
        error = "the synthesizer could not be started";
        return false;
    }
    fluid_settings_setnum(settings_, "synth.sample-rate", LiveAudio::kRate);
    // Only the audio thread plays it; senders go through the queue.
    fluid_settings_setint(settings_, "synth.threadsafe-api", 0);
    fluid_settings_setint(settings_, "synth.cpu-cores", 1);
    fluid_settings_setnum(settings_, "synth.gain", 0.6);
    // Only the samples of the instruments a song uses are read: a tenth of
    // the GM SoundFont's memory, and the same sound.
    fluid_settings_setint(settings_, "synth.dynamic-sample-loading", 1);
    std::lock_guard cache(soundFontCacheMutex());
    synth_ = new_fluid_synth(settings_);
    if (!synth_) {
        error = "the synthesizer could not be started";
        return false;
    }
    if (fluid_synth_sfload(synth_, soundFont.c_str(), 1) == FLUID_FAILED) {
        error = "the SoundFont " + soundFont + " could not be loaded";
        return false;
    }
    soundFont_ = soundFont;
    sourceId_ =
        LiveAudio::instance().addSource([this](float* left, float* right, int frames, std::int64_t start) {
            play(left, right, frames, start);
        });
    return true;
}

std::string LiveSynthPort::name() const {
    return "FluidSynth (" + std::filesystem::path(soundFont_).filename().string() + ")";
}

void LiveSynthPort::push(Kind kind, const std::uint8_t* bytes, int length) {
    std::lock_guard lock(mutex_);
    if (count_ == ring_.size()) {
        // Full: grow in sending order rather than drop.
        std::vector<Event> bigger(ring_.size() * 2);
        for (std::size_t k = 0; k < count_; ++k)
            bigger[k] = ring_[(head_ + k) % ring_.size()];
        ring_.swap(bigger);
        head_ = 0;
    }
    Event& e = ring_[(head_ + count_) % ring_.size()];
    // Stamped under the lock, so the stamps never go backwards in the queue.
    e.at = LiveAudio::instance().position() + lead_;
    e.kind = kind;
    e.length = static_cast<std::uint16_t>(length);
    if (length > 0) std::memcpy(e.bytes.data(), bytes, static_cast<std::size_t>(length));
    ++count_;
}

void LiveSynthPort::shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const std::uint8_t bytes[3] = {status, data1, data2};
    push(Kind::Short, bytes, 3);
}

bool LiveSynthPort::longMessage(const std::uint8_t* bytes, int length) {
    // The synthesizer takes system-exclusive messages only; an escape's raw
    // bytes mean nothing to it.
    if (!bytes || length < 2 || length > kMaxLongMessage || bytes[0] != 0xF0) return false;
    push(Kind::Long, bytes, length);
    return true;
}

bool LiveSynthPort::reset() {
    // In order with what was sent before it: a note queued ahead of the
    // reset must not start after it and hang.
    push(Kind::Reset, nullptr, 0);
    return true;
}

void LiveSynthPort::setEventListener(EventListener listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

void LiveSynthPort::render(float* left, float* right, int from, int to) {
    while (from < to) {
        const int n = std::min(to - from, kScratch);
        fluid_synth_write_float(synth_, n, scratchLeft_.data(), 0, 1, scratchRight_.data(), 0, 1);
        for (int i = 0; i < n; ++i) {
            left[from + i] += scratchLeft_[static_cast<std::size_t>(i)];
            right[from + i] += scratchRight_[static_cast<std::size_t>(i)];
        }
        from += n;
    }
}

void LiveSynthPort::play(float* left, float* right, int frames, std::int64_t start) {
    int cursor = 0;
    Event event;
    while (true) {
        {
            std::lock_guard lock(mutex_);
            if (count_ == 0) break;
            const Event& front = ring_[head_];
            if (front.at >= start + frames) break;
            event = front;
            head_ = (head_ + 1) % ring_.size();
            --count_;
            // A late event (sent with less lead than one step) sounds at once.
            const std::int64_t offset = std::clamp<std::int64_t>(event.at - start, cursor, frames - 1);
            event.at = start + offset;
            if (listener_) listener_(event.at, event.bytes.data(), event.length);
        }
        const int offset = static_cast<int>(event.at - start);
        render(left, right, cursor, offset);
        cursor = offset;
        apply(event);
    }
    render(left, right, cursor, frames);
}

void LiveSynthPort::apply(const Event& e) {
    fluid_synth_t* s = synth_;
    switch (e.kind) {
    case Kind::Reset:
        for (int ch = 0; ch < 16; ++ch) {
            fluid_synth_all_notes_off(s, ch);
            fluid_synth_all_sounds_off(s, ch);
            fluid_synth_cc(s, ch, 121, 0); // reset all controllers
        }
        return;
    case Kind::Long: {
        // The synthesizer wants the message without its F0 and F7.
        int begin = 1;
        int end = e.length;
        if (end > begin && e.bytes[static_cast<std::size_t>(end - 1)] == 0xF7) --end;
        if (end > begin)
            fluid_synth_sysex(s, reinterpret_cast<const char*>(e.bytes.data() + begin), end - begin, nullptr,
                              nullptr, nullptr, 0);
        return;
    }
    case Kind::Short:
        break;
    }
    const int status = e.bytes[0];
    const int ch = status & 0x0F;
    const int d1 = e.bytes[1] & 0x7F;
    const int d2 = e.bytes[2] & 0x7F;
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(s, ch, d1);
        break;
    case 0x90:
        if (d2 == 0)
            fluid_synth_noteoff(s, ch, d1);
        else
            fluid_synth_noteon(s, ch, d1, d2);
        break;
    case 0xA0:
        fluid_synth_key_pressure(s, ch, d1, d2);
        break;
    case 0xB0:
        fluid_synth_cc(s, ch, d1, d2);
        break;
    case 0xC0:
        fluid_synth_program_change(s, ch, d1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(s, ch, d1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(s, ch, (d2 << 7) | d1);
        break;
    default:
        break; // system messages: nothing for a synthesizer
    }
}

std::unique_ptr<MidiOutPort> openSynthPort(std::string& error, int leadFrames) {
    const std::string soundFont = defaultSoundFont();
    if (soundFont.empty()) {
        error = "no General MIDI SoundFont found (install fluid-soundfont-gm)";
        return nullptr;
    }
    auto port = std::make_unique<LiveSynthPort>(leadFrames);
    if (!port->open(soundFont, error)) return nullptr;
    return port;
}

} // namespace harmolin
