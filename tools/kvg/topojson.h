// Conversion of a TopoJSON topology into a KVG planar map.
//
// Every arc becomes one edge, arc i edge i + 1, also when it collapses to a single point; every
// polygon ring becomes one face, the holes of a polygon hole faces of its outer ring; every
// object becomes one layer, in the order of the file. A quantized topology keeps its precision
// exactly: the world units are quantization steps, one step one grid unit, and the world window
// is the bounding box in steps, widened to whole steps. A topology without a transform is
// written unquantized over its bounding box. The page is 200 mm on its longer side,
// in the proportions of the bounding box in the topology's own coordinates.
//
// The first layer fills the outer faces of its polygons, a colour per geometry, and draws
// their edges; later layers draw only edges, so that they do not cover the first (a "land"
// object over "countries"). Line strings are drawn as their edges, points as marks. The fills
// and marks of a geometry with a name (properties.name, else its id) make a KVG object.
//
// A topology without a transform is written in raw mode, whose positions the format holds as
// single-precision floats: about seven significant digits.
#ifndef KVGTOOL_TOPOJSON_H
#define KVGTOOL_TOPOJSON_H

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kvgtool {

// A topology that cannot be converted: invalid JSON, or not a valid TopoJSON topology.
class TopoJsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ImportSummary {
    size_t arcs = 0;       // edges written, one per arc
    size_t collapsed = 0;  // arcs that came to a single point on the grid
    size_t rings = 0;      // faces written, one per polygon ring
    size_t layers = 0;     // one per object
    size_t points = 0;     // marks
};

// Called as the work goes on with its phase ("arcs", then "objects") and progress.
using ImportProgress = std::function<void(const char *phase, size_t done, size_t total)>;

// Converts `json` into the KVG file `path`. Throws TopoJsonError for bad input and kvg::Error
// when the file cannot be written.
ImportSummary importTopoJson(std::string_view json, const std::string &path,
                             const ImportProgress &progress = {});

}  // namespace kvgtool

#endif  // KVGTOOL_TOPOJSON_H
