// The byte buffer under every file-like object: a fixed capacity, the bytes
// in use and a read/write cursor.
#pragma once

#include "base/Files.h"

#include <cstdint>
#include <string>
#include <vector>

namespace harmolin {

// The size the program uses for songs and tracks.
inline constexpr int kSongCapacity = 0x60000;

class ByteBuffer {
  public:
    explicit ByteBuffer(int capacity = kSongCapacity) : capacity_(capacity) {}

    [[nodiscard]] int used() const { return static_cast<int>(bytes_.size()); }
    [[nodiscard]] int capacity() const { return capacity_; }
    [[nodiscard]] int position() const { return position_; }
    void setPosition(int position) { position_ = position; }

    [[nodiscard]] const std::uint8_t* bytes() const { return bytes_.data(); }
    [[nodiscard]] std::vector<std::uint8_t>& byteVector() { return bytes_; }
    [[nodiscard]] const std::vector<std::uint8_t>& byteVector() const { return bytes_; }

    // Replaces the contents; bytes past the capacity are refused.
    [[nodiscard]] bool assign(const std::uint8_t* data, int length);
    void clearBytes() {
        bytes_.clear();
        position_ = 0;
    }

    // Reads a whole file. A file that cannot be opened (missing, a folder,
    // unreadable) reports its name and "Cant open file!"; one larger than the
    // capacity is refused whole ("data size is too large!") rather than cut.
    [[nodiscard]] bool loadFile(const std::string& path);

    // Writes the used bytes through a temporary file in the same folder and
    // renames it over the target, so a failed save keeps the old file.
    [[nodiscard]] bool saveFile(const std::string& path) const;

  protected:
    std::vector<std::uint8_t> bytes_;
    int position_ = 0;
    int capacity_;
};

} // namespace harmolin
