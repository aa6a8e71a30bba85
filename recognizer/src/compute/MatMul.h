#pragma once

#include <cstdint>

#include "compute/TensorType.h"

namespace recognizer {

class ThreadPool;

// A weight matrix as stored in the model: `rows` output features, each a contiguous row of `cols` input features
// (rowBytes(type, cols) bytes), starting at data.
struct WeightView {
    TensorType type;
    int64_t rows;
    int64_t cols;
    const void* data;
};

// Optional layer norm of the activation rows of matmulRows().
struct RowNorm {
    const float* weight;
    const float* bias;
    float eps;
};

// One product: y[i][r] (+)= sum_k x[i][k] * W[r][k] + bias[r], then GELU on the new values if asked. y has leading
// dimension ldy (in floats).
struct RowProduct {
    WeightView w;
    float* y;
    int64_t ldy;
    const float* bias = nullptr;
    bool accumulate = false;  // add to y (a residual connection) instead of overwriting it
    bool gelu = false;
};

// The product for the m activation rows of x (w.cols values each, leading dimension ldx). Small m takes the
// memory-bound path that reads the weights in their stored type; large m the blocked GEMM path, which adds to y and
// applies GELU while each tile of the output is still in the cache.
void matmul(ThreadPool& pool, const float* x, int64_t m, int64_t ldx, const RowProduct& product);

// The plain product Y = X W^T (+ bias when not null): Y[i][r] = sum_k X[i][k] * W[r][k] + bias[r].
inline void matmul(ThreadPool& pool, const WeightView& w, const float* x, int64_t m, int64_t ldx, float* y,
                   int64_t ldy, const float* bias) {
    matmul(pool, x, m, ldx, RowProduct{w, y, ldy, bias});
}

// Products of a few activation rows (a decoder step; many rows work but stream the weights once per two or four rows)
// with one to kMaxRowProducts weight matrices of the same width, all in one pool run whose output rows the threads take
// on demand. With a norm, every thread that joins first normalises the rows into its own copy, and with quantized
// weights quantizes them into 8-bit blocks: for a few rows that costs less than a run of its own.
constexpr int kMaxRowProducts = 4;
void matmulRows(ThreadPool& pool, const float* x, int64_t m, int64_t ldx, const RowNorm* norm,
                const RowProduct* products, int count);

// C = alpha * A * op(B) + beta * C, all f32 and row-major. A is m x k (lda). With transB, B is n x k (ldb);
// otherwise B is k x n (ldb). C is m x n (ldc).
void sgemm(ThreadPool& pool, bool transB, int64_t m, int64_t n, int64_t k, float alpha, const float* a, int64_t lda,
           const float* b, int64_t ldb, float beta, float* c, int64_t ldc);

}  // namespace recognizer
