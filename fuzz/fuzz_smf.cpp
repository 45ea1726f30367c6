// Fuzz target: Standard MIDI File images through both song loaders, then the
// edits of song preparation and the writers. A song that loaded must also
// load again from the bytes we wrote for it (HARMOLIN_FUZZ_ROUNDTRIP=0 turns
// that check off, to hunt memory errors past a known round-trip fault).
#include "base/ErrorReport.h"
#include "midi/MidiF0Data.h"
#include "midi/MidiF1Data.h"
#include "midi/MidiTrackEdit.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace harmolin;

namespace {
bool checkRoundTrip = true;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)setPresenter([](const ReportLine&) {}); // reporters speak for every damaged input
    const char* env = std::getenv("HARMOLIN_FUZZ_ROUNDTRIP");
    checkRoundTrip = !(env && std::string(env) == "0");
    return 0;
}

// Results are dropped on purpose: the target looks for crashes, not answers.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > static_cast<std::size_t>(kSongCapacity)) return 0;
    const int length = static_cast<int>(size);
    {
        MidiF0Data song;
        if (song.loadBytes(data, length)) {
            song.rescale(480, false);
            swapChannels(song.track(), 0, 2);
            reduceToTopVoice(song.track());
            song.split();
            if (song.serialize()) {
                const std::vector<std::uint8_t> written = song.byteVector();
                MidiF0Data again;
                if (!again.loadBytes(written.data(), static_cast<int>(written.size())) && checkRoundTrip)
                    std::abort(); // we wrote a file we cannot read
            }
        }
    }
    {
        MidiF1Data parts;
        if (parts.fromMemory(data, length, false)) {
            (void)parts.repairNotes();
            MidiF0Data merged;
            (void)parts.mergeInto(merged);
            (void)parts.splitAll();
            (void)parts.serialize();
        }
    }
    {
        MidiF1Data parts; // as it is, without the master volume the loader adds
        if (parts.loadBytes(data, length)) {
            parts.gmSystemOnFirst();
            (void)parts.splitAll();
            (void)parts.serialize();
        }
    }
    return 0;
}
