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

#include "kernels.h"
#include "kvgopt.h"
#include "kvgtype.h"
#include "optimizer_reference.h"

namespace {

using namespace kvgopt_reference;

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
    // Coordinates on both sides of every field's limits, which the vector classification
    // must place exactly as the size rule does; now and then one that is not a small whole
    // number, which sends the whole edge down the exact path.
    const auto boundaryWalk = [&] {
        static constexpr double kEdges[] = {0,     -0.0,   1,     -1,    2,      3,     4,
                                            -4,    -5,     7,     8,     -8,     -9,    127,
                                            128,   -128,   -129,  2047,  2048,   -2048, -2049,
                                            32767, 32768,  -32768, -32769, 0.5,  1e38};
        constexpr size_t kWhole = std::size(kEdges) - 2;
        paReset(points);
        const bool any = rng() % 8 == 0;
        for (uint32_t i = countUpTo(rng, 40); i > 0; --i) {
            const size_t choices = any ? std::size(kEdges) : kWhole;
            const double dx = kEdges[rng() % choices], dy = kEdges[rng() % choices];
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
        {"steps at the fields' limits", 2000, boundaryWalk},
        {"long runs", 500, runs(longRuns)},
        {"lone big steps", 1000, runs(loneBigSteps)},
        {"runs around the count limits", 300, runs(aroundCountLimits)},
        {"equal groups", 1000, runs(equalGroups)},
    };
    // The vector kernels in both their forms.
    for (const int portable : {0, 1}) {
        KVGK_forcePortableKernels(portable);
        for (const auto &kind : kinds) {
            for (int edge = 0; edge < kind.edges; ++edge) {
                kind.make();
                ASSERT_EQ(optimize(), referenceSegments(points))
                    << kind.kind << ", edge " << edge << (portable ? ", portable" : "");
            }
        }
    }
    KVGK_forcePortableKernels(0);
}

}  // namespace
