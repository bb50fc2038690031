// kvgimport: maps from GIS sources into KVG planar maps.
//
// importMap() reads vector sources through GDAL/OGR (GeoJSON, TopoJSON, Shapefile, GeoPackage,
// FlatGeobuf, KML, GPX, CSV with WKT; other drivers only when named), cuts geographic data at the
// antimeridian and closes rings around the poles, projects it through PROJ when asked, quantizes it
// onto a grid, and builds a shared topology as TopoJSON's server side does: junctions where rings
// and lines meet or part, every ring and line cut there into arcs, each distinct arc stored once
// whichever way it is walked. Each arc becomes one edge, each ring one face (holes as hole faces);
// features sharing a border share its edges. A TopoJSON source keeps its own arcs: their ends stay
// junctions. Then it styles the map (neighbours in different colours, or colours from a field;
// labels) and writes it, one layer per source layer and one object per feature.
#ifndef KVGIMPORT_H
#define KVGIMPORT_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "import_report.h"

namespace kvgimport {

// The input cannot be imported: the message names the feature and what is wrong with it.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The output file cannot be written; the message gives the writer's reason.
class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What reading one source may take, counted as the source is read (a TopoJSON arc counts once
// for every ring or line that uses it). Reaching a limit stops the import with a message in the
// reader's words ("more than 268435456 points"). The defaults are the reader's.
struct ImportLimits {
    uint64_t points = uint64_t(1) << 28;
    uint64_t features = uint64_t(1) << 24;
    uint64_t memory = uint64_t(1) << 30;  // bytes: positions, values, names, a JSON text's tree
    uint64_t depth = 256;                 // JSON arrays and objects inside each other
};

struct ImportOptions {
    std::vector<std::string> layers;  // source layers to import; empty: all of them
    bool topojson = false;            // read the input as a TopoJSON topology whatever it looks like
    std::string project;              // target CRS in any form PROJ knows; empty: as the source
    bool flipY = false;               // the source's y axis points down (screen coordinates)
    bool makeValid = true;            // mend invalid polygons instead of refusing them
    bool strict = false;              // refuse the input rather than clip, mend or leave out
    int64_t grid = 0;                 // grid steps on the map's longer side; 0: the default
    double tolerance = 0;             // grid step in map units, instead of `grid`
    std::string fillBy;               // field that colours the polygons
    std::string label;                // field written as a label in each polygon, beside each point
    std::string where;                // attribute filter, in OGR's SQL dialect
    std::vector<std::string> select;  // names or ids of the features to keep; empty: all
    double pageMm = 200;              // the page's longer side in millimetres
    double marginMm = 4;              // blank page round the map, so that edges show whole
    bool compress = true;             // gzip stream
    ImportLimits limits;
    // GDAL drivers allowed besides those of the formats documented (VRT, ...); even these read
    // local files only: network access is off.
    std::vector<std::string> drivers;
};

constexpr int64_t DEFAULT_GRID = 100000;
constexpr int64_t MAX_GRID = 1 << 24;

struct ImportSummary {
    size_t layers = 0;
    size_t features = 0;
    size_t arcs = 0;        // edges, one per distinct arc
    size_t sharedArcs = 0;  // arcs used by more than one ring or path
    size_t faces = 0;
    size_t arcPoints = 0;  // the arcs' points
    size_t marks = 0;
    size_t colours = 0;  // fill colours the neighbours needed
    uint64_t bytes = 0;  // of the output file
    ImportReport report;  // what was clipped, mended or left out, and why
    std::vector<std::string> notes;  // what else the user should know ("--fill-by ...")
    size_t labels = 0;         // labels written
    size_t labelsLeftOut = 0;  // labels that found no room clear of larger features' labels
};

// Called as the work goes on with its phase and the progress within it.
using ImportProgress = std::function<void(const char *phase, size_t done, size_t total)>;

// Imports `input` into the KVG file `output`. Throws InputError for input that cannot be
// imported, OutputError when the file cannot be written.
ImportSummary importMap(const std::string &input, const std::string &output,
                        const ImportOptions &options, const ImportProgress &progress = {});

}  // namespace kvgimport

#endif  // KVGIMPORT_H
