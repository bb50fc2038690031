// A growable array of unsigned 8-bit values; ucaAdd stores the low 8 bits of its value.
#ifndef UCARRAY_H
#define UCARRAY_H

#include "arraydecl.h"

#ifdef __cplusplus
extern "C" {
#endif

KVG_DECLARE_INT_ARRAY(UCharArray, uca, uint8_t, int)

#ifdef __cplusplus
}
#endif

#endif  // UCARRAY_H
