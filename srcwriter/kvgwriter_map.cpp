// Edges and faces of a planar map. Their definitions go to the definitions stream as SetEdge
// and SetFace records; drawing an edge or filling a face goes to the current stream by
// identifier.
//
// Identifiers are handed out when a definition begins, and a reader numbers definitions by the
// order of their records. So every identifier handed out gets exactly one record: an edge that
// kept no vertex is written as its start point alone, and the lists of an open definition never
// grow beyond what its record can count, so that ending it is never refused.
#include "array.h"
#include "kvgfunction_internal.h"
#include "kvgopt.h"
#include "kvgwriter_internal.h"

namespace {

// A reference to an edge carries its direction in its sign and is written as an SIdentifier
// (-2,097,152 to 2,097,151): numbered up to 2,097,150, every edge fits with either sign.
constexpr int32_t MAX_EDGE_ID = 2097150;
// Faces are referred to by Identifier.
constexpr uint32_t MAX_FACE_ID = KVGT_SIZE_MAX;

bool isEdgeId(const KVG_File *fl, int32_t id) { return id >= 1 && id < fl->edge.next_id; }

// Definitions are written to the definitions stream, which a shape definition has lent to the
// shape's own state: until the shape ends, its pending bits and sizes are not global's.
int refuseInShape(KVG_File *fl) {
    return KVG_FAIL_WITH_CODE(fl, ERR_INSHAPE, KVG_ERR_CONTEXT);
}

// Whether a definition's list of `length` elements can take one more: its record counts the
// list with one Size. When it cannot, records "Size KVG type limit exceeded".
bool hasRoom(uint32_t length) { return length < KVGT_SIZE_MAX; }

int checkRoom(KVG_File *fl, uint32_t length) {
    return hasRoom(length) ? 0 : checkSizeLimit(fl->global, length + 1);
}

// The optimizer cuts the differences into segments that each fit their size, and the stream is
// sized for the start point, so the record has nothing left to check: the differences are not
// classified a second time.
int writeEdge(KVG_File *fl) {
    auto &edge = fl->edge;
    KVGO_EdgeOptimize(edge.pts, edge.seg_sizes, edge.seg_counts);
    KVG_REQUIRE(ucaSize(edge.seg_sizes) == ulaSize(edge.seg_counts));
    return writeEdgeRecord(fl->global, edge.x, edge.y, paPointer(edge.pts),
                           ucaSize(edge.seg_sizes), ucaPointer(edge.seg_sizes),
                           ulaPointer(edge.seg_counts));
}

// Adds `n` positions to the open edge, as n KVG_vertexSetEdge calls do, or none of them when
// one would be refused: 0, or -1.
int addEdgeVertices(KVG_File *fl, size_t n, const double *xy) {
    auto &edge = fl->edge;
    FilePoint last{edge.last_x, edge.last_y};
    if (appendPositions(fl, edge.pts, last, n, xy, KVGT_SIZE_MAX) != 0) return -1;
    edge.last_x = last.x;
    edge.last_y = last.y;
    return 0;
}

// Takes back the identifier of an edge begun by KVG_setEdge when nothing of it was written.
// KVG_vertexSetEdge's file position `p`, finite and finitely far from the last vertex:
// dropped (-2) when it repeats the last vertex, else appended (0) if the edge has room.
inline int takeEdgeVertex(KVG_File *fl, Pair p) {
    auto &edge = fl->edge;
    const Pair step = p - Pair{edge.last_x, edge.last_y};
    if (bothLanes(step == 0.0)) return -2;
    const uint32_t length = edge.pts->ncoords / 2;
    if (!hasRoom(length)) [[unlikely]] return checkRoom(fl, length);  // a tail call: no frame
    edge.last_x = p[0];
    edge.last_y = p[1];
    return appendStep(edge.pts, step);
}

// KVG_vertexSetEdge for a mapped position that the fast rounding does not take.
[[gnu::noinline]] int takeExactEdgeVertex(KVG_File *fl, Pair v) {
    Pair p;
    if (!exactVertex(fl, v, Pair{fl->edge.last_x, fl->edge.last_y}, p)) {
        return KVG_FAIL(fl, ERR_NOTFINITE);
    }
    return takeEdgeVertex(fl, p);
}

void forgetEdge(KVG_File *fl) {
    fl->edge.defining = 0;
    paReset(fl->edge.pts);
    --fl->edge.next_id;
}

}  // namespace

int KVG_beginSetEdge(KVG_File *fl, int32_t *edge_id, double x, double y) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE_NOT_NULL(edge_id);
    auto &edge = fl->edge;
    if (edge.defining) return KVG_FAIL(fl, ERR_NESTEDEDGE);
    if (fl->shape.defining) return refuseInShape(fl);
    if (edge.next_id > MAX_EDGE_ID) return KVG_FAIL(fl, ERR_EDGELIMIT);

    const FilePoint start = toFilePoint(fl, x, y);
    if (checkFinite(fl, start) != 0) return -1;
    edge.defining = 1;
    edge.x = edge.last_x = start.x;
    edge.y = edge.last_y = start.y;
    paReset(edge.pts);
    *edge_id = edge.next_id++;
    return 0;
}

int KVG_vertexSetEdge(KVG_File *fl, double x, double y) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (!fl->edge.defining) [[unlikely]] return KVG_FAIL(fl, ERR_NOTINEDGE);
    const Pair v = mapRelative(fl->grid, Pair{x, y});
    if (!quantizesFast(fl->grid, v)) [[unlikely]] return takeExactEdgeVertex(fl, v);
    return takeEdgeVertex(fl, roundHalfUpSmall(v));
}

int KVG_verticesSetEdge(KVG_File *fl, size_t n, const double *xy) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (!fl->edge.defining) return KVG_FAIL(fl, ERR_NOTINEDGE);
    if (n == 0) return 0;
    KVG_REQUIRE_NOT_NULL(xy);
    return addEdgeVertices(fl, n, xy);
}

// The whole edge at once. A refusal before its record takes the identifier back, so that
// nothing is left open and the numbering stays that of the records.
int KVG_setEdge(KVG_File *fl, int32_t *edge_id, size_t n, const double *xy) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE_NOT_NULL(edge_id);
    if (n == 0) return KVG_FAIL(fl, ERR_POINTS);
    KVG_REQUIRE_NOT_NULL(xy);
    int32_t id = 0;
    if (KVG_beginSetEdge(fl, &id, xy[0], xy[1]) != 0) return -1;
    if (addEdgeVertices(fl, n - 1, xy + 2) != 0) {
        forgetEdge(fl);
        return -1;
    }
    const int result = KVG_endSetEdge(fl);
    if (fl->edge.defining) {  // its point size could not be written: nothing was
        forgetEdge(fl);
        return result;
    }
    *edge_id = id;
    return result;
}

int KVG_endSetEdge(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    auto &edge = fl->edge;
    if (!edge.defining) return KVG_FAIL(fl, ERR_NOTINEDGE);
    if (fl->shape.defining) return refuseInShape(fl);
    // Failing here leaves the definition open with its vertices: nothing was written.
    if (fitPointSize(fl->global, KVGT_MinPointSize(edge.x, edge.y)) != 0) return -1;

    // An edge with no vertex still takes its place in the numbering, as a single point.
    const bool empty = paSize(edge.pts) == 0;
    if (empty) paAdd(edge.pts, 0, 0);
    const int result = writeEdge(fl);
    edge.defining = 0;
    paReset(edge.pts);
    return result == 0 && empty ? -2 : result;
}

int KVG_edge(KVG_File *fl, int32_t edge_id) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (!isEdgeId(fl, edge_id)) return KVG_FAIL(fl, ERR_EDGEID);
    return KVGF_DrawEdge(fl->cur, edge_id);
}

int KVG_edgeRange(KVG_File *fl, int16_t e1, int16_t e2) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (!isEdgeId(fl, e1) || !isEdgeId(fl, e2)) return KVG_FAIL(fl, ERR_EDGEID);
    return KVGF_DrawEdgeRange(fl->cur, e1, e2);
}

int KVG_beginSetFace(KVG_File *fl, uint32_t *face_id) {
    KVG_REQUIRE_NOT_NULL(fl);
    KVG_REQUIRE_NOT_NULL(face_id);
    auto &face = fl->face;
    if (face.defining) return KVG_FAIL(fl, ERR_NESTEDFACE);
    if (fl->shape.defining) return refuseInShape(fl);
    if (face.next_id > MAX_FACE_ID) return KVG_FAIL(fl, ERR_FACELIMIT);

    face.defining = 1;
    laReset(face.edges);
    ulaReset(face.holes);
    *face_id = face.next_id++;
    return 0;
}

int KVG_edgeSetFace(KVG_File *fl, int32_t edge_id, int reversed) {
    KVG_REQUIRE_NOT_NULL(fl);
    auto &face = fl->face;
    if (!face.defining) return KVG_FAIL(fl, ERR_NOTINFACE);
    if (!isEdgeId(fl, edge_id)) return KVG_FAIL(fl, ERR_EDGEID);
    if (checkRoom(fl, laSize(face.edges)) != 0) return -1;
    laAdd(face.edges, reversed != 0 ? -edge_id : edge_id);
    return 0;
}

// A hole is a face begun before the open one; the open face itself is not.
int KVG_holeSetFace(KVG_File *fl, uint32_t hole_id) {
    KVG_REQUIRE_NOT_NULL(fl);
    auto &face = fl->face;
    if (!face.defining) return KVG_FAIL(fl, ERR_NOTINFACE);
    if (hole_id >= face.next_id - 1) return KVG_FAIL(fl, ERR_FACEID);
    if (checkRoom(fl, ulaSize(face.holes)) != 0) return -1;
    ulaAdd(face.holes, hole_id);
    return 0;
}

int KVG_endSetFace(KVG_File *fl) {
    KVG_REQUIRE_NOT_NULL(fl);
    auto &face = fl->face;
    if (!face.defining) return KVG_FAIL(fl, ERR_NOTINFACE);
    if (fl->shape.defining) return refuseInShape(fl);

    const int result = KVGF_SetFace(fl->global, laSize(face.edges), laPointer(face.edges),
                                    ulaSize(face.holes), ulaPointer(face.holes));
    face.defining = 0;
    laReset(face.edges);
    ulaReset(face.holes);
    return result;
}

int KVG_face(KVG_File *fl, uint32_t face_id) {
    KVG_REQUIRE_NOT_NULL(fl);
    if (face_id >= fl->face.next_id) return KVG_FAIL(fl, ERR_FACEID);
    return KVGF_FillFace(fl->cur, face_id);
}
