// Conversions between the Shift-JIS (code page 932) bytes kept in MIDI data
// and the UTF-8 text shown to users.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace harmolin {

// A code page 932 lead byte: the next byte belongs to the same character.
constexpr bool isCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Bytes that are not valid code page 932 are shown as \xNN.
[[nodiscard]] std::string cp932ToUtf8(std::string_view bytes);
// Empty when the text has characters code page 932 cannot hold.
[[nodiscard]] std::optional<std::string> utf8ToCp932(std::string_view text);

} // namespace harmolin
