#include "compute/FewRowAttention.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "compute/CpuRelax.h"
#include "compute/Kernels.h"
#include "compute/ScratchBuffer.h"
#include "compute/TensorType.h"
#include "compute/ThreadPool.h"

namespace recognizer {

namespace {

// Shortest block of positions whose scores one task computes: shorter ones cost more in calls than they gain in balance.
constexpr int64_t kMinKeys = 128;
// Fewest channels whose weighted sums one task computes: two of the products' four-row groups.
constexpr int64_t kMinChannels = 8;
// Blocks of each kind per thread, so that threads the system runs late do not hold up the result.
constexpr int64_t kBlocksPerThread = 3;
// Checks of a head's progress before a task that needs its softmax goes to sleep on it. The softmax is being worked out
// by a running thread and takes microseconds.
constexpr int kSpins = 4000;

struct FewRowScratch {
    ScratchBuffer weights;  // per head and row, the scores over all positions, then their softmax
    std::unique_ptr<std::atomic<int>[]> progress;  // per head: blocks of scores done, then the softmax done
    int64_t progressSize = 0;

    std::atomic<int>* progressCounters(int64_t heads) {
        if (heads > progressSize) {
            progress = std::make_unique<std::atomic<int>[]>(size_t(heads));
            progressSize = heads;
        }
        for (int64_t h = 0; h < heads; ++h) progress[h].store(0, std::memory_order_relaxed);
        return progress.get();
    }
};

FewRowScratch& threadScratch() {
    thread_local FewRowScratch s;
    return s;
}

int64_t ceilDiv(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

void awaitValue(const std::atomic<int>& value, int wanted) {
    for (int i = 0; i < kSpins; ++i) {
        if (value.load(std::memory_order_acquire) == wanted) return;
        cpuRelax();
    }
    for (int now; (now = value.load(std::memory_order_acquire)) != wanted;) value.wait(now, std::memory_order_acquire);
}

}  // namespace

// Every score is one dot product, every softmax runs over a whole row and every output is one weighted sum over all
// positions, so the result does not depend on how the work is cut, and the cuts can follow the number of threads.
// The tasks are numbered with all score blocks (head by head) before all channel blocks: a thread that takes a channel
// block finds the head's softmax done or being worked out by the thread that finished its last score block.
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
    const int64_t perHead = ceilDiv(kBlocksPerThread * pool.size(), heads);
    const int64_t keyLen = ceilDiv(nk, std::clamp<int64_t>(perHead, 1, std::max<int64_t>(1, nk / kMinKeys)));
    const int64_t keyBlocks = ceilDiv(nk, keyLen);
    const int64_t channelLen =
        ceilDiv(ceilDiv(dh, std::clamp<int64_t>(perHead, 1, std::max<int64_t>(1, dh / kMinChannels))), 4) * 4;
    const int64_t channelBlocks = ceilDiv(dh, channelLen);
    const int softmaxDone = int(keyBlocks) + 1;
    FewRowScratch& own = threadScratch();
    float* weights = own.weights.get(size_t(heads * m * nk));
    std::atomic<int>* progress = own.progressCounters(heads);
    const size_t keyBytes = size_t(dh) * sizeof(uint16_t), positionBytes = size_t(nk) * sizeof(uint16_t);
    std::atomic<int64_t> next{0};
    pool.runDynamic([&](int, int) {
        for (int64_t u; (u = next.fetch_add(1, std::memory_order_relaxed)) < heads * (keyBlocks + channelBlocks);) {
            if (u < heads * keyBlocks) {
                const int64_t h = u / keyBlocks, j0 = u % keyBlocks * keyLen, j1 = std::min(nk, j0 + keyLen);
                float* w = weights + h * m * nk;
                gemv(k + h * nk * dh, keyBytes, dh, q + h * dh, m, ldq, w, nk, j0, j1, nullptr, 1.0f, 0.0f);
                if (progress[h].fetch_add(1, std::memory_order_acq_rel) + 1 == keyBlocks) {
                    for (int64_t i = 0; i < m; ++i) K.softmax(w + i * nk, nk, scale);
                    progress[h].store(softmaxDone, std::memory_order_release);
                    progress[h].notify_all();
                }
                continue;
            }
            const int64_t c = u - heads * keyBlocks, h = c / channelBlocks, c0 = c % channelBlocks * channelLen;
            awaitValue(progress[h], softmaxDone);
            gemv(vt + h * dh * nk, positionBytes, nk, weights + h * m * nk, m, nk, out + h * dh, ldo, c0,
                 std::min(dh, c0 + channelLen), nullptr, 1.0f, 0.0f);
        }
    });
}

}  // namespace recognizer
