// Declares one growable integer array type and its eight functions; ucarray.h, ularray.h and
// larray.h are its three instances, implemented by the one template of array.h.
#ifndef ARRAYDECL_H
#define ARRAYDECL_H

#include <stdint.h>

#include "kvgwriter.h"

// TYPE: the record's name; PREFIX: the function prefix; ELEM: the element type; ARG: the type
// in which Add takes its value. `values` is NULL exactly when `alloc_size` is 0.
#define KVG_DECLARE_INT_ARRAY(TYPE, PREFIX, ELEM, ARG)                                         \
    typedef struct _##TYPE {                                                                   \
        ELEM *values;                                                                          \
        uint32_t nvalues;                                                                      \
        uint32_t alloc_size;                                                                   \
    } TYPE;                                                                                    \
    KVG_API TYPE *PREFIX##Create(uint32_t nvalues);                                            \
    KVG_API void PREFIX##Destroy(TYPE *arr);                                                   \
    KVG_API void PREFIX##Add(TYPE *arr, ARG value);                                            \
    KVG_API void PREFIX##Get(const TYPE *arr, uint32_t n, ELEM *value);                        \
    KVG_API void PREFIX##Reset(TYPE *arr);                                                     \
    KVG_API uint32_t PREFIX##Size(const TYPE *arr);                                            \
    KVG_API ELEM *PREFIX##Pointer(TYPE *arr);                                                  \
    KVG_API void PREFIX##Truncate(TYPE *arr, uint32_t newsize);

#endif  // ARRAYDECL_H
