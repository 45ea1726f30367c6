// The reading service: the hiragana reading of a Japanese text, given by
// MeCab with the IPA dictionary. It may be absent (no library, no
// dictionary); callers then keep their text as it is.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace harmolin {

class ReadingService {
public:
    virtual ~ReadingService() = default;
    // The reading of a CP932 text as CP932 hiragana; nothing when the
    // service cannot read it.
    virtual std::optional<std::string> reading(std::string_view cp932) = 0;
};

class MecabReading : public ReadingService {
public:
    // `arguments` are MeCab's own options; empty takes the dictionary that
    // /etc/mecabrc names.
    explicit MecabReading(const std::string& arguments = "");
    ~MecabReading() override;
    MecabReading(const MecabReading&) = delete;
    MecabReading& operator=(const MecabReading&) = delete;

    bool available() const { return tagger_ != nullptr; }
    std::optional<std::string> reading(std::string_view cp932) override;

private:
    void* tagger_ = nullptr;
};

// Katakana of a UTF-8 text turned into hiragana; other characters unchanged.
std::string katakanaToHiraganaUtf8(std::string_view utf8);

} // namespace harmolin
