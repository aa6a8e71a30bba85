#pragma once

#include <cstddef>
#include <cstdint>

#include "compute/ActivationBlocks.h"

namespace recognizer {

// Instruction-set levels with their own kernels, each used only when the CPU reports its features. The VNNI levels are
// the AVX2 and AVX-512 levels with the integer dot products of quantized weights in one instruction each.
enum class KernelLevel { Portable = 0, Avx2 = 1, Avx512 = 2, AvxVnni = 3, Avx512Vnni = 4 };

// Products of weight rows r0..r1 (in their stored type, `rowStride` bytes apart) with m activation rows:
// y[i * ldy + r] = alpha * sum_k x[i * ldx + k] * w[r][k] + (bias ? bias[r] : 0) + (beta != 0 ? beta * y : 0).
using GemvKernel = void (*)(const void* w, size_t rowStride, int64_t cols, const float* x, int64_t m, int64_t ldx,
                            float* y, int64_t ldy, int64_t r0, int64_t r1, const float* bias, float alpha, float beta);
// Products of quantized weight rows r0..r1 with m activation rows of `cols` values quantized to 8-bit blocks:
// y[i * ldy + r] = sum_k x[i][k] * w[r][k] + (bias ? bias[r] : 0), added to the old value when `accumulate`.
using BlockGemvKernel = void (*)(const void* w, size_t rowStride, int64_t cols, const ActivationBlocks& x, int64_t m,
                                 float* y, int64_t ldy, int64_t r0, int64_t r1, const float* bias, bool accumulate);
using DequantizeKernel = void (*)(const void* src, float* dst, int64_t n);

// How far the shift of softmaxColumns may stay below a column's maximum: the exponentials stay below e^8.
constexpr float kSoftmaxHeadroom = 8.0f;

// The kernels of one level. Every entry is set unless noted; the portable level is plain C++.
struct Kernels {
    KernelLevel level;
    // GEMM register tile of mr x nr. Packed panels: A as [kc][mr], B as [kc][nr].
    int mr;
    int nr;
    // c (mr x nr, leading dimension ldc) = (accumulate ? c : 0) + A panel * B panel (+ bias[0..nr) when not null).
    void (*gemmTile)(int64_t kc, const float* a, const float* b, float* c, int64_t ldc, const float* bias,
                     bool accumulate);
    // dst[kk * width + r] = src[r * ld + kk] for kk < kc, r < rows; rows..width are zero-filled.
    void (*packTransposed)(const float* src, int64_t ld, int64_t rows, int64_t kc, float* dst, int64_t width);
    // Few rows of A times a k x n matrix B read in place: c[i][j] = alpha * sum_k a[i][k] * b[k][j] + beta * c[i][j]
    // (c not read when beta is 0), for i < m and j0 <= j < j1.
    void (*gemmSmallNN)(int64_t m, int64_t k, float alpha, const float* a, int64_t lda, const float* b, int64_t ldb,
                        float beta, float* c, int64_t ldc, int64_t j0, int64_t j1);
    GemvKernel gemv[2];              // f32 and f16 weights, indexed by TensorType value
    BlockGemvKernel blockGemv[9];    // quantized weights, indexed by TensorType value (null for f32 and f16)
    // One activation row of n values (a whole number of blocks) as ActivationBlocks: codes[n], scales[n / 32] and
    // sums[n / 32]. Every level gives the same codes, scales and sums.
    void (*quantizeActivations)(const float* x, int64_t n, int8_t* codes, float* scales, float* sums);
    DequantizeKernel dequantize[9];  // indexed by TensorType value
    void (*fp16ToFp32)(const uint16_t* src, float* dst, int64_t n);
    void (*fp32ToFp16)(const float* src, uint16_t* dst, int64_t n);
    void (*layerNorm)(const float* x, int64_t n, const float* w, const float* b, float eps, float* out);
    void (*gelu)(float* x, int64_t n);
    void (*softmax)(float* x, int64_t n, float scale);
    // The unnormalised part of a softmax, from which blocks of one row can be merged: x = exp(scale * x - max) in
    // place, where max (written to *max) is the largest scale * x; returns the sum of the exponentials. A row that is
    // all -INFINITY becomes zeros, with max -INFINITY and sum 0.
    float (*softmaxParts)(float* x, int64_t n, float scale, float* max);
    // One block of rows of a softmax taken down the `width` columns of s (rows x width, row after row, finite values),
    // merged with the blocks before it. Per column c, s becomes exp(s - shift[c]) in place and sum[c] the sum of all
    // exponentials so far. shift[c] is at most the largest value seen so far and never more than kSoftmaxHeadroom below
    // it, so that it rarely moves: where a block moves it, rescale[c] is the factor exp(old shift - new shift) for what
    // the earlier blocks gave, and the result is true (elsewhere rescale[c] is 1). Before the first block shift is
    // -INFINITY and sum 0.
    bool (*softmaxColumns)(float* s, int64_t rows, int64_t width, float* shift, float* sum, float* rescale);
    void (*add)(float* y, const float* x, int64_t n);
    float (*dot)(const float* a, const float* b, int64_t n);
};

// The kernels in use: the best level the CPU supports, unless another one was selected.
const Kernels& kernels();
bool kernelLevelSupported(KernelLevel level);
// The best level the CPU supports: AVX-512 before AVX2, each with VNNI before without.
KernelLevel supportedKernelLevel();
// Switches every later call to `level`, or where the CPU lacks it to the level it builds on (AVX-512 VNNI on AVX-512,
// AVX-VNNI and AVX-512 on AVX2, AVX2 on the portable one) and returns the level now in use. For tests and benchmarks
// that compare the levels on one machine; not to be called while a computation runs.
KernelLevel selectKernelLevel(KernelLevel level);
const char* kernelLevelName(KernelLevel level);

const Kernels& portableKernels();
const Kernels& avx2Kernels();
const Kernels& avx512Kernels();
const Kernels& avxVnniKernels();
const Kernels& avx512VnniKernels();

}  // namespace recognizer
