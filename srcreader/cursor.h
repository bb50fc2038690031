// The read cursor of the decoder: bits most significant first, multi-byte values big-endian,
// byte-aligned arguments after bit-packed ones only once the rest of the pending byte, which
// must be zero, has been skipped. Every fault throws a Fault.
#ifndef KVGREADER_CURSOR_H
#define KVGREADER_CURSOR_H

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decoder.h"
#include "input.h"
#include "kvgreader.h"

namespace kvgr::impl {

// A fault found while reading, with its KVGR_ERROR_CODE. Without an offset it lies in the
// record being decoded.
struct Fault {
    std::string reason;
    std::optional<uint64_t> offset;
    int code = KVGR_ERR_FORMAT;
};

// Reads the content as it arrives, through a window of fixed size: what lies before the cursor
// is dropped. Only whole text and raw byte runs reach beyond the window, copied piece by piece.
class Cursor {
public:
    explicit Cursor(Content &content);

    // Offset just past the last byte touched (a partial byte counts).
    uint64_t end() const { return base_ + next_ + (bit_ != 0 ? 1 : 0); }
    // Whether the content has ended at the cursor (false inside a partial byte).
    bool atEnd();

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
    // `count` aligned bytes appended to `out`, which `grown` is told of as it grows.
    template <class Grown>
    void copy(uint64_t count, std::vector<uint8_t> &out, Grown grown);

private:
    static constexpr size_t WINDOW = 64 * 1024;

    const uint8_t *take(size_t count);  // aligned whole bytes, at most 16
    void fill(size_t count);            // `count` bytes from next_ in the window, or truncated
    [[noreturn]] static void truncated();

    Content &content_;
    std::unique_ptr<uint8_t[]> window_;
    uint64_t base_ = 0;  // content offset of window_[0]
    size_t next_ = 0;    // the cursor: window_[next_] is the byte being read
    size_t end_ = 0;     // window_[0, end_) holds content
    int bit_ = 0;        // bits of window_[next_] already read
};

template <class Grown>
void Cursor::copy(uint64_t count, std::vector<uint8_t> &out, Grown grown) {
    align();
    while (count > 0) {
        if (next_ == end_) fill(1);
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, end_ - next_));
        out.insert(out.end(), window_.get() + next_, window_.get() + next_ + n);
        grown(out.size());
        next_ += n;
        count -= n;
    }
}

}  // namespace kvgr::impl

#endif  // KVGREADER_CURSOR_H
