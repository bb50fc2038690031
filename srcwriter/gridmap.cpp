// The bulk kernels of the grid mapping: runs of positions mapped, rounded and differenced, and
// the smallest relative point size of a run of differences.
//
// Each is compiled in both forms of kernels.h; lanes compute exactly what one position at a
// time computes, so the forms write the same files.
#include "gridmap.h"

#include <algorithm>
#include <cstring>

#include "kernels.h"
#include "kvgtype_internal.h"

namespace {

// Positions mapped per block: enough to fill the vector lanes many times, little enough to
// stay in the first-level cache with the caller's data.
constexpr uint32_t BLOCK = 128;

constexpr double DOUBLE_MAX = 0x1.fffffffffffffp1023;

// Maps `count` positions (x, y pairs) onto the file window and, unless the file is raw, rounds
// them, into `out`. Returns whether every coordinate is below 2^51 in magnitude: then the fast
// rounding was exact, and no difference of two of them can overflow. Otherwise (a larger
// magnitude, an infinity, NaN) the caller maps the block again with the exact general rounding
// and checks every difference.
[[gnu::always_inline]] inline bool mapBlockBody(const GridMapping &m, const double *xy,
                                                uint32_t count, double *out) {
    const double wx = m.world_min[0], wy = m.world_min[1];
    const double ex = m.world_extent[0], ey = m.world_extent[1];
    const double fx = m.file_extent[0], fy = m.file_extent[1];
    const double ox = m.file_min[0], oy = m.file_min[1];
    const double cx = m.origin.x, cy = m.origin.y;
    const auto mapAll = [&](auto round) {
        int64_t large = 0;
        for (size_t i = 0; i < count; ++i) {
            const double x = ((xy[2 * i] - wx) / ex * fx + ox) - cx;
            const double y = ((xy[2 * i + 1] - wy) / ey * fy + oy) - cy;
            large |= static_cast<int64_t>(!(std::fabs(x) < SMALL_ROUNDING_LIMIT)) |
                     static_cast<int64_t>(!(std::fabs(y) < SMALL_ROUNDING_LIMIT));
            out[2 * i] = round(x);
            out[2 * i + 1] = round(y);
        }
        return large == 0;
    };
    if (m.raw) return mapAll([](double v) { return v; });
    return mapAll([](double v) { return roundHalfUpSmall(v); });
}

// ---- Mapping and differencing in one pass, two positions at a time ----

typedef double Quad __attribute__((vector_size(32)));      // x, y of two positions
typedef int64_t QuadMask __attribute__((vector_size(32)));  // a comparison of Quads

// One of the mapping's per-axis values for both positions of a Quad.
[[gnu::always_inline]] inline Quad twice(const double (&axis)[2]) {
    return Quad{axis[0], axis[1], axis[0], axis[1]};
}

[[gnu::always_inline]] inline Pair lowHalf(Quad q) { return __builtin_shufflevector(q, q, 0, 1); }
[[gnu::always_inline]] inline Pair highHalf(Quad q) { return __builtin_shufflevector(q, q, 2, 3); }

// Appends `step` at `dst` and moves past it unless the position was a repeat: every step is
// stored, so that which positions repeat costs no branch.
[[gnu::always_inline]] inline double *place(double *dst, Pair step, PairMask repeat) {
    std::memcpy(dst, &step, sizeof step);
    return dst + (bothLanes(repeat) ? 0 : 2);
}

// What gridDifferences does for `count` positions of a file that is not raw, with the fast
// rounding: mapped, rounded, differenced from their predecessors (from `last` for the first)
// and the repeats dropped, two positions in the lanes of one vector. Returns the end of the
// differences and leaves the last position in `last`; or null, with `last` as it was, when a
// coordinate is 2^51 or more in magnitude, infinite or NaN, where the fast rounding is not
// exact, or when a repeat differs from its predecessor in the sign of a zero.
//
// The pass takes every position as its successor's predecessor, repeats too, which gives the
// steps of the kept positions exactly when each repeat equals its predecessor bit for bit. A
// repeat with a zero of the other sign is dropped while its predecessor is kept, and the next
// step's zero takes the predecessor's sign: rare, so such a block goes to the exact passes
// rather than every position paying for the choice.
[[gnu::always_inline]] inline double *differencesBody(const GridMapping &m, const double *xy,
                                                      uint32_t count, Pair &last, double *dst) {
    const Quad world_min = twice(m.world_min), world_extent = twice(m.world_extent);
    const Quad file_extent = twice(m.file_extent), file_min = twice(m.file_min);
    const Quad origin = {m.origin.x, m.origin.y, m.origin.x, m.origin.y};
    const auto toGrid = [&](Quad v, QuadMask &large) {
        v = ((v - world_min) / world_extent * file_extent + file_min) - origin;
        large |= ~(QuadMask)((Quad)((QuadMask)v & INT64_MAX) < SMALL_ROUNDING_LIMIT);
        // roundHalfUpSmall, lane by lane.
        Quad r = (v + 0x1.8p52) - 0x1.8p52;
        r += (Quad)((QuadMask)((v - r) == 0.5) & (QuadMask)(Quad{} + 1.0));
        return (Quad)(((QuadMask)r & INT64_MAX) | ((QuadMask)v & INT64_MIN));
    };
    // Coordinates equal to their predecessors' but not bit for bit: zeros of the other sign.
    // Looked for coordinate by coordinate, which also sends the rare blocks where a zero changes
    // sign in a position that is no repeat to the exact passes, which give the same steps.
    const auto signFlips = [](Quad p, Quad before, QuadMask repeat) {
        return repeat & ((QuadMask)p ^ (QuadMask)before);
    };
    QuadMask large = {}, flipped = {};
    Quad previous = {0.0, 0.0, last[0], last[1]};
    uint32_t i = 0;
    for (; i + 2 <= count; i += 2) {
        Quad v;
        std::memcpy(&v, xy + 2 * size_t{i}, sizeof v);
        const Quad p = toGrid(v, large);
        const Quad before = __builtin_shufflevector(previous, p, 2, 3, 4, 5);
        const Quad step = p - before;
        const QuadMask repeat = (QuadMask)(p == before);
        flipped |= signFlips(p, before, repeat);
        dst = place(dst, lowHalf(step), (PairMask)lowHalf((Quad)repeat));
        dst = place(dst, highHalf(step), (PairMask)highHalf((Quad)repeat));
        previous = p;
    }
    if (i < count) {  // the last of an odd count, in both halves
        const Quad v = {xy[2 * size_t{i}], xy[2 * size_t{i} + 1], xy[2 * size_t{i}],
                        xy[2 * size_t{i} + 1]};
        const Quad p = toGrid(v, large);
        const Quad before = __builtin_shufflevector(previous, previous, 2, 3, 2, 3);
        const QuadMask repeat = (QuadMask)(p == before);
        flipped |= signFlips(p, before, repeat);
        dst = place(dst, lowHalf(p - before), (PairMask)lowHalf((Quad)repeat));
        previous = p;
    }
    const QuadMask refused = large | flipped;
    if ((refused[0] | refused[1] | refused[2] | refused[3]) != 0) return nullptr;
    last = highHalf(previous);
    return dst;
}

// What largestRelPointSize learns from a run of differences in one pass: whether they are all
// whole numbers of the 16-bit fields' range, the significant bits of their folded magnitudes,
// and whether any is not a unit step.
struct DifferenceSummary {
    bool all_small_whole;
    uint32_t folded;
    bool any_not_unit;
};

// The pass keeps, two differences at a time, only the largest and the smallest coordinate,
// whether any is not whole and whether any difference is the zero step: a folded magnitude
// (v for v >= 0, -v - 1 below) grows away from zero on both sides, so the largest of a run is
// the largest coordinate's or the smallest's, and its significant bits are those of all of
// them ORed together. A whole number below 2^51 in magnitude survives adding and subtracting
// 1.5 × 2^52 unchanged and any other finite number in that range does not; larger magnitudes
// and infinities fail the range test, NaN both.
[[gnu::always_inline]] inline DifferenceSummary summarizeBody(const double *d, uint32_t n) {
    constexpr double HALF32 = 32768.0, SHIFT = 0x1.8p52;
    const Quad shift = {SHIFT, SHIFT, SHIFT, SHIFT};
    Quad high = {d[0], d[1], d[0], d[1]}, low = high;
    QuadMask not_whole = {}, zero_step = {};
    const auto take = [&](Quad q) {
        not_whole |= (QuadMask)((q + shift) - shift != q);
        high = q > high ? q : high;
        low = q < low ? q : low;
        const QuadMask zero = (QuadMask)(q == 0.0);
        zero_step |= zero & __builtin_shufflevector(zero, zero, 1, 0, 3, 2);
    };
    size_t i = 0;
    for (; i + 2 <= n; i += 2) {
        Quad q;
        std::memcpy(&q, d + 2 * i, sizeof q);
        take(q);
    }
    if (i < n) take(Quad{d[2 * i], d[2 * i + 1], d[2 * i], d[2 * i + 1]});
    const double largest = std::max(std::max(high[0], high[1]), std::max(high[2], high[3]));
    const double smallest = std::min(std::min(low[0], low[1]), std::min(low[2], low[3]));
    const int64_t any_not_whole = not_whole[0] | not_whole[1] | not_whole[2] | not_whole[3];
    const int64_t any_zero_step = zero_step[0] | zero_step[1] | zero_step[2] | zero_step[3];
    if (any_not_whole != 0 || !(largest < HALF32) || !(smallest >= -HALF32)) {
        return {false, 0, true};
    }
    const auto fold = [](double v) {
        const auto whole = static_cast<int32_t>(v);
        return static_cast<uint32_t>(whole ^ (whole >> 31));
    };
    return {true, fold(largest) | fold(smallest),
            largest > 1.0 || smallest < -1.0 || any_zero_step != 0};
}

double *differencesPortable(const GridMapping &m, const double *xy, uint32_t count, Pair &last,
                           double *dst) {
    return differencesBody(m, xy, count, last, dst);
}

bool mapBlockPortable(const GridMapping &m, const double *xy, uint32_t count, double *out) {
    return mapBlockBody(m, xy, count, out);
}
DifferenceSummary summarizePortable(const double *d, uint32_t n) { return summarizeBody(d, n); }

#ifdef KVG_AVX2_KERNELS
KVG_AVX2 double *differencesAvx2(const GridMapping &m, const double *xy, uint32_t count,
                                 Pair &last, double *dst) {
    return differencesBody(m, xy, count, last, dst);
}
KVG_AVX2 bool mapBlockAvx2(const GridMapping &m, const double *xy, uint32_t count, double *out) {
    return mapBlockBody(m, xy, count, out);
}
KVG_AVX2 DifferenceSummary summarizeAvx2(const double *d, uint32_t n) {
    return summarizeBody(d, n);
}
#endif

// Maps one block exactly, whatever its coordinates; returns whether all are below 2^51.
bool mapBlock(const GridMapping &m, const double *xy, uint32_t count, double *out) {
    if (KVG_DISPATCH(mapBlockAvx2(m, xy, count, out), mapBlockPortable(m, xy, count, out)))
        [[likely]] {
        return true;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const FilePoint p = mapToGrid(m, xy[2 * i], xy[2 * i + 1]);
        out[2 * i] = p.x;
        out[2 * i + 1] = p.y;
    }
    return false;
}

// The position a figure keeps after a new position `p`, given which of p's coordinates equal
// those of the position kept before it (`same`): the kept one when p repeats it in both, so that
// a repeat whose zeros have the other sign leaves the later steps' zeros as they were; else p.
inline Pair keptAfter(Pair kept, Pair p, PairMask same) {
    return (same & __builtin_shufflevector(same, same, 1, 0)) ? kept : p;
}

// Appends the differences of the `count` mapped positions from their predecessors, dropping
// repeats; `Checked`: whether to look for a difference that is not finite. Every difference is
// stored; the pointer moves past it only when the position is not a repeat, so that which
// positions repeat costs no branch. Returns the end of the differences, or null for one that
// is not finite.
template <bool Checked>
double *appendDifferences(const double *mapped, uint32_t count, Pair &last, double *dst) {
    Pair non_finite = {0.0, 0.0};
    for (uint32_t i = 0; i < count; ++i) {
        const Pair p = {mapped[2 * i], mapped[2 * i + 1]};
        const Pair step = p - last;
        std::memcpy(dst, &step, sizeof step);
        if constexpr (Checked) {
            non_finite = (Pair)((PairMask)non_finite | ~(magnitude(step) <= DOUBLE_MAX));
        }
        const PairMask repeat = p == last;
        dst += bothLanes(repeat) ? 0 : 2;
        last = keptAfter(last, p, repeat);
    }
    return Checked && ((PairMask)non_finite)[0] | ((PairMask)non_finite)[1] ? nullptr : dst;
}

}  // namespace

extern const LaneConstants LANES = {
    {0x1.8p52, 0x1.8p52}, {0.5, 0.5}, {1.0, 1.0}, {SMALL_ROUNDING_LIMIT, SMALL_ROUNDING_LIMIT},
    {INT64_MAX, INT64_MAX}, {INT64_MIN, INT64_MIN}};

Pair roundHalfUpLarge(Pair v) { return Pair{roundHalfUp(v[0]), roundHalfUp(v[1])}; }

int64_t gridDifferences(const GridMapping &m, const double *xy, uint32_t n, FilePoint &last,
                        double *out) {
    double mapped[2 * BLOCK];
    Pair at = pairOf(last);
    double *dst = out;
    for (uint32_t first = 0; first < n; first += BLOCK) {
        const uint32_t count = std::min(BLOCK, n - first);
        const double *block = xy + 2 * size_t{first};
        if (!m.raw) {
            double *end = KVG_DISPATCH(differencesAvx2(m, block, count, at, dst),
                                       differencesPortable(m, block, count, at, dst));
            if (end != nullptr) [[likely]] {
                dst = end;
                continue;
            }
        }
        // Raw files, coordinates the fast rounding cannot take and repeats with zeros of the
        // other sign: mapped first, then differenced, with a check for differences that are
        // not finite where needed.
        dst = mapBlock(m, block, count, mapped)
                  ? appendDifferences<false>(mapped, count, at, dst)
                  : appendDifferences<true>(mapped, count, at, dst);
        if (dst == nullptr) return -1;
    }
    last = pointOf(at);
    return (dst - out) / 2;
}

uint8_t largestRelPointSize(const double *differences, uint32_t n) {
    if (n == 0) return 3;
    const DifferenceSummary s =
        KVG_DISPATCH(summarizeAvx2(differences, n), summarizePortable(differences, n));
    if (!s.all_small_whole) {
        uint8_t largest = 3;
        for (uint32_t i = 0; i < n; ++i) {
            largest = std::max(largest, minRelPointSize(differences[2 * i], differences[2 * i + 1]));
        }
        return largest;
    }
    // Whole pairs: unit steps all take 3 bits; otherwise the smallest sizes grow with the
    // significant bits, and the largest of them comes from all the bits together (a unit step
    // among larger steps has the fewest bits of all).
    if (!s.any_not_unit) return 3;
    return REL_POINT_SIZES[wholeRelPointClassByBits(s.folded)];
}
