// Helpers of the encoding layer for the record layer, internal to the library: checks that let
// a record refuse an argument before its code byte is written, and the relative point array
// writer for callers that have already sized the stream for every difference.
#ifndef KVGTYPE_INTERNAL_H
#define KVGTYPE_INTERNAL_H

#include "kvgtype.h"

// Each records the encoding layer's own message ("Size KVG type limit exceeded", ...) and
// returns -1 when the value is beyond the type's limit; 0 otherwise. Nothing is written.
int checkSizeLimit(KVGF_State *st, uint32_t size);
int checkIdentifierLimit(KVGF_State *st, uint32_t id);
int checkSIdentifierLimit(KVGF_State *st, int32_t id);

// 0 when every one of the `n` differences fits the stream's relative point size, else -1;
// records nothing.
int verifyRelPoints(const KVGF_State *st, const double *relpoints, uint32_t n);

// KVGT_RelPointArray without the per-point size check: the caller guarantees that every
// difference fits the stream's relative point size and that `n` is 1 to KVGT_SIZE_MAX.
int writeRelPointsUnchecked(KVGF_State *st, const double *relpoints, uint32_t n);
// The same without the count, for records whose count is implied (the cubic curves).
int writeRelPointRunUnchecked(KVGF_State *st, const double *relpoints, uint32_t n);

#endif  // KVGTYPE_INTERNAL_H
