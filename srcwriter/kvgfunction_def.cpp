// The definition records: the edges and faces of a planar map, images, and the two records that
// bracket a shape definition.
//
// Each record checks whatever would be refused while it is written before its code byte, so a
// refused definition leaves nothing in the definitions stream. That matters more here than for
// any other record: a reader numbers definitions by the order of their records, and a partial
// one would shift every later definition.
#include "kvgassert.h"
#include "kvgfunction_internal.h"

namespace {

// An edge's differences cut into segments, each written in a relative point size of its own.
struct EdgeSegments {
    const double *relpoints;  // every segment's differences, one segment after the other
    uint32_t nsegs;
    const uint8_t *sizes;    // each segment's relative point size in bits
    const uint32_t *counts;  // each segment's number of differences
};

// Calls visit(differences, count, size) for each segment in order with the stream's relative
// point size set to the segment's, and stops at the first non-zero result. The stream's own
// size comes back whatever the outcome: segment sizes are no part of a reader's state.
template <typename Visit>
int forEachSegment(KVGF_State *st, const EdgeSegments &edge, Visit visit) {
    const uint8_t own_size = st->rel_point_size;
    const double *relpoints = edge.relpoints;
    int result = 0;
    for (uint32_t i = 0; i < edge.nsegs && result == 0; ++i) {
        st->rel_point_size = edge.sizes[i];
        result = visit(relpoints, edge.counts[i], edge.sizes[i]);
        relpoints += 2 * size_t{edge.counts[i]};
    }
    st->rel_point_size = own_size;
    return result;
}

int checkSegmentCounts(KVGF_State *st, const EdgeSegments &edge) {
    for (uint32_t i = 0; i < edge.nsegs; ++i) {
        if (edge.counts[i] == 0) return KVGF_FAIL(st, ERR_EMPTYRELPTARRAY);
        if (checkSizeLimit(st, edge.counts[i]) != 0) return -1;
    }
    return 0;
}

int checkEdge(KVGF_State *st, double p0_x, double p0_y, const EdgeSegments &edge) {
    if (edge.relpoints == nullptr) return KVGF_FAIL(st, ERR_NULLRELPTARRAY);
    if (edge.nsegs == 0) return KVGF_FAIL(st, ERR_ZEROSEGS);
    KVG_REQUIRE_NOT_NULL(edge.sizes);
    KVG_REQUIRE_NOT_NULL(edge.counts);
    for (uint32_t i = 0; i < edge.nsegs; ++i) {
        if (!isValidRelPointSize(edge.sizes[i])) return KVGF_FAIL(st, ERR_EDGESEGSIZE);
    }
    if (!pointFits(st, p0_x, p0_y) || checkSizeLimit(st, edge.nsegs) != 0) return -1;
    // All counts before any difference is read, so that a count beyond the limit cannot send
    // the check past the end of the caller's array.
    if (checkSegmentCounts(st, edge) != 0) return -1;
    return forEachSegment(st, edge, [st](const double *relpoints, uint32_t n, uint8_t) {
        return verifyRelPoints(st, relpoints, n);
    });
}

// Each segment: its size in bits as a plain byte (not a size record's code), then its count
// and differences, bit-packed in the 3- and 6-bit sizes.
int writeEdge(KVGF_State *st, double p0_x, double p0_y, const EdgeSegments &edge) {
    if (RecordOut(st, KVGF_CODE_SET_EDGE).point(p0_x, p0_y).size(edge.nsegs).result() != 0) {
        return -1;
    }
    return writeCountedSegments(st, edge.relpoints, edge.nsegs, edge.sizes, edge.counts, true);
}

// 0 when `check` accepts each of the `n` values, else -1 with the first refusal's message.
template <typename Value>
int checkEach(KVGF_State *st, const Value *values, uint32_t n,
              int (*check)(KVGF_State *, Value)) {
    for (uint32_t i = 0; i < n; ++i) {
        if (check(st, values[i]) != 0) return -1;
    }
    return 0;
}

}  // namespace

int KVGF_SetEdge(KVGF_State *st, double p0_x, double p0_y, const double *relpoints,
                 uint32_t nsegs, const uint8_t *segmodes, const uint32_t *segsizes) {
    const EdgeSegments edge{relpoints, nsegs, segmodes, segsizes};
    if (checkEdge(st, p0_x, p0_y, edge) != 0) return -1;
    return writeEdge(st, p0_x, p0_y, edge);
}

int writeEdgeRecord(KVGF_State *st, double p0_x, double p0_y, const double *relpoints,
                    uint32_t nsegs, const uint8_t *sizes, const uint32_t *counts) {
    return writeEdge(st, p0_x, p0_y, EdgeSegments{relpoints, nsegs, sizes, counts});
}

// Edge references are signed (negative: the edge taken backwards), holes are face identifiers.
// Each list follows its count; a list may be null when it is empty.
int KVGF_SetFace(KVGF_State *st, uint32_t nedges, const int32_t *edge_ids, uint32_t nholes,
                 const uint32_t *hole_ids) {
    KVG_REQUIRE(nedges == 0 || edge_ids != nullptr);
    KVG_REQUIRE(nholes == 0 || hole_ids != nullptr);
    if (checkSizeLimit(st, nedges) != 0 ||
        checkEach(st, edge_ids, nedges, checkSIdentifierLimit) != 0 ||
        checkSizeLimit(st, nholes) != 0 ||
        checkEach(st, hole_ids, nholes, checkIdentifierLimit) != 0) {
        return -1;
    }
    RecordOut out(st, KVGF_CODE_SET_FACE);
    out.size(nedges);
    for (uint32_t i = 0; i < nedges; ++i) out.sidentifier(edge_ids[i]);
    out.size(nholes);
    for (uint32_t i = 0; i < nholes; ++i) out.identifier(hole_ids[i]);
    return out.result();
}

int KVGF_SetImage(KVGF_State *st, int w, int h, const KVG_Color *colors) {
    // Only the low 16 bits of each dimension reach the file, so they also count the pixels:
    // a reader takes exactly that many colours.
    const uint16_t dimensions[2] = {static_cast<uint16_t>(w), static_cast<uint16_t>(h)};
    const uint32_t npixels = uint32_t{dimensions[0]} * dimensions[1];
    KVG_REQUIRE(npixels == 0 || colors != nullptr);
    if (checkEach(st, colors, npixels, KVGT_VerifyColor) != 0) return -1;

    if (KVGT_Byte(st, KVGF_CODE_SET_IMAGE) != 0 || KVGT_Uint16s(st, dimensions, 2) != 0) {
        return -1;
    }
    for (uint32_t i = 0; i < npixels; ++i) {
        if (KVGT_Color(st, colors[i]) != 0) return -1;
    }
    return 0;
}

// The corner is an absolute point: a shape's box starts at its origin.
int KVGF_BeginSetShape(KVGF_State *st, double bbox_ur_x, double bbox_ur_y) {
    if (notPositive(bbox_ur_x, bbox_ur_y, st->point_size)) return KVGF_FAIL(st, ERR_BBOX);
    if (!pointFits(st, bbox_ur_x, bbox_ur_y)) return -1;
    return RecordOut(st, KVGF_CODE_BEGIN_SET_SHAPE).point(bbox_ur_x, bbox_ur_y).result();
}

// Its code byte completes the bits that the shape's last record left pending.
int KVGF_EndSetShape(KVGF_State *st) {
    return RecordOut(st, KVGF_CODE_END_SET_SHAPE).result();
}
