// The encoding layer: the bit buffer of a stream and the encoding of every argument type.
//
// Bits are packed most significant first; multi-byte integers and floating-point values are
// big-endian. Byte-aligned arguments first flush the bit buffer (the pending byte is completed
// with zero bits); bit-packed arguments (KVGT_Bit, colours in INDEX1 and GRAY12, relative points
// of 3 and 6 bits) append to it. Variable-length integers (sizes, identifiers) take 1 to 3
// bytes whose first bits give the length: 0 one byte, 10 two bytes, 11 three bytes.
//
// All functions return 0 on success and -1 on failure (recorded in the state's error context),
// except the size helpers, which return a size in bits. Points and differences that do not fit
// the stream's current size fail with -1 and record nothing: the caller sizes the stream first.
#ifndef KVGTYPE_H
#define KVGTYPE_H

#include <stdint.h>

#include "kvgfunction.h"

#ifdef __cplusplus
extern "C" {
#endif

// Largest value of a Size or Identifier, and the range of an SIdentifier.
#define KVGT_SIZE_MAX 4194303u
#define KVGT_SIDENTIFIER_MIN (-2097152)
#define KVGT_SIDENTIFIER_MAX 2097151

// ---- Bit stream and scalar types ----

KVG_API int KVGT_Flush(KVGF_State *st);
KVG_API int KVGT_Byte(KVGF_State *st, int byte);
KVG_API int KVGT_Bit(KVGF_State *st, int bit);
KVG_API int KVGT_Uint16s(KVGF_State *st, const uint16_t *uints, uint32_t nuints);
KVG_API int KVGT_Size(KVGF_State *st, uint32_t size);
KVG_API int KVGT_Identifier(KVGF_State *st, uint32_t id);
KVG_API int KVGT_Identifiers(KVGF_State *st, const uint32_t *ids, uint32_t nids);
KVG_API int KVGT_SIdentifier(KVGF_State *st, int32_t id);
KVG_API int KVGT_SIdentifiers(KVGF_State *st, const int32_t *ids, uint32_t nids);
KVG_API int KVGT_Text(KVGF_State *st, const char *text, uint32_t size);

// ---- Colours ----

KVG_API int KVGT_VerifyColor(KVGF_State *st, KVG_Color color);
KVG_API int KVGT_Color(KVGF_State *st, KVG_Color color);
KVG_API int KVGT_ColorArray(KVGF_State *st, const KVG_Color *colors, uint32_t ncolors);

// ---- Absolute points and the header ----

// The smallest absolute point size (16, 24, 32, 64 or 128 bits) that holds (x, y).
KVG_API uint8_t KVGT_MinPointSize(double x, double y);
KVG_API int KVGT_VerifyPoint(KVGF_State *st, double x, double y);
KVG_API int KVGT_Point(KVGF_State *st, double x, double y);
KVG_API int KVGT_PointArray(KVGF_State *st, const double *points, uint32_t npoints);
KVG_API int KVGT_Header(KVGF_State *st, double WHres_x, double WHres_y, double XYll_x,
                        double XYll_y, double XYur_x, double XYur_y, double XYmm_x,
                        double XYmm_y, KVG_Color background);

// ---- Relative points and angles ----

// The smallest relative point size (3, 6, 8, 16, 24, 32, 64 or 128 bits) that holds (dx, dy).
KVG_API uint8_t KVGT_MinRelPointSize(double dx, double dy);
KVG_API int KVGT_VerifyRelPoint(KVGF_State *st, double x, double y);
KVG_API int KVGT_RelPoint(KVGF_State *st, double x, double y);
KVG_API int KVGT_RelPointArray(KVGF_State *st, const double *relpoints, uint32_t nrelpoints);
// Writes an angle in degrees as the point (cos, sin), scaled to the stream's point size.
KVG_API int KVGT_Angle(KVGF_State *st, double angle);

#ifdef __cplusplus
}
#endif

#endif  // KVGTYPE_H
