// Helpers of the simplification and tiling tests: a decoded file's filled faces as GEOS
// polygons, with the layer and object that fill them, and the planar checks made on them.
#ifndef KVG_FACE_GEOMETRY_H
#define KVG_FACE_GEOMETRY_H

#include <memory>
#include <string>
#include <vector>

#include "tool_support.h"

typedef struct GEOSGeom_t GEOSGeometry;

namespace kvgtest {

struct GeosDeleter {
    void operator()(GEOSGeometry *g) const;
};
using GeosGeometry = std::unique_ptr<GEOSGeometry, GeosDeleter>;

using EdgePoints = std::vector<kvgr::impl::Point>;

// The positions of the edge named by a signed reference, in its direction.
EdgePoints edgePoints(const Decoded &file, int32_t reference);

struct FilledFace {
    std::string layer, object;
    uint32_t face;
};
// Every FillFace record, with the layer and object it is in.
std::vector<FilledFace> filledFaces(const Decoded &file);

// The face (its edges chained into its outer ring, its holes) as a GEOS polygon.
GeosGeometry facePolygon(const Decoded &file, uint32_t face);

double area(const GEOSGeometry *g);
bool valid(const GEOSGeometry *g);
std::string invalidity(const GEOSGeometry *g);
// The union of the geometries' area.
double unionArea(const std::vector<GeosGeometry> &geometries);

}  // namespace kvgtest

#endif  // KVG_FACE_GEOMETRY_H
