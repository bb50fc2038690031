// Shapes: sub-drawings defined once in the definitions section and drawn, stamped or repeated
// from the layers.
//
// A shape definition is written through shape.state, a copy of the global stream that takes
// over its pending bits and graphic state when the definition begins and hands them back when
// it ends; meanwhile `cur` points at it, so every drawing and attribute call lands in the shape.
//
// A shape is drawn about its own origin, the world origin (0, 0): while it is defined, every
// position is mapped as in the layers and then taken relative to the mapped world origin, so
// that the definition is the same wherever the world window lies. In a window centred on 0 the
// world origin maps to exactly 0, and the positions are the layers' own.
#include <algorithm>

#include "kvgwriter_internal.h"

namespace {

// Identifiers and counts of the format hold 22 bits.
constexpr uint32_t MAX_SHAPE_ID = KVGT_SIZE_MAX;

// The checks every use of a shape makes before anything is converted.
int checkShapeUse(KVG_File *fl, uint32_t id) {
    if (fl->shape.defining) return KVG_FAIL_WITH_CODE(fl, ERR_INSHAPE, KVG_ERR_LIMITS);
    if (id >= fl->shape.next_id) return KVG_FAIL(fl, ERR_SHAPEID);
    return 0;
}

}  // namespace

int KVG_beginSetShape(KVG_File *fl, double w, double h, uint32_t *id) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE_NOT_NULL(id);
    if (fl->shape.defining) return KVG_FAIL(fl, ERR_NESTEDSHAPE);
    if (fl->shape.next_id > MAX_SHAPE_ID) return KVG_FAIL(fl, ERR_SHAPELIMIT);

    fl->grid.origin = mapWorld(fl, 0.0, 0.0);
    const FilePoint corner = toFilePoint(fl, w, h);
    if (checkFinite(fl, corner) != 0 ||
        fitPointSize(fl->global, KVGT_MinPointSize(corner.x, corner.y)) != 0 ||
        KVGF_BeginSetShape(fl->global, corner.x, corner.y) != 0) {
        fl->grid.origin = {0.0, 0.0};
        return -1;
    }

    fl->shape.defining = 1;
    KVGF_CopyStates(&fl->shape.state, fl->global);
    fl->cur = &fl->shape.state;
    *id = fl->shape.next_id++;
    return 0;
}

int KVG_endSetShape(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (!fl->shape.defining) return KVG_FAIL(fl, ERR_NOTINSHAPE);
    // Through the shape stream: its pending bits are completed before the end code.
    if (KVGF_EndSetShape(&fl->shape.state) != 0) return -1;

    fl->shape.defining = 0;
    fl->grid.origin = {0.0, 0.0};
    fl->cur = fl->layers;
    KVGF_CopyStates(fl->global, &fl->shape.state);
    return 0;
}

int KVG_shape(KVG_File *fl, uint32_t id, double x, double y, double rotation, double w,
              double h) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (checkShapeUse(fl, id) != 0) return -1;

    // The half-size is the difference of two converted points, so that the shape's corner
    // lands on the grid point its centre and extent round to.
    const FilePoint center = toFilePoint(fl, x, y);
    const FilePoint half = difference(toFilePoint(fl, x + w / 2, y + h / 2), center);
    if (checkFinite(fl, center, half) != 0 || checkFiniteAngle(fl, rotation) != 0) return -1;
    if (half.x == 0 || half.y == 0) return -2;

    // Both the centre and the half-size are written as absolute points.
    const uint8_t size = std::max(KVGT_MinPointSize(center.x, center.y),
                                  KVGT_MinPointSize(half.x, half.y));
    if (fitPointSize(fl->cur, size) != 0) return -1;
    return KVGF_Shape(fl->cur, id, center.x, center.y, rotation, half.x, half.y);
}

int KVG_stampShape(KVG_File *fl, uint32_t id, double x, double y) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (checkShapeUse(fl, id) != 0) return -1;

    const FilePoint at = toFilePoint(fl, x, y);
    if (checkFinite(fl, at) != 0) return -1;
    if (fitPointSize(fl->cur, KVGT_MinPointSize(at.x, at.y)) != 0) return -1;
    // Stamping the stream's last shape again needs no identifier.
    if (id == fl->cur->shape_last_id) return KVGF_RepeatShape(fl->cur, at.x, at.y);
    return KVGF_StampShape(fl->cur, id, at.x, at.y);
}
