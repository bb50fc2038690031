#include "larray.h"

#include "array.h"

KVG_DEFINE_INT_ARRAY(LongArray, la, int32_t, int32_t)
