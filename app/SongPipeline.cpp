#include "app/SongPipeline.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "engine/ComposeLoop.h"
#include "engine/patterns/PatternDatabase.h"
#include "midi/ByteBuffer.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace harmolin {
namespace {

// (group, slot) of variant 1 and 2 per song type; -1 where there is none.
constexpr int kChoices[kSongTypeCount][2][2] = {
    {{1, 4}, {0, 8}},    // Young Pops: Evening Girls, Jaunty Keys
    {{1, 1}, {2, 7}},    // Adult Pops: Enka, Jazz Piano Trio
    {{1, 1}, {1, 6}},    // Ocean Song: Enka, Okinawan Pops
    {{7, 16}, {-1, -1}}, // Child Song: Light Pops
    {{6, 4}, {7, 15}},   // Ghost Song: Horror, Space Sound
};

// The melody the lyrics are written for: a singable line in a fixed range.
void applyMelodyOverrides(StyleRecord& s, int playbackSound) {
    s.programs[kPartMelody] = playbackSound == kVoiceSound ? 64 : playbackSound;
    s.mixer[kPartMelody][kMixDoubling] = 2; // the guide melody, two ticks later on channel 11
    s.octaveShift[kPartMelody] = 0;
    auto& a = s.sectionA();
    a[kMelPartMode] = 5;
    a[kMelPitchMethod] = 6;
    a[kMelLowest] = 56;
    a[kMelHighest] = 70;
    // The guide melody's interval table, but the style keeps its own
    // tendency to repeat a note (40 unless the style says otherwise).
    s.melodyJumpWeights = {s.melodyJumpWeights[0], 20, 30, 90, 90, 95, 99, 99};
    s.melodyJumpSizes = {-25, -25, 0, 10, 20, 30, 40, 50};
}

} // namespace

std::optional<StyleChoice> styleChoice(int songType, int variant) {
    if (songType < 0 || songType >= kSongTypeCount || variant < 1 || variant > 2) return std::nullopt;
    const auto& c = kChoices[songType][variant - 1];
    if (c[0] < 0) return std::nullopt;
    return StyleChoice{c[0], c[1]};
}

std::optional<int> parseSongType(std::string_view text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] < '0' + kSongTypeCount) return text[0] - '0';
    for (int i = 0; i < kSongTypeCount; ++i) {
        const std::string_view name = kSongTypes[static_cast<std::size_t>(i)];
        if (name.size() == text.size() &&
            std::equal(name.begin(), name.end(), text.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return i;
    }
    return std::nullopt;
}

SongComposer::SongComposer(std::string dataFolder, std::optional<std::uint32_t> seed) {
    state_.rng.seed(seed ? *seed : static_cast<std::uint32_t>(std::time(nullptr)));
    state_.programFolder = dataFolder.empty() ? std::string("patterns") : dataFolder + "/patterns";
    registerStyles(table_, state_.rng);
}

bool SongComposer::composeSong(StyleChoice choice, const std::string& path, int playbackSound) {
    selectStyle(state_, table_, choice.group, choice.slot);
    applyMelodyOverrides(state_.style, playbackSound);
    chooseDatabases(state_);
    if (!loadPatternFiles(state_)) return false;
    state_.outputPath = path;
    state_.writeFile = true;
    state_.outputMode = 2; // the bytes are written below, through a temporary file
    std::vector<std::uint8_t> image;
    image.reserve(engine::kOutputBuffer);
    (void)composeTune(state_, image); // the image tells how it went: checked below
    if (image.empty() || static_cast<int>(image.size()) > engine::kOutputBuffer) {
        reportError(ErrorClass::M0dt, errc::kF0BadMusic);
        return false;
    }
    if (!writeFileAtomically(path, image.data(), image.size())) {
        reportNotice(path);
        reportError(ErrorClass::Gene, errc::kCannotOpenFile);
        return false;
    }
    return true;
}

} // namespace harmolin
