// Layers, objects, extensions, primitives (polylines, polygons, cubic curves) built point by
// point, arcs and text.
//
// A primitive is collected as the differences between consecutive points, in file units, with
// the smallest relative point size that holds all of them; KVG_end sizes the stream and writes
// the one record.
#include <algorithm>

#include "array.h"
#include "kvgfunction_internal.h"
#include "kvgwriter_internal.h"

namespace {

bool samePoint(FilePoint a, double x, double y) { return a.x == x && a.y == y; }

FilePoint lastPoint(const KVG_File *fl) { return {fl->primitive.last_x, fl->primitive.last_y}; }

void closePrimitive(KVG_File *fl) {
    fl->primitive.defining = 0;
    fl->primitive.npts = 0;
    paReset(fl->primitive.pts);
}

// Appends the difference from the last accepted point to `p` and makes `p` the last point.
// Inline: out of line, `p` crosses the stack as two 8-byte stores read back by one 16-byte
// load, which store forwarding cannot serve, a stall on every vertex.
inline void appendPoint(KVG_File *fl, FilePoint p) {
    auto &prim = fl->primitive;
    const double dx = p.x - prim.last_x;
    const double dy = p.y - prim.last_y;
    kvgarray::appendPair(prim.pts, dx, dy);
    prim.last_x = p.x;
    prim.last_y = p.y;
    prim.rel_point_size = std::max(prim.rel_point_size, minRelPointSize(dx, dy));
}

// The checks every point-adding call makes: a primitive is open and of the right kind.
int checkOpenPrimitive(KVG_File *fl, bool wants_cubic) {
    if (fl->primitive.defining == 0) return KVG_FAIL(fl, ERR_NOTINPRIMITIVE);
    const bool is_cubic = fl->primitive.type == KVG_BEGIN_CUBIC;
    const bool is_vertex_type =
        fl->primitive.type == KVG_BEGIN_POLYLINE || fl->primitive.type == KVG_BEGIN_POLYGON;
    if (wants_cubic ? !is_cubic : !is_vertex_type) return KVG_FAIL(fl, ERR_PRIMITIVETYPE);
    return 0;
}

// Writes the primitive's record with its first `n` differences, then closes the primitive.
int writePrimitive(KVG_File *fl, int code, uint32_t n) {
    KVGF_State *st = fl->cur;
    const auto &prim = fl->primitive;
    const double *relpoints = paPointer(prim.pts);
    int result = -1;
    if (code == KVGF_CODE_DRAW_CUBIC_BEZIER || code == KVGF_CODE_FILL_CUBIC_BEZIER) {
        result = code == KVGF_CODE_FILL_CUBIC_BEZIER
                     ? KVGF_FillCubicBezier(st, prim.x, prim.y, relpoints, n / 3)
                     : KVGF_DrawCubicBezier(st, prim.x, prim.y, relpoints, n / 3);
    } else if (checkSizeLimit(st, n) == 0) {
        // The stream was sized for every difference as it arrived: no second pass is needed.
        result = writePolyRecord(st, code, prim.x, prim.y, relpoints, n);
    }
    closePrimitive(fl);
    return result;
}

int endPolyline(KVG_File *fl, uint32_t n) {
    if (fl->primitive.npts == 0) return KVG_FAIL(fl, ERR_POINTS);
    if (n == 0) {
        closePrimitive(fl);
        return -2;
    }
    return writePrimitive(fl, KVGF_CODE_POLYLINE, n);
}

int endPolygon(KVG_File *fl, uint32_t n) {
    const auto &prim = fl->primitive;
    if (prim.npts <= 1) return KVG_FAIL(fl, ERR_POINTS);
    if (n <= 1) {
        closePrimitive(fl);
        return -2;
    }
    // A polygon closed explicitly by the caller: the fill record leaves out the closing step.
    const bool closed = prim.last_x == prim.x && prim.last_y == prim.y;
    const uint32_t m = closed ? n - 1 : n;
    if (m <= 1) return KVG_FAIL(fl, ERR_POINTS);
    return fl->fill != 0 ? writePrimitive(fl, KVGF_CODE_FILL_POLYGON, m)
                         : writePrimitive(fl, KVGF_CODE_DRAW_POLYGON, n);
}

int endCubic(KVG_File *fl, uint32_t n) {
    if (n % 3 != 0) return KVG_FAIL(fl, ERR_CUBICCTRLPOINTS);
    if (fl->primitive.npts <= 2) return KVG_FAIL(fl, ERR_POINTS);
    if (n <= 2) {
        closePrimitive(fl);
        return -2;
    }
    return writePrimitive(fl,
                          fl->fill != 0 ? KVGF_CODE_FILL_CUBIC_BEZIER
                                        : KVGF_CODE_DRAW_CUBIC_BEZIER,
                          n);
}

}  // namespace

int KVG_extension(KVG_File *fl, const char *parameter, const char *value) {
    KVG_REQUIRE_NOT_NULL(fl);
    return KVGF_Extension(fl->cur, parameter, value);
}

int KVG_beginLayer(KVG_File *fl, const char *name, uint8_t vis, uint8_t detect) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (fl->shape.defining != 0) return KVG_FAIL(fl, ERR_INSHAPE);
    KVGF_State *st = fl->cur;
    // A reader sees no layer record for a refused start, so the stream must not change either.
    if (checkLayerArguments(st, vis, detect, name) != 0) return -1;
    KVGF_ResetStateDefaults(st);
    fl->fill = 0;
    st->color_size = fl->layer.color_size;
    st->point_size = fl->layer.point_size;
    st->rel_point_size = fl->layer.rel_point_size;
    return KVGF_Layer(st, vis, detect, name);
}

int KVG_beginObject(KVG_File *fl, const char *name) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (fl->shape.defining != 0) return KVG_FAIL(fl, ERR_INSHAPE);
    return KVGF_Object(fl->cur, name);
}

int KVG_endObject(KVG_File *fl) { return KVG_beginObject(fl, ""); }

int KVG_begin(KVG_File *fl, int type, double x, double y) {
    KVG_REQUIRE_NOT_NULL(fl);
    auto &prim = fl->primitive;
    if (prim.defining != 0) return KVG_FAIL(fl, ERR_NESTEDPRIMITIVE);
    const FilePoint start = toFilePoint(fl, x, y);
    if (checkFinite(fl, start) != 0) return -1;
    prim.defining = 1;
    prim.type = type;
    prim.rel_point_size = 3;
    prim.npts = 0;
    paReset(prim.pts);
    prim.x = prim.last_x = start.x;
    prim.y = prim.last_y = start.y;
    return 0;
}

int KVG_vertex(KVG_File *fl, double x, double y) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (checkOpenPrimitive(fl, false) != 0) return -1;
    const FilePoint p = toFilePoint(fl, x, y);
    // The start point was finite, so a finite step means a finite point.
    if (checkFinite(fl, difference(p, lastPoint(fl))) != 0) return -1;
    auto &prim = fl->primitive;
    ++prim.npts;
    if (samePoint(p, prim.last_x, prim.last_y)) return -2;
    appendPoint(fl, p);
    return 0;
}

int KVG_cubic(KVG_File *fl, double ctrl1_x, double ctrl1_y, double ctrl2_x, double ctrl2_y,
              double end_x, double end_y) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (checkOpenPrimitive(fl, true) != 0) return -1;
    const FilePoint ctrl1 = toFilePoint(fl, ctrl1_x, ctrl1_y);
    const FilePoint ctrl2 = toFilePoint(fl, ctrl2_x, ctrl2_y);
    const FilePoint end = toFilePoint(fl, end_x, end_y);
    if (checkFinite(fl, difference(ctrl1, lastPoint(fl)), difference(ctrl2, ctrl1)) != 0 ||
        checkFinite(fl, difference(end, ctrl2)) != 0) {
        return -1;
    }
    auto &prim = fl->primitive;
    prim.npts += 3;
    if (samePoint(ctrl1, prim.last_x, prim.last_y) && samePoint(ctrl2, ctrl1.x, ctrl1.y) &&
        samePoint(end, ctrl2.x, ctrl2.y)) {
        return -2;
    }
    appendPoint(fl, ctrl1);
    appendPoint(fl, ctrl2);
    appendPoint(fl, end);
    return 0;
}

int KVG_end(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    auto &prim = fl->primitive;
    if (prim.defining == 0) return KVG_FAIL(fl, ERR_NOTINPRIMITIVE);
    if (fitPointSize(fl->cur, KVGT_MinPointSize(prim.x, prim.y)) != 0 ||
        fitRelPointSize(fl->cur, prim.rel_point_size) != 0) {
        return -1;
    }
    const uint32_t n = paSize(prim.pts);
    switch (prim.type) {
        case KVG_BEGIN_POLYLINE: return endPolyline(fl, n);
        case KVG_BEGIN_POLYGON: return endPolygon(fl, n);
        case KVG_BEGIN_CUBIC: return endCubic(fl, n);
        default: closePrimitive(fl); return -1;  // a type outside the enumeration: no record
    }
}

int KVG_arc(KVG_File *fl, double x, double y, double w, double h, double start, double end) {
    KVG_REQUIRE_NOT_NULL(fl);
    const FilePoint center = toFilePoint(fl, x, y);
    const FilePoint extent = toFileExtent(fl, w, h);
    const FilePoint half{extent.x * 0.5, extent.y * 0.5};
    if (checkFinite(fl, center, half) != 0 || checkFiniteAngle(fl, start) != 0 ||
        checkFiniteAngle(fl, end) != 0) {
        return -1;
    }
    if (half.x == 0.0 || half.y == 0.0) return -2;
    KVGF_State *st = fl->cur;
    if (fitFigure(st, center, &half) != 0) return -1;
    return fl->fill != 0 ? KVGF_FillArc(st, center.x, center.y, half.x, half.y, start, end)
                         : KVGF_DrawArc(st, center.x, center.y, half.x, half.y, start, end);
}

int KVG_text(KVG_File *fl, double x, double y, const char *text) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (text == nullptr) return KVGF_Text(fl->cur, 0.0, 0.0, text);  // "String is NULL"
    const FilePoint p = toFilePoint(fl, x, y);
    if (checkFinite(fl, p) != 0) return -1;
    if (text[0] == '\0') return 0;
    if (fitFigure(fl->cur, p, nullptr) != 0) return -1;
    return KVGF_Text(fl->cur, p.x, p.y, text);
}
