// One tile's content: the map's arcs (at a zoom's level of detail) cut at the tile's buffered
// box, on the tile's grid, with the faces of the polygons closed along the box where they were
// cut. The pieces of arcs are the tile's drawn edges; the runs along the box are edges of the
// faces only.
#ifndef KVGTILE_CLIP_H
#define KVGTILE_CLIP_H

#include <cstdint>
#include <vector>

#include "map_writer.h"

namespace kvgtile {

using kvgimport::Chain;
using kvgimport::GridPos;

// The box and the mapping from the map's grid onto the tile's: u = (g - origin) * scale.
struct TileFrame {
    int32_t lo, hi;          // the buffered box on both axes, in tile units
    double originX, originY; // the tile's lower left corner on the map's grid
    double scale;            // tile units per grid step
};

struct TilePolygon {
    std::vector<int32_t> outer;               // edge references (negative: backwards)
    std::vector<std::vector<int32_t>> holes;
};

struct TileFeature {
    size_t index;  // in its layer
    std::vector<TilePolygon> polygons;
    std::vector<kvgimport::Pos> marks;  // tile units
};

struct TileLayer {
    size_t index;  // in the map
    std::vector<TileFeature> features;
    std::vector<int32_t> drawn;  // the edges of its arcs, ascending
};

struct TileContent {
    std::vector<Chain> edges;  // edge n is edges[n - 1]
    std::vector<TileLayer> layers;
    bool empty() const { return layers.empty(); }
};

// The map's rings, numbered as ringsOf(map) gives them, and where each polygon's are.
struct MapRings {
    std::vector<kvgimport::RingArcs> rings;
    std::vector<bool> clockwise;  // per ring, on the map's grid as first imported
    // per layer, feature and polygon: its rings' numbers, the outer ring first
    std::vector<std::vector<std::vector<std::vector<size_t>>>> polygons;
};

// What a tile takes: per feature (by layer, then feature) the polygons and paths to cut.
struct TileSelection {
    struct Feature {
        size_t layer, feature;
        std::vector<size_t> polygons;
        std::vector<size_t> paths;
        std::vector<kvgimport::Pos> marks;  // on the map's grid, inside the box
    };
    std::vector<Feature> features;
};

// A level of detail: the arcs it keeps, and the rings it drops.
struct Detail {
    const std::vector<Chain> &arcs;
    const std::vector<bool> &dropped;  // per ring
};

TileContent cutTile(const kvgimport::Map &map, const MapRings &rings, const Detail &detail,
                    const TileSelection &selection, const TileFrame &frame);

}  // namespace kvgtile

#endif  // KVGTILE_CLIP_H
