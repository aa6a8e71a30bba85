#pragma once

// Pieces that the SIMD kernel files (KernelsAvx2.cpp, KernelsAvx512.cpp and their VNNI variants) share and that do not
// depend on the vector width. Those files are built with different instruction sets, so everything here is in an
// anonymous namespace: each of them gets its own copy, built with its own flags, and the linker never picks the
// AVX-512 copy for code that runs on an AVX2-only CPU. Only those files may include this header, and nothing here may
// have external linkage. The functions are inline only so that a file that needs some of them is not warned about the
// others.
#include <immintrin.h>

#include <cstdint>

namespace recognizer {

namespace {

// How far beyond the weight rows in use the row products prefetch.
constexpr int64_t kPrefetchAhead = 8192;

inline int64_t minOf(int64_t a, int64_t b) {
    return a < b ? a : b;
}

inline float sum256(__m256 v) {
    __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    s = _mm_add_ps(s, _mm_movehl_ps(s, s));
    s = _mm_add_ss(s, _mm_movehdup_ps(s));
    return _mm_cvtss_f32(s);
}

inline float max256(__m256 v) {
    __m128 s = _mm_max_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
    s = _mm_max_ps(s, _mm_movehl_ps(s, s));
    s = _mm_max_ss(s, _mm_movehdup_ps(s));
    return _mm_cvtss_f32(s);
}

inline float halfToFloat(uint16_t h) {
    return _cvtsh_ss(h);
}

inline uint32_t loadU32(const uint8_t* p) {
    uint32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}

inline void dequantizeF32(const void* src, float* dst, int64_t n) {
    __builtin_memcpy(dst, src, size_t(n) * sizeof(float));
}

// Weight rows are contiguous: while a group of rows (`bytes` long from `rows`) is multiplied in `steps` steps, the
// bytes kPrefetchAhead further on are fetched, spread evenly over the steps, so that the stream from memory never waits
// for the hardware prefetcher to catch up.
class PrefetchSpread {
public:
    PrefetchSpread(const uint8_t* rows, int64_t bytes, int64_t steps)
        : ahead_(reinterpret_cast<const char*>(rows) + kPrefetchAhead),
          bytes_(bytes),
          perStep_(steps ? (bytes + steps - 1) / steps : 0) {}

    // The share of step s.
    void step(int64_t s) const {
        for (int64_t off = s * perStep_; off < (s + 1) * perStep_ && off < bytes_; off += 64)
            _mm_prefetch(ahead_ + off, _MM_HINT_T0);
    }

private:
    const char* ahead_;
    int64_t bytes_;
    int64_t perStep_;
};

// The outputs of R weight rows (from row r) times M activation rows, from their vector accumulators and Sum, the sum of
// one accumulator's lanes: y[i * ldy + r + rr] = alpha * Sum(acc[rr][i]) + (bias ? bias[r + rr] : 0), plus beta times
// the old value unless beta is 0 (then the old value is not read).
template <auto Sum, int R, int M, class Vec>
void storeRowProducts(const Vec (&acc)[R][M], float* y, int64_t ldy, int64_t r, const float* bias, float alpha,
                      float beta) {
    for (int rr = 0; rr < R; ++rr) {
        for (int i = 0; i < M; ++i) {
            float& out = y[i * ldy + r + rr];
            const float v = alpha * Sum(acc[rr][i]) + (bias ? bias[r + rr] : 0.0f);
            out = beta != 0.0f ? v + beta * out : v;
        }
    }
}

}  // namespace

}  // namespace recognizer
