#pragma once

#include <cstdint>

namespace recognizer {

class ThreadPool;

// Attention of a few query rows (one decoder step) over many keys and values kept in f16, as in cross-attention over
// the encoder output: for every head h and query row i < m,
//     out[i][h * dh + c] = sum_j softmax_j(scale * q[i][h * dh ...] . k[h][j]) * vt[h * dh + c][j],  j < nk.
// Keys are [head][position][dh]; values are transposed, one row of nk positions per channel (heads in order). q and
// out have row strides ldq and ldo in floats.
// The scores are cut into blocks of positions and the weighted sums into blocks of channels, which the threads take
// on demand in a single pool run; the result is the same for every number of threads.
void attendFewRows(ThreadPool& pool, int64_t m, int64_t nk, int64_t heads, int64_t dh, float scale, const float* q,
                   int64_t ldq, const uint16_t* k, const uint16_t* vt, float* out, int64_t ldo);

}  // namespace recognizer
