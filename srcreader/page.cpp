// The page mapping: the one definition every renderer and client of the reader uses.
#include <cmath>

#include "kvgreader.h"

namespace {

// What a NULL header or mapping stands for.
constexpr KVGR_PageMapping IDENTITY{1.0, {0.0, 0.0}, {0.0, 0.0}};

// Millimetres per file unit along one axis, if that axis gives a usable factor.
double axisScale(double millimetres, double windowFrom, double windowTo) {
    return millimetres / std::fabs(windowTo - windowFrom);
}

bool usable(double scale) { return std::isfinite(scale) && scale > 0.0; }

double centre(double from, double to) { return from + 0.5 * (to - from); }

}  // namespace

KVGR_PageMapping KVGR_pageMapping(const KVGR_Header *h) {
    if (h == nullptr) return IDENTITY;
    const double sx = axisScale(h->size_mm.x, h->window_min.x, h->window_max.x);
    const double sy = axisScale(h->size_mm.y, h->window_min.y, h->window_max.y);
    double s = 1.0;
    if (usable(sx) && usable(sy)) {
        s = std::fmin(sx, sy);
    } else if (usable(sx)) {
        s = sx;
    } else if (usable(sy)) {
        s = sy;
    }
    return {s,
            {centre(h->window_min.x, h->window_max.x), centre(h->window_min.y, h->window_max.y)},
            {0.5 * h->size_mm.x, 0.5 * h->size_mm.y}};
}

KVGR_Point KVGR_toPage(const KVGR_PageMapping *m, KVGR_Point file) {
    if (m == nullptr) m = &IDENTITY;
    return {(file.x - m->file_centre.x) * m->scale + m->page_centre.x,
            (file.y - m->file_centre.y) * m->scale + m->page_centre.y};
}

KVGR_Point KVGR_toPageExtent(const KVGR_PageMapping *m, KVGR_Point extent) {
    if (m == nullptr) m = &IDENTITY;
    return {extent.x * m->scale, extent.y * m->scale};
}
