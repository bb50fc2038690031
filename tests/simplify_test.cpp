// Simplification that keeps topology: importance as thresholds (arc ends always kept, every
// coarser threshold a subset), crossings mended, small rings kept as rings; and on the world:
// junctions and shared borders kept, no overlaps, no gaps, no new invalid polygons.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "face_geometry.h"
#include "simplify.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

using kvgsimplify::ALWAYS;
using kvgsimplify::Chain;
using kvgsimplify::Method;

const std::string WORLD = std::string(KVG_TEST_DATA_DIR) + "/countries-110m.json";

// A wiggly chain from a fixed generator, so that every run sees the same points.
Chain wiggle(size_t n, bool closed) {
    Chain chain;
    uint32_t state = 12345;
    for (size_t i = 0; i < n; ++i) {
        state = state * 1103515245 + 12345;
        const double angle = closed ? 6.283185307 * double(i) / double(n) : 0;
        const int32_t noise = int32_t(state >> 16) % 40;
        chain.push_back(closed ? kvgimport::GridPos{int32_t(1000 * std::cos(angle)) + noise, int32_t(1000 * std::sin(angle))}
                               : kvgimport::GridPos{int32_t(i * 10), noise});
    }
    if (closed) chain.push_back(chain.front());
    return chain;
}

std::vector<bool> keptAt(const std::vector<double> &importance, double threshold) {
    std::vector<bool> kept;
    for (const double v : importance) kept.push_back(v >= threshold);
    return kept;
}

TEST(SimplifyRanking, ArcEndsAlwaysStayAndCoarserThresholdsKeepSubsets) {
    const std::vector<Chain> arcs = {wiggle(200, false), wiggle(150, true)};
    for (const Method method : {Method::visvalingam, Method::douglasPeucker}) {
        const kvgsimplify::Importance importance = kvgsimplify::rankVertices(arcs, method);
        for (size_t a = 0; a < arcs.size(); ++a) {
            EXPECT_EQ(importance[a].front(), ALWAYS);
            EXPECT_EQ(importance[a].back(), ALWAYS);
            // Nested: what a coarser threshold keeps, every finer one keeps too.
            std::vector<bool> finer = keptAt(importance[a], 0);
            for (const double t : {1.0, 3.0, 10.0, 30.0, 100.0, 1000.0}) {
                const std::vector<bool> coarser = keptAt(importance[a], t);
                for (size_t k = 0; k < coarser.size(); ++k) EXPECT_TRUE(!coarser[k] || finer[k]) << t << " " << k;
                finer = coarser;
            }
        }
        // Shares: more kept for a larger share, all for 1, the ends only for 0.
        const auto count = [&](double t) {
            size_t n = 0;
            for (const auto &arc : importance) n += size_t(std::ranges::count_if(arc, [&](double v) { return v >= t; }));
            return n;
        };
        EXPECT_EQ(count(kvgsimplify::thresholdForShare(importance, 1)), 351u);
        EXPECT_EQ(count(kvgsimplify::thresholdForShare(importance, 0)), 4u);
        EXPECT_NEAR(double(count(kvgsimplify::thresholdForShare(importance, 0.1))), 4 + 0.1 * 347, 2);
    }
}

TEST(SimplifyRanking, DouglasPeuckerDistancesAndVisvalingamSpikesFirst) {
    // A bump 10 high in the middle, and a smaller one beside it.
    const std::vector<Chain> bump = {{{0, 0}, {10, 3}, {20, 10}, {30, 0}}};
    const auto dp = kvgsimplify::rankVertices(bump, Method::douglasPeucker);
    EXPECT_DOUBLE_EQ(dp[0][2], 10);  // the farthest from the chord
    EXPECT_LE(dp[0][1], dp[0][2]);
    // A spike and a flat bump of the same area: the spike goes first.
    const std::vector<Chain> shapes = {{{0, 0}, {10, 0}, {11, 40}, {12, 0}, {30, 0}, {50, 4}, {70, 0}}};
    const auto vw = kvgsimplify::rankVertices(shapes, Method::visvalingam);
    EXPECT_LT(vw[0][2], vw[0][5]);
}

TEST(SimplifyRepair, PointsComeBackWhereSegmentsWouldCrossAndRingsStayRings) {
    // The chord of the tall bump would cross the line below its top.
    const std::vector<Chain> arcs = {{{0, 0}, {5, 10}, {10, 0}}, {{4, -1}, {4, 2}}};
    kvgsimplify::Importance importance = kvgsimplify::rankVertices(arcs, Method::douglasPeucker);
    const double threshold = 100;
    EXPECT_EQ(kvgsimplify::simplified(arcs, importance, threshold)[0].size(), 2u);
    const kvgsimplify::Repair repair = kvgsimplify::repairCrossings(arcs, importance, threshold);
    EXPECT_EQ(repair.restored, 1u);
    EXPECT_EQ(repair.unmended, 0u);
    EXPECT_EQ(kvgsimplify::simplified(arcs, importance, threshold)[0], arcs[0]);
    // An island under the bump would end up outside it, though no segment crosses its coast.
    const std::vector<Chain> island = {arcs[0], {{4, 1}, {6, 1}, {5, 2}, {4, 1}}};
    kvgsimplify::Importance islandImportance = kvgsimplify::rankVertices(island, Method::douglasPeucker);
    kvgsimplify::protectRings(island, {{2}}, islandImportance);
    EXPECT_EQ(kvgsimplify::repairCrossings(island, islandImportance, threshold).restored, 1u);
    EXPECT_EQ(kvgsimplify::simplified(island, islandImportance, threshold)[0], arcs[0]);
    // Segments that already crossed in the input are counted, not mended.
    const std::vector<Chain> crossing = {{{0, 0}, {10, 10}}, {{0, 10}, {10, 0}}};
    kvgsimplify::Importance plain = kvgsimplify::rankVertices(crossing, Method::visvalingam);
    EXPECT_EQ(kvgsimplify::repairCrossings(crossing, plain, 5).unmended, 1u);
    // An island alone in its arc keeps an area at any threshold; so do two arcs between the
    // same two junctions, which would otherwise fold onto one line.
    const std::vector<Chain> rings = {wiggle(50, true), {{0, 0}, {5, 3}, {10, 0}}, {{0, 0}, {5, -2}, {10, 0}}};
    kvgsimplify::Importance ranked = kvgsimplify::rankVertices(rings, Method::visvalingam);
    EXPECT_GT(kvgsimplify::protectRings(rings, {{1}, {2, -3}}, ranked), 0u);
    EXPECT_NE(kvgsimplify::doubleArea(rings, {1}, &ranked, ALWAYS), 0);
    EXPECT_NE(kvgsimplify::doubleArea(rings, {2, -3}, &ranked, ALWAYS), 0);
    EXPECT_GE(kvgsimplify::simplified(rings, ranked, ALWAYS)[0].size(), 4u);
}

// ---- The world

struct Faces {
    std::vector<GeosGeometry> countries, land;
    size_t invalid = 0;
};

// The filled faces are the countries; the other faces that are no hole are the land's, which
// the importer defines from the same arcs but only outlines.
Faces facesOf(const Decoded &file) {
    Faces faces;
    const auto &definitions = file.definitions.faces;
    std::vector<bool> other(definitions.size(), true);
    for (const auto &face : definitions)
        for (const uint32_t hole : face.holes) other[hole] = false;
    for (const FilledFace &f : filledFaces(file)) {
        faces.countries.push_back(facePolygon(file, f.face));
        other[f.face] = false;
    }
    for (uint32_t f = 0; f < definitions.size(); ++f)
        if (other[f]) faces.land.push_back(facePolygon(file, f));
    for (const auto *set : {&faces.countries, &faces.land})
        for (const GeosGeometry &g : *set) faces.invalid += !valid(g.get());
    return faces;
}

// How much more the countries' areas add up to than their union.
double overlap(const Faces &faces) {
    double sum = 0;
    for (const GeosGeometry &g : faces.countries) sum += area(g.get());
    return sum - unionArea(faces.countries);
}

Decoded importWorld(const TempPath &out, std::vector<std::string> options) {
    std::vector<std::string> args = {"import", WORLD, "--make-valid", "-o", out.str()};
    args.insert(args.end(), options.begin(), options.end());
    const ToolRun run = kvg(args);
    EXPECT_EQ(run.status, 0) << run.err;
    expectValidKvg(out.str());
    return decodeFile(out.str());
}

size_t pointCount(const Decoded &file) {
    size_t n = 0;
    for (const auto &edge : file.definitions.edges) n += edge.steps.size() + 1;
    return n;
}

TEST(SimplifyWorld, BordersStaySharedWithoutGapsOverlapsOrNewInvalidPolygons) {
    const TempPath wholePath;
    const Decoded whole = importWorld(wholePath, {});
    const Faces wholeFaces = facesOf(whole);
    const double wholeOverlap = overlap(wholeFaces);
    const double land = unionArea(wholeFaces.land);
    for (const std::string method : {"visvalingam", "dp"}) {
        size_t coarserPoints = 0;
        for (const std::string percent : {"1", "10"}) {
            SCOPED_TRACE(method + " " + percent + " %");
            const TempPath path;
            const Decoded file = importWorld(path, {"--simplify", percent, "--simplify-method", method});
            const size_t points = pointCount(file);
            EXPECT_LT(points, pointCount(whole) / 2);
            EXPECT_GT(points, coarserPoints);
            coarserPoints = points;
            // The same edges, with the same ends: junctions stay, and each border is one edge
            // that both neighbours' faces name.
            ASSERT_EQ(file.definitions.edges.size(), whole.definitions.edges.size());
            for (int32_t e = 1; e <= int32_t(whole.definitions.edges.size()); ++e) {
                const EdgePoints ours = edgePoints(file, e), theirs = edgePoints(whole, e);
                EXPECT_EQ(ours.front(), theirs.front());
                EXPECT_EQ(ours.back(), theirs.back());
            }
            ASSERT_EQ(file.definitions.faces.size(), whole.definitions.faces.size());
            for (size_t f = 0; f < whole.definitions.faces.size(); ++f)
                EXPECT_EQ(file.definitions.faces[f].edges, whole.definitions.faces[f].edges);
            // No overlaps (the union is the sum of the countries, but for the slivers the
            // input has), no gaps (the countries cover the land, which is simplified from the
            // same coast arcs), no polygon made invalid.
            const Faces faces = facesOf(file);
            EXPECT_LE(overlap(faces), wholeOverlap + land * 1e-12);
            EXPECT_NEAR(unionArea(faces.countries), unionArea(faces.land), land * 1e-9);
            EXPECT_LE(faces.invalid, wholeFaces.invalid);
        }
    }
}

TEST(SimplifyWorld, SmallIslandsDropUnderMinAreaAndBadOptionsAreRefused) {
    ScratchDirectory here;
    const ToolRun dropped =
        kvg({"import", WORLD, "--make-valid", "--layer", "countries", "-o", "small.kvg", "--min-area", "2"});
    ASSERT_EQ(dropped.status, 0) << dropped.err;
    EXPECT_TRUE(contains(dropped.out, " small rings dropped")) << dropped.out;
    const Decoded file = decodeFile("small.kvg");
    const TempPath countriesPath, bothPath;
    const Decoded countries = importWorld(countriesPath, {"--layer", "countries"});
    EXPECT_LT(file.definitions.faces.size(), countries.definitions.faces.size());
    // Beside the land layer every island shares its coast with it and stays whatever its size:
    // dropping one side of a shared border would open a gap.
    const Decoded both = importWorld(bothPath, {"--min-area", "2"});
    const Faces faces = facesOf(both);
    EXPECT_NEAR(unionArea(faces.countries), unionArea(faces.land), unionArea(faces.land) * 1e-9);
    for (const std::vector<std::string> &bad :
         {std::vector<std::string>{"--simplify", "101"}, {"--simplify", "x"}, {"--simplify-to", "0"},
          {"--simplify", "5", "--simplify-to", "1"}, {"--simplify", "5", "--simplify-method", "fast"},
          {"--min-area", "-1"}}) {
        std::vector<std::string> args = {"import", WORLD, "-o", "bad.kvg"};
        args.insert(args.end(), bad.begin(), bad.end());
        const ToolRun run = kvg(args);
        EXPECT_EQ(run.status, 2) << bad[0];
        EXPECT_TRUE(contains(run.err, bad[bad.size() == 4 && bad[2] == "--simplify-method" ? 2 : 0]) ||
                    contains(run.err, "exclude"))
            << run.err;
    }
}

}  // namespace
}  // namespace kvgtest
