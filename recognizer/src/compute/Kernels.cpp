#include "compute/Kernels.h"

#include <atomic>
#include <cstdint>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace recognizer {

namespace {

#if defined(__x86_64__)
// Register state the operating system saves on a context switch (XCR0): the wider registers are usable only then.
uint64_t enabledRegisterState() {
    uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return uint64_t(hi) << 32 | lo;
}
#endif

KernelLevel detectLevel() {
#if defined(__x86_64__)
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return KernelLevel::Portable;
    const bool fma = c >> 12 & 1, osxsave = c >> 27 & 1, avx = c >> 28 & 1, f16c = c >> 29 & 1;
    if (!(osxsave && avx && fma && f16c)) return KernelLevel::Portable;
    const uint64_t state = enabledRegisterState();
    if ((state & 0x6) != 0x6) return KernelLevel::Portable;  // SSE and AVX registers
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return KernelLevel::Portable;
    const bool avx2 = b >> 5 & 1;
    const bool avx512 = (b >> 16 & 1) && (b >> 17 & 1) && (b >> 30 & 1) && (b >> 31 & 1);  // F, DQ, BW, VL
    if (!avx2) return KernelLevel::Portable;
    if (avx512 && (state & 0xE0) == 0xE0) return KernelLevel::Avx512;  // mask and upper ZMM registers
    return KernelLevel::Avx2;
#else
    return KernelLevel::Portable;
#endif
}

const Kernels& kernelsFor(KernelLevel level) {
#if defined(__x86_64__)
    switch (level) {
        case KernelLevel::Avx512: return avx512Kernels();
        case KernelLevel::Avx2: return avx2Kernels();
        case KernelLevel::Portable: break;
    }
#endif
    (void)level;
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
