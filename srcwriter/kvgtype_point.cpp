// Absolute points, relative points and angles: the rules that give the smallest size holding a
// point, and the layouts of every size.
//
// All integer layouts are alike: x, then y, each a two's complement field of half the size
// (3 bits for the 6-bit size, 12 bits for the 24-bit size, ...), the pair bit-packed for 6 bits
// and aligned whole bytes from 8 bits on. The 3-bit size is a direction code; 64 and 128 bits
// are IEEE singles and doubles, most significant byte first.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "bitstream.h"
#include "kvgtype_internal.h"
#include "packedbits.h"

namespace {

// Whether all `n` points (x, y pairs) fit a stream of `size` bits: none needs a larger size.
// Sizes grow with what they hold, so "fits" is a comparison of sizes.
template <typename SmallestSize>
bool allFit(SmallestSize smallest, uint8_t size, const double *points, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        if (smallest(points[2 * i], points[2 * i + 1]) > size) return false;
    }
    return true;
}

// ---- Layouts ----

// Direction codes of the 3-bit size, indexed [dx + 1][dy + 1]: code k steps k × 45°
// counter-clockwise from the positive x axis. The zero step has no code.
constexpr uint8_t COMPASS_DIRECTIONS[3][3] = {{5, 4, 3}, {6, 255, 2}, {7, 0, 1}};

// A coordinate known to be whole and in range, as an integer (truncation changes nothing).
int32_t whole(double v) { return static_cast<int32_t>(v); }

// x and y as two's complement fields of `Bits` each, x in the high half.
template <int Bits>
uint32_t packPair(double x, double y) {
    constexpr uint32_t mask = (1u << Bits) - 1u;
    return (static_cast<uint32_t>(whole(x)) & mask) << Bits |
           (static_cast<uint32_t>(whole(y)) & mask);
}

// One difference of `Size` bits (3 to 32), known to fit, as its field: a direction code, or
// the packed pair.
template <int Size>
uint32_t relPointField(const double *point) {
    if constexpr (Size == 3) {
        return COMPASS_DIRECTIONS[whole(point[0]) + 1][whole(point[1]) + 1];
    } else {
        return packPair<Size / 2>(point[0], point[1]);
    }
}

// Host byte order: 0 little-endian, otherwise big-endian. Known when the library is compiled,
// so it is settled before any point is written and is the same for every thread.
constexpr int KVG_ENDIAN = std::endian::native == std::endian::big ? 1 : 0;
static_assert(std::endian::native == std::endian::big ||
              std::endian::native == std::endian::little);

// Writes the `indmax` bytes of a float or double, `j` its bytes in host memory, most
// significant first, aligned.
int writePointEndian(KVGF_State *st, const unsigned char *j, int indmax) {
    if (flushBits(st) != 0) return -1;
    const auto byteInFileOrder = [j, indmax](int i) {
        return j[KVG_ENDIAN != 0 ? i : indmax - 1 - i];
    };
    if (unsigned char *room = takeRoom(st, indmax)) [[likely]] {
        for (int i = 0; i < indmax; ++i) room[i] = byteInFileOrder(i);
        return 0;
    }
    for (int i = 0; i < indmax; ++i) {
        if (putByte(st, byteInFileOrder(i)) != 0) return -1;
    }
    return 0;
}

template <typename Float>
int writeFloating(KVGF_State *st, Float value) {
    unsigned char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    return writePointEndian(st, bytes, sizeof value);
}

// One aligned point of `Size` bits (8 and up), the stream already aligned.
template <int Size>
int writeAlignedPoint(KVGF_State *st, double x, double y) {
    if constexpr (Size == 64) {
        // Singles round to nearest.
        if (writeFloating(st, static_cast<float>(x)) != 0) return -1;
        return writeFloating(st, static_cast<float>(y));
    } else if constexpr (Size == 128) {
        if (writeFloating(st, x) != 0) return -1;
        return writeFloating(st, y);
    } else {
        return putBigEndian(st, packPair<Size / 2>(x, y), Size / 8);
    }
}

// Writes `n` points of `Size` bits, known to fit, without a count: the hot loop of every point
// list. 3- and 6-bit points pack straight into the bit buffer; the others align first.
template <int Size>
int writePointRun(KVGF_State *st, const double *points, uint32_t n) {
    if constexpr (Size <= 6) {
        return writeBitRun<Size>(
            st, n, [points](uint32_t i) { return relPointField<Size>(points + 2 * i); });
    } else if constexpr (Size <= 32) {
        // Whole bytes of packed integers: as many points at a time as the file's buffer has
        // room for, stored straight into it; one point at a time where it must be drained.
        if (flushBits(st) != 0) return -1;
        constexpr int BYTES = Size / 8;
        for (uint32_t i = 0; i < n;) {
            XioCursor *cursor = xioCursor(st->file);
            const auto fit =
                static_cast<uint32_t>(std::min<ptrdiff_t>(n - i, (cursor->limit - cursor->next) / BYTES));
            if (fit == 0) {
                if (writeAlignedPoint<Size>(st, points[2 * i], points[2 * i + 1]) != 0) return -1;
                ++i;
                continue;
            }
            unsigned char *room = cursor->next;
            cursor->next += size_t{fit} * BYTES;
            for (const uint32_t end = i + fit; i < end; ++i, room += BYTES) {
                const uint32_t packed = packPair<Size / 2>(points[2 * i], points[2 * i + 1]);
                for (int b = 0; b < BYTES; ++b) {
                    room[b] = static_cast<unsigned char>(packed >> (8 * (BYTES - 1 - b)));
                }
            }
        }
        return 0;
    } else {
        if (flushBits(st) != 0) return -1;
        for (uint32_t i = 0; i < n; ++i) {
            if (writeAlignedPoint<Size>(st, points[2 * i], points[2 * i + 1]) != 0) return -1;
        }
        return 0;
    }
}

using PointRunWriter = int (*)(KVGF_State *, const double *, uint32_t);

// The writer of points of `size` bits; null when `size` is none of the sizes.
PointRunWriter pointRunWriter(uint8_t size) {
    switch (size) {
        case 3: return writePointRun<3>;
        case 6: return writePointRun<6>;
        case 8: return writePointRun<8>;
        case 16: return writePointRun<16>;
        case 24: return writePointRun<24>;
        case 32: return writePointRun<32>;
        case 64: return writePointRun<64>;
        case 128: return writePointRun<128>;
        default: return nullptr;
    }
}

// The count, then `n` points of `size` bits, every one known to fit (so `size` is not a
// smaller size than the point needs). Nothing is written when `size` is no size at all.
int writeCountedPoints(KVGF_State *st, uint8_t size, const double *points, uint32_t n) {
    const PointRunWriter write = pointRunWriter(size);
    if (write == nullptr || KVGT_Size(st, n) != 0) return -1;
    return write(st, points, n);
}

// ---- Segments of differences through the packed writer ----

// The bytes that segments of whole-number sizes take at most (each aligned, with its size byte
// when `size_bytes`, its count and its fields), and the 8 that the packed writer may store
// beyond them; or 0 when a segment is of another size: the floating sizes and sizes that are
// none keep the writers above.
uint64_t packedBound(uint32_t nsegs, const uint8_t *sizes, const uint32_t *counts,
                     bool size_bytes) {
    uint64_t bytes = 8;
    for (uint32_t i = 0; i < nsegs; ++i) {
        if (sizes[i] > 32 || pointRunWriter(sizes[i]) == nullptr) return 0;
        bytes += (size_bytes ? 1 : 0) + 3 + (uint64_t{counts[i]} * sizes[i] + 7) / 8;
    }
    return bytes;
}

// `n` differences of `Size` bits. The fields are gathered, as many as fill 32 bits, so that the
// writer is called once a word rather than once a field: the bit-packed sizes through its
// register, the aligned ones stored as bytes. The loop works on a copy of the writer: its
// stores through a byte pointer could alias the caller's object, which would send the pending
// bits through memory at every word.
template <int Size>
const double *packRun(PackedBits &bits, const double *points, uint32_t n) {
    constexpr int PER_WORD = 32 / Size;
    const auto put = [](PackedBits &out, uint32_t word, int nfields) {
        if constexpr (Size % 8 == 0) {
            out.putBytes(word, nfields * Size / 8);
        } else {
            out.put(word, nfields * Size);
        }
    };
    PackedBits local = bits;
    const double *const end = points + 2 * size_t{n};
    for (; end - points >= 2 * PER_WORD;) {
        uint32_t word = 0;
        for (int f = 0; f < PER_WORD; ++f, points += 2) {
            word = static_cast<uint32_t>(uint64_t{word} << Size) | relPointField<Size>(points);
        }
        put(local, word, PER_WORD);
    }
    for (; points < end; points += 2) put(local, relPointField<Size>(points), 1);
    bits = local;
    return points;
}

// A segment's count, then its `n` differences of `size` bits: the bits that
// writeCountedPoints sends.
const double *packCountedRun(PackedBits &bits, uint8_t size, const double *points, uint32_t n) {
    const int length = unsignedLength(n);
    bits.drain();
    bits.putBytes(varFieldBytes(n, length), length + 1);
    switch (size) {
        case 3: return packRun<3>(bits, points, n);
        case 6: return packRun<6>(bits, points, n);
        case 8: return packRun<8>(bits, points, n);
        case 16: return packRun<16>(bits, points, n);
        case 24: return packRun<24>(bits, points, n);
        default: return packRun<32>(bits, points, n);
    }
}

// The segments one writer call at a time, for whatever the packed writer does not take.
int writeSegmentsByCalls(KVGF_State *st, const double *relpoints, uint32_t nsegs,
                         const uint8_t *sizes, const uint32_t *counts, bool size_bytes) {
    for (uint32_t i = 0; i < nsegs; ++i) {
        if (size_bytes && KVGT_Byte(st, sizes[i]) != 0) return -1;
        if (writeCountedPoints(st, sizes[i], relpoints, counts[i]) != 0) return -1;
        relpoints += 2 * size_t{counts[i]};
    }
    return 0;
}

// ---- Angles ----

constexpr double PI = 3.141592653589793;

// Brings an angle in degrees into [0, 360) with the result of the format's loop (subtract 360
// while the angle is 360 or more, then add 360 while it is below 0), in bounded time.
//
// Below 2^56 in magnitude every step of that loop is exact (the ulp divides 360), except the
// final addition that lifts a negative remainder: so the loop ends on the exact remainder that
// fmod gives, plus 360 in one rounding when it is negative, and on +0 when a negative angle is
// a whole number of turns (fmod gives -0 there). Larger angles, where the loop rounds at every
// step or never ends, reduce by fmod alone; infinities and NaN give NaN, which only the 128-bit
// point size can carry.
double reduceDegrees(double angle) {
    const double remainder = std::fmod(angle, 360.0);
    if (remainder < 0.0) return remainder + 360.0;
    if (remainder == 0.0 && angle < 0.0) return 0.0;
    return remainder;
}

int writeScaledAngle(KVGF_State *st, double cosine, double sine, double scale) {
    return KVGT_Point(st, std::floor(cosine * scale), std::floor(sine * scale));
}

}  // namespace

// ---- Absolute points ----

uint8_t KVGT_MinPointSize(double x, double y) {
    int32_t ix, iy;
    if (!asWholePair(x, y, ix, iy)) return floatingSize(x, y);
    const int bits = foldedBits(ix, iy);
    return bits <= 7 ? 16 : bits <= 11 ? 24 : 32;
}

int KVGT_VerifyPoint(KVGF_State *st, double x, double y) {
    return st->point_size < KVGT_MinPointSize(x, y) ? -1 : 0;
}

int KVGT_Point(KVGF_State *st, double x, double y) {
    if (KVGT_VerifyPoint(st, x, y) != 0 || flushBits(st) != 0) return -1;
    const PointRunWriter write = pointRunWriter(st->point_size);
    if (write == nullptr) return -1;
    const double point[2] = {x, y};
    return write(st, point, 1);
}

// All points are checked before the count, so a refused array leaves nothing in the stream.
int KVGT_PointArray(KVGF_State *st, const double *points, uint32_t npoints) {
    if (points == nullptr || npoints == 0) return -1;
    if (checkSizeLimit(st, npoints) != 0) return -1;
    if (pointRunWriter(st->point_size) == nullptr) return -1;  // no size at all
    if (!allFit(KVGT_MinPointSize, st->point_size, points, npoints)) return -1;
    return writeCountedPoints(st, st->point_size, points, npoints);
}

// ---- Relative points ----

uint8_t KVGT_MinRelPointSize(double dx, double dy) { return minRelPointSize(dx, dy); }

int KVGT_VerifyRelPoint(KVGF_State *st, double x, double y) {
    return st->rel_point_size < KVGT_MinRelPointSize(x, y) ? -1 : 0;
}

int KVGT_RelPoint(KVGF_State *st, double x, double y) {
    if (KVGT_VerifyRelPoint(st, x, y) != 0) return -1;
    const double point[2] = {x, y};
    return writeRelPointRunUnchecked(st, point, 1);
}

int verifyRelPoints(const KVGF_State *st, const double *relpoints, uint32_t n) {
    if (pointRunWriter(st->rel_point_size) == nullptr) return -1;  // no size at all
    return allFit(minRelPointSize, st->rel_point_size, relpoints, n) ? 0 : -1;
}

int writeRelPointRunUnchecked(KVGF_State *st, const double *relpoints, uint32_t n) {
    const PointRunWriter write = pointRunWriter(st->rel_point_size);
    return write != nullptr ? write(st, relpoints, n) : -1;
}

int writeRelPointsUnchecked(KVGF_State *st, const double *relpoints, uint32_t n) {
    return writeCountedSegments(st, relpoints, 1, &st->rel_point_size, &n, false);
}

// One check for room, then every segment stored straight into the file's buffer by the packed
// writer; where the buffer has not the room, or a segment holds floating differences, one
// writer call at a time.
int writeCountedSegments(KVGF_State *st, const double *relpoints, uint32_t nsegs,
                         const uint8_t *sizes, const uint32_t *counts, bool size_bytes) {
    if (flushBits(st) != 0) return -1;
    const uint64_t bound = packedBound(nsegs, sizes, counts, size_bytes);
    XioCursor *cursor = xioCursor(st->file);
    if (bound == 0 || bound > static_cast<uint64_t>(cursor->limit - cursor->next)) [[unlikely]] {
        return writeSegmentsByCalls(st, relpoints, nsegs, sizes, counts, size_bytes);
    }
    PackedBits bits(cursor->next);
    for (uint32_t i = 0; i < nsegs; ++i) {
        if (size_bytes) {
            bits.drain();
            bits.putBytes(sizes[i], 1);
        }
        relpoints = packCountedRun(bits, sizes[i], relpoints, counts[i]);
    }
    cursor->next = bits.finish(st->current, st->bit);
    return 0;
}

// All differences are checked before the count, so a refused array leaves nothing in the
// stream.
int KVGT_RelPointArray(KVGF_State *st, const double *relpoints, uint32_t nrelpoints) {
    if (relpoints == nullptr || nrelpoints == 0) return -1;
    if (checkSizeLimit(st, nrelpoints) != 0) return -1;
    if (verifyRelPoints(st, relpoints, nrelpoints) != 0) return -1;
    return writeRelPointsUnchecked(st, relpoints, nrelpoints);
}

// ---- Angles ----

int KVGT_Angle(KVGF_State *st, double angle) {
    const double radians = ((reduceDegrees(angle) / 360.0) * 2.0) * PI;
    const double cosine = std::cos(radians);
    const double sine = std::sin(radians);
    switch (st->point_size) {
        case 16: return writeScaledAngle(st, cosine, sine, 127.0);
        case 24: return writeScaledAngle(st, cosine, sine, 2047.0);
        case 32: return writeScaledAngle(st, cosine, sine, 32767.0);
        case 64:
        case 128: return KVGT_Point(st, cosine, sine);
        default: return -1;
    }
}
