// The drawing records: extensions, layers, objects, primitives, arcs, text, shape instances,
// images, simple figures, stamps and references to edges and faces.
//
// Each record checks every argument that would be refused while it is written (its own checks,
// then the limits and sizes the encoding layer enforces) before its code byte, so a refused
// record leaves nothing in the stream.
#include <cmath>
#include <cstring>

#include "kvgassert.h"
#include "kvgfunction_internal.h"

namespace {

// A text's length, or -1 after recording the size limit's message.
int64_t textLength(KVGF_State *st, const char *text) {
    const size_t length = std::strlen(text);
    if (length > KVGT_SIZE_MAX) return checkSizeLimit(st, KVGT_SIZE_MAX + 1u);
    return static_cast<int64_t>(length);
}

bool isTruthValue(int value) { return static_cast<uint8_t>(value) <= KVG_TRUE; }

// Shared by the three point-list records: checks, then the start point and the differences.
int polyRecord(KVGF_State *st, int code, double start_x, double start_y,
               const double *relpoints, uint32_t n) {
    KVG_REQUIRE_NOT_NULL(st);
    if (relpoints == nullptr) return KVGF_FAIL(st, ERR_NULLRELPTARRAY);
    if (n == 0) return KVGF_FAIL(st, ERR_EMPTYRELPTARRAY);
    if (checkSizeLimit(st, n) != 0) return -1;
    if (!pointFits(st, start_x, start_y) || verifyRelPoints(st, relpoints, n) != 0) return -1;
    return writePolyRecord(st, code, start_x, start_y, relpoints, n);
}

// Shared by the two cubic records, which write `written` of the 3 × nsegs differences.
int cubicRecord(KVGF_State *st, int code, double start_x, double start_y, const double *rest,
                uint32_t nsegs, uint32_t written) {
    return RecordOut(st, code)
        .size(nsegs)
        .point(start_x, start_y)
        .relPointRun(rest, written)
        .result();
}

int checkedCubicRecord(KVGF_State *st, int code, double start_x, double start_y,
                       const double *rest, uint32_t nsegs, bool filled) {
    KVG_REQUIRE_NOT_NULL(st);
    if (rest == nullptr) return KVGF_FAIL(st, ERR_NULLRELPTARRAY);
    if (nsegs == 0) return KVGF_FAIL(st, ERR_EMPTYRELPTARRAY);
    if (checkSizeLimit(st, nsegs) != 0) return -1;
    const uint32_t written = 3 * nsegs - (filled ? 1 : 0);
    if (!pointFits(st, start_x, start_y) || verifyRelPoints(st, rest, written) != 0) return -1;
    return cubicRecord(st, code, start_x, start_y, rest, nsegs, written);
}

int arcRecord(KVGF_State *st, int code, double center_x, double center_y, double bbox_ur_x,
              double bbox_ur_y, double start, double end) {
    if (notPositive(bbox_ur_x, bbox_ur_y, st->rel_point_size)) return KVGF_FAIL(st, ERR_BBOX);
    if (!pointFits(st, center_x, center_y) || !relPointFits(st, bbox_ur_x, bbox_ur_y) ||
        checkAngle(st, start) != 0 || checkAngle(st, end) != 0) {
        return -1;
    }
    return RecordOut(st, code)
        .point(center_x, center_y)
        .relPoint(bbox_ur_x, bbox_ur_y)
        .angle(start)
        .angle(end)
        .result();
}

// Boxes, lines and ellipses: a point and one difference from it.
int pointAndDifferenceRecord(KVGF_State *st, int code, double x, double y, double dx,
                             double dy) {
    if (!pointFits(st, x, y) || !relPointFits(st, dx, dy)) return -1;
    return RecordOut(st, code).point(x, y).relPoint(dx, dy).result();
}

int ellipseRecord(KVGF_State *st, int code, double center_x, double center_y, double bbox_ur_x,
                  double bbox_ur_y) {
    if (notPositive(bbox_ur_x, bbox_ur_y, st->rel_point_size)) return KVGF_FAIL(st, ERR_BBOX);
    return pointAndDifferenceRecord(st, code, center_x, center_y, bbox_ur_x, bbox_ur_y);
}

int circleRecord(KVGF_State *st, int code, double center_x, double center_y, uint32_t radius) {
    if (checkSizeLimit(st, radius) != 0 || !pointFits(st, center_x, center_y)) return -1;
    return RecordOut(st, code).point(center_x, center_y).size(radius).result();
}

}  // namespace

int checkAngle(KVGF_State *st, double angle) {
    // A finite angle always yields a point within its size's scale; a non-finite one yields
    // NaN, which only the 128-bit point size carries.
    if (std::isfinite(angle) || st->point_size == 128) return 0;
    return KVGF_FAIL(st, ERR_ANGLE);
}

int writePolyRecord(KVGF_State *st, int code, double start_x, double start_y,
                    const double *relpoints, uint32_t n) {
    return RecordOut(st, code).point(start_x, start_y).relPointArray(relpoints, n).result();
}

int KVGF_Extension(KVGF_State *st, const char *parameter, const char *value) {
    KVG_REQUIRE_NOT_NULL(st);
    if (parameter == nullptr) return KVGF_FAIL(st, ERR_NULLSTR);
    if (parameter[0] == '\0') return KVGF_FAIL(st, ERR_EMPTYSTR);
    const char *written_value = value != nullptr ? value : "";
    const int64_t parameter_length = textLength(st, parameter);
    const int64_t value_length = textLength(st, written_value);
    if (parameter_length < 0 || value_length < 0) return -1;
    return RecordOut(st, KVGF_CODE_EXTENSION)
        .text(parameter, static_cast<uint32_t>(parameter_length))
        .text(written_value, static_cast<uint32_t>(value_length))
        .result();
}

int checkLayerArguments(KVGF_State *st, int vis, int detect, const char *name) {
    if (name == nullptr) return KVGF_FAIL(st, ERR_NULLSTR);
    if (!isTruthValue(vis) || !isTruthValue(detect)) return KVGF_FAIL(st, ERR_BOOL);
    if (name[0] == '\0') return KVGF_FAIL(st, ERR_EMPTYSTR);
    return textLength(st, name) < 0 ? -1 : 0;
}

int KVGF_Layer(KVGF_State *st, int vis, int detect, const char *name) {
    KVG_REQUIRE_NOT_NULL(st);
    if (checkLayerArguments(st, vis, detect, name) != 0) return -1;
    const size_t length = std::strlen(name);
    return RecordOut(st, KVGF_CODE_LAYER)
        .bit(static_cast<uint8_t>(vis))
        .bit(static_cast<uint8_t>(detect))
        .text(name, static_cast<uint32_t>(length))
        .result();
}

int KVGF_Object(KVGF_State *st, const char *name) {
    KVG_REQUIRE_NOT_NULL(st);
    if (name == nullptr) return KVGF_FAIL(st, ERR_NULLSTR);
    const int64_t length = textLength(st, name);
    if (length < 0) return -1;
    return RecordOut(st, KVGF_CODE_OBJECT).text(name, static_cast<uint32_t>(length)).result();
}

int KVGF_Polyline(KVGF_State *st, double start_x, double start_y, const double *relpoints,
                  uint32_t nrelpoints) {
    return polyRecord(st, KVGF_CODE_POLYLINE, start_x, start_y, relpoints, nrelpoints);
}

int KVGF_DrawPolygon(KVGF_State *st, double start_x, double start_y, const double *relpoints,
                     uint32_t nrelpoints) {
    return polyRecord(st, KVGF_CODE_DRAW_POLYGON, start_x, start_y, relpoints, nrelpoints);
}

int KVGF_FillPolygon(KVGF_State *st, double start_x, double start_y, const double *relpoints,
                     uint32_t nrelpoints) {
    return polyRecord(st, KVGF_CODE_FILL_POLYGON, start_x, start_y, relpoints, nrelpoints);
}

int KVGF_DrawCubicBezier(KVGF_State *st, double start_x, double start_y, const double *rest,
                         uint32_t nsegs) {
    return checkedCubicRecord(st, KVGF_CODE_DRAW_CUBIC_BEZIER, start_x, start_y, rest, nsegs,
                              false);
}

int KVGF_FillCubicBezier(KVGF_State *st, double start_x, double start_y, const double *rest,
                         uint32_t nsegs) {
    return checkedCubicRecord(st, KVGF_CODE_FILL_CUBIC_BEZIER, start_x, start_y, rest, nsegs,
                              true);
}

int KVGF_DrawArc(KVGF_State *st, double center_x, double center_y, double bbox_ur_x,
                 double bbox_ur_y, double start, double end) {
    return arcRecord(st, KVGF_CODE_DRAW_ARC, center_x, center_y, bbox_ur_x, bbox_ur_y, start,
                     end);
}

int KVGF_FillArc(KVGF_State *st, double center_x, double center_y, double bbox_ur_x,
                 double bbox_ur_y, double start, double end) {
    return arcRecord(st, KVGF_CODE_FILL_ARC, center_x, center_y, bbox_ur_x, bbox_ur_y, start,
                     end);
}

int KVGF_Text(KVGF_State *st, double ref_point_x, double ref_point_y, const char *text) {
    KVG_REQUIRE_NOT_NULL(st);
    if (text == nullptr) return KVGF_FAIL(st, ERR_NULLSTR);
    const int64_t length = textLength(st, text);
    if (length < 0 || !pointFits(st, ref_point_x, ref_point_y)) return -1;
    return RecordOut(st, KVGF_CODE_TEXT)
        .point(ref_point_x, ref_point_y)
        .text(text, static_cast<uint32_t>(length))
        .result();
}

int KVGF_Shape(KVGF_State *st, uint32_t shape_id, double center_x, double center_y,
               double rotation, double bbox_ur_x, double bbox_ur_y) {
    KVG_REQUIRE_NOT_NULL(st);
    if (notPositive(bbox_ur_x, bbox_ur_y, st->point_size)) return KVGF_FAIL(st, ERR_BBOX);
    if (checkIdentifierLimit(st, shape_id) != 0) return -1;
    if (!pointFits(st, center_x, center_y) || checkAngle(st, rotation) != 0 ||
        !pointFits(st, bbox_ur_x, bbox_ur_y)) {
        return -1;
    }
    st->shape_last_id = shape_id;
    return RecordOut(st, KVGF_CODE_SHAPE)
        .identifier(shape_id)
        .point(center_x, center_y)
        .angle(rotation)
        .point(bbox_ur_x, bbox_ur_y)
        .result();
}

int KVGF_Image(KVGF_State *st, uint32_t image_id, double src_ll_x, double src_ll_y,
               double src_ur_x, double src_ur_y, double dst_ll_x, double dst_ll_y,
               double dst_ur_x, double dst_ur_y) {
    if (!(src_ur_x > src_ll_x) || !(src_ur_y > src_ll_y)) return KVGF_FAIL(st, ERR_SRCBBOX);
    if (notPositive(dst_ur_x, dst_ur_y, st->rel_point_size)) return KVGF_FAIL(st, ERR_DSTBBOX);
    if (checkIdentifierLimit(st, image_id) != 0) return -1;
    if (!pointFits(st, src_ll_x, src_ll_y) || !relPointFits(st, src_ur_x, src_ur_y) ||
        !pointFits(st, dst_ll_x, dst_ll_y) || !relPointFits(st, dst_ur_x, dst_ur_y)) {
        return -1;
    }
    return RecordOut(st, KVGF_CODE_IMAGE)
        .identifier(image_id)
        .point(src_ll_x, src_ll_y)
        .relPoint(src_ur_x, src_ur_y)
        .point(dst_ll_x, dst_ll_y)
        .relPoint(dst_ur_x, dst_ur_y)
        .result();
}

int KVGF_Mark(KVGF_State *st, double x, double y) {
    if (!pointFits(st, x, y)) return -1;
    return RecordOut(st, KVGF_CODE_MARK).point(x, y).result();
}

int KVGF_Line(KVGF_State *st, double p0_x, double p0_y, double p1_x, double p1_y) {
    return pointAndDifferenceRecord(st, KVGF_CODE_LINE, p0_x, p0_y, p1_x, p1_y);
}

int KVGF_DrawBox(KVGF_State *st, double ll_x, double ll_y, double ur_x, double ur_y) {
    return pointAndDifferenceRecord(st, KVGF_CODE_DRAW_BOX, ll_x, ll_y, ur_x, ur_y);
}

int KVGF_FillBox(KVGF_State *st, double ll_x, double ll_y, double ur_x, double ur_y) {
    return pointAndDifferenceRecord(st, KVGF_CODE_FILL_BOX, ll_x, ll_y, ur_x, ur_y);
}

int KVGF_DrawCircle(KVGF_State *st, double center_x, double center_y, uint32_t radius) {
    return circleRecord(st, KVGF_CODE_DRAW_CIRCLE, center_x, center_y, radius);
}

int KVGF_FillCircle(KVGF_State *st, double center_x, double center_y, uint32_t radius) {
    return circleRecord(st, KVGF_CODE_FILL_CIRCLE, center_x, center_y, radius);
}

int KVGF_DrawEllipse(KVGF_State *st, double center_x, double center_y, double bbox_ur_x,
                     double bbox_ur_y) {
    return ellipseRecord(st, KVGF_CODE_DRAW_ELLIPSE, center_x, center_y, bbox_ur_x, bbox_ur_y);
}

int KVGF_FillEllipse(KVGF_State *st, double center_x, double center_y, double bbox_ur_x,
                     double bbox_ur_y) {
    return ellipseRecord(st, KVGF_CODE_FILL_ELLIPSE, center_x, center_y, bbox_ur_x, bbox_ur_y);
}

int KVGF_StampShape(KVGF_State *st, uint32_t shape_id, double x, double y) {
    if (checkIdentifierLimit(st, shape_id) != 0 || !pointFits(st, x, y)) return -1;
    st->shape_last_id = shape_id;
    return RecordOut(st, KVGF_CODE_STAMP_SHAPE).identifier(shape_id).point(x, y).result();
}

int KVGF_RepeatShape(KVGF_State *st, double x, double y) {
    if (st->shape_last_id > KVGT_SIZE_MAX) return KVGF_FAIL(st, ERR_NOPREVIOUSSHAPE);
    if (!pointFits(st, x, y)) return -1;
    return RecordOut(st, KVGF_CODE_REPEAT_SHAPE).point(x, y).result();
}

int KVGF_FullImage(KVGF_State *st, uint32_t image_id, double dst_ll_x, double dst_ll_y,
                   double dst_ur_x, double dst_ur_y) {
    if (notPositive(dst_ur_x, dst_ur_y, st->rel_point_size)) return KVGF_FAIL(st, ERR_BBOX);
    if (checkIdentifierLimit(st, image_id) != 0) return -1;
    if (!pointFits(st, dst_ll_x, dst_ll_y) || !relPointFits(st, dst_ur_x, dst_ur_y)) return -1;
    return RecordOut(st, KVGF_CODE_FULL_IMAGE)
        .identifier(image_id)
        .point(dst_ll_x, dst_ll_y)
        .relPoint(dst_ur_x, dst_ur_y)
        .result();
}

int KVGF_DrawEdge(KVGF_State *st, int32_t edge_id) {
    if (checkSIdentifierLimit(st, edge_id) != 0) return -1;
    return RecordOut(st, KVGF_CODE_DRAW_EDGE).sidentifier(edge_id).result();
}

int KVGF_DrawEdgeRange(KVGF_State *st, int32_t edge_id_start, int32_t edge_id_end) {
    if (checkSIdentifierLimit(st, edge_id_start) != 0 ||
        checkSIdentifierLimit(st, edge_id_end) != 0) {
        return -1;
    }
    return RecordOut(st, KVGF_CODE_DRAW_EDGE_RANGE)
        .sidentifier(edge_id_start)
        .sidentifier(edge_id_end)
        .result();
}

int KVGF_FillFace(KVGF_State *st, uint32_t face_id) {
    if (checkIdentifierLimit(st, face_id) != 0) return -1;
    return RecordOut(st, KVGF_CODE_FILL_FACE).identifier(face_id).result();
}
