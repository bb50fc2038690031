#include "png.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace kvgtool {

namespace {

void putUint32(std::string &out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// A chunk: length, type, data, and the CRC of type and data.
void putChunk(std::string &out, const char type[4], std::string_view data) {
    putUint32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto *typed = reinterpret_cast<const Bytef *>(out.data() + start);
    putUint32(out, static_cast<uint32_t>(crc32(0, typed, static_cast<uInt>(out.size() - start))));
}

// The rows, each behind the filter byte 0 (none), deflated.
std::string compressedRows(uint32_t width, uint32_t height, std::span<const uint8_t> rgba) {
    const size_t stride = size_t{width} * 4;
    std::string raw;
    raw.reserve((stride + 1) * height);
    for (uint32_t row = 0; row < height; ++row) {
        raw += '\0';
        raw.append(reinterpret_cast<const char *>(rgba.data() + row * stride), stride);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string deflated(size, '\0');
    if (compress2(reinterpret_cast<Bytef *>(deflated.data()), &size,
                  reinterpret_cast<const Bytef *>(raw.data()), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("cannot compress an image");
    deflated.resize(size);
    return deflated;
}

}  // namespace

std::string encodePng(uint32_t width, uint32_t height, std::span<const uint8_t> rgba) {
    if (width == 0 || height == 0 || rgba.size() != size_t{width} * height * 4)
        throw std::invalid_argument("an image needs width x height RGBA pixels");
    std::string png = "\x89PNG\r\n\x1A\n";
    std::string header;
    putUint32(header, width);
    putUint32(header, height);
    header += "\x08\x06";    // 8 bits per channel, RGBA
    header.append(3, '\0');  // deflate, adaptive filtering, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", compressedRows(width, height, rgba));
    putChunk(png, "IEND", "");
    return png;
}

std::string base64(std::string_view bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) out += k <= n ? digits[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

}  // namespace kvgtool
