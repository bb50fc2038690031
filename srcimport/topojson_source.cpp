#include "topojson_source.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

#include "kvgimport.h"
#include "source_budget.h"

namespace kvgimport {

namespace {

using Json = nlohmann::ordered_json;  // keeps the objects and properties in the file's order

constexpr size_t MAX_NESTING = 64;  // geometry collections inside each other

[[noreturn]] void fail(const std::string &where, const std::string &what) {
    throw InputError(where + ": " + what);
}

std::string indexed(const std::string &where, size_t i) {
    return where + "[" + std::to_string(i) + "]";
}

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

struct Transform {
    Pos scale, translate;
    Pos apply(Pos q) const { return {q.x * scale.x + translate.x, q.y * scale.y + translate.y}; }
};

std::optional<Transform> readTransform(const Json &root) {
    const auto found = root.find("transform");
    if (found == root.end()) return std::nullopt;
    const Transform t{position(member(*found, "scale", "transform"), "transform.scale"),
                      position(member(*found, "translate", "transform"), "transform.translate")};
    if (t.scale.x == 0 || t.scale.y == 0) fail("transform.scale", "a scale of 0");
    return t;
}

// A position that arithmetic on finite input took beyond the range of doubles.
Pos finite(Pos p, const std::string &where) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) fail(where, "position out of range");
    return p;
}

std::vector<Path> readArcs(const Json &root, const std::optional<Transform> &transform,
                           SourceBudget &budget) {
    const Json &arcs = array(member(root, "arcs", "topology"), "arcs");
    budget.bytes(arcs.size() * sizeof(Path));
    std::vector<Path> result(arcs.size());
    for (size_t i = 0; i < arcs.size(); ++i) {
        const std::string where = indexed("arcs", i);
        const Json &arc = array(arcs[i], where);
        if (arc.empty()) fail(where, "an arc without positions");
        budget.points(arc.size());
        Pos sum{0, 0};
        for (size_t k = 0; k < arc.size(); ++k) {
            const std::string at = indexed(where, k);
            const Pos p = position(arc[k], at);
            if (transform) {  // deltas after the first position, in quantization steps
                sum = finite({sum.x + p.x, sum.y + p.y}, at);
                result[i].push_back(finite(transform->apply(sum), at));
            } else {
                result[i].push_back(p);
            }
        }
    }
    return result;
}

// The fields of an object's features: every property name in the order met, numeric when
// every value given is a number.
class FieldTable {
public:
    explicit FieldTable(SourceBudget &budget) : budget_(budget) {}

    std::vector<Value> values(const Json &geometry) {
        std::vector<Value> result(fields_.size());
        const auto properties = geometry.find("properties");
        if (properties == geometry.end() || !properties->is_object()) return result;
        for (const auto &[key, value] : properties->items()) {
            const size_t index = field(key, value);
            if (index >= result.size()) result.resize(index + 1);
            if (value.is_number()) result[index] = value.get<double>();
            else if (value.is_string()) result[index] = value.get<std::string>();
            else if (!value.is_null()) result[index] = value.dump();
            if (const auto *text = std::get_if<std::string>(&result[index])) budget_.text(*text);
        }
        return result;
    }
    std::vector<Field> fields() const { return fields_; }

private:
    size_t field(const std::string &key, const Json &value) {
        const auto [found, added] = index_.try_emplace(key, fields_.size());
        if (added) {
            fields_.push_back({key, true});
            budget_.text(key);
        }
        if (!value.is_null() && !value.is_number()) fields_[found->second].numeric = false;
        return found->second;
    }

    SourceBudget &budget_;
    std::vector<Field> fields_;
    std::map<std::string, size_t> index_;
};

class ObjectReader {
public:
    ObjectReader(const std::vector<Path> &arcs, const std::optional<Transform> &transform,
                 SourceBudget &budget)
        : arcs_(arcs), transform_(transform), budget_(budget) {}

    Layer layer(const std::string &name, const Json &object) {
        Layer layer{name, {}, {}};
        FieldTable fields(budget_);
        geometry(object, "objects." + name, 0, fields, layer.features);
        layer.fields = fields.fields();
        for (Feature &f : layer.features) f.values.resize(layer.fields.size());
        return layer;
    }

private:
    void geometry(const Json &g, const std::string &where, size_t depth, FieldTable &fields,
                  std::vector<Feature> &out) {
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
                geometry(children[i], indexed(inner, i), depth + 1, fields, out);
            return;
        }
        Feature feature;
        feature.name = name(g);
        budget_.text(feature.name);
        feature.values = fields.values(g);
        budget_.feature(feature.values.size());
        const std::string arcsWhere = where + ".arcs";
        if (kind == "Polygon") {
            addPolygon(member(g, "arcs", where), arcsWhere, feature);
        } else if (kind == "MultiPolygon") {
            const Json &polygons = array(member(g, "arcs", where), arcsWhere);
            for (size_t i = 0; i < polygons.size(); ++i)
                addPolygon(polygons[i], indexed(arcsWhere, i), feature);
        } else if (kind == "LineString") {
            feature.paths.push_back(chain(member(g, "arcs", where), arcsWhere));
        } else if (kind == "MultiLineString") {
            const Json &lines = array(member(g, "arcs", where), arcsWhere);
            for (size_t i = 0; i < lines.size(); ++i)
                feature.paths.push_back(chain(lines[i], indexed(arcsWhere, i)));
        } else if (kind == "Point") {
            feature.points.push_back(point(member(g, "coordinates", where), where + ".coordinates"));
        } else if (kind == "MultiPoint") {
            const std::string at = where + ".coordinates";
            const Json &points = array(member(g, "coordinates", where), at);
            for (size_t i = 0; i < points.size(); ++i)
                feature.points.push_back(point(points[i], indexed(at, i)));
        } else {
            fail(where + ".type", "unknown geometry type \"" + kind + "\"");
        }
        out.push_back(std::move(feature));
    }

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

    Pos point(const Json &value, const std::string &where) const {
        budget_.points(1);
        const Pos p = position(value, where);
        return transform_ ? finite(transform_->apply(p), where) : p;
    }

    // The arc an index names, walked forwards (i) or backwards (~i).
    const Path &arc(const Json &value, const std::string &where, bool &reversed) const {
        const auto outOfRange = [&] {
            fail(where, "arc index " + value.dump() + " out of range (" +
                            std::to_string(arcs_.size()) + " arcs)");
        };
        // An index beyond int64 is unsigned in the parser and would wrap into ~0 = -1.
        if (value.is_number_unsigned()) {
            if (value.get<uint64_t>() >= arcs_.size()) outOfRange();
            reversed = false;
            return arcs_[value.get<uint64_t>()];
        }
        if (!value.is_number_integer()) fail(where, "an arc index expected");
        const int64_t v = value.get<int64_t>();
        const uint64_t index = v >= 0 ? uint64_t(v) : ~uint64_t(v);
        if (index >= arcs_.size()) outOfRange();
        reversed = v < 0;
        return arcs_[index];
    }

    // The positions of arcs joined end to start.
    Path chain(const Json &value, const std::string &where) const {
        const Json &refs = array(value, where);
        Path result;
        for (size_t i = 0; i < refs.size(); ++i) {
            bool reversed = false;
            const Path &a = arc(refs[i], indexed(where, i), reversed);
            const size_t from = result.empty() ? 0 : 1;  // an arc starts where the last ended
            budget_.points(a.size() - from);  // counted before they are copied
            for (size_t k = from; k < a.size(); ++k)
                result.push_back(reversed ? a[a.size() - 1 - k] : a[k]);
        }
        return result;
    }

    // A polygon of no rings has no area: nothing to add, as for an empty geometry.
    void addPolygon(const Json &value, const std::string &where, Feature &feature) const {
        const Json &rings = array(value, where);
        if (rings.empty()) return;
        Polygon &polygon = feature.polygons.emplace_back();
        for (size_t i = 0; i < rings.size(); ++i)
            polygon.rings.push_back(chain(rings[i], indexed(where, i)));
    }

    const std::vector<Path> &arcs_;
    const std::optional<Transform> &transform_;
    SourceBudget &budget_;
};

// What the parsed tree holds, counted as it grows: a value, and a key or text's characters.
void spendOnTree(SourceBudget &budget, int depth, Json::parse_event_t event, const Json &parsed) {
    using Event = Json::parse_event_t;
    switch (event) {
    case Event::object_start:
    case Event::array_start:
        budget.depth(uint64_t(depth) + 1);
        budget.bytes(2 * sizeof(Json));  // the value and its share of the container's spare room
        break;
    case Event::key:
        budget.bytes(sizeof(std::string) + parsed.get_ref<const std::string &>().size());
        break;
    case Event::value:
        budget.bytes(2 * sizeof(Json) +
                     (parsed.is_string() ? parsed.get_ref<const std::string &>().size() : 0));
        break;
    default:
        break;
    }
}

// Parse errors and numbers out of range alike; nesting and the tree's size within the budget
// (the tree's values are destroyed and serialised by recursion).
Json parse(std::string_view text, SourceBudget &budget) {
    try {
        return Json::parse(text, [&](int depth, Json::parse_event_t event, Json &parsed) {
            spendOnTree(budget, depth, event, parsed);
            return true;
        });
    } catch (const Json::exception &e) {
        // The library's message names its own exception first: keep the readable part.
        const std::string what = e.what();
        const size_t start = what.find("] ");
        throw InputError("invalid JSON: " +
                         (start == std::string::npos ? what : what.substr(start + 2)));
    }
}

}  // namespace

Source readTopoJson(std::string_view json, SourceBudget &budget) {
    const Json root = parse(json, budget);
    if (!root.is_object() || root.value("type", Json()) != "Topology")
        fail("topology", "not a TopoJSON topology (\"type\": \"Topology\" expected)");
    const std::optional<Transform> transform = readTransform(root);
    const std::vector<Path> arcs = readArcs(root, transform, budget);
    const Json &objects = member(root, "objects", "topology");
    if (!objects.is_object()) fail("objects", "an object expected");

    Source source;
    ObjectReader reader(arcs, transform, budget);
    for (const auto &[name, object] : objects.items())
        source.layers.push_back(
            reader.layer(name.empty() ? "object " + std::to_string(source.layers.size() + 1)
                                      : name,
                         object));
    for (const Path &arc : arcs) {
        source.arcEnds.push_back(arc.front());
        source.arcEnds.push_back(arc.back());
    }
    if (transform) source.step = std::min(std::fabs(transform->scale.x), std::fabs(transform->scale.y));
    return source;
}

}  // namespace kvgimport
