// Phrase templates: the word categories a lyric line is made of, in order.
#pragma once

#include <array>

namespace harmolin {

inline constexpr int kTemplateCount = 43;
inline constexpr int kTemplateSlots = 5;

// Each template is read up to its first 0.
using PhraseTemplate = std::array<int, kTemplateSlots>;
extern const std::array<PhraseTemplate, kTemplateCount> kPhraseTemplates;

} // namespace harmolin
