#pragma once

#include <cstdint>

namespace recognizer {

// Single-threaded row kernels; callers split rows across the pool.
// out = (x - mean) / sqrt(var + eps) * w + b, biased variance, for one row of n values (out may alias x).
void layerNormRow(const float* x, int64_t n, const float* w, const float* b, float eps, float* out);
// GELU, tanh form, in place.
void geluInPlace(float* x, int64_t n);
// x = softmax(x * scale) in place; returns nothing, handles -INFINITY entries (masked).
void softmaxInPlace(float* x, int64_t n, float scale);
// y += x
void addInPlace(float* y, const float* x, int64_t n);
float dot(const float* a, const float* b, int64_t n);
// dst[c * rows + r] = src[r * ld + c] for r < rows and c < cols: the columns of src become the rows of dst.
void transposeRows(const float* src, int64_t ld, int64_t rows, int64_t cols, float* dst);

}  // namespace recognizer
