// The read cursor of the decoder: bits most significant first, multi-byte values big-endian,
// byte-aligned arguments after bit-packed ones only once the rest of the pending byte, which
// must be zero, has been skipped. Every fault throws a Fault.
#ifndef KVGREADER_CURSOR_H
#define KVGREADER_CURSOR_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "decoder.h"
#include "kvgreader.h"

namespace kvgr::impl {

// A fault found while reading, with its KVGR_ERROR_CODE. Without an offset it lies in the
// record being decoded.
struct Fault {
    std::string reason;
    std::optional<uint64_t> offset;
    int code = KVGR_ERR_FORMAT;
};

class Cursor {
public:
    Cursor(std::span<const uint8_t> bytes, uint64_t position)
        : bytes_(bytes), position_(position) {}

    // Offset just past the last byte touched (a partial byte counts).
    uint64_t end() const { return position_ + (bit_ != 0 ? 1 : 0); }
    // Bits left from the cursor to the end of the data.
    uint64_t bitsLeft() const { return (bytes_.size() - position_) * 8 - bit_; }
    bool atEnd() const { return bitsLeft() == 0; }

    // Skips the rest of a partial byte, which must hold only zero bits.
    void align();
    // Bit-packed: the next `count` bits (at most 32) as an unsigned value.
    uint32_t bits(int count);
    // Aligned reads.
    uint8_t byte();
    uint16_t uint16();
    uint32_t size();
    int32_t sidentifier();
    std::string text();
    Point point(uint8_t pointSize);
    // Relative points: 3 and 6 bits are bit-packed, the larger sizes aligned.
    Point relPoint(uint8_t relPointSize);
    // A colour's raw value in a colour size (INDEX1 and GRAY12 bit-packed).
    uint32_t color(uint8_t colorSize);
    // Fails as truncated unless `count` items of at least `bitsEach` bits can follow.
    void expect(uint64_t count, uint64_t bitsEach) const;

private:
    const uint8_t *take(uint64_t count);  // aligned whole bytes
    [[noreturn]] static void truncated();

    std::span<const uint8_t> bytes_;
    uint64_t position_;
    int bit_ = 0;  // bits of bytes_[position_] already read
};

}  // namespace kvgr::impl

#endif  // KVGREADER_CURSOR_H
