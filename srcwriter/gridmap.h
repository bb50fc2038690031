// Positions onto the file grid: the world window mapped onto the file window, then rounded to
// the nearest file unit. One position at a time for the per-point calls, and whole runs of
// positions, with the repeats dropped and the differences taken, for the bulk calls. Internal
// to the library.
//
// Every build and every processor must give the same coordinates, bit for bit: each axis goes
// through the same IEEE operations in the same order (no reciprocal scale, no contraction into
// a fused multiply-add), whether one coordinate is mapped at a time or several in vector lanes.
#ifndef GRIDMAP_H
#define GRIDMAP_H

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// One axis of a window mapped onto another, in the one fixed order of operations.
inline double mapAxis(double v, double from_min, double from_max, double to_min, double to_max) {
    return (v - from_min) / (from_max - from_min) * (to_max - to_min) + to_min;
}

// Rounds to the nearest integer, halves upwards (2.5 gives 3, -2.5 gives -2): floor(v) when
// v - floor(v) < 0.5, else ceil(v), which gives -0 for -0.5 <= v < 0 and for -0. Any v.
//
// Below 2^52 in magnitude the floor comes from a truncation, the ceiling of a v with a fraction
// is the floor plus 1, and the result takes v's sign. Larger magnitudes are whole, and they,
// infinities and NaN stay as they are.
inline double roundHalfUp(double v) {
    if (!(std::fabs(v) < 0x1p52)) return v;
    const double toward_zero = static_cast<double>(static_cast<int64_t>(v));
    const double below = toward_zero - static_cast<double>(toward_zero > v);
    const double rounded = below + static_cast<double>(v - below >= 0.5);
    return std::copysign(rounded, v);
}

// Below this magnitude roundHalfUpSmall is exact.
inline constexpr double SMALL_ROUNDING_LIMIT = 0x1p51;

// The same rounding for |v| < 2^51, without a branch and in a form the compiler puts in vector
// lanes: adding 1.5 * 2^52 leaves v in a binade whose unit is 1, so the addition rounds v to
// the nearest integer, ties to even; the subtraction is exact. A tie that went down (v - r is
// then exactly 0.5) goes up instead. A zero result takes v's sign, as the floor and ceiling do;
// any other result has it already.
inline double roundHalfUpSmall(double v) {
    constexpr double SHIFT = 0x1.8p52;
    double r = (v + SHIFT) - SHIFT;
    r += (v - r == 0.5) ? 1.0 : 0.0;
    return std::copysign(r, v);
}

// A position in file coordinates, mapped and quantized.
struct FilePoint {
    double x, y;
};

// Both coordinates of a position at once, in the two lanes of a vector (x, then y): the
// compiler's vector extension, which every target lowers to its vector instructions or, without
// them, to one lane after the other; either way each lane is IEEE arithmetic on doubles.
typedef double Pair __attribute__((vector_size(16)));
typedef int64_t PairMask __attribute__((vector_size(16)));  // a comparison: -1 or 0 per lane

inline Pair pairOf(FilePoint p) { return Pair{p.x, p.y}; }
inline FilePoint pointOf(Pair v) { return {v[0], v[1]}; }
inline bool bothLanes(PairMask m) {
#if defined(__SSE2__)
    return _mm_movemask_pd((__m128d)m) == 3;  // one instruction for the two lanes' signs
#else
    return (m[0] & m[1]) != 0;
#endif
}

// The rounding's constants in both lanes, defined in another unit so that the compiler cannot
// see their values and loads each from memory with one instruction, or takes it as an
// operand: GCC builds a repeated double constant of the baseline x86-64 target with two
// instructions (a load and an unpack) wherever it is used.
struct LaneConstants {
    Pair shift, half, one, small_limit;
    PairMask magnitude_bits, sign_bit;
};
extern const LaneConstants LANES;

// The mapping of one file: per axis (x, then y) the world window's low corner and extent and
// the file window's extent and low corner, fixed when the file is created; and the origin that
// mapped positions are taken relative to, before they are rounded. Each pair is aligned as a
// vector, so that the per-point path takes it as an operand without a load of its own.
struct GridMapping {
    alignas(16) double world_min[2];
    alignas(16) double world_extent[2];
    alignas(16) double file_extent[2];
    alignas(16) double file_min[2];
    alignas(16) FilePoint origin;
    bool raw;  // no rounding onto the grid
};

// The world position (x, y) on the file window, neither taken relative to the origin nor
// rounded.
inline FilePoint mapOntoFileWindow(const GridMapping &m, double x, double y) {
    double v[2] = {x, y};
    for (int axis = 0; axis < 2; ++axis) {
        v[axis] = (v[axis] - m.world_min[axis]) / m.world_extent[axis] * m.file_extent[axis] +
                  m.file_min[axis];
    }
    return {v[0], v[1]};
}

inline Pair magnitude(Pair v) { return (Pair)((PairMask)v & INT64_MAX); }
inline bool bothFinite(Pair v) { return bothLanes(magnitude(v) <= 0x1.fffffffffffffp1023); }

// roundHalfUpSmall in both lanes, for |v| < 2^51.
inline Pair roundHalfUpSmall(Pair v) {
    const LaneConstants &c = LANES;
    Pair r = (v + c.shift) - c.shift;
    const PairMask tie = (v - r) == c.half;
    r += (Pair)(tie & (PairMask)c.one);
    return (Pair)(((PairMask)r & c.magnitude_bits) | ((PairMask)v & c.sign_bit));
}

// roundHalfUp in both lanes, out of line: the rare case of a magnitude of 2^51 or more, an
// infinity or NaN.
[[gnu::cold]] Pair roundHalfUpLarge(Pair v);

// The world position (x, y) on the file window, relative to the origin (subtracting the usual
// +0 leaves every value as it was, -0 included), not yet quantized. Both axes in one pass of
// vector arithmetic.
inline Pair mapRelative(const GridMapping &m, Pair v) {
    v = (v - Pair{m.world_min[0], m.world_min[1]}) /
            Pair{m.world_extent[0], m.world_extent[1]} *
            Pair{m.file_extent[0], m.file_extent[1]} +
        Pair{m.file_min[0], m.file_min[1]};
    return v - pairOf(m.origin);
}

// Whether a mapped position `v` is quantized by roundHalfUpSmall: the file is not raw and both
// coordinates are below 2^51 in magnitude. Then the result is finite, and so is its difference
// from any finite position.
inline bool quantizesFast(const GridMapping &m, Pair v) {
    return !m.raw && bothLanes((Pair)((PairMask)v & LANES.magnitude_bits) < LANES.small_limit);
}

// The quantization of a mapped position that quantizesFast refuses: as it is in a raw file,
// else the exact general rounding.
inline Pair quantizeRest(const GridMapping &m, Pair v) {
    return m.raw ? v : roundHalfUpLarge(v);
}

// The world position (x, y) in file coordinates: mapped, relative to the origin, quantized
// unless the file is raw.
inline Pair mapToGrid(const GridMapping &m, Pair v) {
    v = mapRelative(m, v);
    if (quantizesFast(m, v)) [[likely]] {
        return roundHalfUpSmall(v);
    }
    return quantizeRest(m, v);
}

inline FilePoint mapToGrid(const GridMapping &m, double x, double y) {
    return pointOf(mapToGrid(m, Pair{x, y}));
}

// The differences of a run of world positions, as the per-point calls collect them: each
// position is mapped onto the grid; one that falls on its predecessor (on `last` for the first)
// is dropped; every other one appends its difference from its predecessor to `out`, two
// doubles. Returns the number of differences appended (at most `n`, so `out` holds 2n) and
// leaves the last position in `last`; or -1 when a difference is not finite (a position that is
// not, or one too far from its predecessor), and then `last` is undefined.
int64_t gridDifferences(const GridMapping &m, const double *xy, uint32_t n, FilePoint &last,
                        double *out);

// The smallest relative point size that holds every one of the `n` differences: the largest
// of their smallest sizes, 3 for none.
uint8_t largestRelPointSize(const double *differences, uint32_t n);

#endif  // GRIDMAP_H
