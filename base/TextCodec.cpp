#include "base/TextCodec.h"

#include <cerrno>
#include <cstdio>
#include <iconv.h>
#include <vector>

namespace harmolin {
namespace {

// Converts as much as possible; on an invalid sequence returns how far it got.
bool convert(const char* to, const char* from, std::string_view in, std::string& out, std::size_t& consumed) {
    out.clear();
    consumed = 0;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = buffer.data();
    std::size_t dstLeft = buffer.size();
    const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    out.assign(buffer.data(), static_cast<std::size_t>(dst - buffer.data()));
    consumed = in.size() - srcLeft;
    return rc != static_cast<std::size_t>(-1);
}

} // namespace

std::string cp932ToUtf8(std::string_view bytes) {
    std::string result;
    while (!bytes.empty()) {
        std::string part;
        std::size_t consumed = 0;
        const bool ok = convert("UTF-8", "CP932", bytes, part, consumed);
        result += part;
        if (ok) break;
        if (consumed >= bytes.size()) break;
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(bytes[consumed]));
        result += escaped;
        bytes.remove_prefix(consumed + 1);
    }
    return result;
}

std::optional<std::string> utf8ToCp932(std::string_view text) {
    std::string out;
    std::size_t consumed = 0;
    if (!convert("CP932", "UTF-8", text, out, consumed)) return std::nullopt;
    return out;
}

} // namespace harmolin
