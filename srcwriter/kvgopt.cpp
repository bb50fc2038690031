#include "kvgopt.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "array.h"
#include "kernels.h"
#include "kvgassert.h"
#include "kvgtype.h"
#include "kvgtype_internal.h"
#include "relclasses.h"

// The optimizer works with representations: indexes 0 to 7 into reprSize, the relative point
// sizes in bits. It cuts the differences into groups (maximal runs of one minimal
// representation), gives every group a representation between its own and the largest minimal
// one by dynamic programming over the group boundaries, and joins neighbouring groups that got
// the same representation into one segment.
//
// The recurrence keeps, per representation k, one state: the segments before the last one cost
// so many bytes, and the last, still open segment is in k and holds so many differences. At
// each boundary it extends every state by the next group from the best predecessor state, found
// by a scan that tries the predecessors upward and keeps a candidate only when it is strictly
// cheaper. That order decides between segmentations of equal cost, so every build must choose
// exactly as that scan does to write the same files; the scan itself is replaced by an
// equivalent comparison of two candidates, made for all eight representations at once in vector
// lanes (see extendLanes).

namespace {

constexpr int NREPR = 8;
// A representation is a relative point class of the encoding layer: an index into its sizes.
constexpr const uint8_t (&reprSize)[NREPR] = REL_POINT_SIZES;

constexpr uint8_t NO_REPRESENTATION = 255;

// The smallest relative point class of each whole eight of the `n` differences, in `out`;
// whether every one of them is a pair of small whole numbers (when not, `out` is meaningless).
[[gnu::always_inline]] inline bool classifyBody(const double *d, uint32_t n, uint8_t *out) {
    return relclasses::wholeClassesByEight(d, n, [out](uint32_t i, relclasses::Ints8 classes) {
        relclasses::storeLowBytes(classes, out + i);
    });
}

bool classifyPortable(const double *d, uint32_t n, uint8_t *out) { return classifyBody(d, n, out); }
#ifdef KVG_AVX2_KERNELS
KVG_AVX2 bool classifyAvx2(const double *d, uint32_t n, uint8_t *out) {
    return classifyBody(d, n, out);
}
#endif

bool classifyEights(const double *d, uint32_t n, uint8_t *out) {
    return KVG_DISPATCH(classifyAvx2(d, n, out), classifyPortable(d, n, out));
}

// The smallest relative point class of each of the `n` differences, in `out`, which has room
// for n rounded up to eight classes.
void classify(const double *d, uint32_t n, uint8_t *out) {
    const uint32_t eights = n & ~7u;
    bool whole = classifyEights(d, eights, out);
    if (whole && eights < n) {
        // The last few through the same lanes, made eight with zero steps.
        double last[16];
        std::memcpy(last, d + 2 * size_t{eights}, (n - eights) * 2 * sizeof(double));
        std::fill(last + 2 * (n - eights), last + 16, 0.0);
        whole = classifyEights(last, 8, out + eights);
    }
    if (whole) [[likely]] {
        return;
    }
    for (uint32_t i = 0; i < n; ++i) out[i] = minRelPointClass(d[2 * i], d[2 * i + 1]);
}

// The bytes of `word` that are not 0, as its bit 0, in memory order from the lowest bit.
inline uint64_t nonZeroBytes(uint64_t word) {
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    word |= word >> 4;
    word |= word >> 2;
    word |= word >> 1;
    return word & 0x0101010101010101u;
}

// Cuts the `n` classes in `modes` into groups, written over them: group g's class in modes[g]
// and its length in counts[g], which has room for one more. Returns the number of groups.
// `modes` has room for eight more bytes, read and masked off. Where a group starts follows no
// pattern in real data, so the starts are found eight classes at a time, as the bytes of a
// word that differ from their predecessors, and the loops run once per group rather than once
// per class.
uint32_t cutGroups(uint8_t *modes, uint32_t *counts, uint32_t n) {
    // First where each group starts, into `counts` ...
    uint32_t groups = 1;
    counts[0] = 0;
    for (uint32_t i = 1; i < n; i += 8) {
        uint64_t here, before;
        std::memcpy(&here, modes + i, sizeof here);
        std::memcpy(&before, modes + i - 1, sizeof before);
        uint64_t starts = nonZeroBytes(here ^ before);
        if (n - i < 8) starts &= (uint64_t{1} << (8 * (n - i))) - 1;  // none beyond the last
        for (; starts != 0; starts &= starts - 1) {
            counts[groups++] = i + static_cast<uint32_t>(std::countr_zero(starts)) / 8;
        }
    }
    counts[groups] = n;
    // ... then each group's class and length over them: group g starts at class g or later,
    // so no class is overwritten before it is read.
    for (uint32_t g = 0; g < groups; ++g) {
        modes[g] = modes[counts[g]];
        counts[g] = counts[g + 1] - counts[g];
    }
    return groups;
}

// Cuts the differences into groups of one minimal representation, stored in `mode` and `size`,
// and finds the largest minimal representation. The classes are found for all differences
// first, into `mode`'s storage, and the groups then written over them. The groups cover the
// differences, none empty, by construction (the optimizer's tests check its output on random
// walks), so no edge pays for a pass that checks them.
void group_segments(const PointArray *src, UCharArray *mode, ULongArray *size,
                    uint8_t &biggest_minimal_representation) {
    // Read in place: the differences are never copied.
    const uint32_t npoints = src->ncoords / 2;
    // Room for the grouping's reads of whole words past the last class, which are zeros.
    kvgarray::reserve(mode, npoints + 8);
    kvgarray::reserve(size, npoints + 1);
    classify(src->coords, npoints, mode->values);
    std::memset(mode->values + npoints, 0, 8);
    const uint32_t groups = cutGroups(mode->values, size->values, npoints);
    mode->nvalues = size->nvalues = groups;
    biggest_minimal_representation = *std::max_element(mode->values, mode->values + groups);
}

// ---- The dynamic programme in eight lanes ----
//
// State k of the recurrence keeps: the segments before the last cost `cost[k]` bytes, and the
// last, still open segment is in k and holds `segs[k]` differences. All eight representations
// are extended at each boundary at once, one lane each, with the same arithmetic and no branch;
// lanes outside the representations in play compute values that are never read.
//
// A candidate of a scan is one integer: its total in the high bits, its representation in the
// low three. Integer order is then the scan's order: the cheaper first and, of equal totals, the
// smaller representation, which a scan upward with a strict comparison keeps.
//
// Why two candidates per lane give the scan's choice: for each k the scan tries every
// predecessor j from `from` (the previous group's minimal representation) up to bmr and keeps
// the first of the cheapest. From j = k the group joins k's open segment. From every other j,
// j's open segment is closed, which brings that state to its total, and the group opens a
// segment in k: those candidates all add the same cost_segment(add_size, k) to their states'
// totals, so the first of the cheapest comes from the first cheapest state other than k. When
// the first cheapest state is not k, that is `cheapest`. When it is k, joining beats every
// closing candidate outright: one segment costs at least a byte less than two segments of the
// same differences (its packed bytes and count bytes are no more than theirs together, and it
// has one size byte instead of two), so joining costs less than k's total plus
// cost_segment(add_size, k), and no state's total is below k's. So the lesser of the joining
// candidate and the one from `cheapest` is the scan's choice, ties included. Below `from`, k
// has no state of its own and the group can only open a segment there.
//
// Lane is int32_t for edges of up to KVGT_SIZE_MAX differences, whose totals stay below 2^27
// (at most 16 bytes a difference and 5 a segment), so that a candidate fits 30 bits, every
// value stays positive and the eight lanes fill one 256-bit register; longer edges, which the
// writer never makes, use int64_t.

constexpr unsigned LANES = 8;

// Eight lanes of Lane, in the compiler's vector extension: one 256-bit register of 32-bit
// lanes where AVX2 is on, two 128-bit ones, or one lane after the other, without it.
template <typename Lane>
struct LaneVector;
template <>
struct LaneVector<int32_t> {
    typedef int32_t type __attribute__((vector_size(32)));
};
template <>
struct LaneVector<int64_t> {
    typedef int64_t type __attribute__((vector_size(64)));
};
template <typename Lane>
using Vec = typename LaneVector<Lane>::type;

// Every lane `v`: one broadcast instruction, where a braced list of eight copies builds the
// vector lane by lane.
template <typename Lane>
[[gnu::always_inline]] inline Vec<Lane> broadcast(Lane v) {
    const Vec<Lane> first = {v};
    return __builtin_shufflevector(first, first, 0, 0, 0, 0, 0, 0, 0, 0);
}

template <typename Lane>
[[gnu::always_inline]] inline Vec<Lane> lesser(Vec<Lane> a, Vec<Lane> b) {
    return a < b ? a : b;
}

// The least of the eight lanes, by halves.
template <typename Lane>
[[gnu::always_inline]] inline Lane leastLane(Vec<Lane> v) {
    v = lesser<Lane>(v, __builtin_shufflevector(v, v, 4, 5, 6, 7, 0, 1, 2, 3));
    v = lesser<Lane>(v, __builtin_shufflevector(v, v, 2, 3, 0, 1, 2, 3, 0, 1));
    v = lesser<Lane>(v, __builtin_shufflevector(v, v, 1, 0, 1, 0, 1, 0, 1, 0));
    return v[0];
}

// The low byte of each lane, in lane order.
[[gnu::always_inline]] inline void storeLowBytes(const Vec<int32_t> &v, uint8_t *out) {
    relclasses::storeLowBytes(v, out);
}
[[gnu::always_inline]] inline void storeLowBytes(const Vec<int64_t> &v, uint8_t *out) {
    for (unsigned k = 0; k < LANES; ++k) out[k] = static_cast<uint8_t>(v[k]);
}

// Added to a candidate in a lane that it may not come from, so that it loses every comparison
// to one that may: candidates stay below 2^30 (int32_t) or 2^62 (int64_t).
template <typename Lane>
inline constexpr Lane OUT_OF_PLAY = Lane{1} << (sizeof(Lane) * 8 - 2);

template <typename Lane>
struct Lanes {
    Vec<Lane> cost;
    Vec<Lane> segs;
};

// Per largest minimal representation bmr and lowest representation r: 0 in the lanes of the
// representations a group of minimal representation r can take (r up to bmr), OUT_OF_PLAY in
// the others. A table, so that no edge builds its rows.
template <typename Lane>
struct OutOfPlayRows {
    Lane of[NREPR][NREPR][LANES];
};
template <typename Lane>
constexpr OutOfPlayRows<Lane> outOfPlayRows() {
    OutOfPlayRows<Lane> t{};
    for (unsigned bmr = 0; bmr < NREPR; ++bmr) {
        for (unsigned r = 0; r < NREPR; ++r) {
            for (unsigned k = 0; k < LANES; ++k) {
                t.of[bmr][r][k] = k >= r && k <= bmr ? 0 : OUT_OF_PLAY<Lane>;
            }
        }
    }
    return t;
}
template <typename Lane>
inline constexpr OutOfPlayRows<Lane> OUT_OF_PLAY_ROWS = outOfPlayRows<Lane>();

template <typename Lane>
[[gnu::always_inline]] inline Vec<Lane> outOfPlay(const Lane (&row)[LANES]) {
    Vec<Lane> v;
    std::memcpy(&v, row, sizeof v);
    return v;
}

// Bytes of the Size-encoded counts of `n` and of the segments' size byte: 2, 3 or 4.
template <typename Lane>
[[gnu::always_inline]] inline Vec<Lane> countAndSizeBytes(Vec<Lane> n) {
    return 2 - (Vec<Lane>)(n > 127) - (Vec<Lane>)(n > 16383);
}

// cost_segment in every lane k: `n` differences in representation k, their packed bits
// rounded up to bytes, the count and the size byte.
template <typename Lane>
[[gnu::always_inline]] inline Vec<Lane> segmentCost(Vec<Lane> n) {
    const Vec<Lane> bits = {3, 6, 8, 16, 24, 32, 64, 128};
    return ((n * bits + 7) >> 3) + countAndSizeBytes<Lane>(n);
}

// cost_segment of n differences in every representation for n below 128, at hand: most groups
// are that short.
struct ShortSegmentCosts {
    int32_t of[128][LANES];
};
constexpr ShortSegmentCosts shortSegmentCosts() {
    ShortSegmentCosts t{};
    for (int32_t n = 0; n < 128; ++n) {
        for (unsigned k = 0; k < LANES; ++k) t.of[n][k] = (n * reprSize[k] + 7) / 8 + 2;
    }
    return t;
}
constexpr ShortSegmentCosts SHORT_SEGMENT_COSTS = shortSegmentCosts();

// segmentCost of a group of `add` differences, from the table where it holds them.
template <typename Lane>
[[gnu::always_inline]] inline Vec<Lane> groupCost(Lane add) {
    if constexpr (sizeof(Lane) == sizeof(int32_t)) {
        if (add < 128) [[likely]] {
            Vec<Lane> cost;
            std::memcpy(&cost, SHORT_SEGMENT_COSTS.of[add], sizeof cost);
            return cost;
        }
    }
    return segmentCost<Lane>(broadcast(add));
}

// Extends the states across one boundary by the next group: `add` differences whose
// representations out of play are `out_of_play`, after a group whose are `unjoinable`.
// `cheapest` is the first cheapest candidate of the current states; writes path[k], the
// representation of the group before when this group is in k, and returns the first cheapest
// of the new states.
template <typename Lane>
[[gnu::always_inline]] inline Lane extendLanes(Lanes<Lane> &st, Lane cheapest,
                                               Vec<Lane> unjoinable, Vec<Lane> out_of_play,
                                               Lane add, uint8_t *path) {
    const Vec<Lane> k = {0, 1, 2, 3, 4, 5, 6, 7};
    const Vec<Lane> adds = broadcast(add);
    const Vec<Lane> from_cheapest = broadcast(cheapest);
    // The cheapest state's open segment is closed and the group opens one in k ...
    const Vec<Lane> closing = from_cheapest + (groupCost<Lane>(add) << 3);
    // ... or the group joins k's own open segment, where k was in play.
    const Vec<Lane> joined = st.segs + adds;
    const Vec<Lane> joining =
        (((st.cost + segmentCost<Lane>(joined)) << 3) | k) + unjoinable;
    const auto joins = joining < closing;
    const Vec<Lane> best = joins ? joining : closing;
    st.cost = joins ? st.cost : from_cheapest >> 3;
    st.segs = joins ? joined : adds;
    storeLowBytes(best & 7, path);
    // The next cheapest, among the representations this group can take.
    return leastLane<Lane>(((best & ~Lane{7}) | k) + out_of_play);
}

// Runs the recurrence over every boundary: paths[8 g + k] is the representation of group g
// when group g + 1 is in k. Returns the first cheapest candidate of the last states.
template <typename Lane>
[[gnu::always_inline]] inline Lane runLanes(uint32_t nsegs, const uint32_t *segments,
                                            const uint8_t *mode, unsigned bmr,
                                            uint8_t *paths) {
    const Vec<Lane> k = {0, 1, 2, 3, 4, 5, 6, 7};
    const auto &rows = OUT_OF_PLAY_ROWS<Lane>.of[bmr];
    Lanes<Lane> st{broadcast<Lane>(0), broadcast(static_cast<Lane>(segments[0]))};
    const Vec<Lane> totals = ((st.cost + segmentCost<Lane>(st.segs)) << 3) | k;
    Vec<Lane> unjoinable = outOfPlay<Lane>(rows[mode[0]]);
    Lane cheapest = leastLane<Lane>(totals + unjoinable);
    for (uint32_t g = 0; g + 1 < nsegs; ++g) {
        const Vec<Lane> out_of_play = outOfPlay<Lane>(rows[mode[g + 1]]);
        cheapest = extendLanes<Lane>(st, cheapest, unjoinable, out_of_play,
                                     static_cast<Lane>(segments[g + 1]), paths + size_t{g} * LANES);
        unjoinable = out_of_play;
    }
    return cheapest;
}

int32_t runLanes32Portable(uint32_t nsegs, const uint32_t *segments, const uint8_t *mode,
                            unsigned bmr, uint8_t *paths) {
    return runLanes<int32_t>(nsegs, segments, mode, bmr, paths);
}
#ifdef KVG_AVX2_KERNELS
KVG_AVX2 int32_t runLanes32Avx2(uint32_t nsegs, const uint32_t *segments, const uint8_t *mode,
                                 unsigned bmr, uint8_t *paths) {
    return runLanes<int32_t>(nsegs, segments, mode, bmr, paths);
}
#endif

// Replaces every group's minimal representation mode[g] by the one it is written in.
void best_representation(uint32_t nsegs, uint64_t npoints, const uint32_t *segments,
                         uint8_t *mode, uint8_t bmr) {
    if (nsegs == 1) return;  // the one group keeps its minimal representation, which is bmr

    // Most edges are short enough for their paths to stay on the stack.
    uint8_t local_paths[LANES * 64];
    const bool local = nsegs - 1 <= 64;
    auto *paths = local ? local_paths
                        : static_cast<uint8_t *>(std::malloc(size_t{LANES} * (nsegs - 1)));
    KVG_REQUIRE_NOT_NULL(paths);
    const int64_t cheapest =
        npoints <= KVGT_SIZE_MAX
            ? KVG_DISPATCH(runLanes32Avx2(nsegs, segments, mode, bmr, paths),
                           runLanes32Portable(nsegs, segments, mode, bmr, paths))
            : runLanes<int64_t>(nsegs, segments, mode, bmr, paths);

    // The final choice, the first of the cheapest last states, then the path back from it.
    uint8_t chosen = static_cast<uint8_t>(cheapest & 7u);
    KVG_REQUIRE(chosen >= mode[nsegs - 1] && chosen <= bmr);
    mode[nsegs - 1] = chosen;
    for (uint32_t g = nsegs - 1; g-- > 0;) {
        chosen = paths[size_t{g} * LANES + chosen];
        mode[g] = chosen;
    }
    if (!local) std::free(paths);
}

// Merges neighbouring groups of the same representation into one segment and turns the
// representations into sizes in bits, in place; `n` becomes the number of segments.
void join_segments(uint32_t &n, uint32_t *segs, uint8_t *mode) {
    uint32_t joined = 0;
    uint8_t last = NO_REPRESENTATION;
    for (uint32_t g = 0; g < n; ++g) {
        if (mode[g] == last) {
            segs[joined - 1] += segs[g];
        } else {
            last = mode[g];
            mode[joined] = reprSize[last];
            segs[joined] = segs[g];
            ++joined;
        }
    }
    n = joined;
}

}  // namespace

void KVGO_EdgeOptimize(const PointArray *points, UCharArray *modes, ULongArray *segments) {
    KVG_REQUIRE_NOT_NULL(points);
    KVG_REQUIRE_NOT_NULL(modes);
    KVG_REQUIRE_NOT_NULL(segments);
    KVG_REQUIRE(paSize(points) > 0);

    ucaReset(modes);
    ulaReset(segments);
    uint8_t bmr;
    group_segments(points, modes, segments, bmr);
    uint32_t nsegs = ucaSize(modes);
    best_representation(nsegs, paSize(points), ulaPointer(segments), ucaPointer(modes), bmr);
    join_segments(nsegs, ulaPointer(segments), ucaPointer(modes));
    ucaTruncate(modes, nsegs);
    ulaTruncate(segments, nsegs);
}
