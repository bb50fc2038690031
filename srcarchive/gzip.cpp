// gzip streams in memory, for directories, metadata and tiles. Inflating stops at a limit, so
// that a few bytes that expand a thousandfold cannot claim the memory.
#include <zlib.h>

#include <algorithm>
#include <new>

#include "archive_format.h"

namespace kvga::impl {

namespace {

// The largest window, and a gzip wrapper (header and CRC-32 trailer).
constexpr int GZIP_WINDOW_BITS = 15 + 16;
constexpr size_t CHUNK = 64 * 1024;

void checkStart(int status) {
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    if (status != Z_OK) fail(ErrorCode::Compression, "cannot start zlib");
}

}  // namespace

bool isGzip(std::span<const uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[0] == 0x1f && bytes[1] == 0x8b;
}

Bytes gzip(std::span<const uint8_t> plain) {
    z_stream z{};
    checkStart(deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, GZIP_WINDOW_BITS, 8,
                            Z_DEFAULT_STRATEGY));
    Bytes out(deflateBound(&z, static_cast<uLong>(plain.size())) + 32);
    z.next_in = const_cast<Bytef *>(plain.data());
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END) fail(ErrorCode::Compression, "cannot compress");
    return out;
}

Bytes gunzip(std::span<const uint8_t> stream, uint64_t limit, const std::string &what) {
    if (!isGzip(stream)) fail(ErrorCode::Compression, what + " is not a gzip stream");
    z_stream z{};
    checkStart(inflateInit2(&z, GZIP_WINDOW_BITS));
    z.next_in = const_cast<Bytef *>(stream.data());
    z.avail_in = static_cast<uInt>(std::min<size_t>(stream.size(), UINT32_MAX));
    Bytes out;
    const uint64_t cap = std::min<uint64_t>(limit, UINT64_MAX - 1);
    int status = Z_OK;
    while (status == Z_OK) {
        // One byte beyond the limit is room enough to tell that the content exceeds it.
        const uint64_t room = cap + 1 - out.size();
        const size_t grow = static_cast<size_t>(std::min<uint64_t>(CHUNK, room));
        const size_t before = out.size();
        out.resize(before + grow);
        z.next_out = out.data() + before;
        z.avail_out = static_cast<uInt>(grow);
        status = inflate(&z, Z_NO_FLUSH);
        out.resize(before + grow - z.avail_out);
        if (out.size() > limit) {
            inflateEnd(&z);
            fail(ErrorCode::Limit, what + " inflates beyond the limit of " +
                                       std::to_string(limit) + " bytes");
        }
    }
    const bool whole = status == Z_STREAM_END && z.total_in == stream.size();
    const char *reason = z.msg;
    inflateEnd(&z);
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    if (status == Z_STREAM_END && !whole)
        fail(ErrorCode::Compression, what + " has bytes after its gzip stream");
    if (!whole) {
        const std::string why = reason != nullptr ? reason : "cut short";
        fail(ErrorCode::Compression, what + " is a damaged gzip stream (" + why + ")");
    }
    return out;
}

}  // namespace kvga::impl
