#include "cursor.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace kvgr::impl {

namespace {

// The low `width` bits of `value` as a two's complement number.
constexpr int32_t signExtend(uint32_t value, int width) {
    const uint32_t sign = 1u << (width - 1);
    return static_cast<int32_t>((value ^ sign) - sign);
}

uint32_t bigEndian(const uint8_t *p, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | p[i];
    return value;
}

double singleAt(const uint8_t *p) { return std::bit_cast<float>(bigEndian(p, 4)); }

double doubleAt(const uint8_t *p) {
    const uint64_t high = bigEndian(p, 4);
    return std::bit_cast<double>(high << 32 | bigEndian(p + 4, 4));
}

// Two 12-bit fields in three bytes: x bits 11-4 | x bits 3-0, y bits 11-8 | y bits 7-0.
Point twelveBitPair(const uint8_t *p) {
    const uint32_t x = uint32_t{p[0]} << 4 | p[1] >> 4;
    const uint32_t y = uint32_t{p[1] & 0x0Fu} << 8 | p[2];
    return {double(signExtend(x, 12)), double(signExtend(y, 12))};
}

Point int8Pair(const uint8_t *p) {
    return {double(static_cast<int8_t>(p[0])), double(static_cast<int8_t>(p[1]))};
}

Point int16Pair(const uint8_t *p) {
    return {double(static_cast<int16_t>(bigEndian(p, 2))),
            double(static_cast<int16_t>(bigEndian(p + 2, 2)))};
}

// The steps of the 3-bit relative point, code k pointing k x 45 degrees from the x axis.
constexpr Point COMPASS[8] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};

}  // namespace

Cursor::Cursor(Content &content) : content_(content), window_(new uint8_t[WINDOW]) {}

void Cursor::truncated() { throw Fault{"truncated", std::nullopt}; }

void Cursor::fill(size_t count) {
    // Keep the unread bytes, moved to the front, and read behind them.
    const size_t kept = end_ - next_;
    std::memmove(window_.get(), window_.get() + next_, kept);
    base_ += next_;
    next_ = 0;
    end_ = kept;
    while (end_ < count) {
        const size_t got = content_.read({window_.get() + end_, WINDOW - end_});
        if (got == 0) truncated();
        end_ += got;
    }
}

bool Cursor::atEnd() {
    if (bit_ != 0 || next_ < end_) return false;
    try {
        fill(1);
    } catch (const Fault &fault) {
        if (fault.code != KVGR_ERR_FORMAT) throw;  // a fault of the input, not its end
        return true;
    }
    return false;
}

void Cursor::align() {
    if (bit_ == 0) return;
    const uint8_t rest = static_cast<uint8_t>(window_[next_] & (0xFFu >> bit_));
    if (rest != 0) {
        throw Fault{"non-zero padding bits in byte " + std::to_string(base_ + next_),
                    std::nullopt};
    }
    ++next_;
    bit_ = 0;
}

uint32_t Cursor::bits(int count) {
    uint32_t value = 0;
    while (count > 0) {
        if (next_ == end_) fill(1);
        const int available = 8 - bit_;
        const int taken = count < available ? count : available;
        const uint32_t chunk = window_[next_] >> (available - taken) & ((1u << taken) - 1);
        value = value << taken | chunk;
        count -= taken;
        bit_ += taken;
        if (bit_ == 8) {
            bit_ = 0;
            ++next_;
        }
    }
    return value;
}

const uint8_t *Cursor::take(size_t count) {
    align();
    if (end_ - next_ < count) fill(count);
    const uint8_t *p = window_.get() + next_;
    next_ += count;
    return p;
}

uint8_t Cursor::byte() { return *take(1); }

uint16_t Cursor::uint16() { return static_cast<uint16_t>(bigEndian(take(2), 2)); }

// 0xxxxxxx, 10xxxxxx + 1 byte, 11xxxxxx + 2 bytes; the writer always takes the shortest form.
uint32_t Cursor::size() {
    const uint8_t first = byte();
    if ((first & 0x80) == 0) return first;
    const int extra = (first & 0x40) != 0 ? 2 : 1;
    const uint32_t value = (first & 0x3Fu) << (8 * extra) | bigEndian(take(extra), extra);
    if (value < (extra == 1 ? 0x80u : 0x4000u)) {
        throw Fault{"size or identifier not in its shortest form", std::nullopt};
    }
    return value;
}

int32_t Cursor::sidentifier() {
    const uint8_t first = byte();
    if ((first & 0x80) == 0) return signExtend(first, 7);
    const int extra = (first & 0x40) != 0 ? 2 : 1;
    const int width = extra == 1 ? 14 : 22;
    const int32_t value =
        signExtend((first & 0x3Fu) << (8 * extra) | bigEndian(take(extra), extra), width);
    const int32_t shorter = extra == 1 ? 64 : 8192;  // the range of the next shorter form
    if (value >= -shorter && value < shorter) {
        throw Fault{"signed identifier not in its shortest form", std::nullopt};
    }
    return value;
}

std::string Cursor::text() {
    const uint32_t length = size();
    std::string text;
    while (text.size() < length) {
        if (next_ == end_) fill(1);
        const size_t n = std::min<size_t>(length - text.size(), end_ - next_);
        text.append(reinterpret_cast<const char *>(window_.get() + next_), n);
        next_ += n;
    }
    return text;
}

// The floating layouts can hold infinities and NaN, which no position of a drawing is.
Point finite(Point p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        throw Fault{"coordinate not a finite number", std::nullopt};
    }
    return p;
}

Point Cursor::point(uint8_t pointSize) {
    switch (pointSize) {
        case 16: return int8Pair(take(2));
        case 24: return twelveBitPair(take(3));
        case 32: return int16Pair(take(4));
        case 64: {
            const uint8_t *p = take(8);
            return finite({singleAt(p), singleAt(p + 4)});
        }
        default: {
            const uint8_t *p = take(16);
            return finite({doubleAt(p), doubleAt(p + 8)});
        }
    }
}

Point Cursor::relPoint(uint8_t relPointSize) {
    switch (relPointSize) {
        case 3: return COMPASS[bits(3)];
        case 6: {
            const uint32_t pair = bits(6);
            return {double(signExtend(pair >> 3, 3)), double(signExtend(pair & 7u, 3))};
        }
        case 8: {
            const uint8_t pair = byte();
            return {double(signExtend(pair >> 4, 4)), double(signExtend(pair & 15u, 4))};
        }
        default: return point(relPointSize);  // 16 to 128 bits: the absolute layouts
    }
}

uint32_t Cursor::color(uint8_t colorSize) {
    switch (colorSize) {
        case kvgfmt::COLOR_INDEX1: return bits(1);
        case kvgfmt::COLOR_INDEX8:
        case kvgfmt::COLOR_GRAY8: return byte();
        case kvgfmt::COLOR_GRAY12: return bits(12);
        case kvgfmt::COLOR_GRAY16: return bigEndian(take(2), 2);
        case kvgfmt::COLOR_RGB: return bigEndian(take(3), 3);
        default: return bigEndian(take(4), 4);  // GA and RGBA
    }
}

}  // namespace kvgr::impl
