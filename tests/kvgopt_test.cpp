// The edge segment optimizer: chosen cuts, the order in which it breaks ties, and its
// postconditions on random map-like walks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

}  // namespace
