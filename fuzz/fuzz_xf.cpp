// Fuzz target: XF images through CXfData, with and without the result flag
// (the flag also converts format-1 images), then the XF writer and the
// MusicXML score of what was read.
#include "app/MusicXmlWriter.h"
#include "base/ErrorReport.h"
#include "midi/XfData.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace harmolin;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    (void)setPresenter([](const ReportLine&) {});
    return 0;
}

// Results are dropped on purpose: the target looks for crashes, not answers.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > static_cast<std::size_t>(kSongCapacity)) return 0;
    const int length = static_cast<int>(size);
    {
        CXfData song;
        if (song.loadBytes(data, length)) {
            ScoreOptions options;
            options.withChords = true;
            std::string error;
            if (const auto score = buildScore(song, options, error)) (void)musicXmlText(*score, "fuzz");
            song.removeRuby();
            std::vector<std::uint8_t> image;
            (void)song.image(image);
        }
    }
    {
        CXfData song;
        int result = -1;
        (void)song.loadBytes(data, length, 0, &result);
        if (result == 1) {
            (void)song.masterVolumeAfterReset(true);
            std::vector<std::uint8_t> image;
            (void)song.image(image);
        }
    }
    return 0;
}
