// A style described for scripts: one JSON object per style, and the optional
// engine switches it turns away from their defaults.
#pragma once

#include "engine/StyleRecord.h"

#include <string>
#include <utility>
#include <vector>

namespace harmolin {

// Every optional engine switch whose value differs from a fresh record's,
// by name, in a fixed order.
[[nodiscard]] std::vector<std::pair<std::string, int>> styleFeatures(const StyleRecord& style);

// One line of JSON: group, slot, name, meter, tempo, key, scale, mixer (the
// record's 16 x 16 bytes), melody (its set-up) and features.
[[nodiscard]] std::string styleJson(const StyleRecord& style, int group, int slot);

} // namespace harmolin
