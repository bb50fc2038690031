// kvg tile: every tile a valid KVG file whose faces close along the buffered box with edges that
// are never drawn, features named and numbered across tiles, tiles drawn side by side the same
// picture as the whole map at their scale (no seams, no lines along tile edges), the byte budget,
// the same bytes whatever order the tiles are made in, and bad options refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "face_geometry.h"
#include "kvgarchive.hpp"
#include "kvgtile.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

namespace fmt = kvgfmt;
using kvgr::impl::Record;

const std::string WORLD = std::string(KVG_TEST_DATA_DIR) + "/countries-110m.json";

struct Tile {
    kvga::TileCoord at;
    Decoded file;
};

// Every tile of the archive, checked valid by the reader.
std::vector<Tile> tilesOf(const std::string &archivePath) {
    kvga::Archive archive;
    archive.openFile(archivePath);
    std::vector<Tile> tiles;
    archive.forEachTile([&](const kvga::TileEntry &entry) {
        const std::vector<uint8_t> bytes = archive.content(entry);
        for (uint32_t k = 0; k < entry.runLength; ++k) {
            const TempPath path;
            writeFile(path.str(), bytes);
            expectValidKvg(path.str());
            tiles.push_back({kvga::tileCoord(entry.tileId + k), decodeFile(path.str())});
        }
        return true;
    });
    return tiles;
}

std::set<int32_t> drawnEdges(const Decoded &file) {
    std::set<int32_t> drawn;
    for (const Record &r : file.records) {
        if (r.code == fmt::DRAW_EDGE) drawn.insert(std::get<kvgr::impl::EdgeUse>(r.payload).edge);
        if (r.code == fmt::DRAW_EDGE_RANGE) {
            const auto range = std::get<kvgr::impl::EdgeRangeUse>(r.payload);
            for (int32_t e = range.first; e <= range.last; ++e) drawn.insert(e);
        }
    }
    return drawn;
}

// Whether every segment of the edge runs along one side of the box [lo, hi]².
bool alongBox(const EdgePoints &points, double lo, double hi) {
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        const auto a = points[i], b = points[i + 1];
        const bool side = (a.x == b.x && (a.x == lo || a.x == hi)) || (a.y == b.y && (a.y == lo || a.y == hi));
        if (!side) return false;
    }
    return true;
}

TEST(TileArchive, TilesAreValidFilesWhoseCutsCloseFacesButAreNeverDrawn) {
    ScratchDirectory here;
    const ToolRun run = kvg({"tile", WORLD, "--layer", "countries", "--make-valid", "-o", "world.pmtiles", "--zoom", "0-2"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "Wrote world.pmtiles: ")) << run.out;
    const std::vector<Tile> tiles = tilesOf("world.pmtiles");
    ASSERT_GT(tiles.size(), 10u);
    size_t cutEdges = 0;
    std::map<std::string, std::set<std::string>> numbersByName;  // a feature's index, tile by tile
    std::map<std::string, int> tilesByName;
    for (const Tile &tile : tiles) {
        SCOPED_TRACE(std::to_string(tile.at.z) + "/" + std::to_string(tile.at.x) + "/" + std::to_string(tile.at.y));
        const Decoded &file = tile.file;
        // 4096 units and a buffer of 5 pixels (80 units) on each side.
        EXPECT_EQ(file.header.resolution.x, 4096 + 160);
        const double lo = file.header.windowMin.x, hi = file.header.windowMax.x;
        const std::set<int32_t> drawn = drawnEdges(file);
        for (int32_t e = 1; e <= int32_t(file.definitions.edges.size()); ++e) {
            const bool cut = alongBox(edgePoints(file, e), lo, hi);
            cutEdges += cut;
            EXPECT_FALSE(cut && drawn.contains(e)) << "edge " << e << " runs along the box and is drawn";
        }
        // The faces close, and no two features' faces overlap.
        std::vector<GeosGeometry> polygons;
        double sum = 0;
        for (const FilledFace &f : filledFaces(file)) {
            polygons.push_back(facePolygon(file, f.face));
            EXPECT_TRUE(valid(polygons.back().get())) << f.object << ": " << invalidity(polygons.back().get());
            sum += area(polygons.back().get());
        }
        EXPECT_NEAR(unionArea(polygons), sum, sum * 1e-6);
        // Every object says which feature it is.
        std::string object;
        for (const Record &r : file.records) {
            if (r.code == fmt::OBJECT) object = std::get<kvgr::impl::Object>(r.payload).name;
            if (r.code == fmt::EXTENSION) {
                const auto &x = std::get<kvgr::impl::Extension>(r.payload);
                EXPECT_EQ(x.parameter, "feature");
                numbersByName[object].insert(x.value);
                ++tilesByName[object];
            }
        }
    }
    EXPECT_GT(cutEdges, tiles.size());
    // Russia is cut across tiles; its pieces carry one number wherever they are.
    EXPECT_GE(tilesByName["Russia"], 4);
    for (const auto &[name, numbers] : numbersByName) EXPECT_EQ(numbers.size(), 1u) << name;
}

// A PNG of the KVG bytes at 96 dpi: one pixel for 16 units.
Image pictureOf(const std::vector<uint8_t> &kvgBytes) {
    const TempPath file, png(".png");
    writeFile(file.str(), kvgBytes);
    const ToolRun run = kvg({"render", file.str(), "-o", png.str()});
    if (run.status != 0) throw std::runtime_error(run.err);
    return decodePng(readText(png.str()));
}

TEST(TileSeams, TilesSideBySideDrawTheWholeMapAtTheirScale) {
    constexpr int Z = 2, ACROSS = 1 << Z, PIXELS = 256;
    for (const int buffer : {0, 5}) {
        SCOPED_TRACE("buffer " + std::to_string(buffer));
        kvgtile::TileOptions options;
        options.layers = {"countries"};
        options.maxZoom = Z;
        options.bufferPixels = buffer;
        const kvgtile::Pyramid pyramid(WORLD, options);
        const Image whole = pictureOf(pyramid.encodeBlock({Z, 0, 0}, ACROSS));
        ASSERT_EQ(whole.width, uint32_t(ACROSS * PIXELS));
        // The mosaic: every tile's picture without its buffer, where it lies; white where no
        // tile is.
        Image mosaic = whole;
        std::fill(mosaic.rgba.begin(), mosaic.rgba.end(), 255);
        for (const kvgtile::TileAddress &t : pyramid.tiles()) {
            if (t.z != Z) continue;
            const kvgtile::EncodedTile tile = pyramid.encode(t);
            if (tile.bytes.empty()) continue;
            const Image picture = pictureOf(tile.bytes);
            ASSERT_EQ(picture.width, uint32_t(PIXELS + 2 * buffer));
            for (uint32_t y = 0; y < PIXELS; ++y)
                for (uint32_t x = 0; x < PIXELS; ++x)
                    std::copy_n(&picture.rgba[(size_t(y + buffer) * picture.width + x + buffer) * 4], 4,
                                &mosaic.rgba[(size_t(t.y * PIXELS + y) * mosaic.width + t.x * PIXELS + x) * 4]);
        }
        // Both draw the same edges and faces on the same integer grid (a tile's units are the
        // block's shifted by whole tiles), so they differ only where a rounding tie or the
        // painter's anti-aliasing of a line cut at a tile edge falls differently: a few pixels
        // where borders cross tile edges. A line drawn along a tile edge, or a gap between
        // tiles, would change most of the 2-pixel band along the edges inside the land
        // (thousands of pixels here).
        size_t band = 0, bandDiffer = 0, elsewhere = 0, elsewhereDiffer = 0;
        for (uint32_t y = 0; y < whole.height; ++y)
            for (uint32_t x = 0; x < whole.width; ++x) {
                const bool nearEdge = x % PIXELS < 2 || x % PIXELS >= PIXELS - 2 || y % PIXELS < 2 || y % PIXELS >= PIXELS - 2;
                const Rgba a = whole.at(x, y), b = mosaic.at(x, y);
                const bool differ = std::abs(a.r - b.r) > 24 || std::abs(a.g - b.g) > 24 || std::abs(a.b - b.b) > 24;
                (nearEdge ? band : elsewhere) += 1;
                (nearEdge ? bandDiffer : elsewhereDiffer) += differ;
            }
        EXPECT_LT(double(bandDiffer), 0.002 * double(band)) << bandDiffer << " of " << band;
        EXPECT_LT(double(elsewhereDiffer), 0.0005 * double(elsewhere)) << elsewhereDiffer << " of " << elsewhere;
    }
}

TEST(TileBudget, OversizedTilesAreSimplifiedFurtherAndNamedAndBytesDoNotDependOnOrder) {
    ScratchDirectory here;
    const ToolRun run = kvg({"tile", WORLD, "--layer", "countries", "--make-valid", "-o", "small.pmtiles", "--zoom", "2",
                             "--max-tile-bytes", "3000"});
    ASSERT_EQ(run.status, 0) << run.err;
    // Tiles above the budget get coarser detail and lose their smallest rings; those that stay
    // above are named with their final size. The world at zoom 0 in 3000 bytes cannot be had
    // without dropping whole continents of shared borders, so some stay above it.
    EXPECT_TRUE(contains(run.err, "some tiles stay above 3000 bytes")) << run.err;
    EXPECT_TRUE(contains(run.out, "Over the budget: 1/1/1 ")) << run.out;
    kvga::Archive archive;
    archive.openFile("small.pmtiles");
    size_t reduced = 0;
    archive.forEachTile([&](const kvga::TileEntry &entry) {
        const kvga::TileCoord t = kvga::tileCoord(entry.tileId);
        const std::string name = std::to_string(t.z) + "/" + std::to_string(t.x) + "/" + std::to_string(t.y);
        const size_t line = run.out.find("Over the budget: " + name + " ");
        if (entry.length > 3000) {
            EXPECT_NE(line, std::string::npos) << name << " is " << entry.length << " bytes and not named";
            EXPECT_TRUE(contains(run.out, ", " + std::to_string(entry.length) + " at the detail of zoom ")) << name;
        } else {
            reduced += line != std::string::npos;
        }
        return true;
    });
    EXPECT_GE(reduced, 1u);
    for (const Tile &tile : tilesOf("small.pmtiles")) EXPECT_FALSE(tile.file.error);
    // Tiles made in any order are the same bytes: each is a function of its address alone.
    kvgtile::TileOptions options;
    options.layers = {"countries"};
    options.maxZoom = 2;
    const kvgtile::Pyramid pyramid(WORLD, options);
    std::map<kvgtile::TileAddress, std::vector<uint8_t>> forwards;
    for (const kvgtile::TileAddress &t : pyramid.tiles()) forwards[t] = pyramid.encode(t).bytes;
    const kvgtile::Pyramid again(WORLD, options);
    for (auto t = again.tiles().rbegin(); t != again.tiles().rend(); ++t) EXPECT_EQ(again.encode(*t).bytes, forwards[*t]);
}

TEST(TileOptions, BadOptionsAreRefusedWithUsage) {
    ScratchDirectory here;
    for (const std::vector<std::string> &bad :
         {std::vector<std::string>{"--zoom", "13"}, {"--zoom", "3-1"}, {"--zoom", "x"}, {"--buffer", "-1"},
          {"--max-tile-bytes", "10"}, {"--simplify-method", "best"}}) {
        std::vector<std::string> args = {"tile", WORLD, "-o", "bad.pmtiles"};
        args.insert(args.end(), bad.begin(), bad.end());
        const ToolRun run = kvg(args);
        EXPECT_EQ(run.status, 2) << bad[0];
        EXPECT_TRUE(contains(run.err, bad[0])) << run.err;
    }
    EXPECT_EQ(kvg({"tile", WORLD}).status, 2);
    const ToolRun missing = kvg({"tile", "missing.json", "-o", "out.pmtiles"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(std::filesystem::exists("out.pmtiles"));
}

// Invalid polygons (the 1:110m world has a self-intersection) are mended as the importer mends
// them; --strict refuses them and writes nothing.
TEST(TileOptions, InvalidPolygonsAreMendedUnlessStrict) {
    ScratchDirectory here;
    const ToolRun mended = kvg({"tile", WORLD, "--layer", "countries", "-o", "mended.pmtiles", "--zoom", "0"});
    EXPECT_EQ(mended.status, 0) << mended.err;
    EXPECT_FALSE(tilesOf("mended.pmtiles").empty());
    const ToolRun strict = kvg({"tile", WORLD, "--layer", "countries", "--strict", "-o", "strict.pmtiles", "--zoom", "0"});
    EXPECT_EQ(strict.status, 1);
    EXPECT_TRUE(contains(strict.err, "unless --strict")) << strict.err;
    EXPECT_FALSE(std::filesystem::exists("strict.pmtiles"));
}

}  // namespace
}  // namespace kvgtest
