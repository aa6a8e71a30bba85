#pragma once

#include <cstddef>
#include <cstdint>

namespace recognizer {

// Instruction-set levels with their own kernels. Higher levels are used only when the CPU reports the features.
enum class KernelLevel { Portable = 0, Avx2 = 1, Avx512 = 2 };

// Products of weight rows r0..r1 (in their stored type, `rowStride` bytes apart) with m activation rows:
// y[i * ldy + r] = alpha * sum_k x[i * ldx + k] * w[r][k] + (bias ? bias[r] : 0) + (beta != 0 ? beta * y : 0).
using GemvKernel = void (*)(const void* w, size_t rowStride, int64_t cols, const float* x, int64_t m, int64_t ldx,
                            float* y, int64_t ldy, int64_t r0, int64_t r1, const float* bias, float alpha, float beta);
using DequantizeKernel = void (*)(const void* src, float* dst, int64_t n);

// The kernels of one level. Every entry is set; the portable level is plain C++.
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
    GemvKernel gemv[9];              // indexed by TensorType value
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
    // Softmax down each of the `width` columns of s (rows x width, stored row after row): exponentials of s minus the
    // column's maximum in place, and the reciprocal of each column's sum in inv[0..width).
    void (*softmaxColumns)(float* s, int64_t rows, int64_t width, float* inv);
    void (*add)(float* y, const float* x, int64_t n);
    float (*dot)(const float* a, const float* b, int64_t n);
};

// The kernels in use: the best level the CPU supports, unless a lower one was selected.
const Kernels& kernels();
KernelLevel supportedKernelLevel();
// Switches every later call to `level` (clamped to what the CPU supports) and returns the level now in use. For tests
// and benchmarks that compare the levels on one machine; not to be called while a computation runs.
KernelLevel selectKernelLevel(KernelLevel level);

const Kernels& portableKernels();
const Kernels& avx2Kernels();
const Kernels& avx512Kernels();

}  // namespace recognizer
