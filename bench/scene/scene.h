// The benchmark scene: a map-like drawing in the default world window -100..100, generated
// deterministically, which every writer of the benchmark draws in the same run.
//
// - Figures: polylines and polygons whose vertices walk the default 4096 grid in steps of
//   mostly 1 to 8 units in a slowly turning direction, now and then with a long jump.
// - A planar map: a 100 x 100 grid of faces whose borders are walks of the same kind between
//   jittered nodes; every inner edge is shared by two faces, and every face is the ring of its
//   four edges.
//
// Vertices are world coordinates with a fraction of a grid unit of noise, as real data has; a
// writer maps them onto the grid itself.
#ifndef KVG_SCENE_SCENE_H
#define KVG_SCENE_SCENE_H

#include <cstdint>
#include <span>
#include <vector>

#include "random.h"

namespace scene {

// The writer's default world window and grid.
constexpr double kWorldMin = -100.0;
constexpr double kWorldMax = 100.0;
constexpr int kGridSize = 4096;
constexpr double kGridPerWorld = kGridSize / (kWorldMax - kWorldMin);  // 20.48

struct WorldPoint {
    double x, y;
};

struct GridPoint {
    int32_t x, y;
};

// A run of consecutive elements of one of the scene's lists.
struct Slice {
    uint32_t first, count;
};

struct Figure {
    Slice points;  // in Scene::figure_points
    bool closed;   // a polygon; otherwise a polyline
};

struct Face {
    Slice edges;  // in Scene::face_edges: edge identifiers, negative when taken backwards
    uint32_t rgb;  // 0xRRGGBB
};

struct Scene {
    std::vector<WorldPoint> figure_points;
    std::vector<Figure> figures;  // polylines first, then polygons
    std::vector<WorldPoint> edge_points;
    std::vector<Slice> edges;  // edge k has the identifier k + 1
    std::vector<int32_t> face_edges;
    std::vector<Face> faces;

    std::span<const WorldPoint> points(const Figure &figure) const {
        return {figure_points.data() + figure.points.first, figure.points.count};
    }
    std::span<const WorldPoint> points(const Slice &edge) const {
        return {edge_points.data() + edge.first, edge.count};
    }
    std::span<const int32_t> edgesOf(const Face &face) const {
        return {face_edges.data() + face.edges.first, face.edges.count};
    }
    // Every vertex given to a writer once: the figures' and the edges'.
    uint64_t pointCount() const { return figure_points.size() + edge_points.size(); }
};

// A scene of about `npoints` vertices: the planar map, then figures until the count is reached.
Scene makeScene(uint64_t npoints);

// The walk that the figures' vertices follow, for callers that draw without keeping a scene.
class Walk {
public:
    explicit Walk(uint64_t seed);
    // Starts a new figure somewhere in the window and returns its first vertex.
    WorldPoint restart();
    WorldPoint next();

private:
    Random rng_;
    GridPoint at_{0, 0};
    double heading_ = 0.0;
};

}  // namespace scene

#endif  // KVG_SCENE_SCENE_H
