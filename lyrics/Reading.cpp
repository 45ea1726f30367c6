#include "lyrics/Reading.h"

#include "base/TextCodec.h"

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

std::vector<Morpheme> ReadingService::analyse(std::string_view cp932) {
    if (cp932.empty()) return {};
    auto r = reading(cp932);
    if (!r) return {};
    return {Morpheme{std::string(cp932), *r}};
}

#ifdef HARMOLIN_HAVE_MECAB

namespace {

std::vector<std::string> splitFeature(const char* feature) {
    std::vector<std::string> fields;
    const std::string f = feature ? feature : "";
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = f.find(',', start);
        fields.push_back(f.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return fields;
}

// UTF-8 text cut into characters.
std::vector<std::string> utf8Chars(const std::string& s) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t w = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        out.push_back(s.substr(i, w));
        i += w;
    }
    return out;
}

// A word's reading as it is sung: the dictionary's reading in hiragana, but
// where its pronunciation says ワ or エ for a written ハ or ヘ (the particles
// は and へ, こんにちは) the pronounced sound.
std::string sungReading(const std::string& reading, const std::string& pronunciation) {
    auto r = utf8Chars(reading);
    const auto p = utf8Chars(pronunciation);
    if (r.size() == p.size())
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (r[i] == "ハ" && p[i] == "ワ") r[i] = "ワ";
            if (r[i] == "ヘ" && p[i] == "エ") r[i] = "エ";
        }
    std::string out;
    for (const auto& c : r)
        out += c;
    return katakanaToHiraganaUtf8(out);
}

} // namespace

MecabReading::MecabReading(const std::string& arguments) {
    tagger_ = mecab_new2(arguments.c_str());
}

MecabReading::~MecabReading() {
    if (tagger_) mecab_destroy(static_cast<mecab_t*>(tagger_));
}

std::vector<Morpheme> MecabReading::analyse(std::string_view cp932) {
    if (!tagger_ || cp932.empty()) return {};
    // Bytes that are not code page 932 would not survive the round trip.
    const std::string utf8 = cp932ToUtf8(cp932);
    if (utf8ToCp932(utf8) != std::string(cp932)) return {};
    const mecab_node_t* node = mecab_sparse_tonode2(static_cast<mecab_t*>(tagger_), utf8.data(), utf8.size());
    if (!node) return {};
    std::vector<Morpheme> out;
    std::size_t covered = 0;
    for (; node; node = node->next) {
        if (node->stat == MECAB_BOS_NODE || node->stat == MECAB_EOS_NODE) continue;
        // MeCab skips white space between words; the surfaces must still
        // cover the text so that words can be put back on their notes.
        const std::size_t at = static_cast<std::size_t>(node->surface - utf8.data());
        if (at != covered) return {};
        covered += node->length;
        const auto surface = utf8ToCp932(std::string(node->surface, node->length));
        if (!surface) return {};
        Morpheme m{*surface, {}};
        // The reading is the eighth feature, the pronunciation the ninth;
        // unknown words have neither.
        const auto fields = splitFeature(node->feature);
        if (fields.size() > 7 && !fields[7].empty() && fields[7] != "*") {
            const auto r = utf8ToCp932(sungReading(fields[7], fields.size() > 8 ? fields[8] : std::string()));
            if (r) m.reading = *r;
        }
        out.push_back(std::move(m));
    }
    if (covered != utf8.size()) return {};
    return out;
}

std::optional<std::string> MecabReading::reading(std::string_view cp932) {
    const auto words = analyse(cp932);
    if (words.empty()) return std::nullopt;
    std::string out;
    for (const auto& w : words)
        out += w.reading.empty() ? w.surface : w.reading;
    return out;
}

#else

MecabReading::MecabReading(const std::string&) {}
MecabReading::~MecabReading() = default;
std::optional<std::string> MecabReading::reading(std::string_view) {
    return std::nullopt;
}
std::vector<Morpheme> MecabReading::analyse(std::string_view) {
    return {};
}

#endif

} // namespace harmolin
