// Which form of the vector kernels runs. Each kernel is one body of plain arithmetic compiled
// twice: for the processor's baseline and, on x86-64, for AVX2, where the compiler spreads the
// independent lanes of the body over wider vector registers. The AVX2 form runs if the
// processor has it. Both forms compute the same IEEE and integer operations in the same order
// (no contraction, no reassociation), so they give the same results bit for bit; the tests
// compare them. Internal to the library.
#ifndef KERNELS_H
#define KERNELS_H

#include "kvgwriter.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define KVG_AVX2_KERNELS 1
#define KVG_AVX2 [[gnu::target("avx2")]]
#endif

// Whether the AVX2 forms run: the processor has AVX2 and the tests have not asked for the
// portable forms.
bool avx2KernelsActive();

// Calls the AVX2 form of a kernel when it is active, else the portable form.
#ifdef KVG_AVX2_KERNELS
#define KVG_DISPATCH(avx2_form, portable_form) \
    (avx2KernelsActive() ? (avx2_form) : (portable_form))
#else
#define KVG_DISPATCH(avx2_form, portable_form) (portable_form)
#endif

// For the tests: 1 makes the kernels run their portable form even where the processor offers
// AVX2, 0 returns to the fastest form the processor has.
extern "C" KVG_API void KVGK_forcePortableKernels(int portable);

#endif  // KERNELS_H
