#pragma once

// Products of quantized weight rows with activation rows quantized to 8-bit blocks (ActivationBlocks), one block of 32
// weights per 256-bit vector. The AVX2 and AVX-512 kernels and their variants with the VNNI dot-product instructions
// share them: each of those files includes this header and instantiates the products with its own integer dot
// product. As in SimdKernelParts.h, everything is in an anonymous namespace so that each file keeps its own copy, built
// with its own instruction set, and the functions are inline so that a file that needs only some is not warned about
// the others.
#include <immintrin.h>

#include <cstdint>

#include "compute/ActivationBlocks.h"
#include "compute/BlockLayouts.h"
#include "compute/Kernels.h"
#include "compute/SimdKernelParts.h"
#include "compute/TensorType.h"

namespace recognizer {

namespace {

// Sums of four neighbouring products of 32 unsigned and 32 signed bytes, as eight 32-bit integers, through 16-bit pair
// sums: these cannot saturate here, where the unsigned bytes are at most 128 and the signed ones at most 127 in size.
struct PairSumDot {
    static __m256i bytes(__m256i u, __m256i s) {
        return _mm256_madd_epi16(_mm256_maddubs_epi16(u, s), _mm256_set1_epi16(1));
    }
};

// The 32 nibbles of qs as bytes in element order: the low nibbles (elements 0..15) in the lower half, the high ones
// (elements 16..31) in the upper half.
inline __m256i nibbleCodes(const uint8_t* qs) {
    const __m256i both = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(qs)));
    return _mm256_and_si256(_mm256_srlv_epi64(both, _mm256_setr_epi64x(0, 0, 4, 4)), _mm256_set1_epi8(0x0F));
}

// The 5-bit codes: the nibbles plus 16 in the bytes of the elements whose bit is set in qh (bit j, element j). With
// AVX-512 (BW, VL) qh is a byte mask as it stands; AVX2 spreads it to the bytes first.
inline __m256i fiveBitCodes(const uint8_t* qs, const uint8_t* qh) {
#if defined(__AVX512BW__) && defined(__AVX512VL__)
    const __m256i codes = nibbleCodes(qs);
    return _mm256_mask_add_epi8(codes, _cvtu32_mask32(loadU32(qh)), codes, _mm256_set1_epi8(16));
#else
    // Byte j takes byte j / 8 of qh and keeps bit j % 8 of it.
    const __m256i spread = _mm256_shuffle_epi8(
        _mm256_set1_epi32(int(loadU32(qh))),
        _mm256_setr_epi64x(0, 0x0101010101010101, 0x0202020202020202, 0x0303030303030303));
    const __m256i bit = _mm256_set1_epi64x(int64_t(0x8040201008040201));
    const __m256i set = _mm256_cmpeq_epi8(_mm256_and_si256(spread, bit), bit);
    return _mm256_or_si256(nibbleCodes(qs), _mm256_and_si256(set, _mm256_set1_epi8(16)));
#endif
}

// How the blocks of each type enter a product: codes() gives the block's 32 codes as bytes in element order, unsigned
// for the 4- and 5-bit types and signed for q8_0. A block adds d * xscale * (codes . xcodes) and, for the 4- and 5-bit
// types, offset * xsum: the minimum m where the type stores one, -zero * d for those that subtract a fixed zero code.
struct BlocksQ4_0 {
    using Block = BlockQ4_0;
    static constexpr bool kSigned = false, kMinimum = false;
    static constexpr float kZero = 8.0f;
    static __m256i codes(const Block& b) { return nibbleCodes(b.qs); }
};

struct BlocksQ4_1 {
    using Block = BlockQ4_1;
    static constexpr bool kSigned = false, kMinimum = true;
    static constexpr float kZero = 0.0f;
    static __m256i codes(const Block& b) { return nibbleCodes(b.qs); }
};

struct BlocksQ5_0 {
    using Block = BlockQ5_0;
    static constexpr bool kSigned = false, kMinimum = false;
    static constexpr float kZero = 16.0f;
    static __m256i codes(const Block& b) { return fiveBitCodes(b.qs, b.qh); }
};

struct BlocksQ5_1 {
    using Block = BlockQ5_1;
    static constexpr bool kSigned = false, kMinimum = true;
    static constexpr float kZero = 0.0f;
    static __m256i codes(const Block& b) { return fiveBitCodes(b.qs, b.qh); }
};

struct BlocksQ8_0 {
    using Block = BlockQ8_0;
    static constexpr bool kSigned = true, kMinimum = false;
    static constexpr float kZero = 0.0f;
    static __m256i codes(const Block& b) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b.qs)); }
};

// The f16 values at `field` of block b of each of the R (at most 4) rows, as floats in lanes 0..R-1: gathered in a
// general-purpose register and converted together.
template <int R, class Block>
__m128 rowHalves(const Block* const* rows, int64_t b, uint16_t Block::*field) {
    uint64_t halves = 0;
    for (int rr = 0; rr < R; ++rr) halves |= uint64_t(rows[rr][b].*field) << (16 * rr);
    return _mm_cvtph_ps(_mm_cvtsi64_si128(int64_t(halves)));
}

// The scale d and the minimum m of block b of each of the R (at most 4) rows, which lie side by side at the start of
// the block: d in lanes 0..R-1 of `d`, m in those of `m`, from one load per row and one conversion.
template <int R, class Block>
void rowScalesAndMinima(const Block* const* rows, int64_t b, __m128& d, __m128& m) {
    uint64_t pairs[2] = {0, 0};
    for (int rr = 0; rr < R; ++rr)
        pairs[rr / 2] |= uint64_t(loadU32(reinterpret_cast<const uint8_t*>(&rows[rr][b]))) << (32 * (rr % 2));
    const __m256 both = _mm256_cvtph_ps(_mm_set_epi64x(int64_t(pairs[1]), int64_t(pairs[0])));
    const __m256 split = _mm256_permutevar8x32_ps(both, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    d = _mm256_castps256_ps128(split);
    m = _mm256_extractf128_ps(split, 1);
}

// The rows of a tile are contiguous and go by block by block, kStepBytes of them per step: the bytes kPrefetchAhead
// further on are fetched as they go, with as many prefetches per step as the step has cache lines, and no loop.
template <int64_t kStepBytes>
void prefetchStep(const uint8_t* rows, int64_t step) {
    const char* p = reinterpret_cast<const char*>(rows) + kPrefetchAhead + step * kStepBytes;
    for (int64_t off = 0; off < kStepBytes; off += 64) _mm_prefetch(p + off, _MM_HINT_T0);
}

// Lane `lane` (0..3) of v in all eight lanes.
inline __m256 broadcastLane(__m128 v, int lane) {
    return _mm256_permutevar8x32_ps(_mm256_castps128_ps256(v), _mm256_set1_epi32(lane));
}

// R (at most 4) weight rows from row r times M activation rows, block by block. The scales of a block for all the rows
// are converted and multiplied together, and the offsets of the rows are summed side by side in the lanes of one
// vector per activation row.
template <class Dot, class Blocks, int R, int M>
void blockTile(const uint8_t* w, size_t stride, int64_t blocks, const ActivationBlocks& x, float* y, int64_t ldy,
               int64_t r, const float* bias, bool accumulate) {
    using Block = typename Blocks::Block;
    constexpr bool kOffset = !Blocks::kSigned;
    const Block* rows[R];
    for (int rr = 0; rr < R; ++rr) rows[rr] = reinterpret_cast<const Block*>(w + size_t(r + rr) * stride);
    __m256 acc[R][M];
    __m128 offsets[M];
    for (int i = 0; i < M; ++i) {
        offsets[i] = _mm_setzero_ps();
        for (int rr = 0; rr < R; ++rr) acc[rr][i] = _mm256_setzero_ps();
    }
    for (int64_t b = 0; b < blocks; ++b) {
        prefetchStep<R * sizeof(Block)>(w + size_t(r) * stride, b);
        __m128 d, o;
        if constexpr (Blocks::kMinimum) {
            rowScalesAndMinima<R>(rows, b, d, o);
        } else {
            d = rowHalves<R>(rows, b, &Block::d);
            o = d;
        }
        __m256i xq[M];
        __m128 scales[M];
        for (int i = 0; i < M; ++i) {
            const int64_t at = i * blocks + b;
            xq[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x.codes + at * kBlock));
            scales[i] = _mm_mul_ps(d, _mm_set1_ps(x.scales[at]));
            if constexpr (kOffset) offsets[i] = _mm_fmadd_ps(o, _mm_set1_ps(x.sums[at]), offsets[i]);
        }
#pragma GCC unroll 4
        for (int rr = 0; rr < R; ++rr) {
            const __m256i codes = Blocks::codes(rows[rr][b]);
            // Signed codes: the sign moves to the activations, so that the weights' side is unsigned.
            const __m256i magnitudes = Blocks::kSigned ? _mm256_sign_epi8(codes, codes) : codes;
            for (int i = 0; i < M; ++i) {
                const __m256i xs = Blocks::kSigned ? _mm256_sign_epi8(xq[i], codes) : xq[i];
                const __m256 dot = _mm256_cvtepi32_ps(Dot::bytes(magnitudes, xs));
                acc[rr][i] = _mm256_fmadd_ps(dot, broadcastLane(scales[i], rr), acc[rr][i]);
            }
        }
    }
    for (int i = 0; i < M; ++i) {
        alignas(16) float offset[4];
        _mm_store_ps(offset, _mm_mul_ps(offsets[i], _mm_set1_ps(Blocks::kMinimum ? 1.0f : -Blocks::kZero)));
        for (int rr = 0; rr < R; ++rr) {
            float& out = y[i * ldy + r + rr];
            const float v = sum256(acc[rr][i]) + (kOffset ? offset[rr] : 0.0f) + (bias ? bias[r + rr] : 0.0f);
            out = accumulate ? out + v : v;
        }
    }
}

// Weight rows r..r+R-1 with all m activation rows, two at a time.
template <class Dot, class Blocks, int R>
void blockRows(const uint8_t* w, size_t stride, int64_t cols, const ActivationBlocks& x, int64_t m, float* y,
               int64_t ldy, int64_t r, const float* bias, bool accumulate) {
    const int64_t blocks = cols / kBlock;
    for (int64_t i = 0; i < m; i += 2) {
        const ActivationBlocks xi{x.codes + i * cols, x.scales + i * blocks, x.sums + i * blocks};
        if (m - i == 1)
            blockTile<Dot, Blocks, R, 1>(w, stride, blocks, xi, y + i * ldy, ldy, r, bias, accumulate);
        else
            blockTile<Dot, Blocks, R, 2>(w, stride, blocks, xi, y + i * ldy, ldy, r, bias, accumulate);
    }
}

template <class Dot, class Blocks>
void blockGemv(const void* w, size_t stride, int64_t cols, const ActivationBlocks& x, int64_t m, float* y,
               int64_t ldy, int64_t r0, int64_t r1, const float* bias, bool accumulate) {
    const auto* base = static_cast<const uint8_t*>(w);
    int64_t r = r0;
    for (; r + 4 <= r1; r += 4) blockRows<Dot, Blocks, 4>(base, stride, cols, x, m, y, ldy, r, bias, accumulate);
    for (; r < r1; ++r) blockRows<Dot, Blocks, 1>(base, stride, cols, x, m, y, ldy, r, bias, accumulate);
}

// The same codes, scales and sums as the portable level: the block's largest magnitude maps to 127, products are
// rounded to nearest even (the MXCSR default), and NaN becomes -127 there too.
inline void quantizeActivations(const float* x, int64_t n, int8_t* codes, float* scales, float* sums) {
    const __m256 signBit = _mm256_set1_ps(-0.0f);
    for (int64_t b = 0; b < n / kBlock; ++b, x += kBlock, codes += kBlock) {
        __m256 v[4];
        __m256 amax = _mm256_setzero_ps();
        for (int k = 0; k < 4; ++k) {
            v[k] = _mm256_loadu_ps(x + 8 * k);
            amax = _mm256_max_ps(_mm256_andnot_ps(signBit, v[k]), amax);  // a NaN lane keeps amax
        }
        const float d = max256(amax) / 127.0f;
        const __m256 id = _mm256_set1_ps(d != 0.0f ? 1.0f / d : 0.0f);
        __m256i q[4];
        for (int k = 0; k < 4; ++k) q[k] = _mm256_cvtps_epi32(_mm256_mul_ps(v[k], id));
        // The packs work within 128-bit halves, leaving groups of four codes in the order 0, 2, 4, 6, 1, 3, 5, 7.
        __m256i bytes = _mm256_packs_epi16(_mm256_packs_epi32(q[0], q[1]), _mm256_packs_epi32(q[2], q[3]));
        bytes = _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
        bytes = _mm256_max_epi8(bytes, _mm256_set1_epi8(-127));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(codes), bytes);
        const __m256i sum = PairSumDot::bytes(_mm256_set1_epi8(1), bytes);
        __m128i s = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
        s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
        s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
        scales[b] = d;
        sums[b] = d * float(_mm_cvtsi128_si32(s));
    }
}

// The block products of every quantized type and the activation quantizer, with the integer dot product Dot.
template <class Dot>
void setBlockProducts(Kernels& k) {
    k.blockGemv[int(TensorType::Q4_0)] = blockGemv<Dot, BlocksQ4_0>;
    k.blockGemv[int(TensorType::Q4_1)] = blockGemv<Dot, BlocksQ4_1>;
    k.blockGemv[int(TensorType::Q5_0)] = blockGemv<Dot, BlocksQ5_0>;
    k.blockGemv[int(TensorType::Q5_1)] = blockGemv<Dot, BlocksQ5_1>;
    k.blockGemv[int(TensorType::Q8_0)] = blockGemv<Dot, BlocksQ8_0>;
    k.quantizeActivations = quantizeActivations;
}

}  // namespace

}  // namespace recognizer
