#include "compute/Attention.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "compute/Kernels.h"
#include "compute/ScratchBuffer.h"
#include "compute/ThreadPool.h"

namespace recognizer {

namespace {

// Keys per block of the running softmax (rounded up to whole register tiles): one block's scores for one panel of
// queries stay in the L1 cache, and the weighted sum over them is deep enough for the register kernel.
constexpr int64_t kBlockKeys = 96;
// Panels of queries per task: each block of packed keys and values serves this many panels while it is in the cache.
constexpr int64_t kTilePanels = 4;

struct AttentionScratch {
    ScratchBuffer packed;   // the caller's: keys and transposed values of every head, in micro-panels
    ScratchBuffer queries;  // a worker's: its tile's queries, per panel [dh][nr]
    ScratchBuffer outputs;  // a worker's: its tile's unnormalised outputs, per panel [dh rounded up to mr][nr]
    ScratchBuffer scores;   // a worker's: one block's scores for one panel, [key][nr], then per query the shift and
                            // sum of its softmax, and the latest rescale factors
};

AttentionScratch& threadScratch() {
    thread_local AttentionScratch s;
    return s;
}

int64_t ceilDiv(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

}  // namespace

// Both products run transposed so that nothing big is ever transposed: the scores of a panel of nr queries are
// computed as S^T = K Q^T, which leaves them in exactly the [key][nr] layout the register kernel reads as its B panel;
// the output is then out^T = V^T S^T, with V^T packed once per head by plain row copies. The keys go by in blocks: the
// softmax runs down the columns of each block's S^T, rescaling what the earlier blocks added to out^T in the rare
// blocks that move a column's shift, and the sums are divided out when the output is written back. A task takes a
// tile of several query panels, so that every block of keys and values is read once per tile.
void attention(ThreadPool& pool, int64_t nq, int64_t nk, int64_t heads, int64_t dh, float scale, const float* q,
               int64_t ldq, const float* k, int64_t ldk, const float* v, int64_t ldv, float* out, int64_t ldo) {
    if (nq <= 0 || heads <= 0 || dh <= 0) return;
    if (nk <= 0) {
        // Nothing to attend to: no weight anywhere.
        for (int64_t i = 0; i < nq; ++i) std::fill(out + i * ldo, out + i * ldo + heads * dh, 0.0f);
        return;
    }
    const Kernels& K = kernels();
    const int64_t mr = K.mr, nr = K.nr;
    const int64_t blockKeys = ceilDiv(kBlockKeys, mr) * mr, keyBlocks = ceilDiv(nk, blockKeys);
    const int64_t keyPanels = ceilDiv(nk, mr), dhPanels = ceilDiv(dh, mr);
    const int64_t keySize = keyPanels * mr * dh;
    const int64_t headSize = keySize + keyBlocks * dhPanels * blockKeys * mr;
    float* packed = threadScratch().packed.get(size_t(heads * headSize));
    auto packedKeys = [&](int64_t h, int64_t panel) { return packed + h * headSize + panel * dh * mr; };
    auto packedValues = [&](int64_t h, int64_t block, int64_t dp) {
        return packed + h * headSize + keySize + (block * dhPanels + dp) * blockKeys * mr;
    };

    const int64_t unitsPerHead = keyPanels + keyBlocks;
    std::atomic<int64_t> nextUnit{0};
    pool.runDynamic([&](int, int) {
        for (int64_t u; (u = nextUnit.fetch_add(1, std::memory_order_relaxed)) < heads * unitsPerHead;) {
            const int64_t h = u / unitsPerHead, j = u % unitsPerHead;
            if (j < keyPanels) {
                const int64_t key0 = j * mr;
                K.packTransposed(k + key0 * ldk + h * dh, ldk, std::min(mr, nk - key0), dh, packedKeys(h, j), mr);
                continue;
            }
            const int64_t p = j - keyPanels, k0 = p * blockKeys, keys = std::min(blockKeys, nk - k0);
            for (int64_t dp = 0; dp < dhPanels; ++dp) {
                const int64_t c0 = dp * mr, cols = std::min(mr, dh - c0);
                float* dst = packedValues(h, p, dp);
                for (int64_t kk = 0; kk < keys; ++kk) {
                    const float* row = v + (k0 + kk) * ldv + h * dh + c0;
                    std::copy(row, row + cols, dst + kk * mr);
                    std::fill(dst + kk * mr + cols, dst + (kk + 1) * mr, 0.0f);
                }
            }
        }
    });

    const int64_t queryPanels = ceilDiv(nq, nr), tiles = ceilDiv(queryPanels, kTilePanels);
    const int64_t outputSize = dhPanels * mr * nr;
    std::atomic<int64_t> nextTask{0};
    pool.runDynamic([&](int, int) {
        AttentionScratch& s = threadScratch();
        float* queries = s.queries.get(size_t(kTilePanels * dh * nr));
        float* outputs = s.outputs.get(size_t(kTilePanels * outputSize));
        float* scores = s.scores.get(size_t(blockKeys * nr + (2 * kTilePanels + 1) * nr));
        float* shifts = scores + blockKeys * nr;
        float* sums = shifts + kTilePanels * nr;
        float* rescale = sums + kTilePanels * nr;
        for (int64_t t; (t = nextTask.fetch_add(1, std::memory_order_relaxed)) < heads * tiles;) {
            const int64_t h = t / tiles, panel0 = (t % tiles) * kTilePanels;
            const int64_t panels = std::min(kTilePanels, queryPanels - panel0);
            for (int64_t j = 0; j < panels; ++j) {
                const int64_t q0 = (panel0 + j) * nr;
                float* qj = queries + j * dh * nr;
                K.packTransposed(q + q0 * ldq + h * dh, ldq, std::min(nr, nq - q0), dh, qj, nr);
                for (int64_t e = 0; e < dh * nr; ++e) qj[e] *= scale;
                std::fill(shifts + j * nr, shifts + (j + 1) * nr, -INFINITY);
                std::fill(sums + j * nr, sums + (j + 1) * nr, 0.0f);
            }
            for (int64_t b = 0; b < keyBlocks; ++b) {
                const int64_t key0 = b * blockKeys, keys = std::min(blockKeys, nk - key0);
                for (int64_t j = 0; j < panels; ++j) {
                    float* oj = outputs + j * outputSize;
                    for (int64_t kp = 0; kp < ceilDiv(keys, mr); ++kp) {
                        K.gemmTile(dh, packedKeys(h, key0 / mr + kp), queries + j * dh * nr, scores + kp * mr * nr,
                                   nr, nullptr, false);
                    }
                    if (K.softmaxColumns(scores, keys, nr, shifts + j * nr, sums + j * nr, rescale) && b > 0) {
                        for (int64_t c = 0; c < dh; ++c)
                            for (int64_t jq = 0; jq < nr; ++jq) oj[c * nr + jq] *= rescale[jq];
                    }
                    for (int64_t dp = 0; dp < dhPanels; ++dp)
                        K.gemmTile(keys, packedValues(h, b, dp), scores, oj + dp * mr * nr, nr, nullptr, b > 0);
                }
            }
            for (int64_t j = 0; j < panels; ++j) {
                const int64_t q0 = (panel0 + j) * nr, rows = std::min(nr, nq - q0);
                const float* oj = outputs + j * outputSize;
                for (int64_t jq = 0; jq < rows; ++jq) {
                    const float inv = 1.0f / sums[j * nr + jq];
                    float* dst = out + (q0 + jq) * ldo + h * dh;
                    for (int64_t c = 0; c < dh; ++c) dst[c] = oj[c * nr + jq] * inv;
                }
            }
        }
    });
}

}  // namespace recognizer
