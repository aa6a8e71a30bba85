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

// Bit i of the result says whether the CPU supports KernelLevel i.
unsigned detectLevels() {
    unsigned levels = 1u << int(KernelLevel::Portable);
#if defined(__x86_64__)
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return levels;
    const bool fma = c >> 12 & 1, osxsave = c >> 27 & 1, avx = c >> 28 & 1, f16c = c >> 29 & 1;
    if (!(osxsave && avx && fma && f16c)) return levels;
    const uint64_t state = enabledRegisterState();
    if ((state & 0x6) != 0x6) return levels;  // SSE and AVX registers
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return levels;
    const bool avx2 = b >> 5 & 1;
    const bool avx512 = (b >> 16 & 1) && (b >> 17 & 1) && (b >> 30 & 1) && (b >> 31 & 1);  // F, DQ, BW, VL
    const bool avx512Vnni = c >> 11 & 1;
    if (!avx2) return levels;
    levels |= 1u << int(KernelLevel::Avx2);
    unsigned eax1 = 0;
    if (__get_cpuid_count(7, 1, &eax1, &b, &c, &d) && (eax1 >> 4 & 1)) levels |= 1u << int(KernelLevel::AvxVnni);
    if (avx512 && (state & 0xE0) == 0xE0) {  // mask and upper ZMM registers
        levels |= 1u << int(KernelLevel::Avx512);
        if (avx512Vnni) levels |= 1u << int(KernelLevel::Avx512Vnni);
    }
#endif
    return levels;
}

unsigned supportedLevels() {
    static const unsigned levels = detectLevels();
    return levels;
}

// The level that `level` builds on.
KernelLevel fallback(KernelLevel level) {
    switch (level) {
        case KernelLevel::Avx512Vnni: return KernelLevel::Avx512;
        case KernelLevel::Avx512:
        case KernelLevel::AvxVnni: return KernelLevel::Avx2;
        case KernelLevel::Avx2:
        case KernelLevel::Portable: break;
    }
    return KernelLevel::Portable;
}

const Kernels& kernelsFor(KernelLevel level) {
#if defined(__x86_64__)
    switch (level) {
        case KernelLevel::Avx512Vnni: return avx512VnniKernels();
        case KernelLevel::Avx512: return avx512Kernels();
        case KernelLevel::AvxVnni: return avxVnniKernels();
        case KernelLevel::Avx2: return avx2Kernels();
        case KernelLevel::Portable: break;
    }
#endif
    (void)level;
    return portableKernels();
}

std::atomic<const Kernels*> gActive{nullptr};

}  // namespace

bool kernelLevelSupported(KernelLevel level) {
    return supportedLevels() >> int(level) & 1;
}

KernelLevel supportedKernelLevel() {
    for (KernelLevel level : {KernelLevel::Avx512Vnni, KernelLevel::Avx512, KernelLevel::AvxVnni, KernelLevel::Avx2}) {
        if (kernelLevelSupported(level)) return level;
    }
    return KernelLevel::Portable;
}

const Kernels& kernels() {
    const Kernels* k = gActive.load(std::memory_order_acquire);
    if (k) return *k;
    k = &kernelsFor(supportedKernelLevel());
    gActive.store(k, std::memory_order_release);
    return *k;
}

KernelLevel selectKernelLevel(KernelLevel level) {
    while (!kernelLevelSupported(level)) level = fallback(level);
    gActive.store(&kernelsFor(level), std::memory_order_release);
    return level;
}

const char* kernelLevelName(KernelLevel level) {
    switch (level) {
        case KernelLevel::Portable: return "portable";
        case KernelLevel::Avx2: return "avx2";
        case KernelLevel::Avx512: return "avx512";
        case KernelLevel::AvxVnni: return "avxvnni";
        case KernelLevel::Avx512Vnni: return "avx512vnni";
    }
    return "unknown";
}

}  // namespace recognizer
