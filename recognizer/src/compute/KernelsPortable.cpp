// Plain C++ kernels: the reference for the SIMD levels and the path for CPUs without AVX2.
#include <cmath>
#include <cstring>

#include "compute/BlockLayouts.h"
#include "compute/Kernels.h"
#include "compute/Quantization.h"
#include "compute/TensorType.h"

namespace recognizer {

namespace {

constexpr int kMr = 4;
constexpr int kNr = 8;

uint32_t loadQh(const uint8_t* qh) {
    uint32_t v;
    std::memcpy(&v, qh, 4);
    return v;
}

void dequantizeF32(const void* src, float* dst, int64_t n) {
    std::memcpy(dst, src, size_t(n) * sizeof(float));
}

void fp16ToFp32Row(const uint16_t* src, float* dst, int64_t n) {
    for (int64_t i = 0; i < n; ++i) dst[i] = fp16ToFp32(src[i]);
}

void fp32ToFp16Row(const float* src, uint16_t* dst, int64_t n) {
    for (int64_t i = 0; i < n; ++i) dst[i] = fp32ToFp16(src[i]);
}

void dequantizeF16(const void* src, float* dst, int64_t n) {
    fp16ToFp32Row(static_cast<const uint16_t*>(src), dst, n);
}

// The integer codes of one weight block in element order and how they become values: (code - zero) * d + m. The 4-
// and 5-bit codes are unsigned, zero is 8 or 16 for the types without a stored minimum; q8_0 codes are signed.
struct BlockCodes {
    int32_t q[kBlock];
    int32_t zero = 0;
    float d;
    float m = 0.0f;
};

void nibbleCodes(const uint8_t* qs, int32_t* q) {
    for (int j = 0; j < 16; ++j) {
        q[j] = qs[j] & 0xF;
        q[j + 16] = qs[j] >> 4;
    }
}

void addFifthBits(const uint8_t* qh, int32_t* q) {
    const uint32_t bits = loadQh(qh);
    for (int j = 0; j < kBlock; ++j) q[j] |= int32_t(bits >> j & 1) << 4;
}

template <TensorType T>
BlockCodes blockCodes(const uint8_t* block) {
    BlockCodes c;
    if constexpr (T == TensorType::Q4_0) {
        const auto* b = reinterpret_cast<const BlockQ4_0*>(block);
        nibbleCodes(b->qs, c.q);
        c.zero = 8;
        c.d = fp16ToFp32(b->d);
    } else if constexpr (T == TensorType::Q4_1) {
        const auto* b = reinterpret_cast<const BlockQ4_1*>(block);
        nibbleCodes(b->qs, c.q);
        c.d = fp16ToFp32(b->d);
        c.m = fp16ToFp32(b->m);
    } else if constexpr (T == TensorType::Q5_0) {
        const auto* b = reinterpret_cast<const BlockQ5_0*>(block);
        nibbleCodes(b->qs, c.q);
        addFifthBits(b->qh, c.q);
        c.zero = 16;
        c.d = fp16ToFp32(b->d);
    } else if constexpr (T == TensorType::Q5_1) {
        const auto* b = reinterpret_cast<const BlockQ5_1*>(block);
        nibbleCodes(b->qs, c.q);
        addFifthBits(b->qh, c.q);
        c.d = fp16ToFp32(b->d);
        c.m = fp16ToFp32(b->m);
    } else {
        static_assert(T == TensorType::Q8_0);
        const auto* b = reinterpret_cast<const BlockQ8_0*>(block);
        for (int j = 0; j < kBlock; ++j) c.q[j] = b->qs[j];
        c.d = fp16ToFp32(b->d);
    }
    return c;
}

// The types with a stored minimum add it to every value; the others only scale.
constexpr bool hasMinimum(TensorType t) {
    return t == TensorType::Q4_1 || t == TensorType::Q5_1;
}

template <TensorType T>
void dequantize(const void* src, float* dst, int64_t n) {
    const size_t bytes = blockBytes(T);
    for (int64_t b = 0; b < n / kBlock; ++b, dst += kBlock) {
        const BlockCodes c = blockCodes<T>(static_cast<const uint8_t*>(src) + size_t(b) * bytes);
        for (int j = 0; j < kBlock; ++j)
            dst[j] = hasMinimum(T) ? float(c.q[j] - c.zero) * c.d + c.m : float(c.q[j] - c.zero) * c.d;
    }
}

// Integer products per block: sum_j (code_j - zero) * xcode_j is exact, and a block adds d * xscale times it, plus
// m times the activation block's sum for the types with a minimum.
template <TensorType T>
void blockGemv(const void* w, size_t rowStride, int64_t cols, const ActivationBlocks& x, int64_t m, float* y,
               int64_t ldy, int64_t r0, int64_t r1, const float* bias, bool accumulate) {
    constexpr int kChunk = 8;
    const int64_t blocks = cols / kBlock;
    const size_t bytes = blockBytes(T);
    for (int64_t r = r0; r < r1; ++r) {
        const auto* row = static_cast<const uint8_t*>(w) + size_t(r) * rowStride;
        for (int64_t i0 = 0; i0 < m; i0 += kChunk) {
            const int64_t mc = m - i0 < kChunk ? m - i0 : kChunk;
            float acc[kChunk] = {};
            for (int64_t b = 0; b < blocks; ++b) {
                const BlockCodes c = blockCodes<T>(row + size_t(b) * bytes);
                for (int64_t i = 0; i < mc; ++i) {
                    const int64_t at = (i0 + i) * blocks + b;
                    const int8_t* xq = x.codes + at * kBlock;
                    int32_t dot = 0;
                    for (int j = 0; j < kBlock; ++j) dot += (c.q[j] - c.zero) * xq[j];
                    acc[i] += c.d * x.scales[at] * float(dot);
                    if (hasMinimum(T)) acc[i] += c.m * x.sums[at];
                }
            }
            for (int64_t i = 0; i < mc; ++i) {
                float& out = y[(i0 + i) * ldy + r];
                out = acc[i] + (bias ? bias[r] : 0.0f) + (accumulate ? out : 0.0f);
            }
        }
    }
}

// Codes in [-127, 127] on the scale that maps the block's largest magnitude to 127, rounded to nearest even.
void quantizeActivations(const float* x, int64_t n, int8_t* codes, float* scales, float* sums) {
    for (int64_t b = 0; b < n / kBlock; ++b, x += kBlock, codes += kBlock) {
        float amax = 0.0f;
        for (int j = 0; j < kBlock; ++j) amax = std::fmax(amax, std::fabs(x[j]));
        const float d = amax / 127.0f;
        const float id = d != 0.0f ? 1.0f / d : 0.0f;
        int32_t sum = 0;
        for (int j = 0; j < kBlock; ++j) {
            const long q = std::lrint(x[j] * id);
            codes[j] = int8_t(q < -127 ? -127 : q > 127 ? 127 : q);
            sum += codes[j];
        }
        scales[b] = d;
        sums[b] = d * float(sum);
    }
}

// Four-lane vectors of the compiler's generic vector extension: SSE2 on any x86-64, plain scalar code elsewhere.
typedef float Lanes4 __attribute__((vector_size(16)));

void gemmTile(int64_t kc, const float* a, const float* b, float* c, int64_t ldc, const float* bias, bool accumulate) {
    static_assert(kNr == 8);
    Lanes4 acc[kMr][2] = {};
    for (int64_t k = 0; k < kc; ++k, a += kMr, b += kNr) {
        Lanes4 b0, b1;
        std::memcpy(&b0, b, sizeof b0);
        std::memcpy(&b1, b + 4, sizeof b1);
        for (int i = 0; i < kMr; ++i) {
            const float ai = a[i];
            acc[i][0] += ai * b0;
            acc[i][1] += ai * b1;
        }
    }
    for (int i = 0; i < kMr; ++i) {
        float* row = c + i * ldc;
        for (int j = 0; j < kNr; ++j)
            row[j] = (accumulate ? row[j] : 0.0f) + acc[i][j / 4][j % 4] + (bias ? bias[j] : 0.0f);
    }
}

void gemmSmallNN(int64_t m, int64_t k, float alpha, const float* a, int64_t lda, const float* b, int64_t ldb, float beta,
                 float* c, int64_t ldc, int64_t j0, int64_t j1) {
    constexpr int64_t kWidth = 64;
    float acc[kWidth];
    for (int64_t i = 0; i < m; ++i) {
        for (int64_t jb = j0; jb < j1; jb += kWidth) {
            const int64_t len = j1 - jb < kWidth ? j1 - jb : kWidth;
            for (int64_t j = 0; j < len; ++j) acc[j] = 0.0f;
            for (int64_t p = 0; p < k; ++p) {
                const float av = a[i * lda + p];
                const float* row = b + p * ldb + jb;
                for (int64_t j = 0; j < len; ++j) acc[j] += av * row[j];
            }
            float* out = c + i * ldc + jb;
            for (int64_t j = 0; j < len; ++j) out[j] = alpha * acc[j] + (beta != 0.0f ? beta * out[j] : 0.0f);
        }
    }
}

void packTransposed(const float* src, int64_t ld, int64_t rows, int64_t kc, float* dst, int64_t width) {
    for (int64_t kk = 0; kk < kc; ++kk) {
        float* out = dst + kk * width;
        for (int64_t r = 0; r < rows; ++r) out[r] = src[r * ld + kk];
        for (int64_t r = rows; r < width; ++r) out[r] = 0.0f;
    }
}

// Weight rows are expanded 32 values at a time (fewer at the end of the row) and multiplied with up to kChunk
// activation rows per pass.
void gemvAny(DequantizeKernel expand, size_t elementBytes32, const void* w, size_t rowStride, int64_t cols,
             const float* x, int64_t m, int64_t ldx, float* y, int64_t ldy, int64_t r0, int64_t r1, const float* bias,
             float alpha, float beta) {
    constexpr int kChunk = 8;
    float block[kBlock];
    for (int64_t r = r0; r < r1; ++r) {
        const auto* row = static_cast<const uint8_t*>(w) + size_t(r) * rowStride;
        for (int64_t i0 = 0; i0 < m; i0 += kChunk) {
            const int64_t mc = m - i0 < kChunk ? m - i0 : kChunk;
            float acc[kChunk] = {};
            for (int64_t k0 = 0; k0 < cols; k0 += kBlock) {
                const int64_t len = cols - k0 < kBlock ? cols - k0 : kBlock;
                expand(row + size_t(k0 / kBlock) * elementBytes32, block, len);
                for (int64_t i = 0; i < mc; ++i) {
                    const float* xi = x + (i0 + i) * ldx + k0;
                    float s = 0.0f;
                    for (int64_t k = 0; k < len; ++k) s += xi[k] * block[k];
                    acc[i] += s;
                }
            }
            for (int64_t i = 0; i < mc; ++i) {
                float& out = y[(i0 + i) * ldy + r];
                out = alpha * acc[i] + (bias ? bias[r] : 0.0f) + (beta != 0.0f ? beta * out : 0.0f);
            }
        }
    }
}

template <TensorType T, DequantizeKernel Expand>
void gemv(const void* w, size_t rowStride, int64_t cols, const float* x, int64_t m, int64_t ldx, float* y,
          int64_t ldy, int64_t r0, int64_t r1, const float* bias, float alpha, float beta) {
    gemvAny(Expand, blockBytes(T) * kBlock, w, rowStride, cols, x, m, ldx, y, ldy, r0, r1, bias, alpha, beta);
}

void layerNorm(const float* x, int64_t n, const float* w, const float* b, float eps, float* out) {
    double sum = 0.0;
    for (int64_t i = 0; i < n; ++i) sum += x[i];
    const double mean = sum / double(n);
    double var = 0.0;
    for (int64_t i = 0; i < n; ++i) var += (x[i] - mean) * (x[i] - mean);
    const float scale = float(1.0 / std::sqrt(var / double(n) + eps));
    const float mu = float(mean);
    for (int64_t i = 0; i < n; ++i) out[i] = (x[i] - mu) * scale * w[i] + b[i];
}

void gelu(float* x, int64_t n) {
    for (int64_t i = 0; i < n; ++i) {
        const float v = x[i];
        // Beyond +-10 the curve equals x or 0 to f32 precision; this also keeps infinities out of the tanh.
        if (v <= -10.0f) {
            x[i] = 0.0f;
        } else if (v < 10.0f) {
            x[i] = 0.5f * v * (1.0f + std::tanh(0.7978845608f * (v + 0.044715f * v * v * v)));
        }
    }
}

float softmaxParts(float* x, int64_t n, float scale, float* maxOut) {
    float max = -INFINITY;
    for (int64_t i = 0; i < n; ++i) max = std::fmax(max, x[i] * scale);
    *maxOut = max;
    if (max == -INFINITY) {
        for (int64_t i = 0; i < n; ++i) x[i] = 0.0f;
        return 0.0f;
    }
    double sum = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        x[i] = std::exp(x[i] * scale - max);
        sum += x[i];
    }
    return float(sum);
}

void softmax(float* x, int64_t n, float scale) {
    float max;
    const float sum = softmaxParts(x, n, scale, &max);
    // Every entry masked: the parts left zeros, no weight anywhere rather than 0/0.
    if (sum == 0.0f) return;
    const float inv = 1.0f / sum;
    for (int64_t i = 0; i < n; ++i) x[i] *= inv;
}

bool softmaxColumns(float* s, int64_t rows, int64_t width, float* shift, float* sum, float* rescale) {
    bool moved = false;
    for (int64_t c = 0; c < width; ++c) {
        float blockMax = -INFINITY;
        for (int64_t r = 0; r < rows; ++r) blockMax = std::fmax(blockMax, s[r * width + c]);
        const float now = blockMax > shift[c] + kSoftmaxHeadroom ? blockMax : shift[c];
        moved = moved || now != shift[c];
        double total = 0.0;
        for (int64_t r = 0; r < rows; ++r) {
            float& e = s[r * width + c];
            e = std::exp(e - now);
            total += e;
        }
        rescale[c] = std::exp(shift[c] - now);
        sum[c] = float(double(sum[c]) * rescale[c] + total);
        shift[c] = now;
    }
    return moved;
}

void add(float* y, const float* x, int64_t n) {
    for (int64_t i = 0; i < n; ++i) y[i] += x[i];
}

float dot(const float* a, const float* b, int64_t n) {
    float s = 0.0f;
    for (int64_t i = 0; i < n; ++i) s += a[i] * b[i];
    return s;
}

Kernels makeKernels() {
    Kernels k{};
    k.level = KernelLevel::Portable;
    k.mr = kMr;
    k.nr = kNr;
    k.gemmTile = gemmTile;
    k.packTransposed = packTransposed;
    k.gemmSmallNN = gemmSmallNN;
    k.gemv[int(TensorType::F32)] = gemv<TensorType::F32, dequantizeF32>;
    k.gemv[int(TensorType::F16)] = gemv<TensorType::F16, dequantizeF16>;
    k.blockGemv[int(TensorType::Q4_0)] = blockGemv<TensorType::Q4_0>;
    k.blockGemv[int(TensorType::Q4_1)] = blockGemv<TensorType::Q4_1>;
    k.blockGemv[int(TensorType::Q5_0)] = blockGemv<TensorType::Q5_0>;
    k.blockGemv[int(TensorType::Q5_1)] = blockGemv<TensorType::Q5_1>;
    k.blockGemv[int(TensorType::Q8_0)] = blockGemv<TensorType::Q8_0>;
    k.quantizeActivations = quantizeActivations;
    k.dequantize[int(TensorType::F32)] = dequantizeF32;
    k.dequantize[int(TensorType::F16)] = dequantizeF16;
    k.dequantize[int(TensorType::Q4_0)] = dequantize<TensorType::Q4_0>;
    k.dequantize[int(TensorType::Q4_1)] = dequantize<TensorType::Q4_1>;
    k.dequantize[int(TensorType::Q5_0)] = dequantize<TensorType::Q5_0>;
    k.dequantize[int(TensorType::Q5_1)] = dequantize<TensorType::Q5_1>;
    k.dequantize[int(TensorType::Q8_0)] = dequantize<TensorType::Q8_0>;
    k.fp16ToFp32 = fp16ToFp32Row;
    k.fp32ToFp16 = fp32ToFp16Row;
    k.layerNorm = layerNorm;
    k.gelu = gelu;
    k.softmax = softmax;
    k.softmaxParts = softmaxParts;
    k.softmaxColumns = softmaxColumns;
    k.add = add;
    k.dot = dot;
    return k;
}

}  // namespace

const Kernels& portableKernels() {
    static const Kernels k = makeKernels();
    return k;
}

}  // namespace recognizer
