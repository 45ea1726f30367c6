#include "playback/MidiOutput.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "playback/LiveAudio.h"
#include "playback/RtMidiPort.h"

#include <atomic>
#include <mutex>

namespace harmolin {

namespace {

// The driver buffer of a long message: longer messages are refused whole,
// since a cut system exclusive would be a different (broken) message.
constexpr int kLongMessageLimit = 256;

std::mutex openerMutex;
MidiPortOpener currentOpener;

// "No device at all" is shown once per process.
std::atomic<bool> noDeviceShown{false};

MidiPortOpener opener() {
    std::lock_guard lock(openerMutex);
    return currentOpener ? currentOpener : defaultMidiPortOpener();
}

std::uint8_t u7(int value) {
    return static_cast<std::uint8_t>(value & 0x7F);
}

} // namespace

std::vector<std::string> midiOutputDevices() {
    return sequencerOutputPorts();
}

void setMidiPortOpener(MidiPortOpener opener) {
    std::lock_guard lock(openerMutex);
    currentOpener = std::move(opener);
}

MidiPortOpener defaultMidiPortOpener() {
    return [](int number, std::string& error) -> std::unique_ptr<MidiOutPort> {
        if (number == -1) return openSynthPort(error);
        return openSequencerPort(number, error);
    };
}

MidiControler::~MidiControler() {
    close();
}

void MidiControler::resetOpenFailureNotice() {
    noDeviceShown.store(false);
}

bool MidiControler::open(int device) {
    close();
    const MidiPortOpener open = opener();
    std::string error;
    try {
        port_ = open(device, error);
        if (!port_ && device == -1) {
            // The synthesizer failed: fall back to the first sequencer port.
            std::string second;
            port_ = open(0, second);
            if (!port_ && !second.empty()) error = error.empty() ? second : error + "; " + second;
        }
    } catch (...) {
        port_.reset();
        if (error.empty()) error = "the MIDI device could not be opened";
    }
    if (port_) return true;

    // Neither the synthesizer nor a sequencer port: there is no device at
    // all, which need not be repeated on every play.
    if (device == -1 && noDeviceShown.exchange(true)) return false;
    if (!error.empty()) reportNotice(error);
    reportError(ErrorClass::Mdct, errc::kDeviceCannotOpen);
    return false;
}

void MidiControler::attach(std::unique_ptr<MidiOutPort> port) {
    close();
    port_ = std::move(port);
}

void MidiControler::close() {
    if (!port_) return;
    bool ok = false;
    try {
        ok = port_->reset();
    } catch (...) {
    }
    if (!ok) reportError(ErrorClass::Mdct, errc::kDeviceCannotClose);
    port_.reset();
}

std::string MidiControler::deviceName() const {
    return port_ ? port_->name() : std::string();
}

void MidiControler::noteOn(int channel, int note, int velocity) {
    // Bit 7 set means "as loud as possible", not a wrapped value.
    const std::uint8_t v = (velocity & 0x80) ? 127 : u7(velocity);
    if (port_) port_->shortMessage(static_cast<std::uint8_t>(0x90 | (channel & 0x0F)), u7(note), v);
}

void MidiControler::noteOff(int channel, int note) {
    if (port_) port_->shortMessage(static_cast<std::uint8_t>(0x80 | (channel & 0x0F)), u7(note), 0);
}

void MidiControler::programChange(int channel, int program) {
    if (!port_) {
        reportError(ErrorClass::Mdct, errc::kDeviceCannotChangeTone);
        return;
    }
    port_->shortMessage(static_cast<std::uint8_t>(0xC0 | (channel & 0x0F)), u7(program), 0);
}

void MidiControler::shortMessage(int status, int data1, int data2) {
    if (port_) port_->shortMessage(static_cast<std::uint8_t>(status), u7(data1), u7(data2));
}

void MidiControler::gmSystemOn() {
    static const std::uint8_t stored[] = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    longMessage(static_cast<int>(sizeof stored), stored);
}

void MidiControler::longMessage(int length, const std::uint8_t* bytes) {
    if (!port_ || !bytes || length <= 0) return;
    std::uint8_t wire[kLongMessageLimit];
    int n = 0;
    if (bytes[0] == 0xF0) {
        // Drop the stored length (a variable-length number, one byte for
        // every message that fits the buffer).
        int pos = 1;
        while (pos < length && (bytes[pos] & 0x80))
            ++pos;
        ++pos;
        if (pos >= length) return; // a header without a message
        if (length - pos + 1 > kLongMessageLimit) {
            reportError(ErrorClass::Mdct, errc::kDeviceCannotSendSysEx);
            return;
        }
        wire[n++] = 0xF0;
        for (int i = pos; i < length; ++i)
            wire[n++] = bytes[i];
    } else {
        if (length > kLongMessageLimit) {
            reportError(ErrorClass::Mdct, errc::kDeviceCannotSendSysEx);
            return;
        }
        for (int i = 0; i < length; ++i)
            wire[n++] = bytes[i];
    }
    // A refused message ends the call without a report, like a failed send.
    port_->longMessage(wire, n);
}

} // namespace harmolin
