#include "compute/Kernels.h"

#include <atomic>

namespace recognizer {

namespace {

KernelLevel detectLevel() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    // The compiler's checks include the operating system's support for the wider register state.
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("f16c");
    const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq");
    if (avx512) return KernelLevel::Avx512;
    if (avx2) return KernelLevel::Avx2;
#endif
    return KernelLevel::Portable;
}

const Kernels& kernelsFor(KernelLevel level) {
    switch (level) {
        case KernelLevel::Avx512: return avx512Kernels();
        case KernelLevel::Avx2: return avx2Kernels();
        case KernelLevel::Portable: break;
    }
    return portableKernels();
}

std::atomic<const Kernels*> gActive{nullptr};

}  // namespace

KernelLevel supportedKernelLevel() {
    static const KernelLevel level = detectLevel();
    return level;
}

const Kernels& kernels() {
    const Kernels* k = gActive.load(std::memory_order_acquire);
    if (k) return *k;
    k = &kernelsFor(supportedKernelLevel());
    gActive.store(k, std::memory_order_release);
    return *k;
}

KernelLevel selectKernelLevel(KernelLevel level) {
    if (int(level) > int(supportedKernelLevel())) level = supportedKernelLevel();
    gActive.store(&kernelsFor(level), std::memory_order_release);
    return level;
}

}  // namespace recognizer
