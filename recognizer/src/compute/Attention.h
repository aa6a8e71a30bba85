#pragma once

#include <cstdint>

namespace recognizer {

class ThreadPool;

// Multi-head attention without a mask, as in the encoder and in cross-attention over a batch of queries: for each
// head h (columns [h * dh, (h + 1) * dh) of q, k, v and out) and query i,
//     out[i] = sum_j softmax_j(scale * q[i] . k[j]) * v[j].
// q and out have nq rows, k and v nk rows; ldq, ldk, ldv and ldo are the row strides in floats. The scores of a block
// of queries stay in the cache of the thread that uses them: no nq x nk matrix is written to memory.
void attention(ThreadPool& pool, int64_t nq, int64_t nk, int64_t heads, int64_t dh, float scale, const float* q,
               int64_t ldq, const float* k, int64_t ldk, const float* v, int64_t ldv, float* out, int64_t ldo);

}  // namespace recognizer
