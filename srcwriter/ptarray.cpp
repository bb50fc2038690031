#include "ptarray.h"

#include "array.h"

PointArray *paCreate(uint32_t ncoords) { return kvgarray::create<PointArray>(ncoords); }

void paDestroy(PointArray *pa) {
    KVG_REQUIRE_NOT_NULL(pa);
    kvgarray::destroy(pa);
}

void paAdd(PointArray *pa, double x, double y) {
    KVG_REQUIRE_NOT_NULL(pa);
    kvgarray::appendPair(pa, x, y);
}

void paGet(const PointArray *pa, uint32_t n, double *x, double *y) {
    KVG_REQUIRE_NOT_NULL(pa);
    KVG_REQUIRE(n < pa->ncoords / 2);  // n * 2 < ncoords, without overflow
    const double *point = pa->coords + size_t{n} * 2;
    if (x != nullptr) *x = point[0];
    if (y != nullptr) *y = point[1];
}

void paReset(PointArray *pa) {
    KVG_REQUIRE_NOT_NULL(pa);
    pa->ncoords = 0;
}

uint32_t paSize(const PointArray *pa) {
    KVG_REQUIRE_NOT_NULL(pa);
    return pa->ncoords / 2;
}

double *paPointer(PointArray *pa) {
    KVG_REQUIRE_NOT_NULL(pa);
    return pa->coords;
}
