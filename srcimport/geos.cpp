#include "geos.h"

#include <geos_c.h>

#include <cmath>
#include <memory>

namespace kvgimport {

namespace {

// One GEOS context per thread, which its reentrant interface needs.
GEOSContextHandle_t context() {
    struct Context {
        GEOSContextHandle_t handle = GEOS_init_r();
        ~Context() { GEOS_finish_r(handle); }
    };
    thread_local Context c;
    return c.handle;
}

struct GeometryDeleter {
    void operator()(GEOSGeometry *g) const { GEOSGeom_destroy_r(context(), g); }
};
using Geometry = std::unique_ptr<GEOSGeometry, GeometryDeleter>;

struct TextDeleter {
    void operator()(char *text) const { GEOSFree_r(context(), text); }
};

Geometry checked(GEOSGeometry *g) {
    if (g == nullptr) throw GeometryError("a polygon that GEOS cannot take");
    return Geometry(g);
}

GEOSCoordSequence *sequence(const std::vector<Pos> &positions) {
    GEOSCoordSequence *seq = GEOSCoordSeq_create_r(context(), unsigned(positions.size()), 2);
    for (unsigned i = 0; i < positions.size(); ++i)
        GEOSCoordSeq_setXY_r(context(), seq, i, positions[i].x, positions[i].y);
    return seq;
}

GEOSGeometry *linearRing(const Ring &ring) {
    return GEOSGeom_createLinearRing_r(context(), sequence(ring));  // takes the sequence
}

Geometry toGeos(const Polygon &polygon) {
    std::vector<GEOSGeometry *> holes;
    for (size_t r = 1; r < polygon.rings.size(); ++r) holes.push_back(linearRing(polygon.rings[r]));
    return checked(GEOSGeom_createPolygon_r(context(), linearRing(polygon.rings.front()),
                                            holes.data(), unsigned(holes.size())));
}

Ring fromGeos(const GEOSGeometry *ring) {
    const GEOSCoordSequence *seq = GEOSGeom_getCoordSeq_r(context(), ring);
    unsigned size = 0;
    GEOSCoordSeq_getSize_r(context(), seq, &size);
    Ring result(size);
    for (unsigned i = 0; i < size; ++i)
        GEOSCoordSeq_getXY_r(context(), seq, i, &result[i].x, &result[i].y);
    return result;
}

void collectPaths(const GEOSGeometry *g, std::vector<Path> &out) {
    const int type = GEOSGeomTypeId_r(context(), g);
    if (type == GEOS_LINESTRING) {
        if (GEOSisEmpty_r(context(), g) == 0) out.push_back(fromGeos(g));
    } else if (type == GEOS_MULTILINESTRING || type == GEOS_GEOMETRYCOLLECTION) {
        for (int i = 0; i < GEOSGetNumGeometries_r(context(), g); ++i)
            collectPaths(GEOSGetGeometryN_r(context(), g, i), out);
    }
}

void collectPolygons(const GEOSGeometry *g, std::vector<Polygon> &out) {
    const int type = GEOSGeomTypeId_r(context(), g);
    if (type == GEOS_POLYGON) {
        if (GEOSisEmpty_r(context(), g) == 1) return;
        Polygon polygon;
        polygon.rings.push_back(fromGeos(GEOSGetExteriorRing_r(context(), g)));
        for (int i = 0; i < GEOSGetNumInteriorRings_r(context(), g); ++i)
            polygon.rings.push_back(fromGeos(GEOSGetInteriorRingN_r(context(), g, i)));
        out.push_back(std::move(polygon));
    } else if (type == GEOS_MULTIPOLYGON || type == GEOS_GEOMETRYCOLLECTION) {
        for (int i = 0; i < GEOSGetNumGeometries_r(context(), g); ++i)
            collectPolygons(GEOSGetGeometryN_r(context(), g, i), out);
    }
}

}  // namespace

std::optional<std::string> invalidity(const Polygon &polygon) {
    const Geometry g = toGeos(polygon);
    if (GEOSisValid_r(context(), g.get()) == 1) return std::nullopt;
    const std::unique_ptr<char, TextDeleter> reason(GEOSisValidReason_r(context(), g.get()));
    return reason ? std::string(reason.get()) : "an invalid polygon";
}

std::vector<Polygon> makeValid(const Polygon &polygon) {
    // The structure method keeps the area inside the outer ring less the holes, as a map
    // means it, and is much faster on large polygons than tracing the linework.
    struct ParamsDeleter {
        void operator()(GEOSMakeValidParams *p) const { GEOSMakeValidParams_destroy_r(context(), p); }
    };
    const std::unique_ptr<GEOSMakeValidParams, ParamsDeleter> params(GEOSMakeValidParams_create_r(context()));
    GEOSMakeValidParams_setMethod_r(context(), params.get(), GEOS_MAKE_VALID_STRUCTURE);
    GEOSMakeValidParams_setKeepCollapsed_r(context(), params.get(), 0);
    const Geometry valid =
        checked(GEOSMakeValidWithParams_r(context(), toGeos(polygon).get(), params.get()));
    std::vector<Polygon> result;
    collectPolygons(valid.get(), result);
    return result;
}

std::vector<Polygon> clip(const Polygon &polygon, double xmin, double xmax, double ymin,
                          double ymax) {
    const Geometry g = toGeos(polygon);
    const Geometry clipped =
        checked(GEOSClipByRect_r(context(), g.get(), xmin, ymin, xmax, ymax));
    std::vector<Polygon> result;
    collectPolygons(clipped.get(), result);
    return result;
}

std::vector<Polygon> intersection(const Polygon &polygon, const Polygon &area) {
    const Geometry common = checked(GEOSIntersection_r(context(), toGeos(polygon).get(), toGeos(area).get()));
    std::vector<Polygon> result;
    collectPolygons(common.get(), result);
    return result;
}

std::vector<Path> intersection(const Path &path, const Polygon &area) {
    const Geometry line = checked(GEOSGeom_createLineString_r(context(), sequence(path)));
    const Geometry common = checked(GEOSIntersection_r(context(), line.get(), toGeos(area).get()));
    // The pieces as GEOS gives them, joined where one ends at the next one's start.
    const Geometry merged = checked(GEOSLineMerge_r(context(), common.get()));
    std::vector<Path> result;
    collectPaths(merged.get(), result);
    return result;
}

Circle maximumInscribedCircle(const Polygon &polygon, double tolerance) {
    // GEOS gives the circle as the line from its centre to the nearest point of the boundary.
    const Geometry line =
        checked(GEOSMaximumInscribedCircle_r(context(), toGeos(polygon).get(), tolerance));
    const Ring ends = fromGeos(line.get());
    if (ends.size() < 2) return {pointOnSurface(polygon), 0};
    return {ends[0], std::hypot(ends[1].x - ends[0].x, ends[1].y - ends[0].y)};
}

Pos pointOnSurface(const Polygon &polygon) {
    const Geometry point = checked(GEOSPointOnSurface_r(context(), toGeos(polygon).get()));
    Pos p{0, 0};
    GEOSGeomGetX_r(context(), point.get(), &p.x);
    GEOSGeomGetY_r(context(), point.get(), &p.y);
    return p;
}

double area(const Polygon &polygon) {
    double a = 0;
    GEOSArea_r(context(), toGeos(polygon).get(), &a);
    return a;
}

}  // namespace kvgimport
