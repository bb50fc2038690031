// What the record modules share, internal to the library: the record layer's message table
// (source "kvgfunction") and the relative point size check.
#ifndef KVGFUNCTION_INTERNAL_H
#define KVGFUNCTION_INTERNAL_H

#include "kvgfunction.h"
#include "kvgmessage.h"
#include "kvgtype.h"
#include "kvgtype_internal.h"

// The names are the module's own: the writer and the encoding layer reuse some of them for
// other messages, so each table lives in a namespace of its own.
namespace kvgf {

enum RecordError {
    ERR_NOPREVIOUSSHAPE,
    ERR_NULLSTR,
    ERR_EMPTYSTR,
    ERR_BOOL,
    ERR_NULLRELPTARRAY,
    ERR_EMPTYRELPTARRAY,
    ERR_BBOX,
    ERR_SRCBBOX,
    ERR_DSTBBOX,
    ERR_EDGESEGSIZE,
    ERR_ZEROSEGS,
    ERR_PTSIZE,
    ERR_RELPTSIZE,
    ERR_COLORSIZE,
    ERR_BLENDMODE,
    ERR_LINEJOINT,
    ERR_LINEBEGIN,
    ERR_LINEEND,
    ERR_MARKSTYLE,
    ERR_IMAGEMODE,
    ERR_FONTFACE,
    ERR_FONTSTYLE,
    ERR_TEXTALIGNMENT,
    ERR_ANGLE,
    ERR_COUNT
};

}  // namespace kvgf

int recordFail(KVGF_State *st, kvgf::RecordError error, int line);

// Records `error` in the stream's context at the line of the call and evaluates to -1.
#define KVGF_FAIL(st, error) recordFail((st), kvgf::error, __LINE__)

// 1 when `rps` is one of the eight relative point sizes, else 0.
int isValidRelPointSize(uint8_t rps);

// ---- Checks made before a record's code byte, so that a refused record leaves nothing ----

// Whether a point or a difference can be written in the stream's current sizes; a record that
// fails one of these returns -1 without a message, as the encoding layer would. The writer
// always chooses sizes that fit, so callers of the interface never meet that silent -1.
inline bool pointFits(KVGF_State *st, double x, double y) {
    return KVGT_VerifyPoint(st, x, y) == 0;
}
inline bool relPointFits(KVGF_State *st, double dx, double dy) {
    return KVGT_VerifyRelPoint(st, dx, dy) == 0;
}
// 0 when an angle can be written in the stream's point size (an infinite or NaN angle only in
// the 128-bit one); else records "Angle is not a finite number" and returns -1. Unlike a point,
// an angle comes from the caller unchanged, so its refusal must say why, as the limit checks do.
int checkAngle(KVGF_State *st, double angle);

// Whether either value of an extent (a box's, an ellipse's half-axes) is not greater than 0 as
// the layout of `size` (a point or relative point size) writes it; NaN is refused as well. The
// 64-bit layouts hold single precision, which rounds a positive value of at most 2^-150 to 0:
// a reader would take that record for a broken one.
inline bool notPositive(double x, double y, uint8_t size) {
    const double least = size == 64 ? 0x1p-150 : 0.0;
    return !(x > least) || !(y > least);
}

// ---- Writing a record ----

// Writes a record's code byte and then its arguments in order, each with its encoding-layer
// function; after the first failure (recorded by that function) the rest are skipped and
// result() is -1.
class RecordOut {
public:
    RecordOut(KVGF_State *st, int code) : st_(st), failed_(KVGT_Byte(st, code) != 0) {}

    RecordOut &byte(int value) { return then(failed_ || KVGT_Byte(st_, value)); }
    RecordOut &bit(int value) { return then(failed_ || KVGT_Bit(st_, value)); }
    RecordOut &size(uint32_t value) { return then(failed_ || KVGT_Size(st_, value)); }
    RecordOut &identifier(uint32_t id) { return then(failed_ || KVGT_Identifier(st_, id)); }
    RecordOut &sidentifier(int32_t id) { return then(failed_ || KVGT_SIdentifier(st_, id)); }
    RecordOut &text(const char *text, uint32_t length) {
        return then(failed_ || KVGT_Text(st_, text, length));
    }
    RecordOut &point(double x, double y) { return then(failed_ || KVGT_Point(st_, x, y)); }
    RecordOut &relPoint(double dx, double dy) {
        return then(failed_ || KVGT_RelPoint(st_, dx, dy));
    }
    RecordOut &angle(double degrees) { return then(failed_ || KVGT_Angle(st_, degrees)); }
    // `n` differences with their count, already known to fit the stream's relative size.
    RecordOut &relPointArray(const double *relpoints, uint32_t n) {
        return then(failed_ || writeRelPointsUnchecked(st_, relpoints, n));
    }

    // `n` differences without a count, already known to fit.
    RecordOut &relPointRun(const double *relpoints, uint32_t n) {
        return then(failed_ || writeRelPointRunUnchecked(st_, relpoints, n));
    }

    int result() const { return failed_ ? -1 : 0; }

private:
    RecordOut &then(int failure) {
        failed_ = failed_ || failure != 0;
        return *this;
    }

    KVGF_State *st_;
    bool failed_;
};

// The layer record's checks, for a caller that must know before it changes the stream whether
// the record will be written: 0, or -1 with the record's message.
int checkLayerArguments(KVGF_State *st, int vis, int detect, const char *name);

// ---- Record writers for callers that have sized the stream for every point ----

// A polyline or polygon record (`code` 16, 17 or 20): start point and `n` differences (1 to
// KVGT_SIZE_MAX), every one known to fit.
int writePolyRecord(KVGF_State *st, int code, double start_x, double start_y,
                    const double *relpoints, uint32_t n);

// An edge record whose start point fits the stream's point size and whose `nsegs` segments
// (1 to KVGT_SIZE_MAX) each hold 1 to KVGT_SIZE_MAX differences that fit the segment's size:
// what the optimizer's cut of an edge sized by the writer always is.
int writeEdgeRecord(KVGF_State *st, double p0_x, double p0_y, const double *relpoints,
                    uint32_t nsegs, const uint8_t *sizes, const uint32_t *counts);

#endif  // KVGFUNCTION_INTERNAL_H
