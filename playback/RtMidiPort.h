// Devices 0..n: the ALSA sequencer's writable ports, reached through RtMidi.
// Without the sequencer (no kernel module, no /dev/snd/seq) RtMidi throws;
// every such failure comes back here as an empty list or a null port with the
// reason, never as an exception.
#pragma once

#include "playback/MidiOutput.h"

#include <memory>
#include <string>
#include <vector>

namespace harmolin {

// Names of the writable ports; empty (reason in error) when the sequencer is missing.
[[nodiscard]] std::vector<std::string> sequencerOutputPorts(std::string* error = nullptr);

// Opens port `number`; null with the reason in error.
[[nodiscard]] std::unique_ptr<MidiOutPort> openSequencerPort(int number, std::string& error);

// Bytes a channel or system message of this status takes on the wire (1 to 3).
[[nodiscard]] int shortMessageLength(std::uint8_t status);

} // namespace harmolin
