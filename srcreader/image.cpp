// The pixels of an image definition, kept packed as the file stores them.
#include "decoder.h"

namespace kvgr::impl {

namespace {

// Bits of one value in each colour size.
constexpr uint8_t COLOR_BITS[kvgfmt::COLOR_SIZE_COUNT] = {1, 8, 8, 12, 16, 32, 24, 32};

}  // namespace

int ImageDefinition::bitsPerPixel() const { return COLOR_BITS[colorSize]; }

uint32_t ImageDefinition::pixel(uint64_t index) const {
    const int bits = bitsPerPixel();
    uint64_t bit = index * static_cast<uint64_t>(bits);
    if (bits % 8 == 0) {  // whole bytes, high byte first
        uint32_t value = 0;
        for (uint64_t byte = bit / 8; byte < (bit + bits) / 8; ++byte) value = value << 8 | packed[byte];
        return value;
    }
    uint32_t value = 0;
    for (int left = bits; left > 0; --left, ++bit) {
        value = value << 1 | (packed[bit / 8] >> (7 - bit % 8) & 1u);
    }
    return value;
}

void ImageDefinition::row(uint32_t row, uint32_t *values) const {
    const uint64_t first = uint64_t{row} * width;
    for (uint32_t x = 0; x < width; ++x) values[x] = pixel(first + x);
}

}  // namespace kvgr::impl
