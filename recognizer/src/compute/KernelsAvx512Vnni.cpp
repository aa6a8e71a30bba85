// Kernels for CPUs with AVX-512 and its VNNI dot-product instructions: the AVX-512 kernels, with the integer dot
// products of the quantized weights in one instruction. Built with those instruction sets and entered only through the table,
// after the run-time check in Kernels.cpp; as in KernelsAvx512.cpp, everything else stays in an anonymous namespace.
#include <immintrin.h>

#include "compute/BlockProducts512.h"
#include "compute/Kernels.h"

namespace recognizer {

namespace {

struct VnniDot {
    static __m512i bytes(__m512i u, __m512i s) { return _mm512_dpbusd_epi32(_mm512_setzero_si512(), u, s); }
};

Kernels makeKernels() {
    Kernels k = avx512Kernels();
    k.level = KernelLevel::Avx512Vnni;
    setBlockPairProducts<VnniDot>(k);
    return k;
}

}  // namespace

const Kernels& avx512VnniKernels() {
    static const Kernels k = makeKernels();
    return k;
}

}  // namespace recognizer
