// Dance pictures come from files anyone can replace: the reader must survive
// every byte sequence.
#include "app/Dance.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const harmolin::RgbImage image = harmolin::decodeBmp(data, size);
    // Touch every pixel so a short buffer shows up.
    volatile std::uint32_t sum = 0;
    for (std::uint32_t p : image.pixels)
        sum = sum + p;
    return 0;
}
