#include <unistd.h>

#include <charconv>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <iomanip>
#include <iostream>

#include "command.h"
#include "kvgimport.h"
#include "arguments.h"
#include "output.h"

namespace kvgtool {

namespace {

constexpr OptionRule IMPORT_OPTIONS[] = {
    {"-o", true},          {"--layer", true},   {"--project", true}, {"--flip-y", false},
    {"--grid", true},      {"--tolerance", true}, {"--fill-by", true}, {"--label", true},
    {"--where", true},     {"--select", true},  {"--size", true},    {"--plain", false},
    {"--make-valid", false}, {"--strict", false}, {"--margin", true}, {"--simplify", true},
    {"--simplify-to", true}, {"--simplify-method", true}, {"--min-area", true},
    {"--driver", true}, {"--max-points", true}, {"--max-features", true},
    {"--max-memory", true}};

// The largest value a limit option takes: counts beyond it are no limit a machine could meet.
constexpr uint64_t MAX_LIMIT = uint64_t(1) << 48;

// The options as the importer takes them; on a mistake writes it to `err`.
std::optional<kvgimport::ImportOptions> importOptions(const Options &parsed, std::ostream &err) {
    kvgimport::ImportOptions o;
    const OptionValues value(parsed, "import", err);
    if (const auto *v = value("--layer")) o.layers = commaList(*v);
    if (const auto *v = value("--select")) o.select = commaList(*v);
    if (const auto *v = value("--project")) o.project = *v;
    if (const auto *v = value("--fill-by")) o.fillBy = *v;
    if (const auto *v = value("--label")) o.label = *v;
    if (const auto *v = value("--where")) o.where = *v;
    if (const auto *v = value("--grid");
        v && (!parseNumber(*v, o.grid) || o.grid < 1 || o.grid > kvgimport::MAX_GRID))
        return value.bad("--grid", "a whole number from 1 to 16777216 expected");
    if (const auto *v = value("--tolerance");
        v && (!parseNumber(*v, o.tolerance) || !(o.tolerance > 0) || !std::isfinite(o.tolerance)))
        return value.bad("--tolerance", "a positive number of map units expected");
    if (const auto *v = value("--size");
        v && (!parseNumber(*v, o.pageMm) || !(o.pageMm >= 10 && o.pageMm <= 10000)))
        return value.bad("--size", "millimetres from 10 to 10000 expected");
    if (value("--simplify") && value("--simplify-to")) {
        err << "kvg import: --simplify and --simplify-to exclude each other\n";
        return std::nullopt;
    }
    double percent = 0;
    if (const auto *v = value("--simplify");
        v && (!parseNumber(*v, percent) || !(percent >= 0 && percent <= 100)))
        return value.bad("--simplify", "a percentage of the removable points to keep, 0 to 100, expected");
    if (value("--simplify")) o.simplify.keep = percent / 100;
    if (const auto *v = value("--simplify-to");
        v && (!parseNumber(*v, o.simplify.tolerance) || !(o.simplify.tolerance > 0) ||
              !std::isfinite(o.simplify.tolerance)))
        return value.bad("--simplify-to", "a positive number of map units expected");
    if (const auto *v = value("--simplify-method"); v && !parseMethod(*v, o.simplify.method))
        return value.bad("--simplify-method", "visvalingam or dp expected");
    if (const auto *v = value("--min-area");
        v && (!parseNumber(*v, o.simplify.minArea) || !(o.simplify.minArea > 0) ||
              !std::isfinite(o.simplify.minArea)))
        return value.bad("--min-area", "a positive area in square map units expected");
    if (const auto *v = value("--margin");
        v && (!parseNumber(*v, o.marginMm) || !(o.marginMm >= 0 && o.marginMm <= 1000)))
        return value.bad("--margin", "millimetres from 0 to 1000 expected");
    if (const auto *v = value("--driver")) o.drivers = commaList(*v);
    const std::pair<const char *, uint64_t *> limits[] = {{"--max-points", &o.limits.points},
                                                          {"--max-features", &o.limits.features},
                                                          {"--max-memory", &o.limits.memory}};
    for (const auto &[name, limit] : limits)
        if (const auto *v = value(name); v && (!parseNumber(*v, *limit) || *limit < 1 || *limit > MAX_LIMIT))
            return value.bad(name, "a whole number from 1 to 2^48 expected");
    o.flipY = parsed.flags.contains("--flip-y");
    o.strict = parsed.flags.contains("--strict");
    o.compress = !parsed.flags.contains("--plain");
    return o;
}

void printSummary(const std::string &output, const kvgimport::ImportSummary &s, double seconds,
                  std::ostream &out) {
    out << "Wrote " << output << ": " << s.features << " features in " << s.layers << " layers, "
        << s.arcs << " arcs as edges (" << s.sharedArcs << " shared), " << s.faces
        << " rings as faces, " << s.arcPoints << " points, " << s.marks << " marks, " << s.bytes
        << " bytes in " << std::fixed << std::setprecision(2) << seconds << " s";
    const std::string changes = s.report.summary();
    if (!changes.empty()) out << "; features: " << changes;
    if (s.labels + s.labelsLeftOut > 0)
        out << "; " << s.labels << " labels (" << s.labelsLeftOut << " left out where a larger feature's label stood)";
    for (const std::string &note : s.notes) out << "; " << note;
    if (s.pointsBefore > 0) {
        out << ". Simplified " << s.pointsBefore << " points to " << s.arcPoints << ": " << s.droppedRings
            << " small rings dropped, " << s.protectedPoints << " points kept so that small rings stay rings, "
            << s.restoredPoints << " put back so that no borders cross";
        if (s.inputCrossings > 0) out << " (" << s.inputCrossings << " crossings were in the input)";
    }
    out << ".\n";
}

int importCommand(Args args, std::ostream &out, std::ostream &err) {
    // "kvg import topojson IN" names the format before the input, as it always has.
    const bool topojson = args.size() >= 2 && args[0] == "topojson";
    const std::optional<Options> options =
        parseOptions(IMPORT_COMMAND, topojson ? args.subspan(1) : args, IMPORT_OPTIONS, 1, err);
    if (!options) return EXIT_USAGE;
    std::optional<kvgimport::ImportOptions> importOptionsParsed = importOptions(*options, err);
    if (!importOptionsParsed) return EXIT_USAGE;
    importOptionsParsed->topojson = topojson;
    const std::string &input = options->positional[0];
    const auto named = options->values.find("-o");
    const std::string output =
        named != options->values.end() ? named->second : defaultTarget(input, ".kvg");
    const auto start = std::chrono::steady_clock::now();
    kvgimport::ImportSummary summary;
    try {
        ProgressLine progress(err, "import");
        const auto importTo = [&](const std::string &path) {
            summary = kvgimport::importMap(input, path, *importOptionsParsed, progress.callback());
        };
        std::string reason;
        if (output != "-") {
            importTo(output);
        } else if (!writeThroughTemporaryFile(importTo, out, reason)) {
            err << "kvg import: cannot make a temporary file: " << reason << "\n";
            return EXIT_FAILED;
        }
    } catch (const kvgimport::InputError &e) {
        err << "kvg import: " << (input == "-" ? "standard input" : input) << ": " << e.what() << "\n";
        return EXIT_FAILED;
    } catch (const kvgimport::OutputError &e) {
        err << "kvg import: " << e.what() << "\n";
        return EXIT_FAILED;
    } catch (const std::bad_alloc &) {
        err << "kvg import: " << input << ": too large for the memory available\n";
        return EXIT_FAILED;
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    // With the map on standard output, the summary goes with the messages.
    printSummary(output == "-" ? "standard output" : output, summary, seconds.count(),
                 output == "-" ? err : out);
    return EXIT_OK;
}

}  // namespace

const Command IMPORT_COMMAND = {
    "import", "[OPTIONS] INPUT [-o OUT.kvg]",
    "convert a GIS vector source (GeoJSON, TopoJSON, Shapefile, ...) to a KVG map",
    "Reads a vector source through GDAL/OGR (GeoJSON, TopoJSON, Shapefile, GeoPackage,\n"
    "FlatGeobuf, KML, GPX, CSV with WKT; other GDAL drivers only with --driver) and writes\n"
    "OUT.kvg (default: INPUT with the extension .kvg; '-' reads standard input and writes\n"
    "standard output) as a planar map: the positions on a grid, every distinct arc between\n"
    "junctions one edge shared by the rings that use it, every ring one face. Longitude and\n"
    "latitude are cut where the projection tears the sphere: the antimeridian of its central\n"
    "meridian (of its oblique frame for ob_tran), the horizon of a globe (orthographic,\n"
    "perspective, gnomonic, stereographic), round the antipode for Lambert azimuthal and\n"
    "azimuthal equidistant; unprojected, at ±180° and closed round the poles. A TopoJSON\n"
    "topology keeps its arcs. One layer per source layer, one object per feature (its name or\n"
    "id field); the first polygon layer is filled, neighbours in different colours; the others\n"
    "draw their edges; points are marks. 'kvg import topojson IN' reads IN as TopoJSON\n"
    "whatever it is.\n"
    "\n"
    "  -o OUT.kvg         the output file\n"
    "  --layer A,B        the source layers to import (default: all but GPX's track_points and\n"
    "                     route_points, which repeat the vertices of its tracks and routes)\n"
    "  --project CRS      project into CRS: EPSG:3857, ESRI:54030, '+proj=aea ...'\n"
    "  --flip-y           the source's y axis points down (screen coordinates)\n"
    "  --strict           refuse the input (exit 1, nothing written) rather than clip, mend or\n"
    "                     leave out any feature; without it invalid polygons are mended (GEOS\n"
    "                     make-valid), and the summary line counts what was clipped, mended or\n"
    "                     left out, and why (--make-valid, the default, is still taken)\n"
    "  --grid N           grid steps on the longer side (default 100000, or a TopoJSON's own)\n"
    "  --tolerance T      grid step in map units, instead of --grid\n"
    "  --fill-by FIELD    fill colours from FIELD: categories, or classes of numbers with a legend;\n"
    "                     beyond 12 categories the least common share one, \"other\"\n"
    "  --label FIELD      write FIELD in each polygon (at the centre of its largest part's widest\n"
    "                     room, sized to it from 1.6 to 4 mm) and beside each point; no two labels\n"
    "                     overlap (the larger feature's wins) and none leaves the page\n"
    "  --where EXPR       keep the features that match, in OGR's SQL: \"pop_est > 1e7\"\n"
    "  --select A,B       keep the features of these names or ids\n"
    "  --size MM          the page's longer side in millimetres (default 200)\n"
    "  --margin MM        blank page round the map, within --size, so that outlines, marks and\n"
    "                     labels at the edge show whole (default 4)\n"
    "  --plain            write the file without compression\n"
    "  --driver A,B       also open sources of these GDAL drivers (VRT, ...); network access\n"
    "                     stays off, but such sources may read other local files\n"
    "  --max-points N     refuse a source of more than N points, every use of a shared arc\n"
    "                     counted (default 268435456)\n"
    "  --max-features N   refuse a source of more than N features (default 16777216)\n"
    "  --max-memory N     refuse a source that needs more than N bytes to hold (default 1 GiB)\n"
    "  --simplify P       keep P percent of the points that may go (ends of arcs always stay)\n"
    "  --simplify-to T    simplify to the tolerance T in map units, instead of --simplify\n"
    "  --simplify-method  visvalingam (weighted effective area, the default) or dp\n"
    "                     (Douglas-Peucker); for visvalingam T is the side of a square of the\n"
    "                     vertex's area\n"
    "  --min-area A       drop rings of less than A square map units that share no border\n"
    "Borders are simplified once for both neighbours, junctions kept, small rings kept as rings,\n"
    "and points put back wherever segments would cross.\n"
    "\n"
    "Exit status: 0 written, 1 the input cannot be imported or the output not written (then no\n"
    "output is left behind), 2 wrong usage.\n",
    importCommand};

}  // namespace kvgtool
