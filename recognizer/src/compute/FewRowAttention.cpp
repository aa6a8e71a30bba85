#include "compute/FewRowAttention.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

#include "compute/Kernels.h"
#include "compute/ScratchBuffer.h"
#include "compute/TensorType.h"
#include "compute/ThreadPool.h"

namespace recognizer {

namespace {

// Shortest block of positions: below it the per-block merge costs more than the extra parallelism gains.
constexpr int64_t kMinBlock = 128;
// Blocks per thread that the heads are cut into, so that threads the system runs late do not hold up the result.
constexpr int64_t kBlocksPerThread = 3;

struct FewRowScratch {
    ScratchBuffer scores;  // a worker's: the scores of one block, [row][position]
    ScratchBuffer parts;   // the caller's: per head, block and row, the maximum, the sum and dh outputs
    std::unique_ptr<std::atomic<int>[]> finished;  // the caller's: blocks done per head
    int64_t finishedSize = 0;

    std::atomic<int>* finishedCounters(int64_t heads) {
        if (heads > finishedSize) {
            finished = std::make_unique<std::atomic<int>[]>(size_t(heads));
            finishedSize = heads;
        }
        for (int64_t h = 0; h < heads; ++h) finished[h].store(0, std::memory_order_relaxed);
        return finished.get();
    }
};

FewRowScratch& threadScratch() {
    thread_local FewRowScratch s;
    return s;
}

int64_t ceilDiv(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

// out[i][c] = sum_b w_b * o_b[i][c] / sum_b w_b * sum_b[i], with w_b = exp(max_b[i] - max over blocks).
void mergeBlocks(const float* parts, int64_t blocks, int64_t m, int64_t partSize, int64_t dh, float* out,
                 int64_t ldo) {
    for (int64_t i = 0; i < m; ++i) {
        float max = -INFINITY;
        for (int64_t b = 0; b < blocks; ++b) max = std::max(max, parts[(b * m + i) * partSize]);
        float* o = out + i * ldo;
        std::fill(o, o + dh, 0.0f);
        if (max == -INFINITY) continue;
        float total = 0.0f;
        for (int64_t b = 0; b < blocks; ++b) {
            const float* part = parts + (b * m + i) * partSize;
            const float w = std::exp(part[0] - max);
            total += w * part[1];
            for (int64_t c = 0; c < dh; ++c) o[c] += w * part[2 + c];
        }
        const float inv = 1.0f / total;
        for (int64_t c = 0; c < dh; ++c) o[c] *= inv;
    }
}

}  // namespace

void attendFewRows(ThreadPool& pool, int64_t m, int64_t nk, int64_t heads, int64_t dh, float scale, const float* q,
                   int64_t ldq, const uint16_t* k, const uint16_t* vt, float* out, int64_t ldo) {
    if (m <= 0 || heads <= 0 || dh <= 0) return;
    if (nk <= 0) {
        // Nothing to attend to: no weight anywhere.
        for (int64_t i = 0; i < m; ++i) std::fill(out + i * ldo, out + i * ldo + heads * dh, 0.0f);
        return;
    }
    const Kernels& K = kernels();
    const GemvKernel gemv = K.gemv[int(TensorType::F16)];
    const int64_t wanted = std::clamp<int64_t>(ceilDiv(kBlocksPerThread * pool.size(), heads), 1,
                                               std::max<int64_t>(1, nk / kMinBlock));
    // Whole vectors of positions per block, so that only the last block has a partial one.
    const int64_t blockLen = ceilDiv(ceilDiv(nk, wanted), 16) * 16, blocks = ceilDiv(nk, blockLen);
    const int64_t partSize = dh + 2;
    FewRowScratch& own = threadScratch();
    float* parts = own.parts.get(size_t(heads * blocks * m * partSize));
    std::atomic<int>* finished = own.finishedCounters(heads);
    std::atomic<int64_t> next{0};
    pool.runDynamic([&](int, int) {
        float* scores = threadScratch().scores.get(size_t(m * blockLen));
        for (int64_t u; (u = next.fetch_add(1, std::memory_order_relaxed)) < heads * blocks;) {
            const int64_t h = u / blocks, b = u % blocks, j0 = b * blockLen, len = std::min(blockLen, nk - j0);
            float* headParts = parts + h * blocks * m * partSize;
            float* part = headParts + b * m * partSize;
            gemv(k + (h * nk + j0) * dh, size_t(dh) * sizeof(uint16_t), dh, q + h * dh, m, ldq, scores, len, 0, len,
                 nullptr, 1.0f, 0.0f);
            for (int64_t i = 0; i < m; ++i)
                part[i * partSize + 1] = K.softmaxParts(scores + i * len, len, scale, part + i * partSize);
            gemv(vt + h * dh * nk + j0, size_t(nk) * sizeof(uint16_t), len, scores, m, len, part + 2, partSize, 0, dh,
                 nullptr, 1.0f, 0.0f);
            if (finished[h].fetch_add(1, std::memory_order_acq_rel) + 1 == blocks)
                mergeBlocks(headParts, blocks, m, partSize, dh, out + h * dh, ldo);
        }
    });
}

}  // namespace recognizer
