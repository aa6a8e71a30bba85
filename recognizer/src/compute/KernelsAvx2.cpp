// Kernels for CPUs with AVX2, FMA and F16C. This file is built with those instruction sets and is entered only through
// the table, after the run-time check in Kernels.cpp. Everything here stays in an anonymous namespace and uses no
// inline functions of other headers but those of SimdKernelParts.h, which are in an anonymous namespace too, so that no
// copy built for AVX2 can be picked by the linker for other code.
#include <immintrin.h>

#include <cstdint>

#include "compute/BlockLayouts.h"
#include "compute/BlockProducts256.h"
#include "compute/Kernels.h"
#include "compute/SimdKernelParts.h"
#include "compute/TensorType.h"

namespace recognizer {

namespace {

constexpr int kMr = 6;
constexpr int kNr = 16;

// Lane mask with the first n (0..8) lanes set, for maskload/maskstore.
__m256i firstLanes(int64_t n) {
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(int(n < 8 ? n : 8)), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

// ---- Weight rows, eight elements per step ----

struct RowF32 {
    static __m256 load(const uint8_t* row, int64_t s) {
        return _mm256_loadu_ps(reinterpret_cast<const float*>(row) + 8 * s);
    }
    static __m256 loadPart(const uint8_t* row, int64_t s, int64_t n) {
        return _mm256_maskload_ps(reinterpret_cast<const float*>(row) + 8 * s, firstLanes(n));
    }
};

struct RowF16 {
    static __m256 load(const uint8_t* row, int64_t s) {
        return _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 16 * s)));
    }
    static __m256 loadPart(const uint8_t* row, int64_t s, int64_t n) {
        uint16_t part[8] = {};
        __builtin_memcpy(part, row + 16 * s, size_t(n) * 2);
        return _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(part)));
    }
};

// Quantized rows: step s is quarter (s & 3) of block s / 4, elements 8q..8q+7. Quarters 0 and 1 are low nibbles of
// bytes 0..15, quarters 2 and 3 the high nibbles of the same bytes.
__m256i nibbles(const uint8_t* qs, int64_t q) {
    const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(qs + 8 * (q & 1))));
    return q >= 2 ? _mm256_srli_epi32(v, 4) : _mm256_and_si256(v, _mm256_set1_epi32(0xF));
}

__m256i withFifthBit(__m256i v, const uint8_t* qh, int64_t q) {
    const int bits = int(loadU32(qh) >> (8 * q) & 0xFF);
    const __m256i lane = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    const __m256i set = _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(bits), lane), lane);
    return _mm256_or_si256(v, _mm256_and_si256(set, _mm256_set1_epi32(16)));
}

struct RowQ8_0 {
    static __m256 load(const uint8_t* row, int64_t s) {
        const auto* b = reinterpret_cast<const BlockQ8_0*>(row) + (s >> 2);
        const __m128i q = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b->qs + 8 * (s & 3)));
        return _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepi8_epi32(q)), _mm256_set1_ps(halfToFloat(b->d)));
    }
};

struct RowQ4_0 {
    static __m256 load(const uint8_t* row, int64_t s) {
        const auto* b = reinterpret_cast<const BlockQ4_0*>(row) + (s >> 2);
        const __m256i q = _mm256_sub_epi32(nibbles(b->qs, s & 3), _mm256_set1_epi32(8));
        return _mm256_mul_ps(_mm256_cvtepi32_ps(q), _mm256_set1_ps(halfToFloat(b->d)));
    }
};

struct RowQ4_1 {
    static __m256 load(const uint8_t* row, int64_t s) {
        const auto* b = reinterpret_cast<const BlockQ4_1*>(row) + (s >> 2);
        return _mm256_fmadd_ps(_mm256_cvtepi32_ps(nibbles(b->qs, s & 3)), _mm256_set1_ps(halfToFloat(b->d)),
                               _mm256_set1_ps(halfToFloat(b->m)));
    }
};

struct RowQ5_0 {
    static __m256 load(const uint8_t* row, int64_t s) {
        const auto* b = reinterpret_cast<const BlockQ5_0*>(row) + (s >> 2);
        const __m256i q = _mm256_sub_epi32(withFifthBit(nibbles(b->qs, s & 3), b->qh, s & 3), _mm256_set1_epi32(16));
        return _mm256_mul_ps(_mm256_cvtepi32_ps(q), _mm256_set1_ps(halfToFloat(b->d)));
    }
};

struct RowQ5_1 {
    static __m256 load(const uint8_t* row, int64_t s) {
        const auto* b = reinterpret_cast<const BlockQ5_1*>(row) + (s >> 2);
        const __m256i q = withFifthBit(nibbles(b->qs, s & 3), b->qh, s & 3);
        return _mm256_fmadd_ps(_mm256_cvtepi32_ps(q), _mm256_set1_ps(halfToFloat(b->d)),
                               _mm256_set1_ps(halfToFloat(b->m)));
    }
};

template <class Row>
void dequantize(const void* src, float* dst, int64_t n) {
    const auto* row = static_cast<const uint8_t*>(src);
    for (int64_t s = 0; s < n / 8; ++s) _mm256_storeu_ps(dst + 8 * s, Row::load(row, s));
}

void fp16ToFp32Row(const uint16_t* src, float* dst, int64_t n) {
    int64_t i = 0;
    for (; i + 8 <= n; i += 8)
        _mm256_storeu_ps(dst + i, _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i))));
    if (i < n) {
        uint16_t part[8] = {};
        __builtin_memcpy(part, src + i, size_t(n - i) * 2);
        _mm256_maskstore_ps(dst + i, firstLanes(n - i),
                            _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(part))));
    }
}

void fp32ToFp16Row(const float* src, uint16_t* dst, int64_t n) {
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128i h = _mm256_cvtps_ph(_mm256_loadu_ps(src + i), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), h);
    }
    if (i < n) {
        uint16_t part[8];
        const __m256 v = _mm256_maskload_ps(src + i, firstLanes(n - i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(part), _mm256_cvtps_ph(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
        __builtin_memcpy(dst + i, part, size_t(n - i) * 2);
    }
}

void dequantizeF16(const void* src, float* dst, int64_t n) {
    fp16ToFp32Row(static_cast<const uint16_t*>(src), dst, n);
}

// ---- Products with few activation rows: R weight rows x M activation rows per pass ----

template <class Row, int R, int M, bool kTail>
void gemvTile(const uint8_t* w, size_t stride, int64_t cols, const float* x, int64_t ldx, float* y, int64_t ldy,
              int64_t r, const float* bias, float alpha, float beta) {
    const uint8_t* rows[R];
    for (int rr = 0; rr < R; ++rr) rows[rr] = w + size_t(r + rr) * stride;
    __m256 acc[R][M];
    for (int rr = 0; rr < R; ++rr)
        for (int i = 0; i < M; ++i) acc[rr][i] = _mm256_setzero_ps();
    const int64_t steps = cols / 8;
    const PrefetchSpread prefetch(rows[0], int64_t(R * stride), steps);
    for (int64_t s = 0; s < steps; ++s) {
        prefetch.step(s);
        __m256 xv[M];
        for (int i = 0; i < M; ++i) xv[i] = _mm256_loadu_ps(x + i * ldx + 8 * s);
        for (int rr = 0; rr < R; ++rr) {
            const __m256 wv = Row::load(rows[rr], s);
            for (int i = 0; i < M; ++i) acc[rr][i] = _mm256_fmadd_ps(wv, xv[i], acc[rr][i]);
        }
    }
    if constexpr (kTail) {
        const int64_t left = cols - 8 * steps;
        __m256 xv[M];
        for (int i = 0; i < M; ++i) xv[i] = _mm256_maskload_ps(x + i * ldx + 8 * steps, firstLanes(left));
        for (int rr = 0; rr < R; ++rr) {
            const __m256 wv = Row::loadPart(rows[rr], steps, left);
            for (int i = 0; i < M; ++i) acc[rr][i] = _mm256_fmadd_ps(wv, xv[i], acc[rr][i]);
        }
    }
    storeRowProducts<sum256>(acc, y, ldy, r, bias, alpha, beta);
}

template <class Row, int R, bool kTail>
void gemvRows(const uint8_t* w, size_t stride, int64_t cols, const float* x, int64_t m, int64_t ldx, float* y,
              int64_t ldy, int64_t r, const float* bias, float alpha, float beta) {
    for (int64_t i = 0; i < m; i += 2) {
        if (m - i == 1)
            gemvTile<Row, R, 1, kTail>(w, stride, cols, x + i * ldx, ldx, y + i * ldy, ldy, r, bias, alpha, beta);
        else
            gemvTile<Row, R, 2, kTail>(w, stride, cols, x + i * ldx, ldx, y + i * ldy, ldy, r, bias, alpha, beta);
    }
}

template <class Row, bool kTail>
void gemvRange(const void* w, size_t stride, int64_t cols, const float* x, int64_t m, int64_t ldx, float* y,
               int64_t ldy, int64_t r0, int64_t r1, const float* bias, float alpha, float beta) {
    const auto* base = static_cast<const uint8_t*>(w);
    int64_t r = r0;
    for (; r + 4 <= r1; r += 4) gemvRows<Row, 4, kTail>(base, stride, cols, x, m, ldx, y, ldy, r, bias, alpha, beta);
    for (; r < r1; ++r) gemvRows<Row, 1, kTail>(base, stride, cols, x, m, ldx, y, ldy, r, bias, alpha, beta);
}

template <class Row>
void gemvFloat(const void* w, size_t stride, int64_t cols, const float* x, int64_t m, int64_t ldx, float* y,
               int64_t ldy, int64_t r0, int64_t r1, const float* bias, float alpha, float beta) {
    if (cols % 8)
        gemvRange<Row, true>(w, stride, cols, x, m, ldx, y, ldy, r0, r1, bias, alpha, beta);
    else
        gemvRange<Row, false>(w, stride, cols, x, m, ldx, y, ldy, r0, r1, bias, alpha, beta);
}

template <int M>
void smallNN(int64_t k, float alpha, const float* a, int64_t lda, const float* b, int64_t ldb, float beta, float* c,
             int64_t ldc, int64_t j0, int64_t j1) {
    for (int64_t j = j0; j < j1; j += 32) {
        __m256i mask[4];
        for (int q = 0; q < 4; ++q) {
            const int64_t left = j1 - j - 8 * q;
            mask[q] = firstLanes(left < 0 ? 0 : left);
        }
        __m256 acc[M][4];
        for (int i = 0; i < M; ++i)
            for (int q = 0; q < 4; ++q) acc[i][q] = _mm256_setzero_ps();
        for (int64_t p = 0; p < k; ++p) {
            __m256 bv[4];
            for (int q = 0; q < 4; ++q) bv[q] = _mm256_maskload_ps(b + p * ldb + j + 8 * q, mask[q]);
            for (int i = 0; i < M; ++i) {
                const __m256 av = _mm256_broadcast_ss(a + i * lda + p);
                for (int q = 0; q < 4; ++q) acc[i][q] = _mm256_fmadd_ps(av, bv[q], acc[i][q]);
            }
        }
        const __m256 va = _mm256_set1_ps(alpha), vb = _mm256_set1_ps(beta);
        for (int i = 0; i < M; ++i) {
            for (int q = 0; q < 4; ++q) {
                float* out = c + i * ldc + j + 8 * q;
                __m256 v = _mm256_mul_ps(va, acc[i][q]);
                if (beta != 0.0f) v = _mm256_fmadd_ps(vb, _mm256_maskload_ps(out, mask[q]), v);
                _mm256_maskstore_ps(out, mask[q], v);
            }
        }
    }
}

void gemmSmallNN(int64_t m, int64_t k, float alpha, const float* a, int64_t lda, const float* b, int64_t ldb, float beta,
                 float* c, int64_t ldc, int64_t j0, int64_t j1) {
    for (int64_t i = 0; i < m; i += 2) {
        if (m - i == 1)
            smallNN<1>(k, alpha, a + i * lda, lda, b, ldb, beta, c + i * ldc, ldc, j0, j1);
        else
            smallNN<2>(k, alpha, a + i * lda, lda, b, ldb, beta, c + i * ldc, ldc, j0, j1);
    }
}

// ---- Blocked product ----

void gemmTile(int64_t kc, const float* a, const float* b, float* c, int64_t ldc, const float* bias, bool accumulate) {
    __m256 acc0[kMr], acc1[kMr];
#pragma GCC unroll 6
    for (int i = 0; i < kMr; ++i) {
        acc0[i] = _mm256_setzero_ps();
        acc1[i] = _mm256_setzero_ps();
    }
    for (int64_t k = 0; k < kc; ++k, a += kMr, b += kNr) {
        const __m256 b0 = _mm256_load_ps(b);
        const __m256 b1 = _mm256_load_ps(b + 8);
#pragma GCC unroll 6
        for (int i = 0; i < kMr; ++i) {
            const __m256 ai = _mm256_broadcast_ss(a + i);
            acc0[i] = _mm256_fmadd_ps(ai, b0, acc0[i]);
            acc1[i] = _mm256_fmadd_ps(ai, b1, acc1[i]);
        }
    }
    const __m256 bias0 = bias ? _mm256_loadu_ps(bias) : _mm256_setzero_ps();
    const __m256 bias1 = bias ? _mm256_loadu_ps(bias + 8) : _mm256_setzero_ps();
#pragma GCC unroll 6
    for (int i = 0; i < kMr; ++i) {
        float* row = c + i * ldc;
        __m256 v0 = _mm256_add_ps(acc0[i], bias0);
        __m256 v1 = _mm256_add_ps(acc1[i], bias1);
        if (accumulate) {
            v0 = _mm256_add_ps(v0, _mm256_loadu_ps(row));
            v1 = _mm256_add_ps(v1, _mm256_loadu_ps(row + 8));
        }
        _mm256_storeu_ps(row, v0);
        _mm256_storeu_ps(row + 8, v1);
    }
}

// In place: r[i] holds row i of an 8 x 8 block on entry and column i on return.
void transpose8(__m256 r[8]) {
    const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
    const __m256 t4 = _mm256_unpacklo_ps(r[4], r[5]), t5 = _mm256_unpackhi_ps(r[4], r[5]);
    const __m256 t6 = _mm256_unpacklo_ps(r[6], r[7]), t7 = _mm256_unpackhi_ps(r[6], r[7]);
    const __m256 s0 = _mm256_shuffle_ps(t0, t2, 0x44), s1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 s2 = _mm256_shuffle_ps(t1, t3, 0x44), s3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const __m256 s4 = _mm256_shuffle_ps(t4, t6, 0x44), s5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 s6 = _mm256_shuffle_ps(t5, t7, 0x44), s7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    r[0] = _mm256_permute2f128_ps(s0, s4, 0x20);
    r[1] = _mm256_permute2f128_ps(s1, s5, 0x20);
    r[2] = _mm256_permute2f128_ps(s2, s6, 0x20);
    r[3] = _mm256_permute2f128_ps(s3, s7, 0x20);
    r[4] = _mm256_permute2f128_ps(s0, s4, 0x31);
    r[5] = _mm256_permute2f128_ps(s1, s5, 0x31);
    r[6] = _mm256_permute2f128_ps(s2, s6, 0x31);
    r[7] = _mm256_permute2f128_ps(s3, s7, 0x31);
}

void packTransposed(const float* src, int64_t ld, int64_t rows, int64_t kc, float* dst, int64_t width) {
    for (int64_t r0 = 0; r0 < width; r0 += 8) {
        const int64_t groupRows = rows - r0;
        const int64_t lanes = minOf(8, width - r0);
        const __m256i store = firstLanes(lanes);
        for (int64_t k0 = 0; k0 < kc; k0 += 8) {
            const int64_t len = minOf(8, kc - k0);
            const __m256i load = firstLanes(len);
            __m256 v[8];
            for (int i = 0; i < 8; ++i)
                v[i] = i < groupRows ? _mm256_maskload_ps(src + (r0 + i) * ld + k0, load) : _mm256_setzero_ps();
            transpose8(v);
            for (int64_t t = 0; t < len; ++t) {
                if (lanes == 8)
                    _mm256_storeu_ps(dst + (k0 + t) * width + r0, v[t]);
                else
                    _mm256_maskstore_ps(dst + (k0 + t) * width + r0, store, v[t]);
            }
        }
    }
}

// ---- Row operations ----

// e^(x - n ln2) for the integer n nearest to x / ln2, with a degree-7 polynomial on [-ln2/2, ln2/2].
__m256 expRemainder(__m256 x, __m256 n) {
    const __m256 r = _mm256_fnmadd_ps(n, _mm256_set1_ps(1.42860682030941723212e-6f),
                                      _mm256_fnmadd_ps(n, _mm256_set1_ps(0.693145751953125f), x));
    __m256 p = _mm256_set1_ps(1.0f / 5040);
    p = _mm256_fmadd_ps(p, r, _mm256_set1_ps(1.0f / 720));
    p = _mm256_fmadd_ps(p, r, _mm256_set1_ps(1.0f / 120));
    p = _mm256_fmadd_ps(p, r, _mm256_set1_ps(1.0f / 24));
    p = _mm256_fmadd_ps(p, r, _mm256_set1_ps(1.0f / 6));
    p = _mm256_fmadd_ps(p, r, _mm256_set1_ps(0.5f));
    p = _mm256_fmadd_ps(p, r, _mm256_set1_ps(1.0f));
    return _mm256_fmadd_ps(p, r, _mm256_set1_ps(1.0f));
}

// e^x: e^n times the remainder's exponential. Below -87 the result is 0 (no subnormals), above 88.3 infinity; NaN
// stays NaN.
__m256 expPs(__m256 x) {
    __m256 xc = _mm256_max_ps(_mm256_set1_ps(-87.0f), x);
    xc = _mm256_min_ps(_mm256_set1_ps(88.3f), xc);
    const __m256 n = _mm256_round_ps(_mm256_mul_ps(xc, _mm256_set1_ps(1.44269504088896341f)),
                                     _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256 p = expRemainder(xc, n);
    const __m256i e = _mm256_slli_epi32(_mm256_add_epi32(_mm256_cvtps_epi32(n), _mm256_set1_epi32(127)), 23);
    __m256 y = _mm256_mul_ps(p, _mm256_castsi256_ps(e));
    y = _mm256_blendv_ps(y, _mm256_setzero_ps(), _mm256_cmp_ps(x, _mm256_set1_ps(-87.0f), _CMP_LT_OQ));
    return _mm256_blendv_ps(y, _mm256_set1_ps(__builtin_inff()), _mm256_cmp_ps(x, _mm256_set1_ps(88.3f), _CMP_GT_OQ));
}

// e^x for x <= 0, the exponentials of a softmax: as expPs with fewer steps. The integer part of x * log2(e) is rounded
// into the low bits of the float t, from which it is shifted straight into the exponent; below -87 the result is 0
// (also for -INFINITY), and NaN stays NaN.
__m256 expNonPositive(__m256 x) {
    const __m256 magic = _mm256_set1_ps(12582912.0f + 127.0f);  // 1.5 * 2^23, plus the exponent bias
    const __m256 xc = _mm256_max_ps(_mm256_set1_ps(-87.0f), x);
    const __m256 t = _mm256_fmadd_ps(xc, _mm256_set1_ps(1.44269504088896341f), magic);
    const __m256 n = _mm256_sub_ps(t, magic);
    const __m256 scale = _mm256_castsi256_ps(_mm256_slli_epi32(_mm256_castps_si256(t), 23));
    const __m256 y = _mm256_mul_ps(expRemainder(xc, n), scale);
    return _mm256_andnot_ps(_mm256_cmp_ps(x, _mm256_set1_ps(-87.0f), _CMP_LT_OQ), y);
}

// 0.5 x (1 + tanh(u)) = x / (1 + e^(-2u)); x or 0 beyond +-10.
__m256 geluPs(__m256 x) {
    const __m256 x3 = _mm256_mul_ps(_mm256_mul_ps(x, x), x);
    const __m256 u = _mm256_mul_ps(_mm256_set1_ps(0.7978845608f), _mm256_fmadd_ps(_mm256_set1_ps(0.044715f), x3, x));
    const __m256 e = expPs(_mm256_mul_ps(_mm256_set1_ps(-2.0f), u));
    __m256 g = _mm256_div_ps(x, _mm256_add_ps(_mm256_set1_ps(1.0f), e));
    g = _mm256_blendv_ps(g, _mm256_setzero_ps(), _mm256_cmp_ps(x, _mm256_set1_ps(-10.0f), _CMP_LE_OQ));
    return _mm256_blendv_ps(g, x, _mm256_cmp_ps(x, _mm256_set1_ps(10.0f), _CMP_GE_OQ));
}

void gelu(float* x, int64_t n) {
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) _mm256_storeu_ps(x + i, geluPs(_mm256_loadu_ps(x + i)));
    if (i < n) {
        const __m256i m = firstLanes(n - i);
        _mm256_maskstore_ps(x + i, m, geluPs(_mm256_maskload_ps(x + i, m)));
    }
}

float softmaxParts(float* x, int64_t n, float scale, float* maxOut) {
    const __m256 vs = _mm256_set1_ps(scale);
    const __m256 minusInf = _mm256_set1_ps(-__builtin_inff());
    __m256 vmax = minusInf;
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) vmax = _mm256_max_ps(vmax, _mm256_mul_ps(_mm256_loadu_ps(x + i), vs));
    const __m256i tail = firstLanes(n - i);
    if (i < n) {
        const __m256 v = _mm256_blendv_ps(minusInf, _mm256_mul_ps(_mm256_maskload_ps(x + i, tail), vs),
                                          _mm256_castsi256_ps(tail));
        vmax = _mm256_max_ps(vmax, v);
    }
    const float max = max256(vmax);
    *maxOut = max;
    if (max == -__builtin_inff()) {
        for (int64_t j = 0; j < n; ++j) x[j] = 0.0f;
        return 0.0f;
    }
    const __m256 shift = _mm256_set1_ps(max);
    __m256 vsum = _mm256_setzero_ps();
    for (i = 0; i + 8 <= n; i += 8) {
        const __m256 e = expNonPositive(_mm256_fmsub_ps(_mm256_loadu_ps(x + i), vs, shift));
        _mm256_storeu_ps(x + i, e);
        vsum = _mm256_add_ps(vsum, e);
    }
    if (i < n) {
        const __m256 e = _mm256_and_ps(expNonPositive(_mm256_fmsub_ps(_mm256_maskload_ps(x + i, tail), vs, shift)),
                                       _mm256_castsi256_ps(tail));
        _mm256_maskstore_ps(x + i, tail, e);
        vsum = _mm256_add_ps(vsum, e);
    }
    return sum256(vsum);
}

void softmax(float* x, int64_t n, float scale) {
    float max;
    const float sum = softmaxParts(x, n, scale, &max);
    // Every entry masked: the parts left zeros, no weight anywhere rather than 0/0.
    if (sum == 0.0f) return;
    const __m256 inv = _mm256_set1_ps(1.0f / sum);
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) _mm256_storeu_ps(x + i, _mm256_mul_ps(_mm256_loadu_ps(x + i), inv));
    const __m256i tail = firstLanes(n - i);
    if (i < n) _mm256_maskstore_ps(x + i, tail, _mm256_mul_ps(_mm256_maskload_ps(x + i, tail), inv));
}

// Loads and stores of up to eight lanes: whole vectors go without a mask, which is slow on some CPUs.
struct Lanes {
    explicit Lanes(int64_t n) : full(n >= 8), mask(firstLanes(n)) {}
    __m256 load(const float* p) const { return full ? _mm256_loadu_ps(p) : _mm256_maskload_ps(p, mask); }
    void store(float* p, __m256 v) const {
        if (full)
            _mm256_storeu_ps(p, v);
        else
            _mm256_maskstore_ps(p, mask, v);
    }
    bool full;
    __m256i mask;
};

bool softmaxColumns(float* s, int64_t rows, int64_t width, float* shift, float* sum, float* rescale) {
    bool moved = false;
    for (int64_t c = 0; c < width; c += 8) {
        const Lanes lanes(width - c);
        float* col = s + c;
        // Two chains of maxima and sums, even and odd rows, so that each waits half as long for the one before.
        __m256 max0 = _mm256_set1_ps(-__builtin_inff()), max1 = max0;
        int64_t r = 0;
        for (; r + 2 <= rows; r += 2) {
            max0 = _mm256_max_ps(max0, lanes.load(col + r * width));
            max1 = _mm256_max_ps(max1, lanes.load(col + (r + 1) * width));
        }
        if (r < rows) max0 = _mm256_max_ps(max0, lanes.load(col + r * width));
        const __m256 blockMax = _mm256_max_ps(max0, max1);
        const __m256 old = lanes.load(shift + c);
        const __m256 raise = _mm256_and_ps(
            _mm256_cmp_ps(blockMax, _mm256_add_ps(old, _mm256_set1_ps(kSoftmaxHeadroom)), _CMP_GT_OQ),
            _mm256_castsi256_ps(lanes.mask));
        const __m256 now = _mm256_blendv_ps(old, blockMax, raise);
        moved = moved || _mm256_movemask_ps(raise) != 0;
        __m256 sum0 = _mm256_setzero_ps(), sum1 = sum0;
        for (r = 0; r + 2 <= rows; r += 2) {
            const __m256 e0 = expNonPositive(_mm256_sub_ps(lanes.load(col + r * width), now));
            const __m256 e1 = expNonPositive(_mm256_sub_ps(lanes.load(col + (r + 1) * width), now));
            lanes.store(col + r * width, e0);
            lanes.store(col + (r + 1) * width, e1);
            sum0 = _mm256_add_ps(sum0, e0);
            sum1 = _mm256_add_ps(sum1, e1);
        }
        if (r < rows) {
            const __m256 e = expNonPositive(_mm256_sub_ps(lanes.load(col + r * width), now));
            lanes.store(col + r * width, e);
            sum0 = _mm256_add_ps(sum0, e);
        }
        const __m256 factor = expNonPositive(_mm256_sub_ps(old, now));
        lanes.store(rescale + c, factor);
        lanes.store(sum + c, _mm256_fmadd_ps(lanes.load(sum + c), factor, _mm256_add_ps(sum0, sum1)));
        lanes.store(shift + c, now);
    }
    return moved;
}

void layerNorm(const float* x, int64_t n, const float* w, const float* b, float eps, float* out) {
    const int64_t full = n / 8 * 8;
    const __m256i tail = firstLanes(n - full);
    __m256 vsum = _mm256_setzero_ps();
    for (int64_t i = 0; i < full; i += 8) vsum = _mm256_add_ps(vsum, _mm256_loadu_ps(x + i));
    if (full < n) vsum = _mm256_add_ps(vsum, _mm256_maskload_ps(x + full, tail));
    const float mean = sum256(vsum) / float(n);
    const __m256 vmean = _mm256_set1_ps(mean);
    __m256 vvar = _mm256_setzero_ps();
    for (int64_t i = 0; i < full; i += 8) {
        const __m256 d = _mm256_sub_ps(_mm256_loadu_ps(x + i), vmean);
        vvar = _mm256_fmadd_ps(d, d, vvar);
    }
    if (full < n) {
        const __m256 d =
            _mm256_and_ps(_mm256_sub_ps(_mm256_maskload_ps(x + full, tail), vmean), _mm256_castsi256_ps(tail));
        vvar = _mm256_fmadd_ps(d, d, vvar);
    }
    const float var = sum256(vvar) / float(n);
    const __m256 rstd = _mm256_set1_ps(1.0f / __builtin_sqrtf(var + eps));
    for (int64_t i = 0; i < full; i += 8) {
        const __m256 v = _mm256_mul_ps(_mm256_sub_ps(_mm256_loadu_ps(x + i), vmean), rstd);
        _mm256_storeu_ps(out + i, _mm256_fmadd_ps(v, _mm256_loadu_ps(w + i), _mm256_loadu_ps(b + i)));
    }
    if (full < n) {
        const __m256 v = _mm256_mul_ps(_mm256_sub_ps(_mm256_maskload_ps(x + full, tail), vmean), rstd);
        _mm256_maskstore_ps(
            out + full, tail,
            _mm256_fmadd_ps(v, _mm256_maskload_ps(w + full, tail), _mm256_maskload_ps(b + full, tail)));
    }
}

void add(float* y, const float* x, int64_t n) {
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) _mm256_storeu_ps(y + i, _mm256_add_ps(_mm256_loadu_ps(y + i), _mm256_loadu_ps(x + i)));
    for (; i < n; ++i) y[i] += x[i];
}

float dot(const float* a, const float* b, int64_t n) {
    __m256 s0 = _mm256_setzero_ps(), s1 = _mm256_setzero_ps();
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) {
        s0 = _mm256_fmadd_ps(_mm256_loadu_ps(a + i), _mm256_loadu_ps(b + i), s0);
        s1 = _mm256_fmadd_ps(_mm256_loadu_ps(a + i + 8), _mm256_loadu_ps(b + i + 8), s1);
    }
    for (; i < n; i += 8) {
        const __m256i m = firstLanes(n - i);
        s0 = _mm256_fmadd_ps(_mm256_maskload_ps(a + i, m), _mm256_maskload_ps(b + i, m), s0);
    }
    return sum256(_mm256_add_ps(s0, s1));
}

Kernels makeKernels() {
    Kernels k{};
    k.level = KernelLevel::Avx2;
    k.mr = kMr;
    k.nr = kNr;
    k.gemmTile = gemmTile;
    k.packTransposed = packTransposed;
    k.gemmSmallNN = gemmSmallNN;
    k.gemv[int(TensorType::F32)] = gemvFloat<RowF32>;
    k.gemv[int(TensorType::F16)] = gemvFloat<RowF16>;
    setBlockProducts<PairSumDot>(k);
    k.dequantize[int(TensorType::F32)] = dequantizeF32;
    k.dequantize[int(TensorType::F16)] = dequantizeF16;
    k.dequantize[int(TensorType::Q4_0)] = dequantize<RowQ4_0>;
    k.dequantize[int(TensorType::Q4_1)] = dequantize<RowQ4_1>;
    k.dequantize[int(TensorType::Q5_0)] = dequantize<RowQ5_0>;
    k.dequantize[int(TensorType::Q5_1)] = dequantize<RowQ5_1>;
    k.dequantize[int(TensorType::Q8_0)] = dequantize<RowQ8_0>;
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

const Kernels& avx2Kernels() {
    static const Kernels k = makeKernels();
    return k;
}

}  // namespace recognizer
