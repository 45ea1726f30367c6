// MIDI output devices. Device -1 is the embedded General MIDI synthesizer
// (FluidSynth, sounding through the live audio output): it exists whenever
// an audio output can be opened. Devices 0..n are the ALSA sequencer's
// writable ports, reached through RtMidi, for external synthesizers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace harmolin {

// One open output. Implementations may be called from the player's thread
// while the owner's thread only opens and closes them.
class MidiOutPort {
  public:
    virtual ~MidiOutPort() = default;
    [[nodiscard]] virtual std::string name() const = 0;
    virtual void shortMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
    // A complete message as it goes on the wire (F0 ... F7, or the bytes of
    // an escape). False when the port refused it.
    [[nodiscard]] virtual bool longMessage(const std::uint8_t* bytes, int length) = 0;
    // All notes off, controllers reset: what a device reset does.
    [[nodiscard]] virtual bool reset() = 0;
};

// Opens device `number` (-1: the synthesizer); null when it cannot be opened,
// with the reason in error.
using MidiPortOpener = std::function<std::unique_ptr<MidiOutPort>(int number, std::string& error)>;

// The names of devices 0..n (the ALSA sequencer's writable ports); empty when
// the sequencer is missing.
[[nodiscard]] std::vector<std::string> midiOutputDevices();

// The opener every MidiControler uses. Tests and the live program replace
// it; the default opens FluidSynth for -1 and RtMidi ports for 0..n.
void setMidiPortOpener(MidiPortOpener opener);
[[nodiscard]] MidiPortOpener defaultMidiPortOpener();

// The wrapper the player drives (error class MDCT).
class MidiControler {
  public:
    MidiControler() = default;
    ~MidiControler();
    MidiControler(const MidiControler&) = delete;
    MidiControler& operator=(const MidiControler&) = delete;

    // -1 is the synthesizer; when it fails, device 0 is tried. A failure
    // shows "Can not open Midi device!" (the first time in the process only
    // when there is no device at all). False when nothing could be opened.
    [[nodiscard]] bool open(int device);
    // Takes `port` as the open device (an offline sink); it is reset and
    // closed like any other.
    void attach(std::unique_ptr<MidiOutPort> port);
    // Reset, then close. Nothing when not open.
    void close();
    [[nodiscard]] bool isOpen() const { return port_ != nullptr; }
    [[nodiscard]] std::string deviceName() const;

    void noteOn(int channel, int note, int velocity);
    void noteOff(int channel, int note);
    void programChange(int channel, int program);
    void shortMessage(int status, int data1, int data2);
    void gmSystemOn();
    // Bytes in the stored form: F0, a one-byte length, then the message from
    // 7E on; or an escape kept as it is. At most 256 bytes go out.
    void longMessage(int length, const std::uint8_t* bytes);

    // Process-wide: whether "no device at all" was already shown.
    static void resetOpenFailureNotice();

  private:
    std::unique_ptr<MidiOutPort> port_;
};

} // namespace harmolin
