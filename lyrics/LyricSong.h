// The current song: the prepared song with its lyric track as XF data, and
// the lyric lines, one per melody phrase.
#pragma once

#include "midi/XfData.h"

#include <memory>
#include <string>
#include <vector>

namespace harmolin {

enum class TextEncoding { Utf8, Cp932 };

class LyricSong {
  public:
    LyricSong(std::unique_ptr<CXfData> xf, std::vector<std::string> lines);

    [[nodiscard]] CXfData& xfData() { return *xf_; }
    [[nodiscard]] const CXfData& xfData() const { return *xf_; }

    // Display text of each phrase, code page 932.
    [[nodiscard]] const std::vector<std::string>& lines() const { return lines_; }
    [[nodiscard]] int lineCount() const { return static_cast<int>(lines_.size()); }
    [[nodiscard]] std::vector<std::string> linesUtf8() const;

    // Every line followed by CR LF.
    [[nodiscard]] std::string linesText(TextEncoding encoding) const;
    // Writes the lines through a temporary file, so a failed write leaves any
    // previous file as it was; a failure is reported.
    [[nodiscard]] bool saveLines(const std::string& path, TextEncoding encoding) const;

  private:
    std::unique_ptr<CXfData> xf_;
    std::vector<std::string> lines_;
};

} // namespace harmolin
