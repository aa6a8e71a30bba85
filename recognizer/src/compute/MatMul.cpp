#include "compute/MatMul.h"

#include <algorithm>
#include <atomic>
#include <cassert>

#include "compute/BlockLayouts.h"
#include "compute/Kernels.h"
#include "compute/ScratchBuffer.h"
#include "compute/ThreadPool.h"

namespace recognizer {

namespace {

// Up to this many activation rows the weights are streamed in their stored type (decoder steps, prompts); above it
// they are expanded into packed panels for the blocked product. Quantized rows cost more to decode in the streaming
// kernels, so they switch earlier.
constexpr int64_t kSmallM = 48;
constexpr int64_t kSmallMQuantized = 16;
// Depth of one packed block: an A micro-panel of mr x kMaxKc floats stays in the L1 cache.
constexpr int64_t kMaxKc = 384;
// Largest packed copy of B (16 MB): wider matrices are multiplied in column slabs.
constexpr int64_t kMaxPackedFloats = int64_t(4) << 20;

struct ThreadScratch {
    ScratchBuffer packedA;
    ScratchBuffer rows;  // expanded weight rows of one B panel
    ScratchBuffer tile;  // edge tiles
    ScratchBuffer packedB;
    ScratchBuffer normed;     // normalised activation rows of matmulRows()
    ScratchBuffer quantized;  // activation rows of matmulRows() in 8-bit blocks
};

ThreadScratch& threadScratch() {
    thread_local ThreadScratch s;
    return s;
}

int64_t ceilDiv(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

// ---- Few activation rows: split the output rows (or columns) over the threads in chunks taken on demand. ----

// The m activation rows of x (`cols` values each) in 8-bit blocks, kept in the thread's scratch.
ActivationBlocks quantizeRows(const Kernels& K, const float* x, int64_t m, int64_t ldx, int64_t cols,
                              ThreadScratch& s) {
    const int64_t blocks = cols / kBlock;
    float* scales = s.quantized.get(size_t(m * (2 * blocks + cols / 4)));
    float* sums = scales + m * blocks;
    auto* codes = reinterpret_cast<int8_t*>(sums + m * blocks);
    for (int64_t i = 0; i < m; ++i)
        K.quantizeActivations(x + i * ldx, cols, codes + i * cols, scales + i * blocks, sums + i * blocks);
    return {codes, scales, sums};
}

struct GemvJob {
    GemvKernel kernel;
    const void* w;
    size_t stride;
    int64_t cols;
    const float* x;
    int64_t m;
    int64_t ldx;
    float* y;
    int64_t ldy;
    const float* bias;
    float alpha;
    float beta;
    int64_t rows;
    int64_t chunk;
    std::atomic<int64_t> next{0};
};

int64_t gemvChunk(int64_t rows, int threads) {
    if (threads == 1) return rows;
    return std::max<int64_t>(8, ceilDiv(ceilDiv(rows, int64_t(threads) * 4), 4) * 4);
}

void runGemv(ThreadPool& pool, GemvJob& job) {
    pool.runDynamic([&job](int, int) {
        for (;;) {
            const int64_t r0 = job.next.fetch_add(job.chunk, std::memory_order_relaxed);
            if (r0 >= job.rows) return;
            const int64_t r1 = std::min(job.rows, r0 + job.chunk);
            job.kernel(job.w, job.stride, job.cols, job.x, job.m, job.ldx, job.y, job.ldy, r0, r1, job.bias,
                       job.alpha, job.beta);
        }
    });
}

// ---- Blocked product: B is packed once into [k block][nr panel][kc][nr]; tiles of C are taken on demand, each
// packing its rows of A per k block into [mr panel][kc][mr]. ----

enum class BSource { Rows, Cols, Weights };

struct GemmJob {
    const Kernels* K;
    int64_t m, n, k;
    float alpha;
    const float* a;
    int64_t lda;
    BSource source;
    const float* b;  // Rows: n x k; Cols: k x n
    int64_t ldb;
    WeightView w;
    float beta;
    float* c;
    int64_t ldc;
    const float* bias;
    bool gelu = false;  // on the finished tiles of C

    int64_t kc = 0, kBlocks = 0, nPanels = 0, mcPanels = 0, mTiles = 0, chunkPanels = 0, nChunks = 0;
    float* packedB = nullptr;
    std::atomic<int64_t> nextPanel{0};
    std::atomic<int64_t> nextTile{0};

    float* panelB(int64_t p, int64_t j) const { return packedB + (p * nPanels + j) * kc * K->nr; }
};

void planGemm(GemmJob& job, int threads) {
    const int mr = job.K->mr, nr = job.K->nr;
    job.kBlocks = ceilDiv(job.k, kMaxKc);
    job.kc = ceilDiv(job.k, job.kBlocks);
    job.nPanels = ceilDiv(job.n, nr);
    // Rows per tile: at least four tiles per thread, so that taking tiles on demand evens out threads that the
    // system runs late or slowly; otherwise as many panels as possible (up to 8) to share each packed block of B,
    // unless fewer leave a shorter last round of tiles: the time until the last thread is done, in panels, counts
    // every full round and the largest tile of the last one, and smaller tiles must save at least 3% of it.
    const int64_t mPanels = ceilDiv(job.m, mr);
    const auto span = [&](int64_t panels) {
        const int64_t tiles = ceilDiv(mPanels, panels), rounds = ceilDiv(tiles, threads);
        const bool lastAlone = tiles - (rounds - 1) * threads == 1;
        return (rounds - 1) * panels + (lastAlone ? mPanels - (tiles - 1) * panels : panels);
    };
    job.mcPanels = std::clamp<int64_t>(mPanels / (4 * int64_t(threads)), 1, 8);
    for (int64_t panels = job.mcPanels - 1; panels >= 1; --panels)
        if (double(span(panels)) * 1.03 < double(span(job.mcPanels))) job.mcPanels = panels;
    job.mTiles = ceilDiv(mPanels, job.mcPanels);
    // Too few row tiles to keep every thread busy: split the columns as well.
    int64_t chunks = 1;
    if (job.mTiles < 2 * threads) chunks = std::min(job.nPanels, ceilDiv(2 * threads, job.mTiles));
    job.chunkPanels = ceilDiv(job.nPanels, chunks);
    job.nChunks = ceilDiv(job.nPanels, job.chunkPanels);
}

void packBPanel(const GemmJob& job, int64_t j, ThreadScratch& s) {
    const Kernels& K = *job.K;
    const int64_t nr = K.nr, n0 = j * nr, rows = std::min(nr, job.n - n0);
    // The panel's first row (Rows, Weights) or first column (Cols) of B.
    const float* src = job.source == BSource::Weights ? nullptr
                     : job.source == BSource::Cols  ? job.b + n0
                                                    : job.b + n0 * job.ldb;
    int64_t ld = job.ldb;
    if (job.source == BSource::Weights) {
        // Expand this panel's weight rows once; the blocks below are then cut from f32 rows.
        float* buf = s.rows.get(size_t(nr * job.k));
        const size_t stride = rowBytes(job.w.type, job.k);
        for (int64_t r = 0; r < rows; ++r) {
            K.dequantize[int(job.w.type)](static_cast<const char*>(job.w.data) + size_t(n0 + r) * stride,
                                          buf + r * job.k, job.k);
        }
        src = buf;
        ld = job.k;
    }
    for (int64_t p = 0; p < job.kBlocks; ++p) {
        const int64_t k0 = p * job.kc, kcp = std::min(job.kc, job.k - k0);
        float* dst = job.panelB(p, j);
        if (job.source == BSource::Cols) {
            for (int64_t kk = 0; kk < kcp; ++kk) {
                const float* row = src + (k0 + kk) * ld;
                float* out = dst + kk * nr;
                std::copy(row, row + rows, out);
                std::fill(out + rows, out + nr, 0.0f);
            }
        } else {
            K.packTransposed(src + k0, ld, rows, kcp, dst, nr);
        }
    }
}

void runTile(const GemmJob& job, int64_t t, ThreadScratch& s) {
    const Kernels& K = *job.K;
    const int64_t mr = K.mr, nr = K.nr;
    const int64_t i0 = (t / job.nChunks) * job.mcPanels * mr;
    const int64_t i1 = std::min(job.m, i0 + job.mcPanels * mr);
    const int64_t jp0 = (t % job.nChunks) * job.chunkPanels;
    const int64_t jp1 = std::min(job.nPanels, jp0 + job.chunkPanels);
    const int64_t aPanels = ceilDiv(i1 - i0, mr);
    float* pa = s.packedA.get(size_t(job.mcPanels * mr * job.kc));
    float* tmp = s.tile.get(size_t(mr * nr));

    if (job.beta != 0.0f && job.beta != 1.0f) {
        const int64_t c0 = jp0 * nr, c1 = std::min(job.n, jp1 * nr);
        for (int64_t i = i0; i < i1; ++i)
            for (int64_t j = c0; j < c1; ++j) job.c[i * job.ldc + j] *= job.beta;
    }
    for (int64_t p = 0; p < job.kBlocks; ++p) {
        const int64_t k0 = p * job.kc, kcp = std::min(job.kc, job.k - k0);
        for (int64_t ip = 0; ip < aPanels; ++ip) {
            const int64_t row = i0 + ip * mr;
            float* dst = pa + ip * job.kc * mr;
            K.packTransposed(job.a + row * job.lda + k0, job.lda, std::min(mr, i1 - row), kcp, dst, mr);
            if (job.alpha != 1.0f)
                for (int64_t e = 0; e < kcp * mr; ++e) dst[e] *= job.alpha;
        }
        const bool accumulate = p > 0 || job.beta != 0.0f;
        for (int64_t jp = jp0; jp < jp1; ++jp) {
            const float* pb = job.panelB(p, jp);
            const int64_t col = jp * nr, cols = std::min(nr, job.n - col);
            const float* bias = p == 0 && job.bias ? job.bias + col : nullptr;
            for (int64_t ip = 0; ip < aPanels; ++ip) {
                const int64_t row = i0 + ip * mr, rows = std::min(mr, i1 - row);
                float* c = job.c + row * job.ldc + col;
                if (rows == mr && cols == nr) {
                    K.gemmTile(kcp, pa + ip * job.kc * mr, pb, c, job.ldc, bias, accumulate);
                } else {
                    K.gemmTile(kcp, pa + ip * job.kc * mr, pb, tmp, nr, nullptr, false);
                    for (int64_t i = 0; i < rows; ++i) {
                        for (int64_t j = 0; j < cols; ++j) {
                            float& out = c[i * job.ldc + j];
                            out = (accumulate ? out : 0.0f) + tmp[i * nr + j] + (bias ? bias[j] : 0.0f);
                        }
                    }
                }
                if (job.gelu && p + 1 == job.kBlocks)
                    for (int64_t i = 0; i < rows; ++i) K.gelu(c + i * job.ldc, cols);
            }
        }
    }
}

void runSlab(ThreadPool& pool, GemmJob& job) {
    planGemm(job, pool.size());
    job.packedB = threadScratch().packedB.get(size_t(job.kBlocks * job.nPanels * job.kc * job.K->nr));
    job.nextPanel.store(0, std::memory_order_relaxed);
    job.nextTile.store(0, std::memory_order_relaxed);
    pool.runDynamic([&job](int, int) {
        ThreadScratch& s = threadScratch();
        for (int64_t j; (j = job.nextPanel.fetch_add(1, std::memory_order_relaxed)) < job.nPanels;)
            packBPanel(job, j, s);
    });
    const int64_t tiles = job.mTiles * job.nChunks;
    pool.runDynamic([&job, tiles](int, int) {
        ThreadScratch& s = threadScratch();
        for (int64_t t; (t = job.nextTile.fetch_add(1, std::memory_order_relaxed)) < tiles;) runTile(job, t, s);
    });
}

// Column slabs keep the packed copy of B within kMaxPackedFloats, whatever the size of the matrix.
void runGemm(ThreadPool& pool, GemmJob& job) {
    const int64_t nr = job.K->nr;
    const int64_t slab = std::max(nr, kMaxPackedFloats / job.k / nr * nr);
    const int64_t n = job.n;
    const float* b = job.b;
    const char* weights = static_cast<const char*>(job.w.data);
    float* c = job.c;
    const float* bias = job.bias;
    for (int64_t j0 = 0; j0 < n; j0 += slab) {
        job.n = std::min(slab, n - j0);
        job.c = c + j0;
        job.bias = bias ? bias + j0 : nullptr;
        if (job.source == BSource::Rows) job.b = b + j0 * job.ldb;
        if (job.source == BSource::Cols) job.b = b + j0;
        if (job.source == BSource::Weights) job.w.data = weights + size_t(j0) * rowBytes(job.w.type, job.k);
        runSlab(pool, job);
    }
}

}  // namespace

void matmul(ThreadPool& pool, const float* x, int64_t m, int64_t ldx, const RowProduct& product) {
    const WeightView& w = product.w;
    if (m <= 0 || w.rows <= 0) return;
    if (m <= (isQuantized(w.type) ? kSmallMQuantized : kSmallM)) {
        matmulRows(pool, x, m, ldx, nullptr, &product, 1);
        return;
    }
    GemmJob job{&kernels(), m, w.rows, w.cols, 1.0f, x, ldx, BSource::Weights, nullptr, 0, w,
                product.accumulate ? 1.0f : 0.0f, product.y, product.ldy, product.bias, product.gelu};
    if (w.type == TensorType::F32) {
        job.source = BSource::Rows;
        job.b = static_cast<const float*>(w.data);
        job.ldb = w.cols;
    }
    runGemm(pool, job);
}

void matmulRows(ThreadPool& pool, const float* x, int64_t m, int64_t ldx, const RowNorm* norm,
                const RowProduct* products, int count) {
    if (m <= 0 || count <= 0) return;
    assert(count <= kMaxRowProducts);
    const Kernels& K = kernels();
    const int64_t cols = products[0].w.cols;
    // Output rows are handed out in chunks numbered across all the products.
    int64_t chunk[kMaxRowProducts], firstChunk[kMaxRowProducts + 1] = {0};
    for (int p = 0; p < count; ++p) {
        chunk[p] = gemvChunk(products[p].w.rows, pool.size());
        firstChunk[p + 1] = firstChunk[p] + ceilDiv(products[p].w.rows, chunk[p]);
    }
    bool quantized = false;
    for (int p = 0; p < count; ++p) quantized = quantized || isQuantized(products[p].w.type);
    std::atomic<int64_t> next{0};
    pool.runDynamic([&](int, int) {
        ThreadScratch& s = threadScratch();
        const float* in = x;
        int64_t ld = ldx;
        if (norm) {
            float* rows = s.normed.get(size_t(m * cols));
            for (int64_t i = 0; i < m; ++i)
                K.layerNorm(x + i * ldx, cols, norm->weight, norm->bias, norm->eps, rows + i * cols);
            in = rows;
            ld = cols;
        }
        // Products with quantized weights take the rows in 8-bit blocks, quantized once here for all their chunks.
        const ActivationBlocks blocks = quantized ? quantizeRows(K, in, m, ld, cols, s) : ActivationBlocks{};
        int p = 0;
        for (int64_t c; (c = next.fetch_add(1, std::memory_order_relaxed)) < firstChunk[count];) {
            while (c >= firstChunk[p + 1]) ++p;
            const RowProduct& prod = products[p];
            const int64_t r0 = (c - firstChunk[p]) * chunk[p], r1 = std::min(prod.w.rows, r0 + chunk[p]);
            const size_t stride = rowBytes(prod.w.type, cols);
            if (isQuantized(prod.w.type)) {
                K.blockGemv[int(prod.w.type)](prod.w.data, stride, cols, blocks, m, prod.y, prod.ldy, r0, r1,
                                              prod.bias, prod.accumulate);
            } else {
                K.gemv[int(prod.w.type)](prod.w.data, stride, cols, in, m, ld, prod.y, prod.ldy, r0, r1, prod.bias,
                                         1.0f, prod.accumulate ? 1.0f : 0.0f);
            }
            if (prod.gelu)
                for (int64_t i = 0; i < m; ++i) K.gelu(prod.y + i * prod.ldy + r0, r1 - r0);
        }
    });
}

void sgemm(ThreadPool& pool, bool transB, int64_t m, int64_t n, int64_t k, float alpha, const float* a, int64_t lda,
           const float* b, int64_t ldb, float beta, float* c, int64_t ldc) {
    if (m <= 0 || n <= 0) return;
    if (k <= 0) {
        for (int64_t i = 0; i < m; ++i)
            for (int64_t j = 0; j < n; ++j) c[i * ldc + j] = beta == 0.0f ? 0.0f : beta * c[i * ldc + j];
        return;
    }
    const Kernels& K = kernels();
    if (m <= kSmallM && transB) {
        GemvJob job{K.gemv[int(TensorType::F32)], b, size_t(ldb) * sizeof(float), k, a, m, lda, c, ldc, nullptr,
                    alpha, beta, n, gemvChunk(n, pool.size())};
        runGemv(pool, job);
        return;
    }
    if (m <= kSmallM) {
        const int64_t chunk = std::max<int64_t>(64, ceilDiv(ceilDiv(n, int64_t(pool.size()) * 2), 64) * 64);
        std::atomic<int64_t> next{0};
        pool.runDynamic([&](int, int) {
            for (int64_t j0; (j0 = next.fetch_add(chunk, std::memory_order_relaxed)) < n;)
                K.gemmSmallNN(m, k, alpha, a, lda, b, ldb, beta, c, ldc, j0, std::min(n, j0 + chunk));
        });
        return;
    }
    GemmJob job{&K, m, n, k, alpha, a, lda, transB ? BSource::Rows : BSource::Cols, b, ldb,
                WeightView{TensorType::F32, 0, 0, nullptr}, beta, c, ldc, nullptr};
    runGemm(pool, job);
}

}  // namespace recognizer
