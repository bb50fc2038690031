// What the optimizer's tests and its long check share: segments, differences of a given size,
// random edges of every size mix, and the recurrence read literally, scan by scan.
#ifndef KVG_OPTIMIZER_REFERENCE_H
#define KVG_OPTIMIZER_REFERENCE_H

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <ostream>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "kvgopt.h"
#include "kvgtype.h"

namespace kvgopt_reference {

struct Segment {
    unsigned bits;   // relative point size
    uint32_t count;  // differences
    bool operator==(const Segment &) const = default;
};
inline void PrintTo(const Segment &s, std::ostream *os) { *os << s.count << " x " << s.bits; }

// A difference whose smallest relative point size is `bits`.
inline double stepOfSize(unsigned bits) {
    const std::pair<unsigned, double> steps[] = {{3, 1},     {6, 2},      {8, 4},    {16, 8},
                                                 {24, 128},  {32, 2048},  {64, 0.5}, {128, 1e38}};
    for (auto [size, step] : steps)
        if (size == bits) return step;
    throw std::invalid_argument("no relative point size " + std::to_string(bits));
}

// Bytes of the segments as an edge record writes them: the size byte, the count in 1 to 3
// bytes and the packed differences.
inline uint64_t costOf(const std::vector<Segment> &segments) {
    uint64_t bytes = 0;
    for (auto [bits, count] : segments)
        bytes += 1 + (count < 128 ? 1 : count < 16384 ? 2 : 3) + (uint64_t{count} * bits + 7) / 8;
    return bytes;
}

// Mostly unit steps (some of them zero), then short moves, long moves, off-grid and huge
// jumps; `reach` (1 to 100) caps how far along that list a walk goes.
inline std::pair<double, double> randomStep(std::mt19937 &rng, unsigned reach) {
    auto coord = [&](int range) { return double(int(rng() % (2 * range + 1)) - range); };
    const unsigned kind = rng() % reach;
    if (kind < 70) return {coord(1), coord(1)};
    if (kind < 90) return {coord(100), coord(8)};
    if (kind < 97) return {coord(30000), coord(3000)};
    if (kind < 99) return {coord(40000) + 0.25, 0};
    return {1e38, -1};
}

// ---- The recurrence read literally, scan by scan: the reference for the optimizer ----

inline constexpr unsigned kReprSize[8] = {3, 6, 8, 16, 24, 32, 64, 128};

inline unsigned representationOf(unsigned bits) {
    return static_cast<unsigned>(std::find(std::begin(kReprSize), std::end(kReprSize), bits) -
                                 std::begin(kReprSize));
}

inline uint64_t referenceSegmentCost(uint32_t npoints, unsigned repr) {
    uint64_t bits = uint64_t{npoints} * kReprSize[repr];
    if (bits % 8 != 0) bits += 8;
    return bits / 8 + (npoints <= 127 ? 1 : npoints <= 16383 ? 2 : 3) + 1;
}

// Closed segments' cost and the open segment's count.
struct ReferenceState {
    uint64_t cost = 0;
    uint32_t segs = 0;
};

inline uint64_t referenceTotal(ReferenceState s, unsigned repr) {
    return s.cost + referenceSegmentCost(s.segs, repr);
}

// State `acc`, open in `acc_repr`, followed by a group of `add_size` in `add_repr`.
inline ReferenceState referenceAdd(ReferenceState acc, unsigned acc_repr, unsigned add_repr,
                            uint32_t add_size) {
    if (acc_repr == add_repr) return {acc.cost, acc.segs + add_size};
    return {referenceTotal(acc, acc_repr), add_size};
}

// Every group's chosen representation: for each boundary and each k, every predecessor j is
// tried in ascending order and replaced only by a strictly cheaper one.
inline std::vector<unsigned> referenceChoice(const std::vector<unsigned> &mode,
                                      const std::vector<uint32_t> &size) {
    const size_t nsegs = mode.size();
    if (nsegs == 1) return mode;
    const unsigned bmr = *std::max_element(mode.begin(), mode.end());
    std::vector<ReferenceState> n(bmr + 1, {0, size[0]}), n1(bmr + 1);
    std::vector<std::vector<unsigned>> paths(bmr + 1, std::vector<unsigned>(nsegs, 255));
    for (size_t g = 0; g + 1 < nsegs; ++g) {
        for (unsigned k = mode[g + 1]; k <= bmr; ++k) {
            unsigned best_way = 255;
            uint64_t best_way_cost = UINT64_MAX;
            for (unsigned j = mode[g]; j <= bmr; ++j) {
                const uint64_t total = referenceTotal(referenceAdd(n[j], j, k, size[g + 1]), k);
                if (total < best_way_cost) {
                    best_way_cost = total;
                    best_way = j;
                }
            }
            n1[k] = referenceAdd(n[best_way], best_way, k, size[g + 1]);
            paths[k][g] = best_way;
        }
        n = n1;  // stale entries below mode[g + 1] included
    }
    unsigned best = 255;
    uint64_t best_cost = UINT64_MAX;
    for (unsigned k = mode.back(); k <= bmr; ++k) {
        if (referenceTotal(n[k], k) < best_cost) {
            best_cost = referenceTotal(n[k], k);
            best = k;
        }
    }
    std::vector<unsigned> chosen(nsegs);
    chosen.back() = best;
    for (size_t g = nsegs - 1; g-- > 0;) chosen[g] = paths[chosen[g + 1]][g];
    return chosen;
}

// The differences grouped by their smallest size, each group given its choice, and neighbours
// of equal choice joined.
inline std::vector<Segment> referenceSegments(const PointArray *points) {
    std::vector<unsigned> mode;
    std::vector<uint32_t> size;
    for (uint32_t i = 0; i < paSize(points); ++i) {
        double dx, dy;
        paGet(points, i, &dx, &dy);
        const unsigned m = representationOf(KVGT_MinRelPointSize(dx, dy));
        if (mode.empty() || mode.back() != m) {
            mode.push_back(m);
            size.push_back(0);
        }
        ++size.back();
    }
    const std::vector<unsigned> chosen = referenceChoice(mode, size);
    std::vector<Segment> joined;
    for (size_t g = 0; g < chosen.size(); ++g) {
        const unsigned bits = kReprSize[chosen[g]];
        if (!joined.empty() && joined.back().bits == bits) {
            joined.back().count += size[g];
        } else {
            joined.push_back({bits, size[g]});
        }
    }
    return joined;
}

// ---- Random edges for the comparison, as runs of one smallest size ----

inline unsigned anySize(std::mt19937 &rng) { return kReprSize[rng() % 8]; }
inline uint32_t countUpTo(std::mt19937 &rng, uint32_t most) {
    return 1 + static_cast<uint32_t>(rng() % most);
}

// Long runs of any size, mostly short, some of thousands.
inline std::vector<Segment> longRuns(std::mt19937 &rng) {
    std::vector<Segment> groups(countUpTo(rng, 20));
    for (Segment &s : groups) s = {anySize(rng), countUpTo(rng, rng() % 4 == 0 ? 3000 : 20)};
    return groups;
}

// Small steps with, now and then, one step that needs 24 to 128 bits.
inline std::vector<Segment> loneBigSteps(std::mt19937 &rng) {
    std::vector<Segment> groups(countUpTo(rng, 40));
    for (Segment &s : groups) {
        s = rng() % 4 == 0 ? Segment{kReprSize[4 + rng() % 4], 1}
                           : Segment{kReprSize[rng() % 3], countUpTo(rng, 40)};
    }
    return groups;
}

// Runs whose counts, alone or joined with short neighbours, cross the limits where a count
// takes a second or a third byte.
inline std::vector<Segment> aroundCountLimits(std::mt19937 &rng) {
    const uint32_t limit = rng() % 4 == 0 ? 16384 : 128;
    std::vector<Segment> groups(1 + countUpTo(rng, 5));
    for (Segment &s : groups) {
        s = {anySize(rng), rng() % 2 == 0 ? limit - 5 + countUpTo(rng, 7) : countUpTo(rng, 4)};
    }
    return groups;
}

// Two or three sizes in turn, every run of the same count: candidates of equal cost abound.
inline std::vector<Segment> equalGroups(std::mt19937 &rng) {
    const unsigned sizes[3] = {anySize(rng), anySize(rng), anySize(rng)};
    const unsigned nsizes = 2 + rng() % 2;
    const uint32_t count = countUpTo(rng, 12);
    std::vector<Segment> groups(1 + countUpTo(rng, 30));
    for (size_t g = 0; g < groups.size(); ++g) groups[g] = {sizes[g % nsizes], count};
    return groups;
}

}  // namespace kvgopt_reference

#endif  // KVG_OPTIMIZER_REFERENCE_H
