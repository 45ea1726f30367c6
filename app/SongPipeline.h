// Generate's side of the song pipeline: from a song type and variant (or any
// style of the table) to the composed song file.
#pragma once

#include "engine/CompositionState.h"
#include "styles/StyleTable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harmolin {

inline constexpr int kSongTypeCount = 5;
inline constexpr std::array<const char*, kSongTypeCount> kSongTypes = {
    "Young Pops", "Adult Pops", "Ocean Song", "Child Song", "Ghost Song"};

struct StyleChoice {
    int group;
    int slot;
};

// The style of a song type (0..4) and variant (1 or 2); none where the type
// has no such variant.
[[nodiscard]] std::optional<StyleChoice> styleChoice(int songType, int variant);
// A song type by name (case-insensitive) or list position "0".."4".
[[nodiscard]] std::optional<int> parseSongType(std::string_view text);

// The playback-sound setting that means the singing voice.
inline constexpr int kVoiceSound = -1;

class SongComposer {
  public:
    // seed: the engine generator's seed (the time when not given).
    SongComposer(std::string dataFolder, std::optional<std::uint32_t> seed);

    [[nodiscard]] const StyleTable& styles() const { return table_; }
    [[nodiscard]] CompositionState& state() { return state_; }

    // Composes in the style at (group, slot) with the pipeline's melody
    // settings and writes the song to path. False when the pattern files are
    // missing or the file could not be written.
    [[nodiscard]] bool composeSong(StyleChoice choice, const std::string& path,
                                   int playbackSound = kVoiceSound);

  private:
    StyleTable table_;
    CompositionState state_;
};

} // namespace harmolin
