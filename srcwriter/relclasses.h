// The smallest relative point classes of runs of differences, eight differences at a time in
// vector lanes: the edge optimizer's classes and a primitive's largest class come from here.
// Internal to the library.
//
// The lanes compute what minRelPointClass computes for a pair of small whole numbers, from
// comparisons only (no bit scan, no table), so that the compiler keeps them in vector
// registers. A pair of any other kind (a fraction, a magnitude beyond the 16-bit fields, an
// infinity, NaN) is only noticed, and the caller then classifies the whole run one difference
// at a time: such pairs come from raw files and from coordinates far beyond the grid.
#ifndef RELCLASSES_H
#define RELCLASSES_H

#include <cstdint>
#include <cstring>

#include "kvgtype_internal.h"

namespace relclasses {

// Vectors of the sizes AVX2 registers hold, so that the AVX2 form of a kernel keeps every
// operation in one instruction (wider vectors' comparisons are split lane by lane).
typedef double Doubles4 __attribute__((vector_size(32)));
typedef int64_t Masks4 __attribute__((vector_size(32)));  // a comparison of Doubles4
typedef int32_t Ints4 __attribute__((vector_size(16)));
typedef int32_t Ints8 __attribute__((vector_size(32)));
typedef uint32_t Unsigned8 __attribute__((vector_size(32)));

// The coordinates d[0] to d[3] as integers; clears lanes of `whole` for those that are not
// whole numbers of the 16-bit fields' range (their integers are then meaningless).
[[gnu::always_inline]] inline Ints4 wholeCoordinates(const double *d, Masks4 &whole) {
    constexpr double HALF32 = 32768.0;
    Doubles4 v;
    std::memcpy(&v, d, sizeof v);
    const Masks4 in_range = (v >= -HALF32) & (v < HALF32);
    // Out of range (or NaN) converts 0 instead, so that the conversion stays defined.
    const Ints4 i = __builtin_convertvector((Doubles4)((Masks4)v & in_range), Ints4);
    // Adding and taking away 1.5 * 2^52 rounds a value of this range to an integer, exactly.
    whole &= in_range & (((v + 0x1.8p52) - 0x1.8p52) == v);
    return i;
}

// The classes of eight differences (sixteen doubles, x then y each), in eight lanes, as
// wholeRelPointClass gives them; clears lanes of `whole` for coordinates that are not whole
// numbers of the 16-bit fields' range, whose classes are then meaningless.
[[gnu::always_inline]] inline Ints8 wholeClassesOfEight(const double *d, Masks4 &whole) {
    const Ints4 a = wholeCoordinates(d, whole), b = wholeCoordinates(d + 4, whole);
    const Ints4 c = wholeCoordinates(d + 8, whole), e = wholeCoordinates(d + 12, whole);
    const Ints8 x = __builtin_shufflevector(__builtin_shufflevector(a, b, 0, 2, 4, 6),
                                            __builtin_shufflevector(c, e, 0, 2, 4, 6), 0, 1, 2,
                                            3, 4, 5, 6, 7);
    const Ints8 y = __builtin_shufflevector(__builtin_shufflevector(a, b, 1, 3, 5, 7),
                                            __builtin_shufflevector(c, e, 1, 3, 5, 7), 0, 1, 2,
                                            3, 4, 5, 6, 7);
    // The folded magnitudes of both coordinates ORed, and whether both are -1, 0 or 1 (a unit
    // step, unless both are 0).
    const Ints8 f = (x ^ (x >> 31)) | (y ^ (y >> 31));
    const Ints8 unit = (Ints8)((Unsigned8)(x + 1) <= 2u) & (Ints8)((Unsigned8)(y + 1) <= 2u) &
                       (Ints8)((x | y) != 0);
    // 3-bit fields hold folded magnitudes up to 3, 4-bit ones 7, 8-bit 127, 12-bit 2047 and
    // 16-bit 32767: classes 1 to 5, less for a unit step (class 0). Comparisons give -1.
    const Ints8 by_bits = 1 - (f > 3) - (f > 7) - (f > 127) - (f > 2047);
    return by_bits & ~unit;
}

// The low byte of each lane, in lane order, into out[0] to out[7].
[[gnu::always_inline]] inline void storeLowBytes(Ints8 v, uint8_t *out) {
    typedef uint8_t Bytes32 __attribute__((vector_size(32)));
    const Bytes32 b = (Bytes32)v;
    const auto low = __builtin_shufflevector(b, b, 0, 4, 8, 12, 16, 20, 24, 28);
    std::memcpy(out, &low, sizeof low);
}

// Calls take(i, classes) for the differences i to i + 7 of `d`, for every whole eight of the
// `n` differences from the first; the last n % 8 are left to the caller. Returns whether every
// difference seen was a pair of small whole numbers; when not, the classes given were
// meaningless.
template <typename Take>
[[gnu::always_inline]] inline bool wholeClassesByEight(const double *d, uint32_t n, Take take) {
    Masks4 whole = {-1, -1, -1, -1};
    for (uint32_t i = 0; i + 8 <= n; i += 8) {
        take(i, wholeClassesOfEight(d + 2 * size_t{i}, whole));
    }
    return (whole[0] & whole[1] & whole[2] & whole[3]) == -1;
}

}  // namespace relclasses

#endif  // RELCLASSES_H
