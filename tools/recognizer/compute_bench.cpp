// Timings of the recognizer's compute core: encoder-shaped products (GFLOP/s), decoder-shaped weight streams (GB/s and
// ms), the pool's per-run cost, and whole encoder and decoder-step sequences built from the same calls.
//
// usage: compute-bench [--threads 1,4,8] [--level portable|avx2|avxvnni|avx512|avx512vnni] [--reps N]
//                      [--only gemm|gemv|batch|model|pool]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "compute/Attention.h"
#include "compute/FewRowAttention.h"
#include "compute/Kernels.h"
#include "compute/MatMul.h"
#include "compute/Quantization.h"
#include "compute/ThreadPool.h"
#include "recognizer/RandomValues.h"

using namespace recognizer;

namespace {

struct Options {
    std::vector<int> threads{1, 4, 8};
    int reps = 7;
    std::string only;
};

// A weight matrix in its stored type.
struct Matrix {
    std::vector<uint8_t> bytes;
    WeightView view;
};

Matrix makeMatrix(TensorType type, int64_t rows, int64_t cols) {
    Matrix m;
    const size_t stride = rowBytes(type, cols);
    m.bytes.resize(stride * size_t(rows));
    std::vector<float> row;
    for (int64_t r = 0; r < rows; ++r) {
        row = randomValues(size_t(cols), unsigned(r));
        quantizeRow(type, row.data(), m.bytes.data() + size_t(r) * stride, cols);
    }
    m.view = WeightView{type, rows, cols, m.bytes.data()};
    return m;
}

// Median and best of `reps` timed runs after one warm-up, in milliseconds.
struct Timing {
    double median;
    double best;
};

Timing timeIt(int reps, const std::function<void()>& fn) {
    fn();
    std::vector<double> ms;
    for (int i = 0; i < reps; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        fn();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

void benchGemm(const Options& o) {
    std::printf("\nEncoder-shaped products (f16 weights unless noted): GFLOP/s from the median (best) of %d runs\n",
                o.reps);
    std::printf("%-34s", "shape M x N x K");
    for (int t : o.threads) std::printf("  %13d thr", t);
    std::printf("\n");
    struct Shape {
        const char* name;
        int64_t m, n, k;
        TensorType type;
    };
    const Shape shapes[] = {
        {"qkv/out 1500 x 384 x 384", 1500, 384, 384, TensorType::F16},
        {"mlp up 1500 x 1536 x 384", 1500, 1536, 384, TensorType::F16},
        {"mlp down 1500 x 384 x 1536", 1500, 384, 1536, TensorType::F16},
        {"conv1 3000 x 384 x 240", 3000, 384, 240, TensorType::F16},
        {"conv2 1500 x 384 x 1152", 1500, 384, 1152, TensorType::F16},
        {"small qkv 1500 x 768 x 768", 1500, 768, 768, TensorType::F16},
        {"qkv 1500 x 384 x 384 q5_0", 1500, 384, 384, TensorType::Q5_0},
        {"qkv 1500 x 384 x 384 q8_0", 1500, 384, 384, TensorType::Q8_0},
        {"qkv 1500 x 384 x 384 f32", 1500, 384, 384, TensorType::F32},
    };
    for (const Shape& s : shapes) {
        const Matrix w = makeMatrix(s.type, s.n, s.k);
        const auto x = randomValues(size_t(s.m * s.k), 1);
        std::vector<float> y(size_t(s.m * s.n));
        const auto bias = randomValues(size_t(s.n), 2);
        std::printf("%-34s", s.name);
        for (int t : o.threads) {
            ThreadPool pool(t);
            const Timing tm =
                timeIt(o.reps, [&] { matmul(pool, w.view, x.data(), s.m, s.k, y.data(), s.n, bias.data()); });
            const double flop = 2.0 * double(s.m) * double(s.n) * double(s.k);
            std::printf("  %7.0f (%5.0f)", flop / tm.median / 1e6, flop / tm.best / 1e6);
        }
        std::printf("\n");
    }
    // Attention of one head: scores = Q K^T over 1500 positions (rows of a 384-wide activation), then P V.
    const int64_t n = 1500, d = 384, dh = 64;
    const auto q = randomValues(size_t(n * d), 3), k = randomValues(size_t(n * d), 4),
               v = randomValues(size_t(n * d), 5);
    std::vector<float> scores(size_t(n * n)), out(size_t(n * d));
    const auto p = randomValues(size_t(n * n), 6);
    struct Attn {
        const char* name;
        std::function<void(ThreadPool&)> fn;
        double flop;
    };
    const Attn attn[] = {
        {"attn QK^T 1500 x 1500 x 64",
         [&](ThreadPool& pool) {
             sgemm(pool, true, n, n, dh, 0.125f, q.data(), d, k.data(), d, 0.0f, scores.data(), n);
         },
         2.0 * n * n * dh},
        {"attn PV 1500 x 64 x 1500",
         [&](ThreadPool& pool) { sgemm(pool, false, n, dh, n, 1.0f, p.data(), n, v.data(), d, 0.0f, out.data(), d); },
         2.0 * n * n * dh},
        {"attention() 6 heads 1500 x 1500",
         [&](ThreadPool& pool) {
             attention(pool, n, n, 6, dh, 0.125f, q.data(), d, k.data(), d, v.data(), d, out.data(), d);
         },
         6 * 4.0 * n * n * dh},
    };
    for (const Attn& a : attn) {
        std::printf("%-34s", a.name);
        for (int t : o.threads) {
            ThreadPool pool(t);
            const Timing tm = timeIt(o.reps, [&] { a.fn(pool); });
            std::printf("  %7.0f (%5.0f)", a.flop / tm.median / 1e6, a.flop / tm.best / 1e6);
        }
        std::printf("\n");
    }
}

void benchGemv(const Options& o) {
    std::printf("\nDecoder-shaped products, one activation row: ms and GB/s of weights read (median of %d runs)\n",
                o.reps);
    std::printf("%-26s", "rows x cols type");
    for (int t : o.threads) std::printf("  %15d thr", t);
    std::printf("\n");
    struct Shape {
        int64_t rows, cols;
    };
    const Shape shapes[] = {{384, 384}, {1536, 384}, {384, 1536}, {51865, 384}, {51865, 768}};
    const TensorType types[] = {TensorType::F32,  TensorType::F16,  TensorType::Q8_0, TensorType::Q5_0,
                                TensorType::Q5_1, TensorType::Q4_0, TensorType::Q4_1};
    for (const Shape& s : shapes) {
        for (TensorType type : types) {
            if (s.rows > 50000 && type == TensorType::F32) continue;
            const Matrix w = makeMatrix(type, s.rows, s.cols);
            const auto x = randomValues(size_t(s.cols), 1);
            std::vector<float> y(size_t(s.rows));
            char name[64];
            std::snprintf(name, sizeof name, "%lld x %lld %s", (long long)s.rows, (long long)s.cols,
                          tensorTypeName(type));
            std::printf("%-26s", name);
            for (int t : o.threads) {
                ThreadPool pool(t);
                const int reps = s.rows > 50000 ? o.reps : o.reps * 20;
                const Timing tm =
                    timeIt(reps, [&] { matmul(pool, w.view, x.data(), 1, s.cols, y.data(), s.rows, nullptr); });
                std::printf("  %7.3f ms %4.0f", tm.median, double(w.bytes.size()) / tm.median / 1e6);
            }
            std::printf("\n");
        }
    }
}

// Where few activation rows stop streaming the weights and start using the blocked product: time per row.
void benchBatches(const Options& o) {
    std::printf("\nShort batches (prompts): microseconds per activation row, median of %d runs\n", o.reps * 4);
    std::printf("%-22s", "rows x cols type");
    const int64_t batches[] = {1, 3, 4, 6, 8, 12, 16, 32, 48, 49, 64, 96};
    for (int64_t m : batches) std::printf("  m=%-5lld", (long long)m);
    std::printf("\n");
    for (TensorType type : {TensorType::F16, TensorType::Q5_0}) {
        for (int64_t rows : {384, 1536}) {
            const Matrix w = makeMatrix(type, rows, 384);
            const auto x = randomValues(size_t(96 * 384), 1);
            std::vector<float> y(size_t(96 * rows));
            for (int t : o.threads) {
                ThreadPool pool(t);
                std::printf("%4lld x 384 %-5s %2dthr", (long long)rows, tensorTypeName(type), t);
                for (int64_t m : batches) {
                    const Timing tm =
                        timeIt(o.reps * 4, [&] { matmul(pool, w.view, x.data(), m, 384, y.data(), rows, nullptr); });
                    std::printf("  %7.2f", tm.median * 1000.0 / double(m));
                }
                std::printf("\n");
            }
        }
    }
}

void benchPool(const Options& o) {
    std::printf("\nPool: microseconds per empty run (median of 20 x 1000 runs)\n");
    for (int t : o.threads) {
        ThreadPool pool(t);
        const Timing tm = timeIt(20, [&] {
            for (int i = 0; i < 1000; ++i) pool.run([](int, int) {});
        });
        std::printf("  %d threads: %.2f us\n", t, tm.median);
    }
}

// The products of one encoder pass and of one decoder step, with the real dimensions of a model size, in the order
// and shapes the recognizer runs them; attention runs head by head.
struct ModelDims {
    const char* name;
    int64_t d, layersEnc, layersDec, heads;
};

// A copy in storage of its own.
Matrix copyOf(const Matrix& m) {
    Matrix c{m.bytes, m.view};
    c.view.data = c.bytes.data();
    return c;
}

// What one decoder layer reads in a step: its self- and cross-attention and MLP weights, and the keys and values of
// the encoder output for its cross-attention (f16, [head][position][dh] and transposed [channel][position]).
struct DecoderLayer {
    Matrix q, k, v, out, crossQ, crossOut, up, down;
    std::vector<uint16_t> crossKeys, crossValues;
};

struct ModelBench {
    ModelDims dims;
    TensorType type;
    Matrix conv1, conv2, wq, wk, wv, wo, up, down, embed;
    std::vector<float> im2col, x, h, qkv, attn, big, logits;
    // Every decoder layer in storage of its own, as in a model, so that a step streams them all from memory (one set
    // reused for every layer would be read from the cache).
    std::vector<DecoderLayer> decoderLayers;

    ModelBench(const ModelDims& md, TensorType t) : dims(md), type(t) {
        const int64_t d = md.d;
        conv1 = makeMatrix(TensorType::F16, d, 80 * 3);
        conv2 = makeMatrix(TensorType::F16, d, d * 3);
        wq = makeMatrix(t, d, d);
        wk = makeMatrix(t, d, d);
        wv = makeMatrix(t, d, d);
        wo = makeMatrix(t, d, d);
        up = makeMatrix(t, 4 * d, d);
        down = makeMatrix(t, d, 4 * d);
        embed = makeMatrix(t, 51865, d);
        im2col = randomValues(size_t(3000 * 3 * std::max<int64_t>(80, d)), 1);
        x = randomValues(size_t(3000 * d), 2);
        h.resize(size_t(3000 * d));
        qkv.resize(size_t(1500 * 3 * d));
        attn.resize(size_t(1500 * d));
        big.resize(size_t(1500 * 4 * d));
        const auto cross = randomValues(size_t(2 * 1500 * d), 3);
        std::vector<uint16_t> crossKeys(size_t(1500 * d)), crossValues(size_t(1500 * d));
        convertFp32ToFp16(cross.data(), crossKeys.data(), 1500 * d);
        convertFp32ToFp16(cross.data() + 1500 * d, crossValues.data(), 1500 * d);
        for (int64_t l = 0; l < md.layersDec; ++l) {
            decoderLayers.push_back({copyOf(wq), copyOf(wk), copyOf(wv), copyOf(wo), copyOf(wq), copyOf(wo), copyOf(up),
                                     copyOf(down), crossKeys, crossValues});
        }
        logits.resize(51865);
    }

    // GELU and the residual additions ride on the products, as in the recognizer's encoder.
    void encoder(ThreadPool& pool) {
        const int64_t d = dims.d, n = 1500, dh = 64;
        matmul(pool, im2col.data(), 3000, 240, {conv1.view, h.data(), d, nullptr, false, true});
        matmul(pool, im2col.data(), n, 3 * d, {conv2.view, x.data(), d, nullptr, false, true});
        for (int64_t l = 0; l < dims.layersEnc; ++l) {
            matmul(pool, wq.view, x.data(), n, d, qkv.data(), 3 * d, nullptr);
            matmul(pool, wk.view, x.data(), n, d, qkv.data() + d, 3 * d, nullptr);
            matmul(pool, wv.view, x.data(), n, d, qkv.data() + 2 * d, 3 * d, nullptr);
            attention(pool, n, n, dims.heads, dh, 0.125f, qkv.data(), 3 * d, qkv.data() + d, 3 * d, qkv.data() + 2 * d,
                      3 * d, attn.data(), d);
            matmul(pool, attn.data(), n, d, {wo.view, x.data(), d, nullptr, true});
            matmul(pool, x.data(), n, d, {up.view, big.data(), 4 * d, nullptr, false, true});
            matmul(pool, big.data(), n, 4 * d, {down.view, x.data(), d, nullptr, true});
        }
    }

    // One token: every weight product of the decoder plus the logits, and (when `cross`) the attention over the
    // encoder output with f16 keys and values, as the decoder runs them.
    void decoderStep(ThreadPool& pool, bool cross) {
        const int64_t d = dims.d, dh = 64;
        float* v = x.data();
        float* t = h.data();
        for (const DecoderLayer& layer : decoderLayers) {
            for (const Matrix* m : {&layer.q, &layer.k, &layer.v, &layer.out, &layer.crossQ, &layer.crossOut})
                matmul(pool, m->view, v, 1, d, t, d, nullptr);
            if (cross) {
                attendFewRows(pool, 1, 1500, dims.heads, dh, 0.125f, v, d, layer.crossKeys.data(),
                              layer.crossValues.data(), t, d);
            }
            matmul(pool, layer.up.view, v, 1, d, big.data(), 4 * d, nullptr);
            matmul(pool, layer.down.view, big.data(), 1, 4 * d, t, d, nullptr);
        }
        matmul(pool, embed.view, v, 1, d, logits.data(), 51865, nullptr);
    }
};

void benchModels(const Options& o) {
    const ModelDims models[] = {{"tiny", 384, 4, 4, 6}, {"base", 512, 6, 6, 8}, {"small", 768, 12, 12, 12}};
    std::printf(
        "\nWhole sequences: encoder pass (ms), decoder step with cross-attention and weights only (ms/token), median "
        "(best) of %d runs\n",
        o.reps);
    for (const ModelDims& md : models) {
        for (TensorType type :
             {TensorType::F16, TensorType::Q8_0, TensorType::Q5_1, TensorType::Q5_0, TensorType::Q4_0}) {
            ModelBench b(md, type);
            std::printf("%-6s %-5s", md.name, tensorTypeName(type));
            for (int t : o.threads) {
                ThreadPool pool(t);
                const Timing enc = timeIt(std::max(3, o.reps / 2), [&] { b.encoder(pool); });
                const Timing dec = timeIt(o.reps * 5, [&] { b.decoderStep(pool, true); });
                const Timing weights = timeIt(o.reps * 5, [&] { b.decoderStep(pool, false); });
                std::printf("  %d thr: enc %6.1f (%6.1f) dec %5.2f (%5.2f) w %5.2f", t, enc.median, enc.best,
                            dec.median, dec.best, weights.median);
            }
            std::printf("\n");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--threads" && next) {
            o.threads.clear();
            for (const char* p = next; *p;) {
                o.threads.push_back(std::max(1, std::atoi(p)));
                p = std::strchr(p, ',');
                if (!p) break;
                ++p;
            }
            ++i;
        } else if (a == "--level" && next) {
            for (int l = 0; l <= int(KernelLevel::Avx512Vnni); ++l)
                if (kernelLevelName(KernelLevel(l)) == std::string(next)) selectKernelLevel(KernelLevel(l));
            ++i;
        } else if (a == "--reps" && next) {
            o.reps = std::max(1, std::atoi(next));
            ++i;
        } else if (a == "--only" && next) {
            o.only = next;
            ++i;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--threads 1,4,8] [--level portable|avx2|avxvnni|avx512|avx512vnni] [--reps N] "
                         "[--only gemm|gemv|batch|model|pool]\n",
                         argv[0]);
            return 2;
        }
    }
    std::printf("kernel level: %s (best supported: %s)\n", kernelLevelName(kernels().level),
                kernelLevelName(supportedKernelLevel()));
    if (o.only.empty() || o.only == "pool") benchPool(o);
    if (o.only.empty() || o.only == "gemm") benchGemm(o);
    if (o.only.empty() || o.only == "gemv") benchGemv(o);
    if (o.only.empty() || o.only == "batch") benchBatches(o);
    if (o.only.empty() || o.only == "model") benchModels(o);
    return 0;
}
