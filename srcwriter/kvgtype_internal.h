// Helpers of the encoding layer for the record layer, internal to the library: checks that let
// a record refuse an argument before its code byte is written, and the relative point array
// writer for callers that have already sized the stream for every difference.
#ifndef KVGTYPE_INTERNAL_H
#define KVGTYPE_INTERNAL_H

#include <bit>
#include <cstdint>

#include "kvgtype.h"

// Each records the encoding layer's own message ("Size KVG type limit exceeded", ...) and
// returns -1 when the value is beyond the type's limit; 0 otherwise. Nothing is written.
int checkSizeLimit(KVGF_State *st, uint32_t size);
int checkIdentifierLimit(KVGF_State *st, uint32_t id);
int checkSIdentifierLimit(KVGF_State *st, int32_t id);

// ---- Sizes and identifiers: one, two or three aligned bytes ----

// The length prefix in the top bits of the first byte, and the number of value bits after it.
struct VarLength {
    uint32_t prefix;
    int bits;
};
inline constexpr VarLength VAR_LENGTHS[] = {{0x00u, 7}, {0x8000u, 14}, {0xC00000u, 22}};

// The length (0 to 2, for 1 to 3 bytes) of an unsigned size or identifier.
inline int unsignedLength(uint32_t value) { return value < 128u ? 0 : value < 16384u ? 1 : 2; }

// The bytes of the low bits of `field` in the length of index `length`, right-aligned.
inline uint32_t varFieldBytes(uint32_t field, int length) {
    const VarLength &form = VAR_LENGTHS[length];
    return form.prefix | (field & ((1u << form.bits) - 1u));
}

// 0 when every one of the `n` differences fits the stream's relative point size, else -1;
// records nothing.
int verifyRelPoints(const KVGF_State *st, const double *relpoints, uint32_t n);

// The eight relative point sizes in bits, smallest first. The classification below gives a
// difference's smallest size as its index here, its class, which the edge optimizer works with
// directly.
inline constexpr uint8_t REL_POINT_SIZES[8] = {3, 6, 8, 16, 24, 32, 64, 128};

// ---- The smallest sizes of points and differences ----
//
// They are asked for every point drawn, so pairs of small whole numbers, by far the most
// common, take their size from integer arithmetic without a branch (the sizes of real steps
// follow no pattern a predictor could learn): an h-bit field holds -2^(h-1) to 2^(h-1) - 1,
// which v ^ (v >> 31) folds onto 0 to 2^(h-1) - 1, so the significant bits of the two folded
// coordinates together give the smallest field.

// Whether (x, y) are whole numbers within the 32-bit layouts' range, and then those numbers.
// The range test comes first, so that the conversion is defined; NaN fails it.
inline bool asWholePair(double x, double y, int32_t &ix, int32_t &iy) {
    constexpr double HALF32 = 32768.0;
    if (!(x >= -HALF32 && x < HALF32 && y >= -HALF32 && y < HALF32)) return false;
    ix = static_cast<int32_t>(x);
    iy = static_cast<int32_t>(y);
    return ix == x && iy == y;
}

// The significant bits of the folded pair, 1 to 15 for a whole pair in range: counted as at
// least 1 (the low bit set), which changes no size and spares the bit scan a zero.
inline int foldedBits(int32_t x, int32_t y) {
    return std::bit_width(static_cast<uint32_t>(x ^ (x >> 31)) |
                          static_cast<uint32_t>(y ^ (y >> 31)) | 1u);
}

// The smallest relative point class of a whole pair in range that is not a unit step, from
// its two coordinates folded as above and ORed: the smallest field of 6, 8, 16, 24 or 32 bits.
// The OR over several pairs gives the largest of their classes.
inline uint8_t wholeRelPointClassByBits(uint32_t folded) {
    // [significant bits of the folded pair]
    static constexpr uint8_t CLASSES[16] = {1, 1, 1, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
    return CLASSES[std::bit_width(folded | 1u)];
}

// The smallest relative point class (KVGT_MinRelPointSize as an index) of a whole pair in
// range: a unit step takes 3 bits, anything else the smallest field.
inline uint8_t wholeRelPointClass(int32_t x, int32_t y) {
    const bool unit_step = static_cast<uint32_t>(x + 1) <= 2 &&
                           static_cast<uint32_t>(y + 1) <= 2 && (x | y) != 0;
    const uint8_t by_bits = wholeRelPointClassByBits(static_cast<uint32_t>(x ^ (x >> 31)) |
                                                     static_cast<uint32_t>(y ^ (y >> 31)));
    return static_cast<uint8_t>(by_bits * static_cast<uint8_t>(!unit_step));
}

// The class of a pair that is not of small whole numbers: singles (64 bits) within their limit,
// doubles (128 bits) beyond it, NaN and the infinities too.
inline uint8_t floatingClass(double x, double y) {
    constexpr double SINGLE_LIMIT = 1e37;
    const auto single = [](double v) { return v >= -SINGLE_LIMIT && v <= SINGLE_LIMIT; };
    return single(x) && single(y) ? 6 : 7;
}

// The same as a size, 64 or 128, which absolute points share with relative ones.
inline uint8_t floatingSize(double x, double y) { return REL_POINT_SIZES[floatingClass(x, y)]; }

inline uint8_t minRelPointClass(double dx, double dy) {
    int32_t x, y;
    if (asWholePair(dx, dy, x, y)) return wholeRelPointClass(x, y);
    return floatingClass(dx, dy);
}

inline uint8_t minRelPointSize(double dx, double dy) {
    return REL_POINT_SIZES[minRelPointClass(dx, dy)];
}

// KVGT_RelPointArray without the per-point size check: the caller guarantees that every
// difference fits the stream's relative point size and that `n` is 1 to KVGT_SIZE_MAX.
int writeRelPointsUnchecked(KVGF_State *st, const double *relpoints, uint32_t n);
// `nsegs` segments of differences, each an aligned size byte (`sizes[i]`, when `size_bytes`),
// then `counts[i]` (1 to KVGT_SIZE_MAX) and that many differences of that size, every one
// known to fit: an edge record's segments, or (one segment, no size byte) a figure's
// differences.
int writeCountedSegments(KVGF_State *st, const double *relpoints, uint32_t nsegs,
                         const uint8_t *sizes, const uint32_t *counts, bool size_bytes);
// The same without the count, for records whose count is implied (the cubic curves).
int writeRelPointRunUnchecked(KVGF_State *st, const double *relpoints, uint32_t n);

#endif  // KVGTYPE_INTERNAL_H
