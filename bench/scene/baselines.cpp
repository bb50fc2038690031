#include "baselines.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

#if KVG_BENCH_LIBDEFLATE
#include <libdeflate.h>
#endif
#if KVG_BENCH_ISAL
#include <isa-l/igzip_lib.h>
#endif

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

bool hasEncoder(Encoder encoder) {
    switch (encoder) {
        case Encoder::LIBDEFLATE: return KVG_BENCH_LIBDEFLATE != 0;
        case Encoder::ISAL: return KVG_BENCH_ISAL != 0;
        default: return true;
    }
}

int lowestLevel(Encoder encoder) { return encoder == Encoder::ISAL ? 0 : 1; }

int highestLevel(Encoder encoder) {
    switch (encoder) {
        case Encoder::LIBDEFLATE: return 12;
        case Encoder::ISAL: return 3;
        default: return 9;
    }
}

const char *encoderName(Encoder encoder) {
    switch (encoder) {
        case Encoder::LIBDEFLATE: return "libdeflate";
        case Encoder::ISAL: return "ISA-L igzip";
        default: return "zlib";
    }
}

DeflateBaseline::DeflateBaseline(const std::vector<unsigned char> &data, int level,
                                 Encoder encoder)
    : data_(data), level_(level), encoder_(encoder),
      out_(compressBound(static_cast<uLong>(data.size())) + 1024) {}

uint64_t DeflateBaseline::run() {
    switch (encoder_) {
        case Encoder::LIBDEFLATE: size_ = runLibdeflate(); break;
        case Encoder::ISAL: size_ = runIsal(); break;
        default: size_ = runZlib(); break;
    }
    return size_;
}

uint64_t DeflateBaseline::runZlib() {
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

uint64_t DeflateBaseline::runLibdeflate() {
#if KVG_BENCH_LIBDEFLATE
    libdeflate_compressor *compressor = libdeflate_alloc_compressor(level_);
    if (compressor == nullptr) throw std::runtime_error("cannot start libdeflate");
    const size_t size = libdeflate_gzip_compress(compressor, data_.data(), data_.size(),
                                                 out_.data(), out_.size());
    libdeflate_free_compressor(compressor);
    if (size == 0) throw std::runtime_error("libdeflate did not finish");
    return size;
#else
    throw std::logic_error("built without libdeflate");
#endif
}

uint64_t DeflateBaseline::runIsal() {
#if KVG_BENCH_ISAL
    static constexpr uint32_t kLevelBufferSizes[] = {ISAL_DEF_LVL0_DEFAULT, ISAL_DEF_LVL1_DEFAULT,
                                                     ISAL_DEF_LVL2_DEFAULT, ISAL_DEF_LVL3_DEFAULT};
    level_buffer_.resize(kLevelBufferSizes[level_]);
    isal_zstream stream;
    isal_deflate_init(&stream);
    stream.level = static_cast<uint32_t>(level_);
    stream.level_buf = level_buffer_.data();
    stream.level_buf_size = static_cast<uint32_t>(level_buffer_.size());
    stream.gzip_flag = IGZIP_GZIP;
    stream.end_of_stream = 1;
    stream.next_in = const_cast<uint8_t *>(data_.data());
    stream.avail_in = static_cast<uint32_t>(data_.size());
    stream.next_out = out_.data();
    stream.avail_out = static_cast<uint32_t>(out_.size());
    if (isal_deflate(&stream) != COMP_OK || stream.internal_state.state != ZSTATE_END) {
        throw std::runtime_error("igzip did not finish");
    }
    return stream.total_out;
#else
    throw std::logic_error("built without ISA-L");
#endif
}

bool DeflateBaseline::roundTrips() const {
    z_stream stream{};
    if (inflateInit2(&stream, kGzipWindowBits) != Z_OK) return false;
    std::vector<unsigned char> back(data_.size() + 1);
    stream.next_in = const_cast<Bytef *>(out_.data());
    stream.avail_in = static_cast<uInt>(size_);
    stream.next_out = back.data();
    stream.avail_out = static_cast<uInt>(back.size());
    const int status = inflate(&stream, Z_FINISH);
    const bool whole = status == Z_STREAM_END && stream.avail_in == 0 &&
                       stream.total_out == data_.size();
    inflateEnd(&stream);
    return whole && std::memcmp(back.data(), data_.data(), data_.size()) == 0;
}

}  // namespace scene
