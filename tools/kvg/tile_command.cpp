#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iomanip>

#include "arguments.h"
#include "command.h"
#include "kvgarchive.hpp"
#include "kvgtile.h"

namespace kvgtool {

namespace {

constexpr OptionRule TILE_OPTIONS[] = {
    {"-o", true},          {"--zoom", true},       {"--layer", true},
    {"--buffer", true},    {"--max-tile-bytes", true}, {"--simplify-method", true},
    {"--make-valid", false}, {"--strict", false}, {"--where", true}};

// "N" (zooms 0 to N) or "A-B".
bool parseZooms(const std::string &text, kvgtile::TileOptions &o) {
    const size_t dash = text.find('-');
    if (dash == std::string::npos) {
        o.minZoom = 0;
        return parseNumber(text, o.maxZoom);
    }
    return parseNumber(text.substr(0, dash), o.minZoom) && parseNumber(text.substr(dash + 1), o.maxZoom);
}

std::optional<kvgtile::TileOptions> tileOptions(const Options &parsed, std::ostream &err) {
    kvgtile::TileOptions o;
    const OptionValues value(parsed, "tile", err);
    if (const auto *v = value("--zoom");
        v && (!parseZooms(*v, o) || o.minZoom < 0 || o.maxZoom > kvgtile::MAX_ZOOM || o.minZoom > o.maxZoom))
        return value.bad("--zoom", "N or A-B with zooms from 0 to 12 expected");
    if (const auto *v = value("--layer")) o.layers = commaList(*v);
    if (const auto *v = value("--where")) o.where = *v;
    if (const auto *v = value("--buffer"); v && (!parseNumber(*v, o.bufferPixels) || o.bufferPixels < 0 || o.bufferPixels > 256))
        return value.bad("--buffer", "pixels from 0 to 256 expected");
    if (const auto *v = value("--max-tile-bytes"); v && (!parseNumber(*v, o.maxTileBytes) || o.maxTileBytes < 64))
        return value.bad("--max-tile-bytes", "a number of bytes, at least 64, expected");
    if (const auto *v = value("--simplify-method"); v && !parseMethod(*v, o.method))
        return value.bad("--simplify-method", "visvalingam or dp expected");
    o.strict = parsed.flags.contains("--strict");
    return o;
}

double latitude(double y) { return std::atan(std::sinh(y / 6378137.0)) * 180 / M_PI; }
double longitude(double x) { return x / 6378137.0 * 180 / M_PI; }

kvga::Metadata metadataOf(const std::string &input, const kvgtile::Pyramid &pyramid,
                          const kvgtile::TileOptions &options) {
    kvga::Metadata m;
    m.name = std::filesystem::path(input).stem().string();
    m.description = "KVG tiles made by kvg tile from " + std::filesystem::path(input).filename().string();
    for (const std::string &layer : pyramid.layerNames())
        m.layers.push_back({layer, {{"name", "String"}, {"feature", "Number"}}, options.minZoom, options.maxZoom, ""});
    const auto [west, south, east, north] = pyramid.bounds();
    m.bounds = std::array<double, 4>{longitude(west), latitude(south), longitude(east), latitude(north)};
    return m;
}

// The size below which a share of the tiles lie.
uint64_t percentile(std::vector<uint64_t> sizes, double share) {
    std::ranges::sort(sizes);
    const size_t rank = size_t(std::ceil(share * double(sizes.size())));
    return sizes[std::clamp<size_t>(rank, 1, sizes.size()) - 1];
}

void printSummary(const std::string &output, const kvgtile::TileSummary &s, const kvga::WriteSummary &written,
                  const std::vector<uint64_t> &sizes, double seconds, std::ostream &out) {
    out << "Wrote " << output << ": " << s.tiles << " tiles (" << written.tileContents << " distinct) of "
        << s.features << " features, zooms";
    for (size_t z = 0; z < s.tilesPerZoom.size(); ++z)
        if (s.tilesPerZoom[z] > 0) out << " " << z << ":" << s.tilesPerZoom[z];
    out << "; " << s.bytes << " bytes of tiles (median " << percentile(sizes, 0.5) << ", 99th percentile "
        << percentile(sizes, 0.99) << ", the largest " << s.largest << "), " << written.archiveBytes
        << " bytes in all in " << std::fixed << std::setprecision(2) << seconds << " s.\n"
        << "Simplified: " << s.protectedPoints << " points kept so that small rings stay rings, "
        << s.restoredPoints << " put back so that no borders cross, " << s.droppedRings
        << " rings under a pixel dropped over the zooms.\n";
    for (const kvgtile::OverBudget &o : s.overBudget) {
        out << "Over the budget: " << o.tile.z << "/" << o.tile.x << "/" << o.tile.y << " " << o.bytes << " bytes, "
            << o.finalBytes << " at the detail of zoom " << o.detailOfZoom;
        if (o.minPixels > 0) out << " without the rings under " << std::llround(o.minPixels) << " square pixels";
        out << "\n";
    }
}

int tileCommand(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options = parseOptions(TILE_COMMAND, args, TILE_OPTIONS, 1, err);
    if (!options) return EXIT_USAGE;
    const std::optional<kvgtile::TileOptions> tiling = tileOptions(*options, err);
    if (!tiling) return EXIT_USAGE;
    const std::string &input = options->positional[0];
    const auto named = options->values.find("-o");
    if (named == options->values.end()) {
        err << "kvg tile: an output archive (-o OUT.pmtiles) is needed\n";
        return EXIT_USAGE;
    }
    const std::string &output = named->second;
    const auto start = std::chrono::steady_clock::now();
    try {
        ProgressLine progress(err, "tile");
        const kvgtile::Pyramid pyramid(input, *tiling, progress.callback());
        kvgtile::TileSummary summary = pyramid.preparation();
        summary.tilesPerZoom.assign(size_t(tiling->maxZoom) + 1, 0);
        kvga::Writer writer(output);
        std::vector<uint64_t> sizes;
        const kvgimport::ImportProgress report = progress.callback();
        for (size_t i = 0; i < pyramid.tiles().size(); ++i) {
            const kvgtile::TileAddress tile = pyramid.tiles()[i];
            kvgtile::EncodedTile encoded = pyramid.encode(tile);
            if (report) report("tiles", i, pyramid.tiles().size());
            if (encoded.bytes.empty()) continue;
            writer.addTile(uint8_t(tile.z), tile.x, tile.y, encoded.bytes);
            ++summary.tiles;
            ++summary.tilesPerZoom[size_t(tile.z)];
            summary.bytes += encoded.bytes.size();
            sizes.push_back(encoded.bytes.size());
            summary.largest = std::max<uint64_t>(summary.largest, encoded.bytes.size());
            if (encoded.overBudget) {
                summary.overBudgetRemains |= encoded.overBudget->finalBytes > tiling->maxTileBytes;
                summary.overBudget.push_back(*encoded.overBudget);
            }
        }
        if (summary.tiles == 0) {
            err << "kvg tile: " << input << ": no tile has content\n";
            return EXIT_FAILED;
        }
        const kvga::WriteSummary written = writer.finish(metadataOf(input, pyramid, *tiling));
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        printSummary(output, summary, written, sizes, seconds.count(), out);
        if (summary.overBudgetRemains) err << "kvg tile: some tiles stay above " << tiling->maxTileBytes << " bytes\n";
    } catch (const kvgimport::InputError &e) {
        err << "kvg tile: " << input << ": " << e.what() << "\n";
        return EXIT_FAILED;
    } catch (const kvgtile::TileError &e) {
        err << "kvg tile: " << e.what() << "\n";
        return EXIT_FAILED;
    } catch (const kvga::Error &e) {
        err << "kvg tile: " << output << ": " << e.what() << "\n";
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

}  // namespace

const Command TILE_COMMAND = {
    "tile", "INPUT -o OUT.pmtiles [--zoom 0-N] [OPTIONS]",
    "cut a GIS source into a Web Mercator pyramid of KVG tiles in a PMTiles archive",
    "Imports INPUT as kvg import does, projected to Web Mercator (EPSG:3857), simplifies its arcs\n"
    "once (every zoom is a threshold of the same ranking, borders shared, no crossings) and cuts\n"
    "the tiles z/x/y of the zooms asked for. Each tile is a whole KVG file on a grid of 4096 units\n"
    "and a buffer; faces cut at the buffered box are closed along it, but only the real borders\n"
    "are drawn, so that tiles meet without seams. Each feature is an object with its name and\n"
    "its index in its layer (the extension \"feature\"), for joining its pieces across tiles.\n"
    "Identical tiles are stored once.\n"
    "\n"
    "  -o OUT.pmtiles        the archive (PMTiles version 3)\n"
    "  --zoom N | A-B        zooms 0 to N, or A to B (default 0-5; at most 12)\n"
    "  --layer A,B           the source layers (default: all)\n"
    "  --buffer PX           the buffer round each tile in pixels of a 256-pixel tile (default 5)\n"
    "  --max-tile-bytes B    tiles above B bytes get the detail of lower zooms, then lose their\n"
    "                        smallest rings; the summary names them\n"
    "  --simplify-method M   visvalingam (default) or dp\n"
    "  --strict              refuse invalid polygons instead of mending them (--make-valid,\n"
    "                        the default, is accepted)\n"
    "  --where EXPR          keep the features that match, in OGR's SQL\n"
    "\n"
    "Exit status: 0 written, 1 the input cannot be tiled or the archive not written, 2 wrong usage.\n",
    tileCommand};

}  // namespace kvgtool
