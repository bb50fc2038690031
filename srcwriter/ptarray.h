// A growable array of points, stored as consecutive coordinate pairs x0, y0, x1, y1, ...
#ifndef PTARRAY_H
#define PTARRAY_H

#include <stdint.h>

#include "kvgwriter.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _PointArray {
    double *coords;
    uint32_t ncoords;     // doubles stored: twice the number of points
    uint32_t alloc_size;  // capacity in doubles; coords is NULL exactly when it is 0
} PointArray;

KVG_API PointArray *paCreate(uint32_t ncoords);
KVG_API void paDestroy(PointArray *pa);
KVG_API void paAdd(PointArray *pa, double x, double y);
KVG_API void paGet(const PointArray *pa, uint32_t n, double *x, double *y);
KVG_API void paReset(PointArray *pa);
KVG_API uint32_t paSize(const PointArray *pa);
KVG_API double *paPointer(PointArray *pa);

#ifdef __cplusplus
}
#endif

#endif  // PTARRAY_H
