// The writer handle and what the families of the drawing interface share: the coordinate
// mapping, the one "convert, size, write" path and the interface's message table. Internal to
// the library.
#ifndef KVGWRITER_INTERNAL_H
#define KVGWRITER_INTERNAL_H

#include <stdint.h>

#include <cmath>
#include <cstring>

#include "array.h"
#include "gridmap.h"
#include "kvgassert.h"
#include "kvgfunction.h"
#include "kvgmessage.h"
#include "kvgtype.h"
#include "kvgwriter.h"
#include "larray.h"
#include "ptarray.h"
#include "ucarray.h"
#include "ularray.h"

struct _KVG_FileOptions {
    double wxmin, wxmax, wymin, wymax;  // world window
    double width_mm, height_mm;         // physical size, written to the header only
    int32_t width_res, height_res;      // file grid
    int raw;                            // non-zero: no rounding onto the grid
    KVG_Color bgcolor;                  // 0x00RRGGBB
    int comp;                           // 1: gzip-compressed output
    int sync;                           // 1: on the disk before it takes its name
};

// The options KVG_create uses when it is given none.
const KVG_FileOptions &defaultFileOptions();
// Why KVG_create refuses `opt` (options that would map every position to NaN or infinity), or
// null when they are usable.
const char *unusableOptions(const KVG_FileOptions &opt);

struct KvgWindow {
    double xmin, xmax, ymin, ymax;
};

struct _KVG_File {
    char *filename;
    KVGE_Context *error;
    KVGF_State *cur;     // where drawing and attribute records go: layers, or &shape.state
    KVGF_State *global;  // the named file: header, definitions, closing size records
    KVGF_State *layers;  // the temporary file: the layer section
    XIO_File *layers_file;
    int raw;
    int fill;      // 1: closed figures are filled
    double scale;  // file units per world unit of a length, the same on both axes; not negative
    KvgWindow world;
    KvgWindow kvg;
    // World onto file coordinates: the two windows, and the origin subtracted from every mapped
    // position, (0, 0) except while a shape is defined, when it is the unrounded file position
    // of the world origin, so that a shape's content is placed relative to its own origin
    // wherever the world window lies.
    GridMapping grid;
    struct {
        int defining;
        int type;
        double x, y;  // start point
        PointArray *pts;  // differences from each point to the next
        double last_x, last_y;
        uint64_t npts;  // points given since the start, dropped ones included
    } primitive;
    struct {
        int defining;
        int32_t next_id;
        double x, y;
        PointArray *pts;
        double last_x, last_y;
        // The optimizer's cut of the edge being written: each segment's relative point size
        // and its number of differences.
        UCharArray *seg_sizes;
        ULongArray *seg_counts;
    } edge;
    struct {
        int defining;
        LongArray *edges;
        ULongArray *holes;
        uint32_t next_id;
    } face;
    struct {
        uint8_t color_size, point_size, rel_point_size;  // in force at every layer start
    } layer;
    uint32_t image_next_id;
    struct {
        int defining;
        KVGF_State state;  // a working copy of global while a shape is defined
        uint32_t next_id;
    } shape;
    int closing_failed;  // KVG_close failed and discarded the output; a second one releases
};

// ---- The interface's messages (source "kvgwriter") ----

namespace kvgw {

enum WriterError {
    ERR_IO,
    ERR_NOMEM,
    ERR_IMGLIMIT,
    ERR_EDGELIMIT,
    ERR_FACELIMIT,
    ERR_SHAPELIMIT,
    ERR_NESTEDPRIMITIVE,
    ERR_NESTEDEDGE,
    ERR_NESTEDFACE,
    ERR_NESTEDSHAPE,
    ERR_INSHAPE,
    ERR_NOTINSHAPE,
    ERR_NOTINPRIMITIVE,
    ERR_NOTINEDGE,
    ERR_NOTINFACE,
    ERR_PRIMITIVETYPE,
    ERR_IMGID,
    ERR_SRCRECT,
    ERR_SUBRECT,
    ERR_DSTRECT,
    ERR_EDGEID,
    ERR_FACEID,
    ERR_SHAPEID,
    ERR_POINTS,
    ERR_FONTTOOBIG,
    ERR_CUBICCTRLPOINTS,
    ERR_NOTFINITE,
    ERR_ANGLE,
    ERR_COUNT
};

}  // namespace kvgw

int writerFail(KVG_File *fl, kvgw::WriterError error, int line);
// The same message with another code: "Function is invalid inside shape definition" is a
// context error for layers, objects and images but a limits error for shape uses.
int writerFailWithCode(KVG_File *fl, kvgw::WriterError error, int code, int line);

// Records `error` in fl's context at the line of the call and evaluates to -1.
#define KVG_FAIL(fl, error) writerFail((fl), kvgw::error, __LINE__)
#define KVG_FAIL_WITH_CODE(fl, error, code) writerFailWithCode((fl), kvgw::error, (code), __LINE__)

// ---- Coordinates ----

// File coordinates onto the grid: each rounded to the nearest file unit, unless the file is raw.
inline FilePoint quantize(const KVG_File *fl, FilePoint p) {
    if (fl->raw == 0) {
        p.x = roundHalfUp(p.x);
        p.y = roundHalfUp(p.y);
    }
    return p;
}

// A caller's position in world units, mapped onto the file window but not rounded nor taken
// relative to the origin.
inline FilePoint mapWorld(const KVG_File *fl, double x, double y) {
    return mapOntoFileWindow(fl->grid, x, y);
}

// A caller's position in file coordinates: mapped, taken relative to the origin in force, then
// quantized; inline for the per-point paths. Outside shapes the origin is +0, and subtracting
// it leaves every value as it was, -0 included.
inline FilePoint toFilePoint(const KVG_File *fl, double x, double y) {
    return mapToGrid(fl->grid, x, y);
}

// The per-point calls (KVG_vertex, KVG_vertexSetEdge) in two parts. The common case, inline:
// the mapping, the fast rounding, then the caller's repeat test and one store, ending in calls
// that are all tail calls, so that it needs no stack frame. A mapped position `v` that the
// fast rounding does not take (a raw file, a coordinate of 2^51 or more, not finite) goes out
// of line, where exactVertex quantizes it after the vertex `last` (finite): its file position
// in `p`; false when its step from `last` is not finite.
inline bool exactVertex(const KVG_File *fl, Pair v, Pair last, Pair &p) {
    p = quantizeRest(fl->grid, v);
    return bothFinite(p - last);
}

// appendStep where the array must grow first; 0.
[[gnu::cold]] int appendStepGrowing(PointArray *pts, Pair step);

// Appends a step to a figure's differences in one store; 0. The array grows out of line, in a
// call that the per-point calls end with, so that their common case needs no stack frame.
inline int appendStep(PointArray *pts, Pair step) {
    if (pts->alloc_size - pts->ncoords < 2) [[unlikely]] return appendStepGrowing(pts, step);
    std::memcpy(pts->coords + pts->ncoords, &step, sizeof step);
    pts->ncoords += 2;
    return 0;
}

// The step from one file position to another.
inline FilePoint difference(FilePoint to, FilePoint from) {
    return {to.x - from.x, to.y - from.y};
}

// A file position back in world coordinates, relative to the origin in force (the getters'
// inverse of the mapping).
void kvg2world(KVG_File *fl, double *x, double *y);
// A caller's extent (width, height) in file units, without the window offset, quantized.
FilePoint toFileExtent(KVG_File *fl, double w, double h);

// ---- Numbers from the caller: no position, extent or angle reaches a record unless finite ----

inline bool isFinite(FilePoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// 0 when a converted position (or extent, or difference) is finite in file units; else records
// "Position or extent is not a finite number" and returns -1. Checking what the mapping gives,
// not what the caller gave, also refuses a finite value that overflows on its way to the grid.
inline int checkFinite(KVG_File *fl, FilePoint p) {
    return isFinite(p) ? 0 : KVG_FAIL(fl, ERR_NOTFINITE);
}
inline int checkFinite(KVG_File *fl, FilePoint p, FilePoint q) {
    return isFinite(p) && isFinite(q) ? 0 : KVG_FAIL(fl, ERR_NOTFINITE);
}
// 0 when an angle in degrees is finite; else records "Angle is not a finite number".
inline int checkFiniteAngle(KVG_File *fl, double degrees) {
    return std::isfinite(degrees) ? 0 : KVG_FAIL(fl, ERR_ANGLE);
}

// Appends to `pts` the differences of `n` world positions (x, y pairs) from `last`, as the
// per-point calls collect them (a position on its predecessor is dropped), and makes the last
// position `last`. Returns 0; or -1 with nothing appended and `last` as it was, after recording
// why: a difference that is not finite, or more than `most` differences in `pts`.
int appendPositions(KVG_File *fl, PointArray *pts, FilePoint &last, size_t n, const double *xy,
                    uint32_t most);

// ---- Sizes: a record's points must fit the stream's sizes, which change only by record ----

// Writes a point-size record when `size` differs from the stream's point size.
int fitPointSize(KVGF_State *st, uint8_t size);
// Writes a relative-point-size record when `size` differs from the stream's relative size.
int fitRelPointSize(KVGF_State *st, uint8_t size);
// Sizes the stream for one absolute point, and for one difference when `difference` is not
// null: the path every figure takes before its record.
int fitFigure(KVGF_State *st, FilePoint point, const FilePoint *difference);

#endif  // KVGWRITER_INTERNAL_H
