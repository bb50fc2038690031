// Layers, objects, extensions, primitives (polylines, polygons, cubic curves) built point by
// point, arcs and text.
//
// A primitive is collected as the differences between consecutive points, in file units;
// KVG_end finds the smallest relative point size that holds all of them, sizes the stream and
// writes the one record. The bulk calls collect exactly what the per-point calls collect.
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
// load, which store forwarding cannot serve, a stall on every vertex. The differences' sizes
// are found once, when the primitive ends.
inline void appendPoint(KVG_File *fl, FilePoint p) {
    auto &prim = fl->primitive;
    kvgarray::appendPair(prim.pts, p.x - prim.last_x, p.y - prim.last_y);
    prim.last_x = p.x;
    prim.last_y = p.y;
}

bool isPrimitiveType(int type) {
    return type == KVG_BEGIN_POLYLINE || type == KVG_BEGIN_POLYGON || type == KVG_BEGIN_CUBIC;
}

bool takesVertices(const KVG_File *fl) {
    const int type = fl->primitive.type;
    return fl->primitive.defining != 0 &&
           (type == KVG_BEGIN_POLYLINE || type == KVG_BEGIN_POLYGON);
}

// The checks every point-adding call makes: a primitive is open and of the right kind.
int checkOpenPrimitive(KVG_File *fl, bool wants_cubic) {
    if (fl->primitive.defining == 0) return KVG_FAIL(fl, ERR_NOTINPRIMITIVE);
    const bool is_cubic = fl->primitive.type == KVG_BEGIN_CUBIC;
    if (wants_cubic ? !is_cubic : !takesVertices(fl)) return KVG_FAIL(fl, ERR_PRIMITIVETYPE);
    return 0;
}

// KVG_vertex's file position `p`, finite and finitely far from the last vertex: counted, and
// dropped (-2) when it repeats the last vertex, else appended (0).
inline int takeVertex(KVG_File *fl, Pair p) {
    auto &prim = fl->primitive;
    const Pair last = {prim.last_x, prim.last_y};
    ++prim.npts;
    if (bothLanes(p == last)) return -2;
    prim.last_x = p[0];
    prim.last_y = p[1];
    return appendStep(prim.pts, p - last);
}

// KVG_vertex for a mapped position that the fast rounding does not take.
[[gnu::noinline]] int takeExactVertex(KVG_File *fl, Pair v) {
    Pair p;
    if (!exactVertex(fl, v, Pair{fl->primitive.last_x, fl->primitive.last_y}, p)) {
        return KVG_FAIL(fl, ERR_NOTFINITE);
    }
    return takeVertex(fl, p);
}

// Adds `n` positions (x, y pairs) to the open polyline or polygon, as n KVG_vertex calls do:
// positions that fall on their predecessor are counted but dropped. 0, or -1 with none added.
int addVertices(KVG_File *fl, size_t n, const double *xy) {
    auto &prim = fl->primitive;
    FilePoint last = lastPoint(fl);
    if (appendPositions(fl, prim.pts, last, n, xy, UINT32_MAX) != 0) return -1;
    prim.last_x = last.x;
    prim.last_y = last.y;
    prim.npts += n;
    return 0;
}

// Adds one cubic segment, its two control points and its end point (six coordinates), to the
// open cubic primitive: 0, -2 when all three fall on the last point (dropped), or -1.
int addSegment(KVG_File *fl, const double *segment) {
    const FilePoint ctrl1 = toFilePoint(fl, segment[0], segment[1]);
    const FilePoint ctrl2 = toFilePoint(fl, segment[2], segment[3]);
    const FilePoint end = toFilePoint(fl, segment[4], segment[5]);
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
    if (!isPrimitiveType(type)) return KVG_FAIL(fl, ERR_PRIMITIVETYPE);
    const FilePoint start = toFilePoint(fl, x, y);
    if (checkFinite(fl, start) != 0) return -1;
    prim.defining = 1;
    prim.type = type;
    prim.npts = 0;
    paReset(prim.pts);
    prim.x = prim.last_x = start.x;
    prim.y = prim.last_y = start.y;
    return 0;
}

int KVG_vertex(KVG_File *fl, double x, double y) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (!takesVertices(fl)) [[unlikely]] return checkOpenPrimitive(fl, false);
    const Pair v = mapRelative(fl->grid, Pair{x, y});
    if (!quantizesFast(fl->grid, v)) [[unlikely]] return takeExactVertex(fl, v);
    return takeVertex(fl, roundHalfUpSmall(v));
}

int KVG_cubic(KVG_File *fl, double ctrl1_x, double ctrl1_y, double ctrl2_x, double ctrl2_y,
              double end_x, double end_y) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (checkOpenPrimitive(fl, true) != 0) return -1;
    const double segment[6] = {ctrl1_x, ctrl1_y, ctrl2_x, ctrl2_y, end_x, end_y};
    return addSegment(fl, segment);
}

int KVG_vertices(KVG_File *fl, size_t n, const double *xy) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (checkOpenPrimitive(fl, false) != 0) return -1;
    if (n == 0) return 0;
    KVG_REQUIRE_NOT_NULL(xy);
    return addVertices(fl, n, xy);
}

int KVG_polyline(KVG_File *fl, int type, size_t n, const double *xy) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (fl->primitive.defining != 0) return KVG_FAIL(fl, ERR_NESTEDPRIMITIVE);
    if (!isPrimitiveType(type)) return KVG_FAIL(fl, ERR_PRIMITIVETYPE);
    const bool cubic = type == KVG_BEGIN_CUBIC;
    if (n == 0) return KVG_FAIL(fl, ERR_POINTS);
    KVG_REQUIRE_NOT_NULL(xy);
    // The points after the start are whole segments of three, or KVG_cubic could not take them.
    if (cubic && (n - 1) % 3 != 0) {
        return KVG_FAIL_WITH_CODE(fl, ERR_CUBICCTRLPOINTS, KVG_ERR_PARAM);
    }
    if (KVG_begin(fl, type, xy[0], xy[1]) != 0) return -1;
    int added = 0;
    if (cubic) {
        for (size_t i = 1; i < n && added != -1; i += 3) added = addSegment(fl, xy + 2 * i);
    } else {
        added = addVertices(fl, n - 1, xy + 2);
    }
    if (added == -1) {
        closePrimitive(fl);
        return -1;
    }
    const int result = KVG_end(fl);
    if (fl->primitive.defining != 0) closePrimitive(fl);  // refused by KVG_end: dropped
    return result;
}

int KVG_end(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    auto &prim = fl->primitive;
    if (prim.defining == 0) return KVG_FAIL(fl, ERR_NOTINPRIMITIVE);
    const uint32_t n = paSize(prim.pts);
    if (fitPointSize(fl->cur, KVGT_MinPointSize(prim.x, prim.y)) != 0 ||
        fitRelPointSize(fl->cur, largestRelPointSize(paPointer(prim.pts), n)) != 0) {
        return -1;
    }
    switch (prim.type) {
        case KVG_BEGIN_POLYLINE: return endPolyline(fl, n);
        case KVG_BEGIN_POLYGON: return endPolygon(fl, n);
        default: return endCubic(fl, n);  // KVG_begin opens no other type
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
