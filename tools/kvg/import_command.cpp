#include <unistd.h>

#include <charconv>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <iomanip>
#include <iostream>

#include "command.h"
#include "kvgimport.h"
#include "output.h"

namespace kvgtool {

namespace {

constexpr OptionRule IMPORT_OPTIONS[] = {
    {"-o", true},          {"--layer", true},   {"--project", true}, {"--flip-y", false},
    {"--grid", true},      {"--tolerance", true}, {"--fill-by", true}, {"--label", true},
    {"--where", true},     {"--select", true},  {"--size", true},    {"--plain", false},
    {"--make-valid", false}, {"--strict", false}, {"--margin", true}, {"--driver", true},
    {"--max-points", true}, {"--max-features", true}, {"--max-memory", true}};

// The largest value a limit option takes: counts beyond it are no limit a machine could meet.
constexpr uint64_t MAX_LIMIT = uint64_t(1) << 48;

// A progress line on `err`, shown only when it is the terminal's standard error and only once
// the work has taken a second; redrawn at most five times a second.
class ProgressLine {
public:
    explicit ProgressLine(std::ostream &err)
        : err_(err), enabled_(err.rdbuf() == std::cerr.rdbuf() && isatty(STDERR_FILENO) != 0) {}
    ~ProgressLine() {
        if (shown_) err_ << "\r\033[K" << std::flush;
    }
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    kvgimport::ImportProgress callback() {
        if (!enabled_) return {};
        return [this](const char *phase, size_t done, size_t total) { update(phase, done, total); };
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int BAR = 30;

    void update(const char *phase, size_t done, size_t total) {
        const Clock::time_point now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200))
            return;
        last_ = now;
        shown_ = true;
        const int filled = total == 0 ? BAR : static_cast<int>(BAR * done / total);
        err_ << "\rkvg import: [" << std::string(filled, '#') << std::string(BAR - filled, ' ')
             << "] " << phase << " " << done << "/" << total << "\033[K" << std::flush;
    }

    std::ostream &err_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_{};
};

std::vector<std::string> commaList(const std::string &text) {
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        if (comma > start) items.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

template <typename Number>
bool parseNumber(const std::string &text, Number &value) {
    const char *end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end;
}

// The options as the importer takes them; on a mistake writes it to `err`.
std::optional<kvgimport::ImportOptions> importOptions(const Options &parsed, std::ostream &err) {
    kvgimport::ImportOptions o;
    const auto value = [&](const char *name) -> const std::string * {
        const auto found = parsed.values.find(name);
        return found == parsed.values.end() ? nullptr : &found->second;
    };
    const auto bad = [&](const char *name, const char *expected) {
        err << "kvg import: " << name << " '" << *value(name) << "': " << expected << "\n";
        return std::nullopt;
    };
    if (const auto *v = value("--layer")) o.layers = commaList(*v);
    if (const auto *v = value("--select")) o.select = commaList(*v);
    if (const auto *v = value("--project")) o.project = *v;
    if (const auto *v = value("--fill-by")) o.fillBy = *v;
    if (const auto *v = value("--label")) o.label = *v;
    if (const auto *v = value("--where")) o.where = *v;
    if (const auto *v = value("--grid");
        v && (!parseNumber(*v, o.grid) || o.grid < 1 || o.grid > kvgimport::MAX_GRID))
        return bad("--grid", "a whole number from 1 to 16777216 expected");
    if (const auto *v = value("--tolerance");
        v && (!parseNumber(*v, o.tolerance) || !(o.tolerance > 0) || !std::isfinite(o.tolerance)))
        return bad("--tolerance", "a positive number of map units expected");
    if (const auto *v = value("--size");
        v && (!parseNumber(*v, o.pageMm) || !(o.pageMm >= 10 && o.pageMm <= 10000)))
        return bad("--size", "millimetres from 10 to 10000 expected");
    if (const auto *v = value("--margin");
        v && (!parseNumber(*v, o.marginMm) || !(o.marginMm >= 0 && o.marginMm <= 1000)))
        return bad("--margin", "millimetres from 0 to 1000 expected");
    if (const auto *v = value("--driver")) o.drivers = commaList(*v);
    const std::pair<const char *, uint64_t *> limits[] = {{"--max-points", &o.limits.points},
                                                          {"--max-features", &o.limits.features},
                                                          {"--max-memory", &o.limits.memory}};
    for (const auto &[name, limit] : limits)
        if (const auto *v = value(name); v && (!parseNumber(*v, *limit) || *limit < 1 || *limit > MAX_LIMIT))
            return bad(name, "a whole number from 1 to 2^48 expected");
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
        ProgressLine progress(err);
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
    "meridian, the horizon of a globe (orthographic, perspective, gnomonic, stereographic),\n"
    "nowhere for Lambert azimuthal and azimuthal equidistant; unprojected, at ±180° and closed\n"
    "round the poles. A TopoJSON topology keeps its arcs. One layer per source layer, one object\n"
    "per feature (its name or id field); the first polygon layer is filled, neighbours in\n"
    "different colours; the others draw their edges; points are marks. 'kvg import topojson IN'\n"
    "reads IN as TopoJSON whatever it is.\n"
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
    "\n"
    "Exit status: 0 written, 1 the input cannot be imported or the output not written (then no\n"
    "output is left behind), 2 wrong usage.\n",
    importCommand};

}  // namespace kvgtool
