#include "compute/Attention.h"

#include <algorithm>
#include <atomic>

#include "compute/Kernels.h"
#include "compute/ScratchBuffer.h"
#include "compute/ThreadPool.h"

namespace recognizer {

namespace {

// Keys per block of the weighted sum: an A micro-panel of mr x kMaxKc floats stays in the L1 cache.
constexpr int64_t kMaxKc = 384;

struct AttentionScratch {
    ScratchBuffer packed;   // the caller's: keys and transposed values of every head, in micro-panels
    ScratchBuffer scores;   // a worker's: the scores of one block of nr queries, [key][nr]
    ScratchBuffer queries;  // a worker's: that block's queries, [dh][nr]
    ScratchBuffer tile;     // a worker's: one output tile and the reciprocal column sums
};

AttentionScratch& threadScratch() {
    thread_local AttentionScratch s;
    return s;
}

int64_t ceilDiv(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

}  // namespace

// Both products run transposed so that nothing big is ever transposed: the scores of nr queries are computed as
// S^T = K Q^T, which leaves them in exactly the [key][nr] layout the register kernel reads as its B panel; the
// output is then out^T = V^T S^T, with V^T packed once per head by plain row copies. The softmax runs down the
// columns of S^T, and its normalisation is applied when the output tile is written back.
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
    const int64_t keyPanels = ceilDiv(nk, mr);
    const int64_t dhPanels = ceilDiv(dh, mr);
    const int64_t kBlocks = ceilDiv(nk, kMaxKc), kc = ceilDiv(nk, kBlocks);
    const int64_t keySize = keyPanels * mr * dh;
    const int64_t headSize = keySize + kBlocks * dhPanels * kc * mr;
    float* packed = threadScratch().packed.get(size_t(heads * headSize));
    auto packedKeys = [&](int64_t h, int64_t panel) { return packed + h * headSize + panel * dh * mr; };
    auto packedValues = [&](int64_t h, int64_t p, int64_t dp) {
        return packed + h * headSize + keySize + (p * dhPanels + dp) * kc * mr;
    };

    const int64_t unitsPerHead = keyPanels + kBlocks;
    std::atomic<int64_t> nextUnit{0};
    pool.runDynamic([&](int, int) {
        for (int64_t u; (u = nextUnit.fetch_add(1, std::memory_order_relaxed)) < heads * unitsPerHead;) {
            const int64_t h = u / unitsPerHead, j = u % unitsPerHead;
            if (j < keyPanels) {
                const int64_t key0 = j * mr;
                K.packTransposed(k + key0 * ldk + h * dh, ldk, std::min(mr, nk - key0), dh, packedKeys(h, j), mr);
                continue;
            }
            const int64_t p = j - keyPanels, k0 = p * kc, kcp = std::min(kc, nk - k0);
            for (int64_t dp = 0; dp < dhPanels; ++dp) {
                const int64_t c0 = dp * mr, cols = std::min(mr, dh - c0);
                float* dst = packedValues(h, p, dp);
                for (int64_t kk = 0; kk < kcp; ++kk) {
                    const float* row = v + (k0 + kk) * ldv + h * dh + c0;
                    std::copy(row, row + cols, dst + kk * mr);
                    std::fill(dst + kk * mr + cols, dst + (kk + 1) * mr, 0.0f);
                }
            }
        }
    });

    const int64_t queryBlocks = ceilDiv(nq, nr);
    std::atomic<int64_t> nextTask{0};
    pool.runDynamic([&](int, int) {
        AttentionScratch& s = threadScratch();
        float* scores = s.scores.get(size_t(keyPanels * mr * nr));
        float* queries = s.queries.get(size_t(dh * nr));
        float* tile = s.tile.get(size_t(mr * nr + nr));
        float* inv = tile + mr * nr;
        for (int64_t t; (t = nextTask.fetch_add(1, std::memory_order_relaxed)) < heads * queryBlocks;) {
            const int64_t h = t / queryBlocks, q0 = (t % queryBlocks) * nr, rows = std::min(nr, nq - q0);
            K.packTransposed(q + q0 * ldq + h * dh, ldq, rows, dh, queries, nr);
            for (int64_t e = 0; e < dh * nr; ++e) queries[e] *= scale;
            for (int64_t kp = 0; kp < keyPanels; ++kp)
                K.gemmTile(dh, packedKeys(h, kp), queries, scores + kp * mr * nr, nr, nullptr, false);
            K.softmaxColumns(scores, nk, nr, inv);
            for (int64_t dp = 0; dp < dhPanels; ++dp) {
                for (int64_t p = 0; p < kBlocks; ++p) {
                    const int64_t kcp = std::min(kc, nk - p * kc);
                    K.gemmTile(kcp, packedValues(h, p, dp), scores + p * kc * nr, tile, nr, nullptr, p > 0);
                }
                const int64_t c0 = dp * mr, cols = std::min(mr, dh - c0);
                for (int64_t i = 0; i < cols; ++i) {
                    float* dst = out + q0 * ldo + h * dh + c0 + i;
                    for (int64_t jq = 0; jq < rows; ++jq) dst[jq * ldo] = tile[i * nr + jq] * inv[jq];
                }
            }
        }
    });
}

}  // namespace recognizer
