// The prepared pyramid: the source imported once in Web Mercator on a grid of one tile unit of
// the deepest zoom, its arcs ranked once, the threshold of every zoom mended from the coarsest
// down, and the tiles each feature reaches found from its bounds.
#include <algorithm>
#include <cmath>
#include <map>

#include "build_map.h"
#include "clip.h"
#include "kvgtile.h"
#include "simplify_map.h"
#include "tile_file.h"

namespace kvgtile {

namespace {

constexpr double ORIGIN = 20037508.342789244;  // half the Web Mercator world's width, in metres
constexpr double PIXEL_AREA = double(UNITS_PER_PIXEL) * UNITS_PER_PIXEL;  // square tile units
// Budget: coarser levels of detail first, then rings dropped under these areas (square pixels).
constexpr double THINNING_PIXELS[] = {4, 16, 64, 256, 1024, 4096};

double tileSize(int z) { return 2 * ORIGIN / double(int64_t(1) << z); }

struct Bounds {
    double xmin = INFINITY, ymin = INFINITY, xmax = -INFINITY, ymax = -INFINITY;
    void add(GridPos p) {
        xmin = std::min(xmin, double(p.x));
        ymin = std::min(ymin, double(p.y));
        xmax = std::max(xmax, double(p.x));
        ymax = std::max(ymax, double(p.y));
    }
};

Bounds boundsOf(const std::vector<Chain> &arcs, const kvgimport::RingArcs &chain) {
    Bounds b;
    for (const kvgimport::ArcRef ref : chain)
        for (const GridPos p : arcs[size_t(std::abs(ref)) - 1]) b.add(p);
    return b;
}

MapRings mapRings(const kvgimport::Map &map) {
    MapRings result;
    result.rings = kvgimport::ringsOf(map);
    for (const kvgimport::RingArcs &ring : result.rings)
        result.clockwise.push_back(kvgsimplify::doubleArea(map.topology.arcs, ring) < 0);
    size_t next = 0;
    for (const kvgimport::MapLayer &layer : map.layers) {
        auto &layerRings = result.polygons.emplace_back();
        for (const kvgimport::MapFeature &f : layer.features) {
            auto &featureRings = layerRings.emplace_back();
            for (const auto &polygon : f.polygons) {
                auto &numbers = featureRings.emplace_back();
                for (size_t r = 0; r < polygon.size(); ++r) numbers.push_back(next++);
            }
        }
    }
    return result;
}

}  // namespace

std::array<double, 4> tileBounds(TileAddress tile) {
    const double size = tileSize(tile.z);
    const double west = -ORIGIN + tile.x * size, north = ORIGIN - tile.y * size;
    return {west, north - size, west + size, north};
}

struct Pyramid::State {
    TileOptions options;
    kvgimport::Map map;
    MapRings rings;
    std::vector<bool> pathArcs;
    std::vector<double> ringAreas;              // twice each ring's area, in square grid steps
    std::vector<std::vector<Chain>> arcsAt;     // per zoom from 0: the arcs at its detail
    std::vector<std::vector<bool>> droppedAt;   // per zoom: the rings under a pixel
    std::map<TileAddress, TileSelection> selections;
    std::vector<TileAddress> tiles;
    TileSummary preparation;

    double unitSteps(int z) const { return tileSize(z) / TILE_EXTENT / map.step; }  // grid steps per tile unit
    int32_t bufferUnits() const { return options.bufferPixels * UNITS_PER_PIXEL; }

    TileFrame frame(TileAddress tile) const {
        const auto [west, south, east, north] = tileBounds(tile);
        const double steps = unitSteps(tile.z);
        return {-bufferUnits(), TILE_EXTENT + bufferUnits(), (west - map.x0) / map.step, (south - map.y0) / map.step,
                1 / steps};
    }

    // The rings that go under `pixels` square pixels at zoom z.
    std::vector<bool> droppedUnder(double pixels, int z) const {
        const double limit = 2 * pixels * PIXEL_AREA * unitSteps(z) * unitSteps(z);
        std::vector<bool> small;
        for (const double area : ringAreas) small.push_back(std::fabs(area) < limit);
        return kvgsimplify::droppableRings(rings.rings, std::move(small), pathArcs);
    }

    // The tiles of zoom z that the bounds (in grid steps) reach with their buffers.
    template <typename Visit>
    void tilesReached(const Bounds &b, int z, Visit visit) const {
        const double size = tileSize(z), buffer = bufferUnits() * unitSteps(z) * map.step;
        const int64_t last = (int64_t(1) << z) - 1;
        const auto column = [&](double gx) {
            return std::clamp<int64_t>(int64_t(std::floor((map.x0 + gx * map.step + ORIGIN) / size)), 0, last);
        };
        const auto row = [&](double gy) {
            return std::clamp<int64_t>(int64_t(std::floor((ORIGIN - (map.y0 + gy * map.step)) / size)), 0, last);
        };
        const double pad = buffer / map.step;
        for (int64_t x = column(b.xmin - pad); x <= column(b.xmax + pad); ++x)
            for (int64_t y = row(b.ymax + pad); y <= row(b.ymin - pad); ++y) visit(TileAddress{z, uint32_t(x), uint32_t(y)});
    }

    TileSelection::Feature &entry(TileAddress tile, size_t layer, size_t feature) {
        auto &features = selections[tile].features;
        if (features.empty() || features.back().layer != layer || features.back().feature != feature)
            features.push_back({layer, feature, {}, {}, {}});
        return features.back();
    }

    void select() {
        const auto &arcs = map.topology.arcs;
        for (int z = options.minZoom; z <= options.maxZoom; ++z)
            for (size_t l = 0; l < map.layers.size(); ++l)
                for (size_t f = 0; f < map.layers[l].features.size(); ++f) {
                    const kvgimport::MapFeature &feature = map.layers[l].features[f];
                    for (size_t p = 0; p < feature.polygons.size(); ++p)
                        tilesReached(boundsOf(arcs, feature.polygons[p][0]), z,
                                     [&](TileAddress t) { entry(t, l, f).polygons.push_back(p); });
                    for (size_t p = 0; p < feature.paths.size(); ++p)
                        tilesReached(boundsOf(arcs, feature.paths[p]), z,
                                     [&](TileAddress t) { entry(t, l, f).paths.push_back(p); });
                    for (const kvgimport::Pos &m : feature.marks) {
                        Bounds b;
                        b.add({int32_t(std::lround(m.x)), int32_t(std::lround(m.y))});
                        tilesReached(b, z, [&](TileAddress t) { entry(t, l, f).marks.push_back(m); });
                    }
                }
        for (const auto &[tile, selection] : selections) tiles.push_back(tile);
    }

    void rank() {
        const auto &arcs = map.topology.arcs;
        kvgsimplify::Importance importance = kvgsimplify::rankVertices(arcs, options.method);
        preparation.protectedPoints = kvgsimplify::protectRings(arcs, rings.rings, importance);
        for (const kvgimport::RingArcs &ring : rings.rings) ringAreas.push_back(kvgsimplify::doubleArea(arcs, ring));
        for (int z = 0; z <= options.maxZoom; ++z) {  // the coarsest first, so that each stays mended
            const double threshold = unitSteps(z);
            preparation.restoredPoints += kvgsimplify::repairCrossings(arcs, importance, threshold).restored;
            droppedAt.push_back(droppedUnder(1, z));
            if (z >= options.minZoom)
                preparation.droppedRings += size_t(std::ranges::count(droppedAt.back(), true));
        }
        for (int z = 0; z <= options.maxZoom; ++z) arcsAt.push_back(kvgsimplify::simplified(arcs, importance, unitSteps(z)));
    }

    std::vector<uint8_t> encodeWith(TileAddress tile, const TileSelection &selection, int detail,
                                    const std::vector<bool> &dropped) const {
        const TileFrame f = frame(tile);
        const TileContent content = cutTile(map, rings, Detail{arcsAt[size_t(detail)], dropped}, selection, f);
        if (content.empty()) return {};
        return writeTile(map, content, f);
    }
};

Pyramid::Pyramid(const std::string &input, const TileOptions &options, const kvgimport::ImportProgress &progress)
    : state_(std::make_unique<State>()) {
    if (options.minZoom < 0 || options.maxZoom > MAX_ZOOM || options.minZoom > options.maxZoom)
        throw TileError("zooms from 0 to " + std::to_string(MAX_ZOOM) + ", the first not above the last");
    if (options.bufferPixels < 0 || options.bufferPixels > 256)
        throw TileError("a buffer of 0 to 256 pixels");
    State &s = *state_;
    s.options = options;
    kvgimport::ImportOptions import;
    import.layers = options.layers;
    import.project = "EPSG:3857";
    import.strict = options.strict;
    import.where = options.where;
    import.tolerance = tileSize(options.maxZoom) / TILE_EXTENT;  // one tile unit at the deepest zoom
    import.gridAnchor = {-ORIGIN, -ORIGIN};                       // on the tiles' own grid
    kvgimport::ImportSummary imported;
    s.map = kvgimport::buildMap(input, import, progress, imported);
    s.preparation.features = imported.features;
    s.rings = mapRings(s.map);
    s.pathArcs = kvgimport::pathArcs(s.map);
    s.rank();
    s.select();
}

Pyramid::~Pyramid() = default;

const std::vector<TileAddress> &Pyramid::tiles() const { return state_->tiles; }

const TileSummary &Pyramid::preparation() const { return state_->preparation; }

std::vector<uint8_t> Pyramid::encodeBlock(TileAddress northWest, uint32_t across) const {
    const State &s = *state_;
    if (northWest.z > s.options.maxZoom) throw TileError("a block deeper than the pyramid");
    TileSelection everything;
    for (size_t l = 0; l < s.map.layers.size(); ++l)
        for (size_t f = 0; f < s.map.layers[l].features.size(); ++f) {
            const kvgimport::MapFeature &feature = s.map.layers[l].features[f];
            TileSelection::Feature &entry = everything.features.emplace_back();
            entry = {l, f, {}, {}, feature.marks};
            for (size_t p = 0; p < feature.polygons.size(); ++p) entry.polygons.push_back(p);
            for (size_t p = 0; p < feature.paths.size(); ++p) entry.paths.push_back(p);
        }
    TileFrame frame = s.frame({northWest.z, northWest.x, northWest.y + across - 1});
    frame.lo = 0;
    frame.hi = int32_t(across) * TILE_EXTENT;
    const TileContent content =
        cutTile(s.map, s.rings, Detail{s.arcsAt[size_t(northWest.z)], s.droppedAt[size_t(northWest.z)]}, everything, frame);
    return content.empty() ? std::vector<uint8_t>{} : writeTile(s.map, content, frame);
}

std::vector<std::string> Pyramid::layerNames() const {
    std::vector<std::string> names;
    for (const kvgimport::MapLayer &layer : state_->map.layers) names.push_back(layer.name);
    return names;
}

std::array<double, 4> Pyramid::bounds() const {
    const kvgimport::Map &m = state_->map;
    return {m.x0, m.y0, m.x0 + m.width * m.step, m.y0 + m.height * m.step};
}

EncodedTile Pyramid::encode(TileAddress tile) const {
    const State &s = *state_;
    EncodedTile result;
    const auto found = s.selections.find(tile);
    if (found == s.selections.end()) return result;
    const std::vector<bool> &dropped = s.droppedAt[size_t(tile.z)];
    result.bytes = s.encodeWith(tile, found->second, tile.z, dropped);
    const uint64_t budget = s.options.maxTileBytes;
    if (budget == 0 || result.bytes.size() <= budget) return result;
    OverBudget over{tile, result.bytes.size(), 0, tile.z, 0};
    for (int detail = tile.z - 1; detail >= 0 && result.bytes.size() > budget; --detail) {
        result.bytes = s.encodeWith(tile, found->second, detail, dropped);
        over.detailOfZoom = detail;
    }
    for (const double pixels : THINNING_PIXELS) {
        if (result.bytes.size() <= budget) break;
        result.bytes = s.encodeWith(tile, found->second, over.detailOfZoom, s.droppedUnder(pixels, tile.z));
        over.minPixels = pixels;
    }
    over.finalBytes = result.bytes.size();
    result.overBudget = over;
    return result;
}

}  // namespace kvgtile
