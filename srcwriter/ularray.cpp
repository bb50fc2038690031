#include "ularray.h"

#include "array.h"

KVG_DEFINE_INT_ARRAY(ULongArray, ula, uint32_t, uint32_t)
