#include "kvgopt.h"

#include <algorithm>
#include <cstdlib>

#include "array.h"
#include "kvgassert.h"
#include "kvgtype_internal.h"

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
// equivalent comparison of two candidates (see extend_states).
//
// Costs are summed in 64 bits, so that no edge, however long, wraps a total.

namespace {

constexpr int NREPR = 8;
// A representation is a relative point class of the encoding layer: an index into its sizes.
constexpr const uint8_t (&reprSize)[NREPR] = REL_POINT_SIZES;

constexpr uint8_t NO_REPRESENTATION = 255;

// Bytes of one segment as the edge record writes it: the size byte, the Size-encoded count and
// the bit-packed differences padded to a whole byte.
uint64_t cost_segment(uint32_t npoints, unsigned representation) {
    const uint64_t bits = uint64_t{npoints} * reprSize[representation];
    const uint64_t count_bytes = 1u + (npoints > 127) + (npoints > 16383);
    return (bits + 7) / 8 + count_bytes + 1;
}

// The total of a state if its open segment were closed now.
uint64_t cost_calculate(uint64_t acc_cost, uint32_t acc_segs, unsigned acc_repr) {
    return acc_cost + cost_segment(acc_segs, acc_repr);
}

// Checks the groups: one representation per count, no count of 0, no representation above
// the largest, all the differences covered.
void checkGroups(const UCharArray *mode, const ULongArray *size, uint8_t bmr,
                 uint32_t npoints) {
    const uint32_t nsegs = ucaSize(mode);
    KVG_REQUIRE(nsegs == ulaSize(size));
    KVG_REQUIRE(bmr < NREPR);
    uint64_t covered = 0;
    for (uint32_t g = 0; g < nsegs; ++g) {
        KVG_REQUIRE(size->values[g] > 0);
        KVG_REQUIRE(mode->values[g] <= bmr);
        covered += size->values[g];
    }
    KVG_REQUIRE(covered == npoints);
}

// Cuts the differences into groups of one minimal representation, stored in `mode` and `size`,
// and finds the largest minimal representation. Where a group ends follows no pattern in real
// data, so the loop does not branch on it: with room for a group per difference, it stores the
// group being counted at every step and moves to the next slot when the representation changes.
void group_segments(const PointArray *src, UCharArray *mode, ULongArray *size,
                    uint8_t &biggest_minimal_representation) {
    // Read in place: the differences are never copied.
    const double *point = src->coords;
    const uint32_t npoints = paSize(src);
    kvgarray::reserve(mode, npoints);
    kvgarray::reserve(size, npoints);
    uint8_t *modes = mode->values;
    uint32_t *counts = size->values;

    uint32_t group = 0;
    uint8_t current = minRelPointClass(point[0], point[1]);
    uint8_t bmr = current;
    uint32_t count = 0;
    for (uint32_t i = 0; i < npoints; ++i, point += 2) {
        const uint8_t m = minRelPointClass(point[0], point[1]);
        const uint32_t starts = m != current;
        group += starts;
        count = (count & (starts - 1u)) + 1;  // 1 in a new group, else one more
        current = m;
        bmr = std::max(bmr, m);
        modes[group] = m;
        counts[group] = count;
    }
    mode->nvalues = size->nvalues = group + 1;
    checkGroups(mode, size, bmr, npoints);
    biggest_minimal_representation = bmr;
}

// One state of the dynamic programme, in the representation that indexes it: the segments
// before the last cost `cost` bytes, and the last, still open segment holds `segs` differences.
struct State {
    uint64_t cost;
    uint32_t segs;
};

// A candidate of a scan as one integer: its total in the high bits, its representation in the
// low three. Integer order is then the scan's order: the cheaper first and, of equal totals,
// the smaller representation, which a scan upward with a strict comparison keeps.
using Candidate = uint64_t;
constexpr Candidate NO_CANDIDATE = UINT64_MAX;  // none found yet

Candidate candidate(uint64_t total, unsigned representation) { return total << 3 | representation; }
uint64_t totalOf(Candidate c) { return c >> 3; }
uint8_t representationOf(Candidate c) { return static_cast<uint8_t>(c & 7); }

// Extends the states across one boundary, in place, by the next group: `add_size` differences
// of minimal representation `lowest`, after a group of minimal representation `from`.
// `cheapest` is the first cheapest of the current states, from..bmr. Builds the states
// lowest..bmr (those below are left stale: the next boundary never reads them), records in
// path[k] the representation of the group before when this group is in k, and returns the
// first cheapest of the new states.
//
// Why two candidates give the scan's choice: for each k the scan tries every predecessor j from
// `from` up to bmr and keeps the first of the cheapest. From j = k the group joins k's open
// segment. From every other j, j's open segment is closed, which brings that state to its
// total, and the group opens a segment in k: those candidates all add the same
// cost_segment(add_size, k) to their states' totals, so the first of the cheapest comes from
// the first cheapest state other than k. When the first cheapest state is not k, that is
// `cheapest`. When it is k, joining beats every closing candidate outright: one segment costs
// at least a byte less than two segments of the same differences (its packed bytes and count
// bytes are no more than theirs together, and it has one size byte instead of two), so
// joining costs less than k's total plus cost_segment(add_size, k), and no state's total is
// below k's. Candidates compare by (total, representation), the order in which the scan keeps
// them, so the lesser of the joining candidate and the one from `cheapest` is the scan's
// choice, ties included.
Candidate extend_states(State *n, Candidate cheapest, unsigned from, unsigned lowest,
                        unsigned bmr, uint32_t add_size, uint8_t *path) {
    Candidate next = NO_CANDIDATE;
    // Below `from`, k has no state of its own: the group can only open a segment there.
    unsigned k = lowest;
    for (; k < from; ++k) {
        const Candidate closing = cheapest + candidate(cost_segment(add_size, k), 0);
        n[k] = {totalOf(cheapest), add_size};
        path[k] = representationOf(closing);
        next = std::min(next, candidate(totalOf(closing), k));
    }
    // From `from` up, the group also may join k's own open segment. Which candidate wins
    // follows the data, not a pattern, so both are computed and one is selected.
    for (; k <= bmr; ++k) {
        // The cheapest state's open segment is closed and the group opens one in k ...
        const Candidate closing = cheapest + candidate(cost_segment(add_size, k), 0);
        // ... or the group joins k's own open segment.
        const State own = n[k];
        const uint32_t joined_segs = own.segs + add_size;
        const Candidate joining = candidate(cost_calculate(own.cost, joined_segs, k), k);
        const bool joins = joining < closing;
        // When `cheapest` is k itself, closing stands for no candidate of the scan (k's segment
        // closed to open another in k); joining always beats it.
        KVG_REQUIRE(joins || representationOf(cheapest) != k);
        const Candidate best = joins ? joining : closing;
        n[k] = joins ? State{own.cost, joined_segs} : State{totalOf(cheapest), add_size};
        path[k] = representationOf(best);  // later k read only their own states and `cheapest`
        next = std::min(next, candidate(totalOf(best), k));
    }
    return next;
}

// Replaces every group's minimal representation mode[g] by the one it is written in.
void best_representation(uint32_t nsegs, const uint32_t *segments, uint8_t *mode, uint8_t bmr) {
    if (nsegs == 1) return;  // the one group keeps its minimal representation, which is bmr

    // paths[g * nrepr + k]: the representation of group g when group g + 1 is in k. A row per
    // boundary keeps the writes of one boundary together.
    const uint32_t nrepr = bmr + 1u;
    auto *paths = static_cast<uint8_t *>(std::malloc(size_t{nrepr} * (nsegs - 1)));
    KVG_REQUIRE_NOT_NULL(paths);

    State n[NREPR]{};
    Candidate cheapest = NO_CANDIDATE;
    for (uint8_t i = mode[0]; i <= bmr; ++i) {
        n[i] = {0, segments[0]};
        cheapest = std::min(cheapest, candidate(cost_calculate(0, segments[0], i), i));
    }
    for (uint32_t g = 0; g + 1 < nsegs; ++g) {
        cheapest = extend_states(n, cheapest, mode[g], mode[g + 1], bmr, segments[g + 1],
                                 paths + size_t{g} * nrepr);
    }

    // The final choice, the first of the cheapest last states, then the path back from it.
    KVG_REQUIRE(cheapest != NO_CANDIDATE);
    uint8_t chosen = representationOf(cheapest);
    mode[nsegs - 1] = chosen;
    for (uint32_t g = nsegs - 1; g-- > 0;) {
        chosen = paths[size_t{g} * nrepr + chosen];
        mode[g] = chosen;
    }
    std::free(paths);
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
    for (uint32_t s = 1; s < joined; ++s) KVG_REQUIRE(mode[s] != mode[s - 1]);
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
    best_representation(nsegs, ulaPointer(segments), ucaPointer(modes), bmr);
    join_segments(nsegs, ulaPointer(segments), ucaPointer(modes));
    ucaTruncate(modes, nsegs);
    ulaTruncate(segments, nsegs);
}
