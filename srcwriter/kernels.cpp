#include "kernels.h"

#include <atomic>

namespace {

bool processorHasAvx2() {
#ifdef KVG_AVX2_KERNELS
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

std::atomic<bool> avx2_active{processorHasAvx2()};

}  // namespace

bool avx2KernelsActive() { return avx2_active.load(std::memory_order_relaxed); }

void KVGK_forcePortableKernels(int portable) {
    avx2_active.store(portable == 0 && processorHasAvx2(), std::memory_order_relaxed);
}
