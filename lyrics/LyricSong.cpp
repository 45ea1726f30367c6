#include "lyrics/LyricSong.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "base/TextCodec.h"
#include "midi/ByteBuffer.h"

namespace harmolin {

LyricSong::LyricSong(std::unique_ptr<CXfData> xf, std::vector<std::string> lines)
    : xf_(std::move(xf)), lines_(std::move(lines)) {}

std::vector<std::string> LyricSong::linesUtf8() const {
    std::vector<std::string> out;
    out.reserve(lines_.size());
    for (const auto& line : lines_)
        out.push_back(cp932ToUtf8(line));
    return out;
}

std::string LyricSong::linesText(TextEncoding encoding) const {
    std::string text;
    for (const auto& line : lines_) {
        text += encoding == TextEncoding::Utf8 ? cp932ToUtf8(line) : line;
        text += "\r\n";
    }
    return text;
}

bool LyricSong::saveLines(const std::string& path, TextEncoding encoding) const {
    const std::string text = linesText(encoding);
    if (!writeFileAtomically(path, text.data(), text.size())) {
        reportNotice(path);
        reportError(ErrorClass::Gene, errc::kCannotOpenFile);
        return false;
    }
    return true;
}

} // namespace harmolin
