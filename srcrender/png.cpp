#include "png.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace kvgrender {

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

// Deflates the rows, each behind the filter byte 0 (none), as they are handed over.
class RowDeflater {
public:
    RowDeflater() {
        if (deflateInit(&stream_, Z_DEFAULT_COMPRESSION) != Z_OK)
            throw std::runtime_error("cannot compress an image");
    }
    ~RowDeflater() { deflateEnd(&stream_); }
    RowDeflater(const RowDeflater &) = delete;
    RowDeflater &operator=(const RowDeflater &) = delete;

    void row(std::span<const uint8_t> bytes) {
        const uint8_t filter = 0;
        feed({&filter, 1}, Z_NO_FLUSH);
        feed(bytes, Z_NO_FLUSH);
    }
    std::string finish() {
        feed({}, Z_FINISH);
        return std::move(out_);
    }

private:
    void feed(std::span<const uint8_t> bytes, int flush) {
        stream_.next_in = const_cast<Bytef *>(bytes.data());
        stream_.avail_in = static_cast<uInt>(bytes.size());
        int status;
        do {
            Bytef buffer[65536];
            stream_.next_out = buffer;
            stream_.avail_out = sizeof buffer;
            status = deflate(&stream_, flush);
            if (status == Z_STREAM_ERROR) throw std::runtime_error("cannot compress an image");
            out_.append(reinterpret_cast<const char *>(buffer), sizeof buffer - stream_.avail_out);
        } while (stream_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    }

    z_stream stream_{};
    std::string out_;
};

template <class Rows>
std::string png(uint32_t width, uint32_t height, Rows rows) {
    if (width == 0 || height == 0) throw std::invalid_argument("an image needs pixels");
    std::string file = "\x89PNG\r\n\x1A\n";
    std::string header;
    putUint32(header, width);
    putUint32(header, height);
    header += "\x08\x06";    // 8 bits per channel, RGBA
    header.append(3, '\0');  // deflate, adaptive filtering, no interlace
    putChunk(file, "IHDR", header);
    RowDeflater deflater;
    rows(deflater);
    putChunk(file, "IDAT", deflater.finish());
    putChunk(file, "IEND", "");
    return file;
}

}  // namespace

std::string encodePng(const ImageSource &source) {
    const uint32_t width = source.width(), height = source.height();
    return png(width, height, [&](RowDeflater &deflater) {
        std::vector<uint8_t> row(size_t{width} * 4);
        for (uint32_t y = 0; y < height; ++y) {
            source.row(y, row.data());
            deflater.row(row);
        }
    });
}

std::string encodePng(uint32_t width, uint32_t height, std::span<const uint8_t> rgba) {
    if (rgba.size() != size_t{width} * height * 4)
        throw std::invalid_argument("an image needs width x height RGBA pixels");
    return png(width, height, [&](RowDeflater &deflater) {
        const size_t stride = size_t{width} * 4;
        for (uint32_t y = 0; y < height; ++y) deflater.row(rgba.subspan(y * stride, stride));
    });
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

}  // namespace kvgrender
