#include "topojson.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "kvgwriter.hpp"

namespace kvgtool {

namespace {

using Json = nlohmann::ordered_json;  // keeps the objects in the order of the file

constexpr double PAGE_MM = 200;
constexpr double FILLED_EDGE_MM = 0.1;  // edges of the filled first layer
constexpr double EDGE_MM = 0.25;        // edges of the later layers
constexpr uint32_t MARK_PIXELS = 5;
constexpr size_t MAX_NESTING = 64;     // geometry collections inside each other
constexpr double MAX_STEPS = 1 << 30;  // a grid side, in quantization steps
constexpr KVG_Color FILLS[] = {0xF6DDB8, 0xD5E8C8, 0xC9DDF0, 0xFCEFC0, 0xEBD3DF, 0xD3E4E6};
constexpr KVG_Color FILLED_EDGE_COLOR = 0x6B6B6B, EDGE_COLOR = 0x1F3A5F, MARK_COLOR = 0xB22222;

[[noreturn]] void fail(const std::string &where, const std::string &what) {
    throw TopoJsonError(where + ": " + what);
}

struct Pos {
    double x, y;
};

struct Extent {
    double xmin = INFINITY, ymin = INFINITY, xmax = -INFINITY, ymax = -INFINITY;
    void add(Pos p) {
        xmin = std::min(xmin, p.x);
        xmax = std::max(xmax, p.x);
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    }
    bool empty() const { return !(xmin <= xmax && ymin <= ymax); }
};

struct Transform {
    Pos scale, translate;
};

// The arcs in grid space: quantization steps when the topology is quantized (the delta
// encoding undone), its own coordinates otherwise.
struct Topology {
    std::optional<Transform> transform;
    std::vector<std::vector<Pos>> arcs;
    std::optional<Extent> bbox;  // in grid space
};

// Edge references: arc i is edge i + 1, negative when the arc is taken backwards.
using Chain = std::vector<int32_t>;

// A leaf geometry: its name, its polygons (outer ring first, then the holes), lines and points.
struct Geometry {
    std::string name;  // properties.name, else the id, else empty
    std::vector<std::vector<Chain>> polygons;
    std::vector<Chain> lines;
    std::vector<Pos> points;
};

struct Layer {
    std::string name;
    std::vector<Geometry> geometries;
};

// ---- Reading

const Json &member(const Json &object, const char *name, const std::string &where) {
    const auto found = object.find(name);
    if (found == object.end()) fail(where, std::string("\"") + name + "\" missing");
    return *found;
}

const Json &array(const Json &value, const std::string &where) {
    if (!value.is_array()) fail(where, "an array expected");
    return value;
}

double number(const Json &value, const std::string &where) {
    if (!value.is_number()) fail(where, "a number expected");
    const double v = value.get<double>();
    if (!std::isfinite(v)) fail(where, "a finite number expected");
    return v;
}

Pos position(const Json &value, const std::string &where) {
    if (!value.is_array() || value.size() < 2) fail(where, "a position [x, y] expected");
    return {number(value[0], where + "[0]"), number(value[1], where + "[1]")};
}

std::string indexed(const std::string &where, size_t i) {
    return where + "[" + std::to_string(i) + "]";
}

std::optional<Transform> readTransform(const Json &root) {
    const auto found = root.find("transform");
    if (found == root.end()) return std::nullopt;
    const Transform t{position(member(*found, "scale", "transform"), "transform.scale"),
                      position(member(*found, "translate", "transform"), "transform.translate")};
    if (t.scale.x == 0 || t.scale.y == 0) fail("transform.scale", "a scale of 0");
    return t;
}

std::vector<std::vector<Pos>> readArcs(const Json &root, bool quantized) {
    const Json &arcs = array(member(root, "arcs", "topology"), "arcs");
    std::vector<std::vector<Pos>> result(arcs.size());
    for (size_t i = 0; i < arcs.size(); ++i) {
        const std::string where = indexed("arcs", i);
        const Json &arc = array(arcs[i], where);
        if (arc.empty()) fail(where, "an arc without positions");
        Pos last{0, 0};
        for (size_t k = 0; k < arc.size(); ++k) {
            Pos p = position(arc[k], indexed(where, k));
            if (quantized) p = {last.x + p.x, last.y + p.y};  // deltas after the first
            result[i].push_back(p);
            last = p;
        }
    }
    return result;
}

// The bounding box, taken into grid space.
std::optional<Extent> readBbox(const Json &root, const std::optional<Transform> &t) {
    const auto found = root.find("bbox");
    if (found == root.end()) return std::nullopt;
    const Json &box = array(*found, "bbox");
    if (box.size() < 4) fail("bbox", "[x0, y0, x1, y1] expected");
    const Pos low{number(box[0], "bbox[0]"), number(box[1], "bbox[1]")};
    const Pos high{number(box[2], "bbox[2]"), number(box[3], "bbox[3]")};
    const auto grid = [&](Pos p) {
        return t ? Pos{(p.x - t->translate.x) / t->scale.x, (p.y - t->translate.y) / t->scale.y}
                 : p;
    };
    Extent extent;
    extent.add(grid(low));
    extent.add(grid(high));
    return extent;
}

Topology readTopology(const Json &root) {
    if (!root.is_object() || root.value("type", Json()) != "Topology")
        fail("topology", "not a TopoJSON topology (\"type\": \"Topology\" expected)");
    Topology topology;
    topology.transform = readTransform(root);
    topology.arcs = readArcs(root, topology.transform.has_value());
    topology.bbox = readBbox(root, topology.transform);
    return topology;
}

class ObjectReader {
public:
    explicit ObjectReader(size_t arcs) : arcs_(arcs) {}

    void geometry(const Json &g, const std::string &where, size_t depth,
                  std::vector<Geometry> &out) const {
        if (!g.is_object()) fail(where, "a geometry object expected");
        const Json &type = member(g, "type", where);
        if (type.is_null()) return;  // a geometry without coordinates
        if (!type.is_string()) fail(where + ".type", "a string expected");
        const std::string kind = type.get<std::string>();
        if (kind == "GeometryCollection") {
            if (depth >= MAX_NESTING) fail(where, "geometry collections nested too deeply");
            const std::string inner = where + ".geometries";
            const Json &children = array(member(g, "geometries", where), inner);
            for (size_t i = 0; i < children.size(); ++i)
                geometry(children[i], indexed(inner, i), depth + 1, out);
            return;
        }
        Geometry leaf;
        leaf.name = name(g);
        const std::string arcsWhere = where + ".arcs";
        if (kind == "Polygon") {
            leaf.polygons.push_back(chains(member(g, "arcs", where), arcsWhere));
        } else if (kind == "MultiPolygon") {
            const Json &polygons = array(member(g, "arcs", where), arcsWhere);
            for (size_t i = 0; i < polygons.size(); ++i)
                leaf.polygons.push_back(chains(polygons[i], indexed(arcsWhere, i)));
        } else if (kind == "LineString") {
            leaf.lines.push_back(chain(member(g, "arcs", where), arcsWhere));
        } else if (kind == "MultiLineString") {
            leaf.lines = chains(member(g, "arcs", where), arcsWhere);
        } else if (kind == "Point") {
            leaf.points.push_back(
                position(member(g, "coordinates", where), where + ".coordinates"));
        } else if (kind == "MultiPoint") {
            const std::string at = where + ".coordinates";
            const Json &points = array(member(g, "coordinates", where), at);
            for (size_t i = 0; i < points.size(); ++i)
                leaf.points.push_back(position(points[i], indexed(at, i)));
        } else {
            fail(where + ".type", "unknown geometry type \"" + kind + "\"");
        }
        out.push_back(std::move(leaf));
    }

private:
    static std::string name(const Json &g) {
        const auto properties = g.find("properties");
        if (properties != g.end() && properties->is_object()) {
            const auto found = properties->find("name");
            if (found != properties->end() && found->is_string()) return found->get<std::string>();
        }
        const auto id = g.find("id");
        if (id == g.end()) return "";
        return id->is_string() ? id->get<std::string>() : id->is_number() ? id->dump() : "";
    }
    int32_t reference(const Json &value, const std::string &where) const {
        if (!value.is_number_integer()) fail(where, "an arc index expected");
        const int64_t v = value.get<int64_t>();
        const int64_t arc = v >= 0 ? v : ~v;
        if (arc >= static_cast<int64_t>(arcs_))
            fail(where, "arc index " + std::to_string(v) + " out of range (" +
                            std::to_string(arcs_) + " arcs)");
        return static_cast<int32_t>(v >= 0 ? arc + 1 : -(arc + 1));
    }
    Chain chain(const Json &value, const std::string &where) const {
        const Json &refs = array(value, where);
        Chain result;
        for (size_t i = 0; i < refs.size(); ++i)
            result.push_back(reference(refs[i], indexed(where, i)));
        return result;
    }
    std::vector<Chain> chains(const Json &value, const std::string &where) const {
        const Json &list = array(value, where);
        std::vector<Chain> result;
        for (size_t i = 0; i < list.size(); ++i)
            result.push_back(chain(list[i], indexed(where, i)));
        return result;
    }

    size_t arcs_;
};

std::vector<Layer> readObjects(const Json &root, size_t arcs) {
    const Json &objects = member(root, "objects", "topology");
    if (!objects.is_object()) fail("objects", "an object expected");
    const ObjectReader reader(arcs);
    std::vector<Layer> layers;
    for (const auto &[name, object] : objects.items()) {
        Layer layer{name.empty() ? "object " + std::to_string(layers.size() + 1) : name, {}};
        reader.geometry(object, "objects." + name, 0, layer.geometries);
        layers.push_back(std::move(layer));
    }
    return layers;
}

// Parse errors and numbers out of range alike.
Json parse(std::string_view text) {
    try {
        return Json::parse(text);
    } catch (const Json::exception &e) {
        // The library's message names its own exception first: keep the readable part.
        const std::string what = e.what();
        const size_t start = what.find("] ");
        throw TopoJsonError("invalid JSON: " +
                            (start == std::string::npos ? what : what.substr(start + 2)));
    }
}

// ---- Writing

Extent dataExtent(const Topology &topology, const std::vector<Layer> &layers) {
    Extent extent;
    for (const auto &arc : topology.arcs)
        for (const Pos &p : arc) extent.add(p);
    for (const Layer &layer : layers)
        for (const Geometry &g : layer.geometries)
            for (const Pos &p : g.points) extent.add(p);
    return extent;
}

// Whole steps, an even number of them, so that the grid's centre falls on a step and every
// step maps to a whole file unit.
void stepWindow(double low, double high, double &min, int32_t &resolution) {
    min = std::floor(low);
    const double steps = std::ceil(high) - min;
    if (!std::isfinite(min) || !(steps <= MAX_STEPS))
        fail("bbox", "spans too many quantization steps for a grid");
    resolution = static_cast<int32_t>(std::max(2.0, steps + std::fmod(steps, 2)));
}

// Widens a window side of no extent, which the writer cannot map.
void widen(double &low, double &high) {
    if (high > low) return;
    low -= 0.5;
    high += 0.5;
}

struct Page {
    kvg::Options options;
    double lineScale;  // world units per millimetre on the page
};

Page pageFor(const Topology &topology, const Extent &extent) {
    kvg::Options o;
    double width, height;  // in the topology's coordinates
    if (const auto &t = topology.transform) {
        double xmin, ymin;
        stepWindow(extent.xmin, extent.xmax, xmin, o.width_res);
        stepWindow(extent.ymin, extent.ymax, ymin, o.height_res);
        o.world = {xmin, xmin + o.width_res, ymin, ymin + o.height_res};
        width = o.width_res * std::fabs(t->scale.x);
        height = o.height_res * std::fabs(t->scale.y);
    } else {
        o.world = {extent.xmin, extent.xmax, extent.ymin, extent.ymax};
        widen(o.world.xmin, o.world.xmax);
        widen(o.world.ymin, o.world.ymax);
        o.quantize = false;
        width = o.world.xmax - o.world.xmin;
        height = o.world.ymax - o.world.ymin;
    }
    // Whole millimetres keep the header's points small.
    const double mm = PAGE_MM / std::max(width, height);
    o.width_mm = std::max(1.0, std::round(width * mm));
    o.height_mm = std::max(1.0, std::round(height * mm));
    return {o, (o.world.xmax - o.world.xmin) / o.width_mm};
}

// A line width of `mm` on the page in whole world units, as the writer takes it.
uint8_t lineWeight(const Page &page, double mm) {
    return static_cast<uint8_t>(std::clamp(std::round(mm * page.lineScale), 1.0, 255.0));
}

void defineEdges(kvg::File &file, const Topology &topology, ImportSummary &summary,
                 const ImportProgress &progress) {
    for (const std::vector<Pos> &arc : topology.arcs) {
        file.beginSetEdge(arc[0].x, arc[0].y);
        for (size_t k = 1; k < arc.size(); ++k) file.vertexSetEdge(arc[k].x, arc[k].y);
        if (!file.endSetEdge()) ++summary.collapsed;  // written as its start point alone
        ++summary.arcs;
        if (progress) progress("arcs", summary.arcs, topology.arcs.size());
    }
}

// The faces of every polygon, holes before the outer ring that cuts them out; returns the
// outer faces by layer and geometry.
std::vector<std::vector<std::vector<uint32_t>>> defineFaces(kvg::File &file,
                                                            const std::vector<Layer> &layers,
                                                            ImportSummary &summary,
                                                            const ImportProgress &progress) {
    std::vector<std::vector<std::vector<uint32_t>>> outer(layers.size());
    for (size_t l = 0; l < layers.size(); ++l) {
        for (const Geometry &g : layers[l].geometries) {
            std::vector<uint32_t> &faces = outer[l].emplace_back();
            for (const std::vector<Chain> &rings : g.polygons) {
                if (rings.empty()) continue;
                std::vector<uint32_t> holes;
                for (size_t r = 1; r < rings.size(); ++r) holes.push_back(file.setFace(rings[r]));
                faces.push_back(file.setFace(rings[0], holes));
                summary.rings += rings.size();
            }
        }
        if (progress) progress("objects", l + 1, layers.size());
    }
    return outer;
}

// Every arc of the layer once, consecutive ones as a range where identifiers allow.
void drawEdges(kvg::File &file, const Layer &layer) {
    std::vector<int32_t> ids;
    const auto add = [&](const Chain &chain) {
        for (const int32_t ref : chain) ids.push_back(std::abs(ref));
    };
    for (const Geometry &g : layer.geometries) {
        for (const auto &rings : g.polygons) std::ranges::for_each(rings, add);
        std::ranges::for_each(g.lines, add);
    }
    std::ranges::sort(ids);
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    for (size_t i = 0; i < ids.size();) {
        size_t j = i;
        while (j + 1 < ids.size() && ids[j + 1] == ids[j] + 1 &&
               ids[j + 1] <= std::numeric_limits<int16_t>::max())
            ++j;
        if (j > i)
            file.edgeRange(static_cast<int16_t>(ids[i]), static_cast<int16_t>(ids[j]));
        else
            file.edge(ids[i]);
        i = j + 1;
    }
}

void drawLayer(kvg::File &file, const Page &page, const Layer &layer, bool filled,
               const std::vector<std::vector<uint32_t>> &outerFaces, ImportSummary &summary) {
    file.beginLayer(layer.name);
    file.setMarkColor(MARK_COLOR);
    file.setMarkStyle(KVG_MARK_CIRCLE, MARK_PIXELS);
    // A named geometry's fills and marks make an object of that name.
    for (size_t g = 0; g < layer.geometries.size(); ++g) {
        const Geometry &geometry = layer.geometries[g];
        const bool drawn = (filled && !outerFaces[g].empty()) || !geometry.points.empty();
        const bool named = drawn && !geometry.name.empty();
        if (named) file.beginObject(geometry.name);
        if (filled && !outerFaces[g].empty()) {
            file.setFillColor(FILLS[g % std::size(FILLS)]);
            for (const uint32_t face : outerFaces[g]) file.face(face);
        }
        for (const Pos &p : geometry.points) file.mark(p.x, p.y);
        summary.points += geometry.points.size();
        if (named) file.endObject();
    }
    file.setLineColor(filled ? FILLED_EDGE_COLOR : EDGE_COLOR);
    file.setLineStyle(KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_NO_ARROW,
                      lineWeight(page, filled ? FILLED_EDGE_MM : EDGE_MM));
    drawEdges(file, layer);
    ++summary.layers;
}

}  // namespace

ImportSummary importTopoJson(std::string_view json, const std::string &path,
                             const ImportProgress &progress) {
    const Json root = parse(json);
    const Topology topology = readTopology(root);
    const std::vector<Layer> layers = readObjects(root, topology.arcs.size());
    Extent extent = topology.bbox ? *topology.bbox : dataExtent(topology, layers);
    if (extent.empty()) extent.add({0, 0});
    const Page page = pageFor(topology, extent);

    kvg::File file(path, page.options);
    ImportSummary summary;
    defineEdges(file, topology, summary, progress);
    const auto outerFaces = defineFaces(file, layers, summary, progress);
    for (size_t l = 0; l < layers.size(); ++l)
        drawLayer(file, page, layers[l], l == 0, outerFaces[l], summary);
    file.close();
    return summary;
}

}  // namespace kvgtool
