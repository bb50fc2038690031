#include "kvgopt.h"

#include <cstdio>
#include <cstdlib>

#include "kvgassert.h"
#include "kvgtype.h"

// The optimizer works with representations: indexes 0 to 7 into reprSize, the relative point
// sizes in bits. It cuts the differences into groups (maximal runs of one minimal
// representation), gives every group a representation between its own and the largest minimal
// one by dynamic programming over the group boundaries, and joins neighbouring groups that got
// the same representation into one segment.
//
// The recurrence keeps, per representation k, one state: the segments before the last cost
// costs[k] bytes and the last, still open segment is in k and holds segs[k] differences.
// Its scans run upward and replace a candidate only by a strictly cheaper one: that order
// decides between segmentations of equal cost, so it must stay as it is for every build to
// write the same files.
//
// Costs are summed in 64 bits, so that no edge, however long, wraps a total.

namespace {

constexpr int NREPR = 8;
constexpr uint8_t reprSize[NREPR] = {3, 6, 8, 16, 24, 32, 64, 128};

constexpr uint8_t NO_REPRESENTATION = 255;
constexpr uint64_t NO_CANDIDATE = UINT64_MAX;

[[noreturn]] void error(const char *message) {
    std::fprintf(stderr, "error: %s\n", message);
    kvgAssertFailed("false", __FILE__, __LINE__, __func__);
}

uint8_t minPointSize(double x, double y) {
    switch (KVGT_MinRelPointSize(x, y)) {
        case 3: return 0;
        case 6: return 1;
        case 8: return 2;
        case 16: return 3;
        case 24: return 4;
        case 32: return 5;
        case 64: return 6;
        case 128: return 7;
        default: error("internal error: invalid state from KVGT_MinRelPointSize");
    }
}

// Bytes of one segment as the edge record writes it: the size byte, the Size-encoded count and
// the bit-packed differences padded to a whole byte.
uint64_t cost_segment(uint32_t npoints, uint8_t representation) {
    const uint64_t bits = uint64_t{npoints} * reprSize[representation];
    const uint64_t count_bytes = npoints <= 127 ? 1 : npoints <= 16383 ? 2 : 3;
    return (bits + 7) / 8 + count_bytes + 1;
}

// The total of a state if its open segment were closed now.
uint64_t cost_calculate(uint64_t acc_cost, uint32_t acc_segs, uint8_t acc_repr) {
    return acc_cost + cost_segment(acc_segs, acc_repr);
}

// The state after appending a group of `add_size` differences in `add_repr` to the state
// (acc_cost, acc_segs) whose open segment is in `acc_repr`: the group joins the open segment
// when the representations agree, else closes it and opens its own.
void cost_add_segment(uint64_t acc_cost, uint32_t acc_segs, uint8_t acc_repr,
                      uint64_t &new_cost, uint32_t &new_segs, uint8_t add_repr,
                      uint32_t add_size) {
    if (acc_repr == add_repr) {
        new_cost = acc_cost;
        new_segs = acc_segs + add_size;
    } else {
        new_cost = cost_calculate(acc_cost, acc_segs, acc_repr);
        new_segs = add_size;
    }
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

// Cuts the differences into groups of one minimal representation, appended to `mode` and
// `size`, and finds the largest minimal representation.
void group_segments(const PointArray *src, UCharArray *mode, ULongArray *size,
                    uint8_t &biggest_minimal_representation) {
    // Read in place: the differences are never copied.
    const double *point = src->coords;
    const uint32_t npoints = paSize(src);
    uint8_t current = minPointSize(point[0], point[1]);
    uint8_t bmr = current;
    uint32_t count = 1;
    for (uint32_t i = 1; i < npoints; ++i) {
        point += 2;
        const uint8_t m = minPointSize(point[0], point[1]);
        if (m != current) {
            ucaAdd(mode, current);
            ulaAdd(size, count);
            if (m > bmr) bmr = m;
            current = m;
            count = 0;
        }
        ++count;
    }
    ucaAdd(mode, current);
    ulaAdd(size, count);
    checkGroups(mode, size, bmr, npoints);
    biggest_minimal_representation = bmr;
}

// The dynamic programme's states, one per representation; entries above bmr stay unused.
struct States {
    uint64_t costs[NREPR];
    uint32_t segs[NREPR];
};

// Replaces every group's minimal representation mode[g] by the one it is written in.
void best_representation(uint32_t nsegs, const uint32_t *segments, uint8_t *mode, uint8_t bmr) {
    if (nsegs == 1) return;  // the one group keeps its minimal representation, which is bmr

    // paths[k * nsegs + g]: the representation of group g when group g + 1 is in k.
    auto *paths = static_cast<uint8_t *>(std::malloc(size_t{bmr + 1u} * nsegs));
    KVG_REQUIRE_NOT_NULL(paths);

    States n{};
    for (uint8_t i = 0; i <= bmr; ++i) n.segs[i] = segments[0];
    States n1{};

    for (uint32_t g = 0; g + 1 < nsegs; ++g) {
        const uint32_t add_size = segments[g + 1];
        // The candidate from state j for representation k is state j extended by
        // cost_add_segment, valued by cost_calculate. For j other than k that total is j's own
        // total plus the new segment, so the scan below adds parts computed once per j or k.
        uint64_t closed[NREPR];
        for (uint8_t j = mode[g]; j <= bmr; ++j)
            closed[j] = cost_calculate(n.costs[j], n.segs[j], j);
        for (uint8_t k = mode[g + 1]; k <= bmr; ++k) {
            const uint64_t opened = cost_segment(add_size, k);
            const uint64_t joined =
                k >= mode[g] ? cost_calculate(n.costs[k], n.segs[k] + add_size, k) : 0;
            uint8_t best_way = NO_REPRESENTATION;
            uint64_t best_way_cost = NO_CANDIDATE;
            for (uint8_t j = mode[g]; j <= bmr; ++j) {
                const uint64_t total = j == k ? joined : closed[j] + opened;
                if (total < best_way_cost) {
                    best_way_cost = total;
                    best_way = j;
                }
            }
            KVG_REQUIRE(best_way != NO_REPRESENTATION);
            cost_add_segment(n.costs[best_way], n.segs[best_way], best_way, n1.costs[k],
                             n1.segs[k], k, add_size);
            KVG_REQUIRE(cost_calculate(n1.costs[k], n1.segs[k], k) == best_way_cost);
            paths[size_t{k} * nsegs + g] = best_way;
        }
        // Entries below mode[g + 1] carry stale values, never read: the next scan starts there.
        n = n1;
    }

    uint8_t best = NO_REPRESENTATION;
    uint64_t best_cost = NO_CANDIDATE;
    for (uint8_t k = mode[nsegs - 1]; k <= bmr; ++k) {
        const uint64_t total = cost_calculate(n.costs[k], n.segs[k], k);
        if (total < best_cost) {
            best_cost = total;
            best = k;
        }
    }
    KVG_REQUIRE(best != NO_REPRESENTATION);

    mode[nsegs - 1] = best;
    for (uint32_t g = nsegs - 1; g-- > 0;) mode[g] = paths[size_t{mode[g + 1]} * nsegs + g];
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
