#include "lyrics/Reading.h"

#include "midi/TextCodec.h"

#include <vector>

#ifdef HARMOLIN_HAVE_MECAB
#include <mecab.h>
#endif

namespace harmolin {

std::string katakanaToHiraganaUtf8(std::string_view utf8) {
    // Katakana U+30A1..U+30F6 is hiragana U+3041..U+3096 plus 0x60: in UTF-8
    // both are E3 82/83 xx.
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        if (b0 == 0xE3 && i + 2 < utf8.size()) {
            const auto b1 = static_cast<unsigned char>(utf8[i + 1]);
            const auto b2 = static_cast<unsigned char>(utf8[i + 2]);
            const unsigned code = ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
            if (code >= 0x30A1 && code <= 0x30F6) {
                const unsigned h = code - 0x60;
                out.push_back(static_cast<char>(0xE0 | (h >> 12)));
                out.push_back(static_cast<char>(0x80 | ((h >> 6) & 0x3F)));
                out.push_back(static_cast<char>(0x80 | (h & 0x3F)));
                i += 3;
                continue;
            }
        }
        out.push_back(static_cast<char>(b0));
        ++i;
    }
    return out;
}

#ifdef HARMOLIN_HAVE_MECAB

MecabReading::MecabReading(const std::string& arguments) { tagger_ = mecab_new2(arguments.c_str()); }

MecabReading::~MecabReading() {
    if (tagger_) mecab_destroy(static_cast<mecab_t*>(tagger_));
}

std::optional<std::string> MecabReading::reading(std::string_view cp932) {
    if (!tagger_ || cp932.empty()) return std::nullopt;
    // Bytes that are not code page 932 would not survive the round trip.
    const std::string utf8 = cp932ToUtf8(cp932);
    if (utf8ToCp932(utf8) != std::string(cp932)) return std::nullopt;
    const mecab_node_t* node = mecab_sparse_tonode2(static_cast<mecab_t*>(tagger_), utf8.data(), utf8.size());
    if (!node) return std::nullopt;
    std::string out;
    for (; node; node = node->next) {
        if (node->stat == MECAB_BOS_NODE || node->stat == MECAB_EOS_NODE) continue;
        const std::string surface(node->surface, node->length);
        // The reading is the eighth feature; unknown words have none and
        // keep their written form.
        std::vector<std::string> fields;
        std::string feature = node->feature ? node->feature : "";
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = feature.find(',', start);
            fields.push_back(feature.substr(start, comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        if (fields.size() > 7 && !fields[7].empty() && fields[7] != "*")
            out += katakanaToHiraganaUtf8(fields[7]);
        else
            out += surface;
    }
    auto back = utf8ToCp932(out);
    if (!back || back->empty()) return std::nullopt;
    return back;
}

#else

MecabReading::MecabReading(const std::string&) {}
MecabReading::~MecabReading() = default;
std::optional<std::string> MecabReading::reading(std::string_view) { return std::nullopt; }

#endif

} // namespace harmolin
