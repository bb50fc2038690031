// Marks, lines, boxes, circles and ellipses: single figures that need no definition. Each
// converts its world coordinates to the file grid, sizes the current stream for its point and
// difference on the path every figure shares, and writes one drawing record.
#include <cmath>
#include <cstdint>

#include "kvgwriter_internal.h"

namespace {

// A figure that came to nothing on the file grid: nothing is written, nothing recorded.
constexpr int NOTHING_DRAWN = -2;

// The records of a figure given as one point and one difference from it.
using FigureRecord = int (*)(KVGF_State *, double, double, double, double);

// Sizes the stream for the point and the difference, then writes the record; the caller has
// checked that both are finite.
int writeFigure(KVG_File *fl, FigureRecord record, FilePoint point, FilePoint delta) {
    if (fitFigure(fl->cur, point, &delta) != 0) return -1;
    return record(fl->cur, point.x, point.y, delta.x, delta.y);
}

// A radius the circle record can carry: a whole number of file units within its Size field.
bool isCircleRadius(double radius) {
    return radius > 0.0 && radius <= KVGT_SIZE_MAX && radius == std::floor(radius);
}

}  // namespace

int KVG_mark(KVG_File *fl, double x, double y) {
    KVG_REQUIRE_NOT_NULL(fl);
    const FilePoint point = toFilePoint(fl, x, y);
    if (checkFinite(fl, point) != 0 || fitFigure(fl->cur, point, nullptr) != 0) return -1;
    return KVGF_Mark(fl->cur, point.x, point.y);
}

int KVG_line(KVG_File *fl, double x1, double y1, double x2, double y2) {
    KVG_REQUIRE_NOT_NULL(fl);
    const FilePoint start = toFilePoint(fl, x1, y1);
    const FilePoint delta = difference(toFilePoint(fl, x2, y2), start);
    if (checkFinite(fl, start, delta) != 0) return -1;
    if (delta.x == 0.0 && delta.y == 0.0) return NOTHING_DRAWN;
    return writeFigure(fl, KVGF_Line, start, delta);
}

// Negative widths and heights are written as they are: the difference leads to the opposite
// corner whichever way it lies. A box is nothing when a side vanishes as written: one of at
// most 2^-150 file units (raw mode) rounds to 0 in the single precision it is written in.
int KVG_box(KVG_File *fl, double x, double y, double w, double h) {
    KVG_REQUIRE_NOT_NULL(fl);
    const FilePoint corner = toFilePoint(fl, x, y);
    const FilePoint delta = difference(toFilePoint(fl, x + w, y + h), corner);
    if (checkFinite(fl, corner, delta) != 0) return -1;
    if (!(std::fabs(delta.x) > 0x1p-150) || !(std::fabs(delta.y) > 0x1p-150)) return NOTHING_DRAWN;
    return writeFigure(fl, fl->fill ? KVGF_FillBox : KVGF_DrawBox, corner, delta);
}

// The radius in file units is not rounded. One that is not a whole number, and one that the
// circle record's Size field cannot carry (0, negative, 4194304 or more), goes to the ellipse
// before anything is written; the ellipse refuses half-axes that are not positive.
int KVG_circle(KVG_File *fl, double x, double y, double radius) {
    KVG_REQUIRE_NOT_NULL(fl);
    const double file_radius = radius * fl->scale;
    if (!isCircleRadius(file_radius)) return KVG_ellipse(fl, x, y, 2 * radius, 2 * radius);
    const FilePoint center = toFilePoint(fl, x, y);
    if (checkFinite(fl, center) != 0 || fitFigure(fl->cur, center, nullptr) != 0) return -1;
    const auto record = fl->fill ? KVGF_FillCircle : KVGF_DrawCircle;
    return record(fl->cur, center.x, center.y, static_cast<uint32_t>(file_radius));
}

// The half-axes are the difference from the centre to the converted corner. An ellipse thinner
// than the grid would lose an axis that way, so it keeps its exact half-axes instead, which
// are usually fractional.
int KVG_ellipse(KVG_File *fl, double x, double y, double w, double h) {
    KVG_REQUIRE_NOT_NULL(fl);
    const FilePoint center = toFilePoint(fl, x, y);
    FilePoint half_axes = difference(toFilePoint(fl, x + w / 2, y + h / 2), center);
    if (half_axes.x == 0.0 || half_axes.y == 0.0) {
        half_axes = {w * fl->scale / 2, h * fl->scale / 2};
    }
    if (checkFinite(fl, center, half_axes) != 0) return -1;
    return writeFigure(fl, fl->fill ? KVGF_FillEllipse : KVGF_DrawEllipse, center, half_axes);
}
