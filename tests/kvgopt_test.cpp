// The edge segment optimizer: chosen cuts, the order in which it breaks ties, its
// postconditions on random map-like walks, and identical choices to a literal reading of its
// recurrence on many random edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <ostream>
#include <random>
#include <utility>
#include <vector>

#include "kvgopt.h"
#include "kvgtype.h"

namespace {

struct Segment {
    unsigned bits;   // relative point size
    uint32_t count;  // differences
    bool operator==(const Segment &) const = default;
};
void PrintTo(const Segment &s, std::ostream *os) { *os << s.count << " x " << s.bits; }

// A difference whose smallest relative point size is `bits`.
double stepOfSize(unsigned bits) {
    const std::pair<unsigned, double> steps[] = {{3, 1},     {6, 2},      {8, 4},    {16, 8},
                                                 {24, 128},  {32, 2048},  {64, 0.5}, {128, 1e38}};
    for (auto [size, step] : steps)
        if (size == bits) return step;
    ADD_FAILURE() << "no relative point size " << bits;
    return 0;
}

// Bytes of the segments as an edge record writes them: the size byte, the count in 1 to 3
// bytes and the packed differences.
uint64_t costOf(const std::vector<Segment> &segments) {
    uint64_t bytes = 0;
    for (auto [bits, count] : segments)
        bytes += 1 + (count < 128 ? 1 : count < 16384 ? 2 : 3) + (uint64_t{count} * bits + 7) / 8;
    return bytes;
}

class EdgeOptimize : public ::testing::Test {
protected:
    void TearDown() override {
        paDestroy(points);
        ucaDestroy(modes);
        ulaDestroy(segments);
    }

    void walk(const std::vector<Segment> &groups) {
        paReset(points);
        for (auto [bits, count] : groups)
            for (uint32_t i = 0; i < count; ++i) paAdd(points, stepOfSize(bits), 0);
    }

    std::vector<Segment> optimize() {
        KVGO_EdgeOptimize(points, modes, segments);
        EXPECT_EQ(ucaSize(modes), ulaSize(segments));
        std::vector<Segment> result;
        for (uint32_t i = 0; i < ucaSize(modes); ++i)
            result.push_back({modes->values[i], segments->values[i]});
        return result;
    }

    PointArray *points = paCreate(32);
    UCharArray *modes = ucaCreate(0);
    ULongArray *segments = ulaCreate(0);
};

TEST_F(EdgeOptimize, ChoosesTheCheapestCutAndBreaksTiesInScanOrder) {
    const struct {
        std::vector<Segment> groups, expected;
        uint64_t cost;
    } cases[] = {
        {{{24, 1}}, {{24, 1}}, 5},
        {{{16, 300}}, {{16, 300}}, 603},
        {{{3, 10}, {8, 1}, {3, 10}}, {{3, 10}, {8, 1}, {3, 10}}, 15},
        {{{3, 4}, {6, 4}}, {{6, 8}}, 8},
        {{{8, 5}, {3, 2}, {8, 5}}, {{8, 12}}, 14},
        {{{16, 2}, {3, 1}, {16, 2}}, {{16, 5}}, 12},
        {{{3, 3}, {128, 1}, {3, 3}}, {{3, 3}, {128, 1}, {3, 3}}, 26},
        // Equal costs: the smaller predecessor is found first in the scan and stays ...
        {{{3, 5}, {6, 1}}, {{3, 5}, {6, 1}}, 7},
        // ... and the final choice keeps the smaller representation of the last group.
        {{{6, 1}, {3, 5}}, {{6, 1}, {3, 5}}, 7},
        // A count takes 2 bytes from 128 and 3 from 16384: joining the two 3-bit steps into
        // the 8-bit segment saves a byte below each limit and ties at it.
        {{{8, 125}, {3, 2}}, {{8, 127}}, 129},
        {{{8, 126}, {3, 2}}, {{8, 126}, {3, 2}}, 131},
        {{{8, 16381}, {3, 2}}, {{8, 16383}}, 16386},
        {{{8, 16382}, {3, 2}}, {{8, 16382}, {3, 2}}, 16388},
    };
    for (const auto &c : cases) {  // the outputs of one case are emptied by the next
        walk(c.groups);
        EXPECT_EQ(optimize(), c.expected) << ::testing::PrintToString(c.groups);
        EXPECT_EQ(costOf(c.expected), c.cost) << ::testing::PrintToString(c.expected);
    }
}

TEST_F(EdgeOptimize, RefusesNullAndEmptyInputs) {
    EXPECT_DEATH(KVGO_EdgeOptimize(points, modes, segments), "KVGO_EdgeOptimize");
    paAdd(points, 1, 0);
    EXPECT_DEATH(KVGO_EdgeOptimize(nullptr, modes, segments), "KVGO_EdgeOptimize");
    EXPECT_DEATH(KVGO_EdgeOptimize(points, nullptr, segments), "KVGO_EdgeOptimize");
    EXPECT_DEATH(KVGO_EdgeOptimize(points, modes, nullptr), "KVGO_EdgeOptimize");
}

// Mostly unit steps (some of them zero), then short moves, long moves, off-grid and huge
// jumps; `reach` (1 to 100) caps how far along that list a walk goes.
std::pair<double, double> randomStep(std::mt19937 &rng, unsigned reach) {
    auto coord = [&](int range) { return double(int(rng() % (2 * range + 1)) - range); };
    const unsigned kind = rng() % reach;
    if (kind < 70) return {coord(1), coord(1)};
    if (kind < 90) return {coord(100), coord(8)};
    if (kind < 97) return {coord(30000), coord(3000)};
    if (kind < 99) return {coord(40000) + 0.25, 0};
    return {1e38, -1};
}

TEST_F(EdgeOptimize, RandomWalksMeetThePostconditions) {
    std::mt19937 rng(20240611);
    for (int trial = 0; trial < 300; ++trial) {
        const unsigned reach = 1 + rng() % 100;
        const uint32_t npoints = 1 + rng() % 800;
        std::vector<unsigned> minimal;  // each difference's smallest size
        std::vector<Segment> groups;    // the walk cut at every change of that size
        paReset(points);
        for (uint32_t i = 0; i < npoints; ++i) {
            const auto [dx, dy] = randomStep(rng, reach);
            paAdd(points, dx, dy);
            minimal.push_back(KVGT_MinRelPointSize(dx, dy));
            if (groups.empty() || groups.back().bits != minimal.back())
                groups.push_back({minimal.back(), 0});
            ++groups.back().count;
        }
        const unsigned largest = *std::max_element(minimal.begin(), minimal.end());

        const auto result = optimize();
        ASSERT_FALSE(result.empty());
        uint32_t next = 0;
        for (size_t s = 0; s < result.size(); ++s) {
            ASSERT_GT(result[s].count, 0u);
            ASSERT_LE(result[s].bits, largest);
            if (s > 0) {
                ASSERT_NE(result[s].bits, result[s - 1].bits);
            }
            for (const uint32_t end = next + result[s].count; next < end; ++next) {
                ASSERT_LT(next, npoints);
                ASSERT_LE(minimal[next], result[s].bits) << "difference " << next;
            }
        }
        ASSERT_EQ(next, npoints);
        ASSERT_LE(costOf(result), costOf(groups)) << "trial " << trial;
    }
}

// ---- The recurrence read literally, scan by scan: the reference for the optimizer ----

constexpr unsigned kReprSize[8] = {3, 6, 8, 16, 24, 32, 64, 128};

unsigned representationOf(unsigned bits) {
    return static_cast<unsigned>(std::find(std::begin(kReprSize), std::end(kReprSize), bits) -
                                 std::begin(kReprSize));
}

uint64_t referenceSegmentCost(uint32_t npoints, unsigned repr) {
    uint64_t bits = uint64_t{npoints} * kReprSize[repr];
    if (bits % 8 != 0) bits += 8;
    return bits / 8 + (npoints <= 127 ? 1 : npoints <= 16383 ? 2 : 3) + 1;
}

// Closed segments' cost and the open segment's count.
struct ReferenceState {
    uint64_t cost = 0;
    uint32_t segs = 0;
};

uint64_t referenceTotal(ReferenceState s, unsigned repr) {
    return s.cost + referenceSegmentCost(s.segs, repr);
}

// State `acc`, open in `acc_repr`, followed by a group of `add_size` in `add_repr`.
ReferenceState referenceAdd(ReferenceState acc, unsigned acc_repr, unsigned add_repr,
                            uint32_t add_size) {
    if (acc_repr == add_repr) return {acc.cost, acc.segs + add_size};
    return {referenceTotal(acc, acc_repr), add_size};
}

// Every group's chosen representation: for each boundary and each k, every predecessor j is
// tried in ascending order and replaced only by a strictly cheaper one.
std::vector<unsigned> referenceChoice(const std::vector<unsigned> &mode,
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
std::vector<Segment> referenceSegments(const PointArray *points) {
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

unsigned anySize(std::mt19937 &rng) { return kReprSize[rng() % 8]; }
uint32_t countUpTo(std::mt19937 &rng, uint32_t most) {
    return 1 + static_cast<uint32_t>(rng() % most);
}

// Long runs of any size, mostly short, some of thousands.
std::vector<Segment> longRuns(std::mt19937 &rng) {
    std::vector<Segment> groups(countUpTo(rng, 20));
    for (Segment &s : groups) s = {anySize(rng), countUpTo(rng, rng() % 4 == 0 ? 3000 : 20)};
    return groups;
}

// Small steps with, now and then, one step that needs 24 to 128 bits.
std::vector<Segment> loneBigSteps(std::mt19937 &rng) {
    std::vector<Segment> groups(countUpTo(rng, 40));
    for (Segment &s : groups) {
        s = rng() % 4 == 0 ? Segment{kReprSize[4 + rng() % 4], 1}
                           : Segment{kReprSize[rng() % 3], countUpTo(rng, 40)};
    }
    return groups;
}

// Runs whose counts, alone or joined with short neighbours, cross the limits where a count
// takes a second or a third byte.
std::vector<Segment> aroundCountLimits(std::mt19937 &rng) {
    const uint32_t limit = rng() % 4 == 0 ? 16384 : 128;
    std::vector<Segment> groups(1 + countUpTo(rng, 5));
    for (Segment &s : groups) {
        s = {anySize(rng), rng() % 2 == 0 ? limit - 5 + countUpTo(rng, 7) : countUpTo(rng, 4)};
    }
    return groups;
}

// Two or three sizes in turn, every run of the same count: candidates of equal cost abound.
std::vector<Segment> equalGroups(std::mt19937 &rng) {
    const unsigned sizes[3] = {anySize(rng), anySize(rng), anySize(rng)};
    const unsigned nsizes = 2 + rng() % 2;
    const uint32_t count = countUpTo(rng, 12);
    std::vector<Segment> groups(1 + countUpTo(rng, 30));
    for (size_t g = 0; g < groups.size(); ++g) groups[g] = {sizes[g % nsizes], count};
    return groups;
}

TEST_F(EdgeOptimize, ChoosesAsTheLiteralRecurrenceOnRandomEdges) {
    std::mt19937 rng(20250117);
    const auto mixedWalk = [&] {
        paReset(points);
        const unsigned reach = 1 + rng() % 100;
        for (uint32_t i = countUpTo(rng, 400); i > 0; --i) {
            const auto [dx, dy] = randomStep(rng, reach);
            paAdd(points, dx, dy);
        }
    };
    const auto runs = [&](std::vector<Segment> (*make)(std::mt19937 &)) {
        return [this, &rng, make] { walk(make(rng)); };
    };
    const struct {
        const char *kind;
        int edges;
        std::function<void()> make;
    } kinds[] = {
        {"random walks of mixed steps", 2000, mixedWalk},
        {"long runs", 500, runs(longRuns)},
        {"lone big steps", 1000, runs(loneBigSteps)},
        {"runs around the count limits", 300, runs(aroundCountLimits)},
        {"equal groups", 1000, runs(equalGroups)},
    };
    for (const auto &kind : kinds) {
        for (int edge = 0; edge < kind.edges; ++edge) {
            kind.make();
            ASSERT_EQ(optimize(), referenceSegments(points)) << kind.kind << ", edge " << edge;
        }
    }
}

}  // namespace
