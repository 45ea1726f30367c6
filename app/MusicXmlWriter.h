// A score written as MusicXML (partwise): plain text in ".musicxml" or
// ".xml", or compressed in ".mxl" (a zip of the container and the score).
// Files go through a temporary file and a rename, so a failed write keeps
// any previous file.
#pragma once

#include "app/ScoreNotation.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace harmolin {

class CXfData;

enum class ScoreFileType { MusicXml, Mxl };

// By the extension (case-insensitive); nothing for any other.
[[nodiscard]] std::optional<ScoreFileType> scoreFileTypeOf(const std::string& path);
// One line for a path whose extension names no score file type.
[[nodiscard]] std::string unknownScoreTypeMessage(const std::string& path);

// The score as a MusicXML document (UTF-8).
[[nodiscard]] std::string musicXmlText(const Score& score, const std::string& title);

// A zip archive of the given (name, bytes) entries, deflated.
[[nodiscard]] std::vector<std::uint8_t>
zipArchive(const std::vector<std::pair<std::string, std::string>>& entries);

// Builds the score of the song and writes it to path in the type its
// extension names; false with error set (nothing written) when it cannot.
[[nodiscard]] bool exportMusicXml(const CXfData& song, const ScoreOptions& options, const std::string& path,
                                  std::string& error, Score* written = nullptr);

} // namespace harmolin
