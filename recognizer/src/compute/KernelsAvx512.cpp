// Kernels for CPUs with AVX-512 (F, BW, VL, DQ), FMA and F16C. This file is built with those instruction sets and is
// entered only through the table, after the run-time check in Kernels.cpp. Everything here stays in an anonymous
// namespace and uses no inline functions of other headers but those of SimdKernelParts.h, which are in an anonymous
// namespace too, so that no copy built for AVX-512 can be picked by the linker for code that runs on other CPUs.
#include <immintrin.h>

#include <cstdint>

#include "compute/BlockLayouts.h"
#include "compute/BlockProducts256.h"
#include "compute/Kernels.h"
#include "compute/SimdKernelParts.h"
#include "compute/TensorType.h"

namespace recognizer {

namespace {

constexpr int kMr = 14;
constexpr int kNr = 32;

__mmask16 firstLanes(int64_t n) {
    return n >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << n) - 1);
}

// The sum of the lanes, as a function that can be a template argument (the intrinsic is defined only for inlining).
float hsum(__m512 v) {
    return _mm512_reduce_add_ps(v);
}

// ---- Weight rows, sixteen elements per step ----

struct RowF32 {
    static __m512 load(const uint8_t* row, int64_t s) {
        return _mm512_loadu_ps(reinterpret_cast<const float*>(row) + 16 * s);
    }
    static __m512 loadPart(const uint8_t* row, int64_t s, __mmask16 m) {
        return _mm512_maskz_loadu_ps(m, reinterpret_cast<const float*>(row) + 16 * s);
    }
};

struct RowF16 {
    static __m512 load(const uint8_t* row, int64_t s) {
        return _mm512_cvtph_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 32 * s)));
    }
    static __m512 loadPart(const uint8_t* row, int64_t s, __mmask16 m) {
        return _mm512_cvtph_ps(_mm256_maskz_loadu_epi16(m, row + 32 * s));
    }
};

// Quantized rows: step s is half (s & 1) of block s / 2; half 0 holds the low nibbles, half 1 the high ones.
struct RowQ8_0 {
    static __m512 load(const uint8_t* row, int64_t s) {
        const auto* b = reinterpret_cast<const BlockQ8_0*>(row) + (s >> 1);
        const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b->qs + 16 * (s & 1)));
        return _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_cvtepi8_epi32(q)), _mm512_set1_ps(halfToFloat(b->d)));
    }
};

__m512i nibbles(const uint8_t* qs, int64_t half) {
    const __m512i v = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(qs)));
    return half ? _mm512_srli_epi32(v, 4) : _mm512_and_si512(v, _mm512_set1_epi32(0xF));
}

__m512i withFifthBit(__m512i q, const uint8_t* qh, int64_t half) {
    const uint32_t bits = loadU32(qh);
    const __mmask16 m = __mmask16(half ? bits >> 16 : bits & 0xFFFF);
    return _mm512_mask_or_epi32(q, m, q, _mm512_set1_epi32(16));
}

struct RowQ4_0 {
    static __m512 load(const uint8_t* row, int64_t s) {
        const auto* b = reinterpret_cast<const BlockQ4_0*>(row) + (s >> 1);
        const __m512i q = _mm512_sub_epi32(nibbles(b->qs, s & 1), _mm512_set1_epi32(8));
        return _mm512_mul_ps(_mm512_cvtepi32_ps(q), _mm512_set1_ps(halfToFloat(b->d)));
    }
};

struct RowQ4_1 {
    static __m512 load(const uint8_t* row, int64_t s) {
        const auto* b = reinterpret_cast<const BlockQ4_1*>(row) + (s >> 1);
        return _mm512_fmadd_ps(_mm512_cvtepi32_ps(nibbles(b->qs, s & 1)), _mm512_set1_ps(halfToFloat(b->d)),
                               _mm512_set1_ps(halfToFloat(b->m)));
    }
};

struct RowQ5_0 {
    static __m512 load(const uint8_t* row, int64_t s) {
        const auto* b = reinterpret_cast<const BlockQ5_0*>(row) + (s >> 1);
        const __m512i q = _mm512_sub_epi32(withFifthBit(nibbles(b->qs, s & 1), b->qh, s & 1), _mm512_set1_epi32(16));
        return _mm512_mul_ps(_mm512_cvtepi32_ps(q), _mm512_set1_ps(halfToFloat(b->d)));
    }
};

struct RowQ5_1 {
    static __m512 load(const uint8_t* row, int64_t s) {
        const auto* b = reinterpret_cast<const BlockQ5_1*>(row) + (s >> 1);
        const __m512i q = withFifthBit(nibbles(b->qs, s & 1), b->qh, s & 1);
        return _mm512_fmadd_ps(_mm512_cvtepi32_ps(q), _mm512_set1_ps(halfToFloat(b->d)),
                               _mm512_set1_ps(halfToFloat(b->m)));
    }
};

template <class Row>
void dequantize(const void* src, float* dst, int64_t n) {
    const auto* row = static_cast<const uint8_t*>(src);
    for (int64_t s = 0; s < n / 16; ++s) _mm512_storeu_ps(dst + 16 * s, Row::load(row, s));
}

void fp16ToFp32Row(const uint16_t* src, float* dst, int64_t n) {
    int64_t i = 0;
    for (; i + 16 <= n; i += 16)
        _mm512_storeu_ps(dst + i, _mm512_cvtph_ps(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i))));
    if (i < n) {
        const __mmask16 m = firstLanes(n - i);
        _mm512_mask_storeu_ps(dst + i, m, _mm512_cvtph_ps(_mm256_maskz_loadu_epi16(m, src + i)));
    }
}

void fp32ToFp16Row(const float* src, uint16_t* dst, int64_t n) {
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i h = _mm512_cvtps_ph(_mm512_loadu_ps(src + i), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), h);
    }
    if (i < n) {
        const __mmask16 m = firstLanes(n - i);
        const __m256i h =
            _mm512_cvtps_ph(_mm512_maskz_loadu_ps(m, src + i), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        _mm256_mask_storeu_epi16(dst + i, m, h);
    }
}

void dequantizeF16(const void* src, float* dst, int64_t n) {
    fp16ToFp32Row(static_cast<const uint16_t*>(src), dst, n);
}

// ---- Products with few activation rows: R weight rows x M activation rows per pass, each weight step decoded once.

template <class Row, int R, int M, bool kTail>
void gemvTile(const uint8_t* w, size_t stride, int64_t cols, const float* x, int64_t ldx, float* y, int64_t ldy,
              int64_t r, const float* bias, float alpha, float beta) {
    const uint8_t* rows[R];
    for (int rr = 0; rr < R; ++rr) rows[rr] = w + size_t(r + rr) * stride;
    __m512 acc[R][M];
    for (int rr = 0; rr < R; ++rr)
        for (int i = 0; i < M; ++i) acc[rr][i] = _mm512_setzero_ps();
    const int64_t steps = cols / 16;
    const PrefetchSpread prefetch(rows[0], int64_t(R * stride), steps);
    for (int64_t s = 0; s < steps; ++s) {
        prefetch.step(s);
        __m512 xv[M];
        for (int i = 0; i < M; ++i) xv[i] = _mm512_loadu_ps(x + i * ldx + 16 * s);
        for (int rr = 0; rr < R; ++rr) {
            const __m512 wv = Row::load(rows[rr], s);
            for (int i = 0; i < M; ++i) acc[rr][i] = _mm512_fmadd_ps(wv, xv[i], acc[rr][i]);
        }
    }
    if constexpr (kTail) {
        const __mmask16 m = firstLanes(cols - 16 * steps);
        __m512 xv[M];
        for (int i = 0; i < M; ++i) xv[i] = _mm512_maskz_loadu_ps(m, x + i * ldx + 16 * steps);
        for (int rr = 0; rr < R; ++rr) {
            const __m512 wv = Row::loadPart(rows[rr], steps, m);
            for (int i = 0; i < M; ++i) acc[rr][i] = _mm512_fmadd_ps(wv, xv[i], acc[rr][i]);
        }
    }
    storeRowProducts<hsum>(acc, y, ldy, r, bias, alpha, beta);
}

template <class Row, int R, bool kTail>
void gemvRows(const uint8_t* w, size_t stride, int64_t cols, const float* x, int64_t m, int64_t ldx, float* y,
              int64_t ldy, int64_t r, const float* bias, float alpha, float beta) {
    for (int64_t i = 0; i < m; i += 4) {
        const float* xi = x + i * ldx;
        float* yi = y + i * ldy;
        switch (minOf(4, m - i)) {
            case 1: gemvTile<Row, R, 1, kTail>(w, stride, cols, xi, ldx, yi, ldy, r, bias, alpha, beta); break;
            case 2: gemvTile<Row, R, 2, kTail>(w, stride, cols, xi, ldx, yi, ldy, r, bias, alpha, beta); break;
            case 3: gemvTile<Row, R, 3, kTail>(w, stride, cols, xi, ldx, yi, ldy, r, bias, alpha, beta); break;
            default: gemvTile<Row, R, 4, kTail>(w, stride, cols, xi, ldx, yi, ldy, r, bias, alpha, beta); break;
        }
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
    if (cols % 16)
        gemvRange<Row, true>(w, stride, cols, x, m, ldx, y, ldy, r0, r1, bias, alpha, beta);
    else
        gemvRange<Row, false>(w, stride, cols, x, m, ldx, y, ldy, r0, r1, bias, alpha, beta);
}

template <int M>
void smallNN(int64_t k, float alpha, const float* a, int64_t lda, const float* b, int64_t ldb, float beta, float* c,
             int64_t ldc, int64_t j0, int64_t j1) {
    for (int64_t j = j0; j < j1; j += 64) {
        __mmask16 mask[4];
        for (int q = 0; q < 4; ++q) {
            const int64_t left = j1 - j - 16 * q;
            mask[q] = left <= 0 ? __mmask16(0) : firstLanes(left);
        }
        __m512 acc[M][4];
        for (int i = 0; i < M; ++i)
            for (int q = 0; q < 4; ++q) acc[i][q] = _mm512_setzero_ps();
        for (int64_t p = 0; p < k; ++p) {
            __m512 bv[4];
            for (int q = 0; q < 4; ++q) bv[q] = _mm512_maskz_loadu_ps(mask[q], b + p * ldb + j + 16 * q);
            for (int i = 0; i < M; ++i) {
                const __m512 av = _mm512_set1_ps(a[i * lda + p]);
                for (int q = 0; q < 4; ++q) acc[i][q] = _mm512_fmadd_ps(av, bv[q], acc[i][q]);
            }
        }
        const __m512 va = _mm512_set1_ps(alpha), vb = _mm512_set1_ps(beta);
        for (int i = 0; i < M; ++i) {
            for (int q = 0; q < 4; ++q) {
                float* out = c + i * ldc + j + 16 * q;
                __m512 v = _mm512_mul_ps(va, acc[i][q]);
                if (beta != 0.0f) v = _mm512_fmadd_ps(vb, _mm512_maskz_loadu_ps(mask[q], out), v);
                _mm512_mask_storeu_ps(out, mask[q], v);
            }
        }
    }
}

void gemmSmallNN(int64_t m, int64_t k, float alpha, const float* a, int64_t lda, const float* b, int64_t ldb, float beta,
                 float* c, int64_t ldc, int64_t j0, int64_t j1) {
    for (int64_t i = 0; i < m; i += 4) {
        const float* ai = a + i * lda;
        float* ci = c + i * ldc;
        switch (minOf(4, m - i)) {
            case 1: smallNN<1>(k, alpha, ai, lda, b, ldb, beta, ci, ldc, j0, j1); break;
            case 2: smallNN<2>(k, alpha, ai, lda, b, ldb, beta, ci, ldc, j0, j1); break;
            case 3: smallNN<3>(k, alpha, ai, lda, b, ldb, beta, ci, ldc, j0, j1); break;
            default: smallNN<4>(k, alpha, ai, lda, b, ldb, beta, ci, ldc, j0, j1); break;
        }
    }
}

// ---- Blocked product ----

void gemmTile(int64_t kc, const float* a, const float* b, float* c, int64_t ldc, const float* bias, bool accumulate) {
    __m512 acc0[kMr], acc1[kMr];
#pragma GCC unroll 14
    for (int i = 0; i < kMr; ++i) {
        acc0[i] = _mm512_setzero_ps();
        acc1[i] = _mm512_setzero_ps();
    }
    for (int64_t k = 0; k < kc; ++k, a += kMr, b += kNr) {
        const __m512 b0 = _mm512_load_ps(b);
        const __m512 b1 = _mm512_load_ps(b + 16);
#pragma GCC unroll 14
        for (int i = 0; i < kMr; ++i) {
            const __m512 ai = _mm512_set1_ps(a[i]);
            acc0[i] = _mm512_fmadd_ps(ai, b0, acc0[i]);
            acc1[i] = _mm512_fmadd_ps(ai, b1, acc1[i]);
        }
    }
    const __m512 bias0 = bias ? _mm512_loadu_ps(bias) : _mm512_setzero_ps();
    const __m512 bias1 = bias ? _mm512_loadu_ps(bias + 16) : _mm512_setzero_ps();
#pragma GCC unroll 14
    for (int i = 0; i < kMr; ++i) {
        float* row = c + i * ldc;
        __m512 v0 = _mm512_add_ps(acc0[i], bias0);
        __m512 v1 = _mm512_add_ps(acc1[i], bias1);
        if (accumulate) {
            v0 = _mm512_add_ps(v0, _mm512_loadu_ps(row));
            v1 = _mm512_add_ps(v1, _mm512_loadu_ps(row + 16));
        }
        _mm512_storeu_ps(row, v0);
        _mm512_storeu_ps(row + 16, v1);
    }
}

// In place: r[i] holds row i of a 16 x 16 block on entry and column i on return.
void transpose16(__m512 r[16]) {
    __m512 t[16];
    for (int i = 0; i < 8; ++i) {
        t[2 * i] = _mm512_unpacklo_ps(r[2 * i], r[2 * i + 1]);
        t[2 * i + 1] = _mm512_unpackhi_ps(r[2 * i], r[2 * i + 1]);
    }
    // b[g][j]: rows 4g..4g+3 of column 4l+j in 128-bit lane l.
    __m512 b[4][4];
    for (int g = 0; g < 4; ++g) {
        const __m512d lo01 = _mm512_castps_pd(t[4 * g]), hi01 = _mm512_castps_pd(t[4 * g + 1]);
        const __m512d lo23 = _mm512_castps_pd(t[4 * g + 2]), hi23 = _mm512_castps_pd(t[4 * g + 3]);
        b[g][0] = _mm512_castpd_ps(_mm512_unpacklo_pd(lo01, lo23));
        b[g][1] = _mm512_castpd_ps(_mm512_unpackhi_pd(lo01, lo23));
        b[g][2] = _mm512_castpd_ps(_mm512_unpacklo_pd(hi01, hi23));
        b[g][3] = _mm512_castpd_ps(_mm512_unpackhi_pd(hi01, hi23));
    }
    for (int j = 0; j < 4; ++j) {
        const __m512 c0 = _mm512_shuffle_f32x4(b[0][j], b[1][j], 0x88);
        const __m512 c1 = _mm512_shuffle_f32x4(b[0][j], b[1][j], 0xDD);
        const __m512 c2 = _mm512_shuffle_f32x4(b[2][j], b[3][j], 0x88);
        const __m512 c3 = _mm512_shuffle_f32x4(b[2][j], b[3][j], 0xDD);
        r[j] = _mm512_shuffle_f32x4(c0, c2, 0x88);
        r[8 + j] = _mm512_shuffle_f32x4(c0, c2, 0xDD);
        r[4 + j] = _mm512_shuffle_f32x4(c1, c3, 0x88);
        r[12 + j] = _mm512_shuffle_f32x4(c1, c3, 0xDD);
    }
}

void packTransposed(const float* src, int64_t ld, int64_t rows, int64_t kc, float* dst, int64_t width) {
    for (int64_t r0 = 0; r0 < width; r0 += 16) {
        const int64_t groupRows = rows - r0;
        const __mmask16 store = firstLanes(width - r0);
        for (int64_t k0 = 0; k0 < kc; k0 += 16) {
            const int64_t len = minOf(16, kc - k0);
            const __mmask16 load = firstLanes(len);
            __m512 v[16];
            for (int i = 0; i < 16; ++i)
                v[i] = i < groupRows ? _mm512_maskz_loadu_ps(load, src + (r0 + i) * ld + k0) : _mm512_setzero_ps();
            transpose16(v);
            for (int64_t t = 0; t < len; ++t) _mm512_mask_storeu_ps(dst + (k0 + t) * width + r0, store, v[t]);
        }
    }
}

// ---- Row operations ----

// e^x with a degree-7 polynomial on [-ln2/2, ln2/2]; about 1 ulp. Underflows to 0, overflows to infinity, keeps NaN.
__m512 expPs(__m512 x) {
    x = _mm512_max_ps(_mm512_set1_ps(-104.0f), x);
    x = _mm512_min_ps(_mm512_set1_ps(89.0f), x);
    const __m512 n =
        _mm512_roundscale_ps(_mm512_mul_ps(x, _mm512_set1_ps(1.44269504088896341f)), _MM_FROUND_TO_NEAREST_INT);
    __m512 r = _mm512_fnmadd_ps(n, _mm512_set1_ps(0.693145751953125f), x);
    r = _mm512_fnmadd_ps(n, _mm512_set1_ps(1.42860682030941723212e-6f), r);
    __m512 p = _mm512_set1_ps(1.0f / 5040);
    p = _mm512_fmadd_ps(p, r, _mm512_set1_ps(1.0f / 720));
    p = _mm512_fmadd_ps(p, r, _mm512_set1_ps(1.0f / 120));
    p = _mm512_fmadd_ps(p, r, _mm512_set1_ps(1.0f / 24));
    p = _mm512_fmadd_ps(p, r, _mm512_set1_ps(1.0f / 6));
    p = _mm512_fmadd_ps(p, r, _mm512_set1_ps(0.5f));
    p = _mm512_fmadd_ps(p, r, _mm512_set1_ps(1.0f));
    p = _mm512_fmadd_ps(p, r, _mm512_set1_ps(1.0f));
    return _mm512_scalef_ps(p, n);
}

// 0.5 x (1 + tanh(u)) = x / (1 + e^(-2u)); x or 0 beyond +-10.
__m512 geluPs(__m512 x) {
    const __m512 x3 = _mm512_mul_ps(_mm512_mul_ps(x, x), x);
    const __m512 u = _mm512_mul_ps(_mm512_set1_ps(0.7978845608f), _mm512_fmadd_ps(_mm512_set1_ps(0.044715f), x3, x));
    const __m512 e = expPs(_mm512_mul_ps(_mm512_set1_ps(-2.0f), u));
    __m512 g = _mm512_div_ps(x, _mm512_add_ps(_mm512_set1_ps(1.0f), e));
    g = _mm512_mask_mov_ps(g, _mm512_cmp_ps_mask(x, _mm512_set1_ps(-10.0f), _CMP_LE_OQ), _mm512_setzero_ps());
    return _mm512_mask_mov_ps(g, _mm512_cmp_ps_mask(x, _mm512_set1_ps(10.0f), _CMP_GE_OQ), x);
}

void gelu(float* x, int64_t n) {
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) _mm512_storeu_ps(x + i, geluPs(_mm512_loadu_ps(x + i)));
    if (i < n) {
        const __mmask16 m = firstLanes(n - i);
        _mm512_mask_storeu_ps(x + i, m, geluPs(_mm512_maskz_loadu_ps(m, x + i)));
    }
}

float softmaxParts(float* x, int64_t n, float scale, float* maxOut) {
    const __m512 vs = _mm512_set1_ps(scale);
    const __m512 minusInf = _mm512_set1_ps(-__builtin_inff());
    __m512 vmax = minusInf;
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) vmax = _mm512_max_ps(vmax, _mm512_mul_ps(_mm512_loadu_ps(x + i), vs));
    const __mmask16 tail = firstLanes(n - i);
    if (i < n) vmax = _mm512_mask_max_ps(vmax, tail, vmax, _mm512_mul_ps(_mm512_maskz_loadu_ps(tail, x + i), vs));
    const float max = _mm512_reduce_max_ps(vmax);
    *maxOut = max;
    if (max == -__builtin_inff()) {
        for (int64_t j = 0; j < n; ++j) x[j] = 0.0f;
        return 0.0f;
    }
    const __m512 shift = _mm512_set1_ps(max);
    __m512 vsum = _mm512_setzero_ps();
    for (i = 0; i + 16 <= n; i += 16) {
        const __m512 e = expPs(_mm512_fmsub_ps(_mm512_loadu_ps(x + i), vs, shift));
        _mm512_storeu_ps(x + i, e);
        vsum = _mm512_add_ps(vsum, e);
    }
    if (i < n) {
        const __m512 e = _mm512_maskz_mov_ps(tail, expPs(_mm512_fmsub_ps(_mm512_maskz_loadu_ps(tail, x + i), vs, shift)));
        _mm512_mask_storeu_ps(x + i, tail, e);
        vsum = _mm512_add_ps(vsum, e);
    }
    return _mm512_reduce_add_ps(vsum);
}

void softmax(float* x, int64_t n, float scale) {
    float max;
    const float sum = softmaxParts(x, n, scale, &max);
    // Every entry masked: the parts left zeros, no weight anywhere rather than 0/0.
    if (sum == 0.0f) return;
    const __m512 inv = _mm512_set1_ps(1.0f / sum);
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) _mm512_storeu_ps(x + i, _mm512_mul_ps(_mm512_loadu_ps(x + i), inv));
    const __mmask16 tail = firstLanes(n - i);
    if (i < n) _mm512_mask_storeu_ps(x + i, tail, _mm512_mul_ps(_mm512_maskz_loadu_ps(tail, x + i), inv));
}

bool softmaxColumns(float* s, int64_t rows, int64_t width, float* shift, float* sum, float* rescale) {
    bool moved = false;
    for (int64_t c = 0; c < width; c += 16) {
        const __mmask16 m = firstLanes(width - c);
        float* col = s + c;
        // Two chains of maxima and sums, even and odd rows, so that each waits half as long for the one before.
        __m512 max0 = _mm512_set1_ps(-__builtin_inff()), max1 = max0;
        int64_t r = 0;
        for (; r + 2 <= rows; r += 2) {
            max0 = _mm512_max_ps(max0, _mm512_maskz_loadu_ps(m, col + r * width));
            max1 = _mm512_max_ps(max1, _mm512_maskz_loadu_ps(m, col + (r + 1) * width));
        }
        if (r < rows) max0 = _mm512_max_ps(max0, _mm512_maskz_loadu_ps(m, col + r * width));
        const __m512 blockMax = _mm512_max_ps(max0, max1);
        const __m512 old = _mm512_maskz_loadu_ps(m, shift + c);
        const __mmask16 raise =
            _mm512_mask_cmp_ps_mask(m, blockMax, _mm512_add_ps(old, _mm512_set1_ps(kSoftmaxHeadroom)), _CMP_GT_OQ);
        const __m512 now = _mm512_mask_mov_ps(old, raise, blockMax);
        moved = moved || raise != 0;
        __m512 sum0 = _mm512_setzero_ps(), sum1 = sum0;
        for (r = 0; r + 2 <= rows; r += 2) {
            const __m512 e0 = expPs(_mm512_sub_ps(_mm512_maskz_loadu_ps(m, col + r * width), now));
            const __m512 e1 = expPs(_mm512_sub_ps(_mm512_maskz_loadu_ps(m, col + (r + 1) * width), now));
            _mm512_mask_storeu_ps(col + r * width, m, e0);
            _mm512_mask_storeu_ps(col + (r + 1) * width, m, e1);
            sum0 = _mm512_add_ps(sum0, e0);
            sum1 = _mm512_add_ps(sum1, e1);
        }
        if (r < rows) {
            const __m512 e = expPs(_mm512_sub_ps(_mm512_maskz_loadu_ps(m, col + r * width), now));
            _mm512_mask_storeu_ps(col + r * width, m, e);
            sum0 = _mm512_add_ps(sum0, e);
        }
        const __m512 factor = expPs(_mm512_sub_ps(old, now));
        _mm512_mask_storeu_ps(rescale + c, m, factor);
        _mm512_mask_storeu_ps(sum + c, m,
                              _mm512_fmadd_ps(_mm512_maskz_loadu_ps(m, sum + c), factor, _mm512_add_ps(sum0, sum1)));
        _mm512_mask_storeu_ps(shift + c, m, now);
    }
    return moved;
}

void layerNorm(const float* x, int64_t n, const float* w, const float* b, float eps, float* out) {
    const int64_t full = n / 16 * 16;
    const __mmask16 tail = firstLanes(n - full);
    __m512 vsum = _mm512_setzero_ps();
    for (int64_t i = 0; i < full; i += 16) vsum = _mm512_add_ps(vsum, _mm512_loadu_ps(x + i));
    if (full < n) vsum = _mm512_add_ps(vsum, _mm512_maskz_loadu_ps(tail, x + full));
    const float mean = _mm512_reduce_add_ps(vsum) / float(n);
    const __m512 vmean = _mm512_set1_ps(mean);
    __m512 vvar = _mm512_setzero_ps();
    for (int64_t i = 0; i < full; i += 16) {
        const __m512 d = _mm512_sub_ps(_mm512_loadu_ps(x + i), vmean);
        vvar = _mm512_fmadd_ps(d, d, vvar);
    }
    if (full < n) {
        const __m512 d = _mm512_maskz_sub_ps(tail, _mm512_maskz_loadu_ps(tail, x + full), vmean);
        vvar = _mm512_fmadd_ps(d, d, vvar);
    }
    const float var = _mm512_reduce_add_ps(vvar) / float(n);
    const __m512 rstd = _mm512_set1_ps(1.0f / __builtin_sqrtf(var + eps));
    for (int64_t i = 0; i < full; i += 16) {
        const __m512 v = _mm512_mul_ps(_mm512_sub_ps(_mm512_loadu_ps(x + i), vmean), rstd);
        _mm512_storeu_ps(out + i, _mm512_fmadd_ps(v, _mm512_loadu_ps(w + i), _mm512_loadu_ps(b + i)));
    }
    if (full < n) {
        const __m512 v = _mm512_mul_ps(_mm512_sub_ps(_mm512_maskz_loadu_ps(tail, x + full), vmean), rstd);
        _mm512_mask_storeu_ps(
            out + full, tail,
            _mm512_fmadd_ps(v, _mm512_maskz_loadu_ps(tail, w + full), _mm512_maskz_loadu_ps(tail, b + full)));
    }
}

void add(float* y, const float* x, int64_t n) {
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) _mm512_storeu_ps(y + i, _mm512_add_ps(_mm512_loadu_ps(y + i), _mm512_loadu_ps(x + i)));
    if (i < n) {
        const __mmask16 m = firstLanes(n - i);
        _mm512_mask_storeu_ps(y + i, m, _mm512_add_ps(_mm512_maskz_loadu_ps(m, y + i), _mm512_maskz_loadu_ps(m, x + i)));
    }
}

float dot(const float* a, const float* b, int64_t n) {
    __m512 s0 = _mm512_setzero_ps(), s1 = _mm512_setzero_ps();
    int64_t i = 0;
    for (; i + 32 <= n; i += 32) {
        s0 = _mm512_fmadd_ps(_mm512_loadu_ps(a + i), _mm512_loadu_ps(b + i), s0);
        s1 = _mm512_fmadd_ps(_mm512_loadu_ps(a + i + 16), _mm512_loadu_ps(b + i + 16), s1);
    }
    for (; i < n; i += 16) {
        const __mmask16 m = firstLanes(n - i);
        s0 = _mm512_fmadd_ps(_mm512_maskz_loadu_ps(m, a + i), _mm512_maskz_loadu_ps(m, b + i), s0);
    }
    return _mm512_reduce_add_ps(_mm512_add_ps(s0, s1));
}

Kernels makeKernels() {
    Kernels k{};
    k.level = KernelLevel::Avx512;
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

const Kernels& avx512Kernels() {
    static const Kernels k = makeKernels();
    return k;
}

}  // namespace recognizer
