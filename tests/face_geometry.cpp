#include "face_geometry.h"

#include "geos.h"

#include <geos_c.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace kvgtest {

namespace {

GEOSContextHandle_t geos() { return kvgimport::geosContext(); }

// The face's edges chained into one closed ring.
GEOSGeometry *ring(const Decoded &file, const std::vector<int32_t> &edges) {
    EdgePoints points;
    for (const int32_t reference : edges) {
        const EdgePoints e = edgePoints(file, reference);
        points.insert(points.end(), e.begin() + (points.empty() ? 0 : 1), e.end());
    }
    GEOSCoordSequence *seq = GEOSCoordSeq_create_r(geos(), unsigned(points.size()), 2);
    for (unsigned i = 0; i < points.size(); ++i) GEOSCoordSeq_setXY_r(geos(), seq, i, points[i].x, points[i].y);
    GEOSGeometry *result = GEOSGeom_createLinearRing_r(geos(), seq);
    if (result == nullptr) throw std::runtime_error("a face whose edges do not close");
    return result;
}

}  // namespace

void GeosDeleter::operator()(GEOSGeometry *g) const { GEOSGeom_destroy_r(geos(), g); }

EdgePoints edgePoints(const Decoded &file, int32_t reference) {
    const kvgr::impl::EdgeDefinition *edge = file.definitions.edge(reference);
    if (edge == nullptr) throw std::runtime_error("no edge " + std::to_string(reference));
    EdgePoints points = {edge->start};
    for (const kvgr::impl::Point &step : edge->steps)
        points.push_back({points.back().x + step.x, points.back().y + step.y});
    if (reference < 0) std::reverse(points.begin(), points.end());
    return points;
}

std::vector<FilledFace> filledFaces(const Decoded &file) {
    std::vector<FilledFace> result;
    std::string layer, object;
    for (const kvgr::impl::Record &r : file.records) {
        if (r.code == kvgfmt::LAYER) {
            layer = std::get<kvgr::impl::Layer>(r.payload).name;
            object.clear();
        }
        if (r.code == kvgfmt::OBJECT) object = std::get<kvgr::impl::Object>(r.payload).name;
        if (r.code == kvgfmt::FILL_FACE) result.push_back({layer, object, std::get<kvgr::impl::FaceUse>(r.payload).face});
    }
    return result;
}

GeosGeometry facePolygon(const Decoded &file, uint32_t face) {
    const kvgr::impl::FaceDefinition &f = file.definitions.faces.at(face);
    std::vector<GEOSGeometry *> holes;
    for (const uint32_t hole : f.holes) holes.push_back(ring(file, file.definitions.faces.at(hole).edges));
    return GeosGeometry(GEOSGeom_createPolygon_r(geos(), ring(file, f.edges), holes.data(), unsigned(holes.size())));
}

double area(const GEOSGeometry *g) {
    double a = 0;
    GEOSArea_r(geos(), g, &a);
    return a;
}

bool valid(const GEOSGeometry *g) { return GEOSisValid_r(geos(), g) == 1; }

std::string invalidity(const GEOSGeometry *g) {
    char *reason = GEOSisValidReason_r(geos(), g);
    std::string text = reason ? reason : "";
    GEOSFree_r(geos(), reason);
    char *wkt = GEOSGeomToWKT_r(geos(), g);
    text += std::string(" in ") + wkt;
    GEOSFree_r(geos(), wkt);
    return text;
}

double unionArea(const std::vector<GeosGeometry> &geometries) {
    std::vector<GEOSGeometry *> clones;
    for (const GeosGeometry &g : geometries) clones.push_back(GEOSGeom_clone_r(geos(), g.get()));
    const GeosGeometry collection(GEOSGeom_createCollection_r(geos(), GEOS_GEOMETRYCOLLECTION, clones.data(),
                                                              unsigned(clones.size())));
    const GeosGeometry merged(GEOSUnaryUnion_r(geos(), collection.get()));
    if (!merged) throw std::runtime_error("GEOS cannot unite the polygons (an invalid one among them)");
    return area(merged.get());
}

}  // namespace kvgtest
