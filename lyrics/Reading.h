// The reading service: the hiragana reading of a Japanese text, given by
// MeCab with the IPA dictionary. It may be absent (no library, no
// dictionary); callers then keep their text as it is.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harmolin {

// One word of a text as the service cut it: its written form and its
// reading (CP932 hiragana; empty when the service has none). The particles
// は and へ read わ and え.
struct Morpheme {
    std::string surface;
    std::string reading;
};

class ReadingService {
  public:
    virtual ~ReadingService() = default;
    [[nodiscard]] virtual bool available() const { return true; }
    // The reading of a CP932 text as CP932 hiragana; nothing when the
    // service cannot read it.
    [[nodiscard]] virtual std::optional<std::string> reading(std::string_view cp932) = 0;
    // The text cut into words with their readings, surfaces in order and
    // adding up to the text; empty when the service cannot cut it. A service
    // that only reads whole texts gives the text as one word.
    [[nodiscard]] virtual std::vector<Morpheme> analyse(std::string_view cp932);
};

class MecabReading : public ReadingService {
  public:
    // `arguments` are MeCab's own options; empty takes the dictionary that
    // /etc/mecabrc names.
    explicit MecabReading(const std::string& arguments = "");
    ~MecabReading() override;
    MecabReading(const MecabReading&) = delete;
    MecabReading& operator=(const MecabReading&) = delete;

    [[nodiscard]] bool available() const override { return tagger_ != nullptr; }
    [[nodiscard]] std::optional<std::string> reading(std::string_view cp932) override;
    [[nodiscard]] std::vector<Morpheme> analyse(std::string_view cp932) override;

  private:
    void* tagger_ = nullptr;
};

// Katakana of a UTF-8 text turned into hiragana; other characters unchanged.
[[nodiscard]] std::string katakanaToHiraganaUtf8(std::string_view utf8);

} // namespace harmolin
