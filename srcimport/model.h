// What an import works on between reading its source and writing the map: layers of features
// whose geometries are polygons (outer ring first, then its holes), paths and points, with the
// values of the layer's fields.
#ifndef KVGIMPORT_MODEL_H
#define KVGIMPORT_MODEL_H

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class OGRSpatialReference;

namespace kvgimport {

struct Pos {
    double x, y;
    friend bool operator==(const Pos &, const Pos &) = default;
};

using Path = std::vector<Pos>;
using Ring = std::vector<Pos>;  // closed: the last position repeats the first

struct Polygon {
    std::vector<Ring> rings;  // the outer ring, then the holes
};

// A field's value: none, a number or a text.
using Value = std::variant<std::monostate, double, std::string>;

struct Field {
    std::string name;
    bool numeric = false;
};

struct Feature {
    std::string name;           // the name field, else the id field, else the source's id
    std::vector<Value> values;  // one per field of the layer
    std::vector<Polygon> polygons;
    std::vector<Path> paths;
    std::vector<Pos> points;
};

struct Layer {
    std::string name;
    std::vector<Field> fields;
    std::vector<Feature> features;
};

struct Source {
    std::vector<Layer> layers;
    std::shared_ptr<OGRSpatialReference> crs;  // null: none declared
    // Where a source that brings its own topology ends its arcs, so that its arcs are kept.
    std::vector<Pos> arcEnds;
    // The source's own quantization step, where it has one: the finest grid worth keeping.
    std::optional<double> step;
    // Records the source holds but could not give whole, left out: "layer L, record N (why)".
    std::vector<std::string> damaged;
};

}  // namespace kvgimport

#endif  // KVGIMPORT_MODEL_H
