// kvgtile: a Web Mercator tile pyramid (EPSG:3857, z/x/y with row 0 at the north) of KVG tiles
// from any source the importer reads.
//
// The source is imported once, projected to Web Mercator on a grid as fine as a tile unit of the
// deepest zoom, its arcs ranked once (kvgsimplify) and mended for the threshold of every zoom.
// Each tile is then a whole KVG file on its own grid: 4096 units across plus a buffer on every
// side, the arcs at its zoom's level of detail cut at the buffered box. Borders stay shared edges
// within a tile; the pieces of the box's boundary that close a cut face are edges of the face
// but never drawn, so neighbouring tiles meet without seams. Each feature is an object named as
// in the import, with its index in its layer as the extension "feature", so that a client can
// join the pieces of a feature cut across tiles.
//
// A tile is a pure function of the prepared pyramid and its address: the same input and options
// give the same bytes whichever order, thread or machine makes them.
#ifndef KVGTILE_H
#define KVGTILE_H

#include <array>
#include <cstdint>
#include <stdexcept>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kvgimport.h"

namespace kvgtile {

constexpr int TILE_EXTENT = 4096;       // units across a tile
constexpr int UNITS_PER_PIXEL = 16;     // of a tile drawn 256 pixels wide
constexpr int MAX_ZOOM = 12;            // 4096 << 12 units span the grid's largest side

struct TileOptions {
    std::vector<std::string> layers;  // source layers; empty: all
    int minZoom = 0, maxZoom = 5;
    int bufferPixels = 5;              // on every side, in pixels of a 256-pixel tile
    uint64_t maxTileBytes = 0;         // 0: no budget
    kvgsimplify::Method method = kvgsimplify::Method::visvalingam;
    bool strict = false;               // refuse invalid polygons (mended by default), as the importer
    std::string where;                 // attribute filter, as for the importer
};

struct TileAddress {
    int z;
    uint32_t x, y;
    friend bool operator==(const TileAddress &, const TileAddress &) = default;
    friend auto operator<=>(const TileAddress &, const TileAddress &) = default;
};

// A tile that was over the byte budget, and what was done.
struct OverBudget {
    TileAddress tile;
    uint64_t bytes = 0;         // at its own zoom's detail
    uint64_t finalBytes = 0;
    int detailOfZoom = 0;       // the zoom whose level of detail it was given
    double minPixels = 0;       // rings under this many square pixels dropped (0: none)
};

struct TileSummary {
    size_t features = 0;
    size_t tiles = 0;
    uint64_t bytes = 0;          // all tiles together (gzip)
    uint64_t largest = 0;
    std::vector<size_t> tilesPerZoom;
    size_t restoredPoints = 0;   // put back so that no segments cross at some zoom
    size_t protectedPoints = 0;  // kept so that small rings stay rings
    size_t droppedRings = 0;     // rings under a pixel's area, summed over the zooms
    std::vector<OverBudget> overBudget;
    bool overBudgetRemains = false;  // a tile still above the budget at its coarsest
};

struct EncodedTile {
    std::vector<uint8_t> bytes;
    std::optional<OverBudget> overBudget;  // what was done when it was over the budget
};

struct TileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The prepared pyramid: the imported, ranked map and the tiles that have content.
class Pyramid {
public:
    // Throws kvgimport::InputError for input that cannot be imported, TileError for options
    // out of range.
    Pyramid(const std::string &input, const TileOptions &options,
            const kvgimport::ImportProgress &progress = {});
    ~Pyramid();
    Pyramid(const Pyramid &) = delete;
    Pyramid &operator=(const Pyramid &) = delete;

    // The addresses of the tiles with content, zoom by zoom, in x then y order.
    const std::vector<TileAddress> &tiles() const;
    // Tile z/x/y as a gzip-compressed KVG file, within the byte budget where it can be. No
    // bytes when the tile has no content. Safe to call from several threads at once.
    EncodedTile encode(TileAddress tile) const;

    // The block of `across` × `across` tiles from z/x/y (its north-west tile) as one file at
    // zoom z's detail, without a buffer: the map those tiles show together, to compare them with.
    std::vector<uint8_t> encodeBlock(TileAddress northWest, uint32_t across) const;

    // What preparing found: features, points restored and protected, rings dropped.
    const TileSummary &preparation() const;
    std::vector<std::string> layerNames() const;
    // The data's bounds in Web Mercator metres: west, south, east, north.
    std::array<double, 4> bounds() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The tile's bounds in Web Mercator metres: west, south, east, north.
std::array<double, 4> tileBounds(TileAddress tile);

}  // namespace kvgtile

#endif  // KVGTILE_H
