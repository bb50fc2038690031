#include <cpl_vsi.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <set>
#include <sstream>
#include <unordered_map>

#include "antimeridian.h"
#include "feature_filter.h"
#include "geos.h"
#include "kvgimport.h"
#include "labels.h"
#include "map_writer.h"
#include "ogr_source.h"
#include "projection.h"
#include "source_budget.h"
#include "sphere_cut.h"
#include "topojson_source.h"

namespace kvgimport {

namespace {

// A label's room is found to within this fraction of its polygon's side.
constexpr double LABEL_ROOM_PRECISION = 100;

constexpr uint64_t MAX_TOPOJSON_BYTES = uint64_t(1) << 31;  // what one JSON parse may hold

// ---- Reading

std::string readText(const std::string &path, SourceBudget &budget) {
    struct stat info{};
    if (stat(path.c_str(), &info) != 0) throw InputError(std::strerror(errno));
    if (!S_ISREG(info.st_mode)) throw InputError("not a regular file");
    if (uint64_t(info.st_size) > MAX_TOPOJSON_BYTES) throw InputError("larger than 2 GiB");
    budget.bytes(uint64_t(info.st_size));
    std::ifstream in(path, std::ios::binary);
    std::string text(size_t(info.st_size), '\0');
    if (!in.read(text.data(), std::streamsize(text.size())))
        throw InputError(std::string("cannot be read: ") + std::strerror(errno));
    return text;
}

bool withinLongitudeLatitude(const Source &source) {
    const auto inside = [](Pos p) { return std::fabs(p.x) <= 180 && std::fabs(p.y) <= 90; };
    for (const Layer &layer : source.layers)
        for (const Feature &f : layer.features) {
            for (const Polygon &polygon : f.polygons)
                for (const Ring &ring : polygon.rings)
                    if (!std::ranges::all_of(ring, inside)) return false;
            for (const Path &path : f.paths)
                if (!std::ranges::all_of(path, inside)) return false;
            if (!std::ranges::all_of(f.points, inside)) return false;
        }
    return true;
}

// Standard input through GDAL, kept whole so that drivers may read it more than once.
constexpr const char *STANDARD_INPUT = "/vsistdin/?buffer_limit=-1";

std::string readStandardInput(SourceBudget &budget) {
    VSILFILE *in = VSIFOpenL(STANDARD_INPUT, "rb");
    if (in == nullptr) throw InputError("standard input cannot be read");
    std::string text;
    char chunk[65536];
    size_t got = 0;
    while ((got = VSIFReadL(chunk, 1, sizeof chunk, in)) > 0 && text.size() <= MAX_TOPOJSON_BYTES) {
        budget.bytes(got);
        text.append(chunk, got);
    }
    VSIFCloseL(in);
    if (text.size() > MAX_TOPOJSON_BYTES) throw InputError("larger than 2 GiB");
    return text;
}

Source readOgrSource(const std::string &input, const ImportOptions &options, SourceBudget &budget) {
    if (input != "-") return readOgr(input, options.layers, options.drivers, budget);
    try {
        return readOgr(STANDARD_INPUT, options.layers, options.drivers, budget);
    } catch (const InputError &e) {
        throw InputError(std::string(e.what()) +
                         " (standard input is one file without a name: formats known by their "
                         "extension, such as CSV, or made of several files, such as Shapefile, "
                         "must be named)");
    }
}

Source readSource(const std::string &input, const ImportOptions &options) {
    const bool standardInput = input == "-";
    struct stat info{};
    if (!standardInput && stat(input.c_str(), &info) != 0) throw InputError(std::strerror(errno));
    SourceBudget budget(options.limits);
    const bool topojson = options.topojson || (standardInput ? isTopoJson(STANDARD_INPUT)
                                                             : S_ISREG(info.st_mode) && isTopoJson(input));
    if (!topojson) return readOgrSource(input, options, budget);
    Source source = readTopoJson(standardInput ? readStandardInput(budget) : readText(input, budget), budget);
    if (!options.layers.empty()) {
        std::vector<Layer> chosen;
        for (const std::string &name : options.layers) {
            const auto found = std::ranges::find(source.layers, name, &Layer::name);
            if (found == source.layers.end()) throw InputError("no object '" + name + "'");
            chosen.push_back(std::move(*found));
        }
        source.layers = std::move(chosen);
    }
    // TopoJSON declares no CRS; by its convention positions are in longitude and latitude
    // unless they were projected beforehand, which takes them beyond those ranges.
    if (withinLongitudeLatitude(source)) source.crs = wgs84();
    return source;
}

// ---- Geometry: planar, projected, on the grid

constexpr const char *NOT_PROJECTED = "positions the projection cannot take";

// The polygons cut at the antimeridian (when geographic) and checked, and the paths cut there:
// longitude and latitude drawn as they are, or another source's own plane.
void cutAtAntimeridian(Feature &f, const CutOptions &cut, const std::string &where) {
    std::vector<Polygon> polygons;
    for (size_t i = 0; i < f.polygons.size(); ++i)
        for (Polygon &piece : cutPolygon(f.polygons[i], cut, where + ", polygon " + std::to_string(i + 1)))
            polygons.push_back(std::move(piece));
    std::vector<Path> paths;
    for (const Path &path : f.paths)
        for (Path &piece : cut.geographic ? cutPath(path) : std::vector<Path>{path}) paths.push_back(std::move(piece));
    f.polygons = std::move(polygons);
    f.paths = std::move(paths);
}

// Projects every position of the feature; a polygon or path with a position that the
// projection cannot take is left out, and counted.
void project(Feature &f, const Projection &projection, const std::string &where, ImportReport &report) {
    const size_t before = f.polygons.size() + f.paths.size() + f.points.size();
    std::erase_if(f.polygons, [&](Polygon &polygon) {
        return !std::ranges::all_of(polygon.rings, [&](Ring &ring) { return projection.apply(ring); });
    });
    std::erase_if(f.paths, [&](Path &path) { return !projection.apply(path); });
    std::erase_if(f.points, [&](Pos &p) {
        std::vector<Pos> one{p};
        const bool ok = projection.apply(one);
        p = one.front();
        return !ok;
    });
    const size_t after = f.polygons.size() + f.paths.size() + f.points.size();
    if (after < before) report.add(after == 0 ? Change::leftOut : Change::clipped, where, NOT_PROJECTED);
}

// Cuts the feature where its projection tears the sphere (at the antimeridian when not
// projected), clips it to what the projection shows, projects and flips it.
void makePlanar(Feature &f, const Projection &projection, bool geographic,
                const ImportOptions &options, const std::string &where, ImportReport &report) {
    for (const Path &path : f.paths)
        if (path.size() < 2) throw InputError(where + ": a line of fewer than two positions");
    const CutOptions cut{geographic, projection.active(), options.makeValid, &report, where};
    const bool sphere = geographic && projection.active();
    const bool seamless = sphere && projection.tear().kind == Tear::none;
    if (sphere && !seamless) {
        projection.sphereCut().apply(f, cut, where, report);
    } else if (!seamless) {
        cutAtAntimeridian(f, cut, where);
    } else {
        for (Polygon &polygon : f.polygons)
            for (Ring &ring : polygon.rings) dropPoleEdges(ring);
    }
    project(f, projection, where, report);
    // Without a seam, the polygons are checked where they are drawn.
    if (seamless) cutAtAntimeridian(f, {false, false, options.makeValid, &report, where}, where);
    if (options.flipY) {
        const auto flip = [](std::vector<Pos> &positions) {
            for (Pos &p : positions) p.y = -p.y;
        };
        for (Polygon &polygon : f.polygons) std::ranges::for_each(polygon.rings, flip);
        std::ranges::for_each(f.paths, flip);
        flip(f.points);
    }
}

struct Extent {
    double xmin = INFINITY, ymin = INFINITY, xmax = -INFINITY, ymax = -INFINITY;
    void add(Pos p) {
        xmin = std::min(xmin, p.x);
        xmax = std::max(xmax, p.x);
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    }
    void add(const std::vector<Pos> &positions) {
        for (const Pos &p : positions) add(p);
    }
};

Extent extentOf(const std::vector<Layer> &layers) {
    Extent e;
    for (const Layer &layer : layers)
        for (const Feature &f : layer.features) {
            for (const Polygon &polygon : f.polygons) e.add(polygon.rings.front());
            for (const Path &path : f.paths) e.add(path);
            e.add(f.points);
        }
    return e;
}

// Map positions onto whole grid steps from the extent's lower left corner.
struct Grid {
    double x0, y0, step;
    int32_t width, height;  // steps, even

    GridPos at(Pos p) const {
        return {static_cast<int32_t>(std::lround((p.x - x0) / step)),
                static_cast<int32_t>(std::lround((p.y - y0) / step))};
    }
    Pos exact(Pos p) const { return {(p.x - x0) / step, (p.y - y0) / step}; }
};

int32_t evenSteps(double extent, double step) {
    const double steps = std::ceil(extent / step - 1e-9);
    return static_cast<int32_t>(std::max(2.0, steps + std::fmod(steps, 2)));
}

// Why no grid holds the extent: positions too far apart for any step (their distance is beyond
// the range of doubles), or too many steps of the one chosen.
std::string gridTooLarge(const Extent &e, double longer, double steps) {
    std::ostringstream s;
    s << std::setprecision(6);
    if (!std::isfinite(longer)) {
        s << "positions from (" << e.xmin << ", " << e.ymin << ") to (" << e.xmax << ", " << e.ymax
          << "), farther apart than a map can hold";
        return s.str();
    }
    s << "a grid of ";
    if (steps < 1e15) s << std::llround(steps);
    else if (std::isfinite(steps)) s << steps;
    else s << "more than 1e308";
    s << " steps, more than " << MAX_GRID << " (choose a coarser --grid or --tolerance)";
    return s.str();
}

Grid chooseGrid(const Extent &e, const ImportOptions &options, std::optional<double> sourceStep,
                bool reprojected) {
    const double width = e.xmax - e.xmin, height = e.ymax - e.ymin;
    const double longer = std::max(width, height);
    double step;
    if (options.tolerance > 0) step = options.tolerance;
    else if (options.grid > 0) step = longer / double(options.grid);
    else if (sourceStep && !reprojected) step = *sourceStep;  // the source's own precision
    else step = longer / double(DEFAULT_GRID);
    if (!(step > 0) || !std::isfinite(step)) step = 1;  // a single position
    if (!(longer / step <= double(MAX_GRID))) throw InputError(gridTooLarge(e, longer, longer / step));
    return {e.xmin, e.ymin, step, evenSteps(width, step), evenSteps(height, step)};
}

Chain onGrid(const std::vector<Pos> &positions, const Grid &grid) {
    Chain chain;
    chain.reserve(positions.size());
    for (const Pos &p : positions) {
        const GridPos g = grid.at(p);
        if (chain.empty() || !(chain.back() == g)) chain.push_back(g);
    }
    return chain;
}

// ---- Styling

const Field *findField(const Layer &layer, const std::string &name) {
    const auto found = std::ranges::find(layer.fields, name, &Field::name);
    return found == layer.fields.end() ? nullptr : &*found;
}

void requireField(const std::vector<Layer> &layers, const std::string &name, const char *option) {
    if (name.empty()) return;
    std::set<std::string> known;
    for (const Layer &layer : layers) {
        if (findField(layer, name)) return;
        for (const Field &field : layer.fields) known.insert(field.name);
    }
    std::string list;
    for (const std::string &k : known) list += (list.empty() ? "" : ", ") + k;
    throw InputError(std::string(option) + ": no field '" + name + "' in any layer (fields: " +
                     (list.empty() ? "none" : list) + ")");
}

std::string valueText(const Value &v) {
    if (const auto *text = std::get_if<std::string>(&v)) return *text;
    if (const auto *number = std::get_if<double>(&v)) {
        std::ostringstream s;
        s << *number;
        return s.str();
    }
    return "";
}

// ---- The whole import

// How messages and the report name a feature.
std::string featureWhere(const Layer &layer, size_t i) {
    const std::string &name = layer.features[i].name;
    return "layer " + layer.name + ", feature " + (name.empty() ? "#" + std::to_string(i + 1) : name);
}

class Importer {
public:
    Importer(const ImportOptions &options, const ImportProgress &progress)
        : options_(options), progress_(progress), report_(options.strict) {}

    Map build(Source source) {
        for (const std::string &record : source.damaged)
            report_.add(Change::damaged, record, "unreadable record");
        std::erase_if(source.layers, [&](Layer &layer) {
            filterFeatures(layer, options_.where, options_.select);
            return layer.features.empty();
        });
        if (source.layers.empty()) throw InputError("no features to import");
        requireField(source.layers, options_.fillBy, "--fill-by");
        requireField(source.layers, options_.label, "--label");
        planar(source);
        const Extent extent = extentOf(source.layers);
        grid_ = chooseGrid(extent, options_, source.step, projection_->active() || options_.flipY);
        Map map;
        map.width = grid_.width;
        map.height = grid_.height;
        // The page's longer side holds the map's and two margins.
        const double longer = std::max(map.width, map.height);
        const double marginMm = std::min(options_.marginMm, options_.pageMm / 4);
        const double stepMm = (options_.pageMm - 2 * marginMm) / longer;
        map.margin = static_cast<int32_t>(std::round(marginMm / stepMm));
        map.widthMm = std::max(1.0, std::round(stepMm * (map.width + 2 * map.margin)));
        map.heightMm = std::max(1.0, std::round(stepMm * (map.height + 2 * map.margin)));
        quantize(source, map);
        std::vector<GridPos> junctions;
        if (!projection_->active() && !options_.flipY)  // a source's arcs, where positions stay
            for (const Pos &p : source.arcEnds) junctions.push_back(grid_.at(p));
        map.topology = buildTopology(chains_, junctions);
        resolveChains(map);
        style(source, map);
        return map;
    }

    size_t features() const { return features_; }
    const ImportReport &report() const { return report_; }
    const std::vector<std::string> &notes() const { return notes_; }
    size_t labelsKept() const { return labelsKept_; }
    size_t labelsLeftOut() const { return labelsLeftOut_; }

private:
    void planar(Source &source) {
        projection_ = std::make_unique<Projection>(source.crs, options_.project);
        const bool geographic = isGeographic(source.crs);
        size_t total = 0, done = 0;
        for (const Layer &layer : source.layers) total += layer.features.size();
        for (Layer &layer : source.layers)
            for (size_t i = 0; i < layer.features.size(); ++i) {
                Feature &f = layer.features[i];
                const std::string where = featureWhere(layer, i);
                const bool drawable = !f.polygons.empty() || !f.paths.empty() || !f.points.empty();
                try {
                    makePlanar(f, *projection_, geographic, options_, where, report_);
                    if (drawable && f.polygons.empty() && f.paths.empty() && f.points.empty())
                        report_.add(Change::leftOut, where, "nothing left to draw");
                } catch (const GeometryError &e) {
                    throw InputError(where + ": " + e.what());
                }
                if (progress_ && ++done % 256 == 0) progress_("features", done, total);
            }
        features_ = total;
    }

    // Every ring and path on the grid, as chains for the topology; collapsed ones dropped.
    void quantize(const Source &source, Map &map) {
        for (const Layer &layer : source.layers) {
            MapLayer &out = map.layers.emplace_back();
            out.name = layer.name;
            for (size_t i = 0; i < layer.features.size(); ++i) {
                const Feature &f = layer.features[i];
                MapFeature &feature = out.features.emplace_back();
                feature.name = f.name;
                auto &polygons = polygonChains_.emplace_back();
                for (const Polygon &polygon : f.polygons) {
                    std::vector<size_t> rings;
                    for (const Ring &ring : polygon.rings) {
                        Chain chain = onGrid(ring, grid_);
                        if (chain.size() < 4) {  // no area left on the grid
                            if (rings.empty()) break;
                            continue;
                        }
                        rings.push_back(chains_.size());
                        chains_.push_back({std::move(chain), true});
                    }
                    if (!rings.empty()) polygons.push_back(std::move(rings));
                }
                auto &paths = pathChains_.emplace_back();
                for (const Path &path : f.paths) {
                    Chain chain = onGrid(path, grid_);
                    if (chain.size() < 2) continue;
                    paths.push_back(chains_.size());
                    chains_.push_back({std::move(chain), false});
                }
                for (const Pos &p : f.points) feature.marks.push_back(grid_.exact(p));
                const bool drawn = !f.polygons.empty() || !f.paths.empty() || !f.points.empty();
                if (drawn && polygons.empty() && paths.empty() && f.points.empty())
                    report_.add(Change::leftOut, featureWhere(layer, i), "smaller than a grid step");
            }
        }
    }

    void resolveChains(Map &map) {
        size_t feature = 0;
        for (MapLayer &layer : map.layers)
            for (MapFeature &f : layer.features) {
                for (const auto &rings : polygonChains_[feature]) {
                    auto &arcs = f.polygons.emplace_back();
                    for (const size_t c : rings) arcs.push_back(map.topology.chains[c]);
                }
                for (const size_t c : pathChains_[feature]) f.paths.push_back(map.topology.chains[c]);
                ++feature;
            }
    }

    void style(const Source &source, Map &map) {
        const auto filled = std::ranges::find_if(map.layers, [](const MapLayer &l) {
            return std::ranges::any_of(l.features, [](const MapFeature &f) { return !f.polygons.empty(); });
        });
        if (filled != map.layers.end()) {
            filled->filled = true;
            const Layer &layer = source.layers[size_t(filled - map.layers.begin())];
            const Field *field = findField(layer, options_.fillBy);
            Fills fills = field ? fieldFills(values(layer, *field), *field)
                                : neighbourFills(neighbours(*filled, map.topology.arcs.size()));
            for (size_t f = 0; f < filled->features.size(); ++f) filled->features[f].fill = fills.colours[f];
            map.legend = std::move(fills.legend);
            if (!fills.note.empty()) notes_.push_back(fills.note);
        }
        if (!options_.label.empty()) labels(source, map);
    }

    // The labels of every layer that has the field, placed together.
    void labels(const Source &source, Map &map) {
        std::vector<LabelWish> wishes;
        std::vector<MapFeature *> labelled;
        const double stepMm = std::min(map.widthMm / (map.width + 2.0 * map.margin),
                                       map.heightMm / (map.height + 2.0 * map.margin));
        for (size_t l = 0; l < map.layers.size(); ++l) {
            const Layer &layer = source.layers[l];
            const Field *field = findField(layer, options_.label);
            if (!field) continue;
            const size_t index = size_t(field - layer.fields.data());
            for (size_t f = 0; f < layer.features.size(); ++f)
                if (const auto wish = labelWish(layer.features[f], index, stepMm)) {
                    wishes.push_back(*wish);
                    labelled.push_back(&map.layers[l].features[f]);
                }
        }
        const double m = map.margin;
        const std::vector<PlacedLabel> placed =
            placeLabels(wishes, {-m, -m, map.width + m, map.height + m, stepMm});
        for (const PlacedLabel &label : placed) {
            MapFeature &out = *labelled[label.wish];
            out.label = wishes[label.wish].text;
            out.labelAt = label.at;
            out.labelMm = label.sizeMm;
            out.labelAlignment = label.side == PlacedLabel::right ? KVG_TEXT_WEST
                                 : label.side == PlacedLabel::left ? KVG_TEXT_EAST
                                                                   : KVG_TEXT_CENTER;
        }
        labelsKept_ = placed.size();
        labelsLeftOut_ = wishes.size() - placed.size();
    }

    // Where a feature's label would go: the pole of inaccessibility of its largest polygon, or
    // beside its first mark.
    std::optional<LabelWish> labelWish(const Feature &source, size_t field, double stepMm) const {
        const std::string text = valueText(source.values[field]);
        if (text.empty()) return std::nullopt;
        if (source.polygons.empty()) {
            if (source.points.empty()) return std::nullopt;
            return LabelWish{text, grid_.exact(source.points.front()), 0, 0};
        }
        const auto largest = std::ranges::max_element(source.polygons, {}, [](const Polygon &p) { return area(p); });
        const double size = area(*largest);
        const Circle room = maximumInscribedCircle(*largest, std::sqrt(size) / LABEL_ROOM_PRECISION);
        return LabelWish{text, grid_.exact(room.centre), room.radius / grid_.step * stepMm, size};
    }

    static std::vector<Value> values(const Layer &layer, const Field &field) {
        const size_t index = size_t(&field - layer.fields.data());
        std::vector<Value> result;
        for (const Feature &f : layer.features) result.push_back(f.values[index]);
        return result;
    }

    // Features are neighbours when their rings share an arc.
    static std::vector<std::vector<uint32_t>> neighbours(const MapLayer &layer, size_t arcs) {
        std::vector<std::vector<uint32_t>> users(arcs);
        for (uint32_t f = 0; f < layer.features.size(); ++f)
            for (const auto &rings : layer.features[f].polygons)
                for (const RingArcs &ring : rings)
                    for (const ArcRef ref : ring) {
                        auto &u = users[size_t(std::abs(ref)) - 1];
                        if (u.empty() || u.back() != f) u.push_back(f);
                    }
        std::vector<std::vector<uint32_t>> result(layer.features.size());
        for (const auto &u : users)
            for (const uint32_t a : u)
                for (const uint32_t b : u)
                    if (a != b) result[a].push_back(b);
        return result;
    }

    const ImportOptions &options_;
    const ImportProgress &progress_;
    ImportReport report_;
    std::vector<std::string> notes_;
    size_t labelsKept_ = 0, labelsLeftOut_ = 0;
    std::unique_ptr<Projection> projection_;
    Grid grid_{};
    size_t features_ = 0;
    std::vector<ChainInput> chains_;
    std::vector<std::vector<std::vector<size_t>>> polygonChains_;  // per feature: chains of rings
    std::vector<std::vector<size_t>> pathChains_;                   // per feature: chains of paths
};

void refuseOwnInput(const std::string &input, const std::string &output) {
    struct stat in{}, out{};
    if (stat(input.c_str(), &in) == 0 && stat(output.c_str(), &out) == 0 && in.st_dev == out.st_dev &&
        in.st_ino == out.st_ino)
        throw InputError("the output " + output + " is the input itself");
}

void checkLimits(const Map &map) {
    if (map.topology.arcs.size() > MAX_EDGES)
        throw InputError(std::to_string(map.topology.arcs.size()) + " arcs, more than a map holds (" +
                         std::to_string(MAX_EDGES) + ")");
    size_t rings = 0;
    for (const MapLayer &layer : map.layers)
        for (const MapFeature &f : layer.features)
            for (const auto &polygon : f.polygons) rings += polygon.size();
    if (rings > MAX_FACES)
        throw InputError(std::to_string(rings) + " rings, more than a map holds (" +
                         std::to_string(MAX_FACES) + ")");
}

}  // namespace

ImportSummary importMap(const std::string &input, const std::string &output,
                        const ImportOptions &options, const ImportProgress &progress) {
    initialiseOgr();
    refuseOwnInput(input, output);
    Importer importer(options, progress);
    const Map map = importer.build(readSource(input, options));
    checkLimits(map);
    ImportSummary summary;
    summary.features = importer.features();
    summary.report = importer.report();
    summary.notes = importer.notes();
    summary.labels = importer.labelsKept();
    summary.labelsLeftOut = importer.labelsLeftOut();
    for (const MapLayer &layer : map.layers)
        if (layer.filled) {
            std::set<Colour> colours;
            for (const MapFeature &f : layer.features) colours.insert(*f.fill);
            summary.colours = colours.size();
        }
    writeMap(map, output, options.compress, summary, progress);
    struct stat info{};
    if (stat(output.c_str(), &info) == 0) summary.bytes = uint64_t(info.st_size);
    return summary;
}

}  // namespace kvgimport
