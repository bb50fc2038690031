#include "baselines.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace scene {

namespace {

constexpr int kGzipWindowBits = 15 + 16;

}  // namespace

CopyBaseline::CopyBaseline(uint64_t size) : from_(size, 0x5A), to_(size, 0) {}

uint64_t CopyBaseline::run() {
    std::memcpy(to_.data(), from_.data(), from_.size());
    // The copy is observed, so the compiler keeps it.
    asm volatile("" : : "r"(to_.data()) : "memory");
    return to_.size();
}

DeflateBaseline::DeflateBaseline(const std::vector<unsigned char> &data, int level)
    : data_(data), level_(level), out_(compressBound(static_cast<uLong>(data.size())) + 64) {}

uint64_t DeflateBaseline::run() {
    z_stream stream{};
    if (deflateInit2(&stream, level_, Z_DEFLATED, kGzipWindowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("cannot start deflate");
    }
    stream.next_in = const_cast<Bytef *>(data_.data());
    stream.avail_in = static_cast<uInt>(data_.size());
    stream.next_out = out_.data();
    stream.avail_out = static_cast<uInt>(out_.size());
    const int status = deflate(&stream, Z_FINISH);
    const uint64_t size = stream.total_out;
    deflateEnd(&stream);
    if (status != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
    return size;
}

}  // namespace scene
