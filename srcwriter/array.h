// The one implementation behind the growable arrays. Every array record is laid out as
// (storage, count, capacity): PointArray as (coords, ncoords, alloc_size), the integer arrays as
// (values, nvalues, alloc_size). The templates bind those fields by position, so the same code
// serves the point array and the three integer arrays; KVG_DEFINE_INT_ARRAY gives an integer
// array its C functions. Internal to the library.
//
// Growth: 16 elements from nothing, doubling below 1024, then 1024 more at a time.
//
// The arrays report no failure and their callers rely on every creation and addition
// succeeding. So when memory is exhausted, or an array would pass 4294967295 elements, they
// print "kvgwriter: out of memory: ..." to standard error and abort: going on would write
// through a null or overflowing block.
#ifndef ARRAY_H
#define ARRAY_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "kvgassert.h"

namespace kvgarray {

[[noreturn, gnu::cold]] inline void outOfMemory(size_t bytes) {
    std::fprintf(stderr, "kvgwriter: out of memory: cannot allocate %zu bytes for an array\n",
                 bytes);
    std::abort();
}

[[noreturn, gnu::cold]] inline void tooManyElements() {
    std::fputs("kvgwriter: out of memory: an array cannot hold more than 4294967295 elements\n",
               stderr);
    std::abort();
}

// Moves `block` (null for none) to a block of `capacity` elements, keeping its contents.
template <typename T>
T *reallocate(T *block, uint32_t capacity) {
    const size_t bytes = size_t{capacity} * sizeof(T);
    void *moved = std::realloc(block, bytes);
    if (moved == nullptr) outOfMemory(bytes);
    return static_cast<T *>(moved);
}

// The capacity grown from `capacity` until it holds `needed` elements.
inline uint32_t grownCapacity(uint32_t capacity, uint64_t needed) {
    if (needed > UINT32_MAX) tooManyElements();
    uint64_t grown = capacity;
    while (grown < needed) grown = grown == 0 ? 16 : grown < 1024 ? grown * 2 : grown + 1024;
    // Close to the limit the last step of 1024 is cut short.
    return grown > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(grown);
}

// The slow path of every addition, out of line so that the fast path stays a capacity check
// and the stores.
template <typename T>
[[gnu::noinline, gnu::cold]] void grow(T *&storage, uint32_t count, uint32_t &capacity,
                                       uint32_t extra) {
    capacity = grownCapacity(capacity, uint64_t{count} + extra);
    storage = reallocate(storage, capacity);
}

// ---- Every array ----

// A new empty array with storage for `capacity` elements, none when 0.
template <typename Array>
Array *create(uint32_t capacity) {
    auto *arr = static_cast<Array *>(std::malloc(sizeof(Array)));
    if (arr == nullptr) outOfMemory(sizeof(Array));
    auto &[storage, count, alloc_size] = *arr;
    using Element = std::remove_pointer_t<decltype(storage)>;
    storage = capacity == 0 ? nullptr : reallocate<Element>(nullptr, capacity);
    count = 0;
    alloc_size = capacity;
    return arr;
}

template <typename Array>
void destroy(Array *arr) {
    auto &[storage, count, capacity] = *arr;
    std::free(storage);
    std::free(arr);
}

// Makes room for `extra` more elements.
template <typename Array>
inline void reserve(Array *arr, uint32_t extra) {
    auto &[storage, count, capacity] = *arr;
    if (capacity - count < extra) [[unlikely]]
        grow(storage, count, capacity, extra);
}

// Appends two elements, a point array's coordinate pair: paAdd, inline for the library's
// per-point paths.
template <typename Array, typename Element>
inline void appendPair(Array *arr, Element first, Element second) {
    reserve(arr, 2);
    auto &[storage, count, capacity] = *arr;
    storage[count] = first;
    storage[count + 1] = second;
    count += 2;
}

}  // namespace kvgarray

// Defines the eight functions that arraydecl.h declares for one integer array. Each checks the
// caller's contract itself, so that a failed check names the operation. Add stores the low
// bits of its value.
#define KVG_DEFINE_INT_ARRAY(TYPE, PREFIX, ELEM, ARG)                                          \
    TYPE *PREFIX##Create(uint32_t nvalues) { return kvgarray::create<TYPE>(nvalues); }         \
    void PREFIX##Destroy(TYPE *arr) {                                                          \
        KVG_REQUIRE_NOT_NULL(arr);                                                             \
        kvgarray::destroy(arr);                                                                \
    }                                                                                          \
    void PREFIX##Add(TYPE *arr, ARG value) {                                                   \
        KVG_REQUIRE_NOT_NULL(arr);                                                             \
        kvgarray::reserve(arr, 1);                                                             \
        arr->values[arr->nvalues++] = static_cast<ELEM>(value);                                \
    }                                                                                          \
    void PREFIX##Get(const TYPE *arr, uint32_t n, ELEM *value) {                               \
        KVG_REQUIRE_NOT_NULL(arr);                                                             \
        KVG_REQUIRE(n < arr->nvalues);                                                         \
        if (value != nullptr) *value = arr->values[n];                                         \
    }                                                                                          \
    void PREFIX##Reset(TYPE *arr) {                                                            \
        KVG_REQUIRE_NOT_NULL(arr);                                                             \
        arr->nvalues = 0;                                                                      \
    }                                                                                          \
    uint32_t PREFIX##Size(const TYPE *arr) {                                                   \
        KVG_REQUIRE_NOT_NULL(arr);                                                             \
        return arr->nvalues;                                                                   \
    }                                                                                          \
    ELEM *PREFIX##Pointer(TYPE *arr) {                                                         \
        KVG_REQUIRE_NOT_NULL(arr);                                                             \
        return arr->values;                                                                    \
    }                                                                                          \
    void PREFIX##Truncate(TYPE *arr, uint32_t newsize) {                                       \
        KVG_REQUIRE_NOT_NULL(arr);                                                             \
        KVG_REQUIRE(newsize <= arr->nvalues);                                                  \
        arr->nvalues = newsize;                                                                \
    }

#endif  // ARRAY_H
