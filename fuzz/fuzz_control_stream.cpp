// Fuzz target: the singing plug-in's decoder of the messages its host
// delivers (the VOCALOID2 NRPN note stream and syllable-program notes). The
// input is cut into messages of one to three bytes, as effProcessEvents hands
// them over; a program change of the host is mixed in now and then.
#include "voice/ControlStream.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    hvoice::ControlStream stream;
    std::size_t at = 0;
    while (at < size) {
        // The first byte of each step says how long the message is and
        // whether the host changes the program before it.
        const std::uint8_t control = data[at++];
        if (control & 0x80) stream.setProgram(static_cast<int>(control & 0x7F) * 3 - 64);
        const int length = 1 + control % 3;
        std::uint8_t message[3] = {};
        int n = 0;
        for (; n < length && at < size; ++n)
            message[n] = data[at++];
        hvoice::VoiceCommand command;
        if (stream.tryParse(message, n, command)) {
            // What the synthesizer relies on.
            if (command.symbolCount > command.symbols.size()) std::abort();
            if (command.note > 127 || command.velocity > 127) std::abort();
            (void)command.symbolText();
        }
        if (stream.program() < 0 || stream.program() > 127) std::abort();
    }
    return 0;
}
