#include "playback/RtMidiPort.h"

#include <rtmidi/RtMidi.h>

#include <mutex>

#include <unistd.h>

namespace harmolin {

namespace {

constexpr const char* kClientName = "Harmolin";
constexpr const char* kSequencerDevice = "/dev/snd/seq";

// RtMidi reports through exceptions until a callback is installed, and after
// that through the callback only; both end up as text here.
struct ErrorSink {
    std::mutex mutex;
    std::string last;
    bool failed = false;

    static void callback(RtMidiError::Type type, const std::string& text, void* user) {
        auto* self = static_cast<ErrorSink*>(user);
        std::lock_guard lock(self->mutex);
        self->last = text;
        if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) self->failed = true;
    }
    // Whether an error came since the last call, and its text.
    bool take(std::string& text) {
        std::lock_guard lock(mutex);
        const bool f = failed;
        if (f) text = last;
        failed = false;
        return f;
    }
};

std::unique_ptr<RtMidiOut> makeClient(ErrorSink* sink, std::string& error) {
    // Without the kernel's sequencer ALSA and RtMidi would each print their
    // own complaint before failing; one clear reason is enough.
    if (::access(kSequencerDevice, F_OK) != 0) {
        error = std::string("ALSA sequencer unavailable: no ") + kSequencerDevice;
        return nullptr;
    }
    try {
        auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kClientName);
        if (out->getCurrentApi() != RtMidi::LINUX_ALSA) {
            error = "RtMidi was built without the ALSA sequencer";
            return nullptr;
        }
        if (sink) out->setErrorCallback(&ErrorSink::callback, sink);
        return out;
    } catch (const std::exception& e) {
        error = std::string("ALSA sequencer unavailable: ") + e.what();
    } catch (...) {
        error = "ALSA sequencer unavailable";
    }
    return nullptr;
}

class SequencerPort final : public MidiOutPort {
  public:
    bool open(int number, std::string& error) {
        out_ = makeClient(&sink_, error);
        if (!out_) return false;
        try {
            const unsigned count = out_->getPortCount();
            if (number < 0 || static_cast<unsigned>(number) >= count) {
                error = "no MIDI output port " + std::to_string(number) + " (" + std::to_string(count) +
                        " found)";
                return false;
            }
            name_ = out_->getPortName(static_cast<unsigned>(number));
            out_->openPort(static_cast<unsigned>(number), "Harmolin output");
            if (sink_.take(error) || !out_->isPortOpen()) {
                if (error.empty()) error = "cannot open MIDI output port " + std::to_string(number);
                return false;
            }
            return true;
        } catch (const std::exception& e) {
            error = e.what();
        } catch (...) {
            error = "cannot open MIDI output port " + std::to_string(number);
        }
        return false;
    }

    ~SequencerPort() override {
        try {
            if (out_) out_->closePort();
        } catch (...) {
        }
    }

    std::string name() const override { return name_; }

    void shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override {
        const std::uint8_t bytes[3] = {status, data1, data2};
        send(bytes, static_cast<std::size_t>(shortMessageLength(status)));
    }

    bool longMessage(const std::uint8_t* bytes, int length) override {
        if (!bytes || length <= 0) return false;
        return send(bytes, static_cast<std::size_t>(length));
    }

    bool reset() override {
        bool ok = true;
        for (std::uint8_t ch = 0; ch < 16; ++ch) {
            const std::uint8_t status = static_cast<std::uint8_t>(0xB0 | ch);
            for (std::uint8_t controller : {std::uint8_t{120}, std::uint8_t{123}, std::uint8_t{121}}) {
                const std::uint8_t bytes[3] = {status, controller, 0};
                ok = send(bytes, 3) && ok;
            }
        }
        return ok;
    }

  private:
    bool send(const std::uint8_t* bytes, std::size_t length) {
        try {
            out_->sendMessage(bytes, length);
        } catch (...) {
            return false;
        }
        std::string ignored;
        return !sink_.take(ignored);
    }

    ErrorSink sink_;
    std::unique_ptr<RtMidiOut> out_;
    std::string name_;
};

} // namespace

int shortMessageLength(std::uint8_t status) {
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 2;
    case 0xF0:
        if (status == 0xF1 || status == 0xF3) return 2;
        if (status == 0xF2) return 3;
        return 1;
    default:
        return 3;
    }
}

std::vector<std::string> sequencerOutputPorts(std::string* error) {
    std::vector<std::string> names;
    std::string reason;
    ErrorSink sink;
    auto out = makeClient(&sink, reason);
    if (out) {
        try {
            const unsigned count = out->getPortCount();
            for (unsigned i = 0; i < count; ++i)
                names.push_back(out->getPortName(i));
        } catch (const std::exception& e) {
            reason = e.what();
            names.clear();
        } catch (...) {
            names.clear();
        }
    }
    if (error) *error = reason;
    return names;
}

std::unique_ptr<MidiOutPort> openSequencerPort(int number, std::string& error) {
    auto port = std::make_unique<SequencerPort>();
    if (!port->open(number, error)) return nullptr;
    return port;
}

} // namespace harmolin
