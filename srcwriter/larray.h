// A growable array of signed 32-bit values.
#ifndef LARRAY_H
#define LARRAY_H

#include "arraydecl.h"

#ifdef __cplusplus
extern "C" {
#endif

KVG_DECLARE_INT_ARRAY(LongArray, la, int32_t, int32_t)

#ifdef __cplusplus
}
#endif

#endif  // LARRAY_H
