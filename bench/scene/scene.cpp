#include "scene.h"

#include <cmath>
#include <numbers>

namespace scene {

namespace {

// Vertices stay this far inside the grid's half extent (2048).
constexpr int32_t kLimit = 2000;
// A figure's walk jumps once in this many steps, by up to kJump units on each axis.
constexpr double kJumpChance = 1.0 / 2000.0;
constexpr double kJump = 400.0;
// How far a walk turns per step, at most, in radians: borders wander, roads bend.
constexpr double kTurn = 0.5;
// The planar map: kCells x kCells faces of about kCellSize units.
constexpr int32_t kCells = 100;
constexpr int32_t kCellSize = 40;
constexpr int32_t kNodeJitter = 8;
constexpr uint32_t kFacePalette[] = {0xE8D9B5, 0xC9E3C4, 0xBFD4EA, 0xF2C6C2, 0xD9CCE8,
                                     0xF5EBA8};

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Mostly short steps, as in digitised lines: 1 to 8 units, the shorter the likelier.
int stepLength(Random &rng) {
    static constexpr uint32_t kWeights[] = {30, 22, 15, 11, 8, 6, 5, 3};  // of 100
    uint32_t r = rng.below(100);
    int length = 1;
    for (uint32_t weight : kWeights) {
        if (r < weight) break;
        r -= weight;
        ++length;
    }
    return length;
}

GridPoint stepAlong(GridPoint from, double heading, int length) {
    return {from.x + static_cast<int32_t>(std::lround(length * std::cos(heading))),
            from.y + static_cast<int32_t>(std::lround(length * std::sin(heading)))};
}

bool operator==(GridPoint a, GridPoint b) { return a.x == b.x && a.y == b.y; }

// A grid position as world coordinates, off the grid by less than a third of a unit.
WorldPoint toWorld(GridPoint p, Random &rng) {
    return {(p.x + rng.between(-0.3, 0.3)) / kGridPerWorld,
            (p.y + rng.between(-0.3, 0.3)) / kGridPerWorld};
}

// A lobed ring around `center`, one vertex per step along it.
void addRing(Scene &s, Random &rng, GridPoint center, double radius) {
    const double phase = rng.between(0.0, kTwoPi);
    const int lobes = 2 + static_cast<int>(rng.below(5));
    const auto at = [&](double theta) {
        const double r = radius * (1.0 + 0.2 * std::sin(lobes * theta + phase));
        return GridPoint{center.x + static_cast<int32_t>(std::lround(r * std::cos(theta))),
                         center.y + static_cast<int32_t>(std::lround(r * std::sin(theta)))};
    };
    const auto first = static_cast<uint32_t>(s.figure_points.size());
    const GridPoint start = at(0.0);
    GridPoint last = start;
    s.figure_points.push_back(toWorld(start, rng));
    for (double theta = stepLength(rng) / radius; theta < kTwoPi;
         theta += stepLength(rng) / radius) {
        const GridPoint p = at(theta);
        if (p == last || p == start) continue;
        s.figure_points.push_back(toWorld(p, rng));
        last = p;
    }
    s.figures.push_back({{first, static_cast<uint32_t>(s.figure_points.size()) - first}, true});
}

void addPolyline(Scene &s, Walk &walk, uint32_t npoints) {
    const auto first = static_cast<uint32_t>(s.figure_points.size());
    s.figure_points.push_back(walk.restart());
    for (uint32_t i = 1; i < npoints; ++i) s.figure_points.push_back(walk.next());
    s.figures.push_back({{first, npoints}, false});
}

// The border from node `a` to node `b`: steps towards b, each turned off course at random.
void addBorder(Scene &s, Random &rng, GridPoint a, WorldPoint a_world, GridPoint b,
               WorldPoint b_world) {
    const auto first = static_cast<uint32_t>(s.edge_points.size());
    s.edge_points.push_back(a_world);
    GridPoint at = a;
    for (;;) {
        const double dx = b.x - at.x, dy = b.y - at.y;
        if (std::hypot(dx, dy) <= 8.0) break;
        at = stepAlong(at, std::atan2(dy, dx) + rng.between(-0.7, 0.7), stepLength(rng));
        if (at == b) break;
        s.edge_points.push_back(toWorld(at, rng));
    }
    s.edge_points.push_back(b_world);
    s.edges.push_back({first, static_cast<uint32_t>(s.edge_points.size()) - first});
}

// Identifiers of the map's edges: the horizontal ones row by row, then the vertical ones.
int32_t horizontalEdge(int32_t i, int32_t j) { return 1 + j * kCells + i; }
int32_t verticalEdge(int32_t i, int32_t j) {
    return 1 + (kCells + 1) * kCells + j * (kCells + 1) + i;
}

void addMap(Scene &s, Random &rng) {
    constexpr int32_t kNodes = kCells + 1;
    std::vector<GridPoint> node(kNodes * kNodes);
    std::vector<WorldPoint> node_world(node.size());
    const auto jitter = [&rng] {
        return static_cast<int32_t>(rng.below(2 * kNodeJitter + 1)) - kNodeJitter;
    };
    const int32_t origin = -kCells * kCellSize / 2;
    for (int32_t j = 0; j < kNodes; ++j) {
        for (int32_t i = 0; i < kNodes; ++i) {
            const GridPoint p{origin + i * kCellSize + jitter(), origin + j * kCellSize + jitter()};
            node[j * kNodes + i] = p;
            node_world[j * kNodes + i] = toWorld(p, rng);
        }
    }
    const auto border = [&](int32_t a, int32_t b) {
        addBorder(s, rng, node[a], node_world[a], node[b], node_world[b]);
    };
    for (int32_t j = 0; j < kNodes; ++j) {
        for (int32_t i = 0; i < kCells; ++i) border(j * kNodes + i, j * kNodes + i + 1);
    }
    for (int32_t j = 0; j < kCells; ++j) {
        for (int32_t i = 0; i < kNodes; ++i) border(j * kNodes + i, (j + 1) * kNodes + i);
    }
    // Each face runs anticlockwise: bottom, right, top backwards, left backwards.
    for (int32_t j = 0; j < kCells; ++j) {
        for (int32_t i = 0; i < kCells; ++i) {
            const auto first = static_cast<uint32_t>(s.face_edges.size());
            s.face_edges.insert(s.face_edges.end(),
                                {horizontalEdge(i, j), verticalEdge(i + 1, j),
                                 -horizontalEdge(i, j + 1), -verticalEdge(i, j)});
            s.faces.push_back({{first, 4}, kFacePalette[(i + 2 * j) % std::size(kFacePalette)]});
        }
    }
}

}  // namespace

Walk::Walk(uint64_t seed) : rng_(seed) {}

WorldPoint Walk::restart() {
    at_ = {static_cast<int32_t>(rng_.below(2 * 1900 + 1)) - 1900,
           static_cast<int32_t>(rng_.below(2 * 1900 + 1)) - 1900};
    heading_ = rng_.between(0.0, kTwoPi);
    return toWorld(at_, rng_);
}

WorldPoint Walk::next() {
    GridPoint to;
    if (rng_.chance(kJumpChance)) {
        to = {at_.x + static_cast<int32_t>(std::lround(rng_.between(-kJump, kJump))),
              at_.y + static_cast<int32_t>(std::lround(rng_.between(-kJump, kJump)))};
    } else {
        heading_ += rng_.between(-kTurn, kTurn);
        to = stepAlong(at_, heading_, stepLength(rng_));
    }
    // Off the edge of the window the walk turns back, as a mirror image.
    if (to.x > kLimit || to.x < -kLimit) {
        to.x = 2 * at_.x - to.x;
        heading_ = std::numbers::pi - heading_;
    }
    if (to.y > kLimit || to.y < -kLimit) {
        to.y = 2 * at_.y - to.y;
        heading_ = -heading_;
    }
    at_ = to;
    return toWorld(at_, rng_);
}

Scene makeScene(uint64_t npoints) {
    Scene s;
    Random rng(20240607);
    addMap(s, rng);
    // The figures share what is left: two thirds in polylines, one third in polygons.
    const uint64_t left = npoints > s.edge_points.size() ? npoints - s.edge_points.size() : 0;
    Walk walk(7);
    while (3 * s.figure_points.size() < 2 * left) addPolyline(s, walk, 20 + rng.below(581));
    while (s.figure_points.size() < left) {
        const double radius = rng.between(8.0, 80.0);
        // The centre keeps the whole ring, lobes included, inside the limit.
        const int32_t reach = kLimit - static_cast<int32_t>(radius * 1.2);
        const auto coordinate = [&] {
            return static_cast<int32_t>(rng.below(static_cast<uint32_t>(2 * reach + 1))) - reach;
        };
        const GridPoint center{coordinate(), coordinate()};
        addRing(s, rng, center, radius);
    }
    return s;
}

}  // namespace scene
