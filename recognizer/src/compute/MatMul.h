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

// Y[i][r] = sum_k X[i][k] * W[r][k] (+ bias[r] when bias is not null), for i < m and r < w.rows.
// X is m x w.cols with leading dimension ldx, Y is m x w.rows with leading dimension ldy (in floats).
// Small m takes the memory-bound path that reads the weights in their stored type; large m the blocked GEMM path.
void matmul(ThreadPool& pool, const WeightView& w, const float* x, int64_t m, int64_t ldx, float* y, int64_t ldy,
            const float* bias);

// C = alpha * A * op(B) + beta * C, all f32 and row-major. A is m x k (lda). With transB, B is n x k (ldb);
// otherwise B is k x n (ldb). C is m x n (ldc).
void sgemm(ThreadPool& pool, bool transB, int64_t m, int64_t n, int64_t k, float alpha, const float* a, int64_t lda,
           const float* b, int64_t ldb, float beta, float* c, int64_t ldc);

}  // namespace recognizer
