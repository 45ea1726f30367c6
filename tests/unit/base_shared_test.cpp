#include "base/Files.h"
#include "base/TextCodec.h"

#include <gtest/gtest.h>

#include <string>

using namespace harmolin;

namespace {

std::string utf8Of(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

} // namespace

TEST(BaseShared, JoinPathAddsOneSeparator) {
    EXPECT_EQ(joinPath("work", "a.mid"), "work/a.mid");
    EXPECT_EQ(joinPath("work/", "a.mid"), "work/a.mid");
    EXPECT_EQ(joinPath("/", "a.mid"), "/a.mid");
    EXPECT_EQ(joinPath("", "a.mid"), "a.mid");
    EXPECT_EQ(joinPath(joinPath("/data", "dance"), "set"), "/data/dance/set");
}

// The lead-byte test agrees with the system's code page 932 encoder: every
// character it writes in two bytes starts with a lead byte, every one-byte
// character does not.
TEST(BaseShared, LeadByteAgreesWithTheEncoder) {
    int twoByte = 0;
    int oneByte = 0;
    auto check = [&](char32_t first, char32_t last) {
        for (char32_t c = first; c <= last; ++c) {
            const auto bytes = utf8ToCp932(utf8Of(c));
            if (!bytes || bytes->empty()) continue;
            const auto lead = static_cast<unsigned char>((*bytes)[0]);
            ASSERT_EQ(bytes->size(), isCp932LeadByte(lead) ? 2u : 1u) << "U+" << std::hex << +c;
            (bytes->size() == 2 ? twoByte : oneByte)++;
        }
    };
    check(0x20, 0x7E);     // ASCII
    check(0xFF61, 0xFF9F); // half-width katakana
    check(0x3000, 0x30FF); // punctuation, hiragana, katakana
    check(0x4E00, 0x9FFF); // kanji
    check(0xFF01, 0xFF5E); // full-width forms
    EXPECT_GT(twoByte, 6000);
    EXPECT_GT(oneByte, 150);
}
