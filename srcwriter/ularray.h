// A growable array of unsigned 32-bit values.
#ifndef ULARRAY_H
#define ULARRAY_H

#include "arraydecl.h"

#ifdef __cplusplus
extern "C" {
#endif

KVG_DECLARE_INT_ARRAY(ULongArray, ula, uint32_t, uint32_t)

#ifdef __cplusplus
}
#endif

#endif  // ULARRAY_H
