#include "compute/VectorOps.h"

#include "compute/Kernels.h"

namespace recognizer {

void layerNormRow(const float* x, int64_t n, const float* w, const float* b, float eps, float* out) {
    kernels().layerNorm(x, n, w, b, eps, out);
}

void geluInPlace(float* x, int64_t n) {
    kernels().gelu(x, n);
}

void softmaxInPlace(float* x, int64_t n, float scale) {
    kernels().softmax(x, n, scale);
}

void addInPlace(float* y, const float* x, int64_t n) {
    kernels().add(y, x, n);
}

float dot(const float* a, const float* b, int64_t n) {
    return kernels().dot(a, b, n);
}

void transposeRows(const float* src, int64_t ld, int64_t rows, int64_t cols, float* dst) {
    kernels().packTransposed(src, ld, rows, cols, dst, rows);
}

}  // namespace recognizer
