#include "ucarray.h"

#include "array.h"

KVG_DEFINE_INT_ARRAY(UCharArray, uca, uint8_t, int)
