// Kernels for CPUs with AVX-512 and its VNNI dot-product instructions: the AVX-512 kernels, with the integer dot
// products of the quantized weights in one instruction. Built with those instruction sets and entered only through the
// table, after the run-time check in Kernels.cpp; as in KernelsAvx512.cpp, everything else stays in an anonymous
// namespace.
#include <immintrin.h>

#include "compute/BlockProducts256.h"
#include "compute/Kernels.h"

namespace recognizer {

namespace {

struct VnniDot {
    static __m256i bytes(__m256i u, __m256i s) { return _mm256_dpbusd_epi32(_mm256_setzero_si256(), u, s); }
};

Kernels makeKernels() {
    Kernels k = avx512Kernels();
    k.level = KernelLevel::Avx512Vnni;
    setBlockProducts<VnniDot>(k);
    return k;
}

}  // namespace

const Kernels& avx512VnniKernels() {
    static const Kernels k = makeKernels();
    return k;
}

}  // namespace recognizer
