// The edge segment optimizer: cuts the point differences of an edge into segments of one
// relative point size each, at the least cost in bytes.
#ifndef KVGOPT_H
#define KVGOPT_H

#include "larray.h"
#include "ptarray.h"
#include "ucarray.h"
#include "ularray.h"

#ifdef __cplusplus
extern "C" {
#endif

// Fills `modes` with each segment's relative point size in bits and `segments` with its number
// of differences, in edge order; both are emptied first. `points` holds at least one
// difference.
KVG_API void KVGO_EdgeOptimize(const PointArray *points, UCharArray *modes,
                               ULongArray *segments);

#ifdef __cplusplus
}
#endif

#endif  // KVGOPT_H
