#pragma once

// Products of quantized weight rows with activation rows quantized to 8-bit blocks, two blocks of 32 weights per
// 512-bit vector: lanes 0..7 of a vector of integer products belong to the first block, lanes 8..15 to the second.
// The AVX-512 kernels and their VNNI variant share them as the 256-bit ones are shared (see BlockProducts256.h, whose
// block types, activation quantizer and single-block decoders they reuse); everything is in an anonymous namespace.
#include <immintrin.h>

#include <cstdint>
#include <type_traits>

#include "compute/BlockProducts256.h"

namespace recognizer {

namespace {

// The 16-bit pair sums of PairSumDot, on 64 bytes.
struct PairSumDot512 {
    static __m512i bytes(__m512i u, __m512i s) {
        return _mm512_madd_epi16(_mm512_maddubs_epi16(u, s), _mm512_set1_epi16(1));
    }
};

// The nibbles of two blocks' qs: each block's low nibbles and then its high nibbles, in element order.
inline __m512i nibblePairCodes(const uint8_t* qs0, const uint8_t* qs1) {
    const __m512i both = _mm512_inserti64x4(
        _mm512_castsi256_si512(_mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(qs0)))),
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(qs1))), 1);
    return _mm512_and_si512(_mm512_srlv_epi64(both, _mm512_setr_epi64(0, 0, 4, 4, 0, 0, 4, 4)),
                            _mm512_set1_epi8(0x0F));
}

// Plus 16 where the bits of the two blocks' qh are set: bit j of the mask is byte j of the codes.
template <class Block>
__m512i fiveBitPairCodes(const Block& b0, const Block& b1) {
    const __mmask64 high = _cvtu64_mask64(uint64_t(loadU32(b0.qh)) | uint64_t(loadU32(b1.qh)) << 32);
    const __m512i codes = nibblePairCodes(b0.qs, b1.qs);
    return _mm512_mask_add_epi8(codes, high, codes, _mm512_set1_epi8(16));
}

// Codes of two blocks of each type (see the block types of BlockProducts256.h for how they enter the products).
template <class Blocks>
__m512i pairCodes(const typename Blocks::Block& b0, const typename Blocks::Block& b1) {
    if constexpr (std::is_same_v<Blocks, BlocksQ5_0> || std::is_same_v<Blocks, BlocksQ5_1>) {
        return fiveBitPairCodes(b0, b1);
    } else if constexpr (Blocks::kSigned) {
        return _mm512_inserti64x4(_mm512_castsi256_si512(Blocks::codes(b0)), Blocks::codes(b1), 1);
    } else {
        return nibblePairCodes(b0.qs, b1.qs);
    }
}

// The f16 values at `field` of blocks b and b + 1 of each of the R (at most 4) rows, as floats: lanes 2 rr and
// 2 rr + 1 are row rr's, gathered in general-purpose registers and converted together.
template <int R, class Block>
__m256 rowPairHalves(const Block* const* rows, int64_t b, uint16_t Block::*field) {
    uint64_t pairs[2] = {0, 0};
    for (int rr = 0; rr < R; ++rr) {
        const uint32_t pair = uint32_t(rows[rr][b].*field) | uint32_t(rows[rr][b + 1].*field) << 16;
        pairs[rr / 2] |= uint64_t(pair) << (32 * (rr % 2));
    }
    return _mm256_cvtph_ps(_mm_set_epi64x(int64_t(pairs[1]), int64_t(pairs[0])));
}

// The two floats at p in every pair of lanes.
inline __m256 loadPairs(const float* p) {
    return _mm256_castpd_ps(_mm256_broadcast_sd(reinterpret_cast<const double*>(p)));
}

// R (at most 4) weight rows from row r times M activation rows, two blocks at a time; an odd last block goes alone in
// the lower half. The scales of two blocks for all the rows are converted and multiplied together and spread to each
// row's lanes with one permute; the offsets are summed side by side, each row's two blocks in neighbouring lanes.
template <class Dot, class Blocks, int R, int M>
void blockPairTile(const uint8_t* w, size_t stride, int64_t blocks, const ActivationBlocks& x, float* y,
                   int64_t ldy, int64_t r, const float* bias, bool accumulate) {
    using Block = typename Blocks::Block;
    constexpr bool kOffset = !Blocks::kSigned;
    const Block* rows[R];
    for (int rr = 0; rr < R; ++rr) rows[rr] = reinterpret_cast<const Block*>(w + size_t(r + rr) * stride);
    __m512 acc[R][M];
    __m256 offsets[M];
    for (int i = 0; i < M; ++i) {
        offsets[i] = _mm256_setzero_ps();
        for (int rr = 0; rr < R; ++rr) acc[rr][i] = _mm512_setzero_ps();
    }
    // The products of one pair (or of a last single block, with `codes` and `xq` zero in their upper halves).
    auto add = [&](const __m512i (&xq)[M], const __m256 (&scales)[M], auto codesOf) {
#pragma GCC unroll 4
        for (int rr = 0; rr < R; ++rr) {
            const __m512i codes = codesOf(rr);
            __m512i magnitudes = codes;
            __mmask64 negative = 0;
            if constexpr (Blocks::kSigned) {
                // The sign moves to the activations, so that the weights' side is unsigned.
                magnitudes = _mm512_abs_epi8(codes);
                negative = _mm512_movepi8_mask(codes);
            }
            const int first = 2 * rr, second = 2 * rr + 1;
            const __m512i lanes = _mm512_setr_epi32(first, first, first, first, first, first, first, first, second,
                                                    second, second, second, second, second, second, second);
            for (int i = 0; i < M; ++i) {
                __m512i xs = xq[i];
                if constexpr (Blocks::kSigned) xs = _mm512_mask_sub_epi8(xs, negative, _mm512_setzero_si512(), xs);
                const __m512 dot = _mm512_cvtepi32_ps(Dot::bytes(magnitudes, xs));
                const __m512 scale = _mm512_permutexvar_ps(lanes, _mm512_castps256_ps512(scales[i]));
                acc[rr][i] = _mm512_fmadd_ps(dot, scale, acc[rr][i]);
            }
        }
    };
    int64_t b = 0;
    for (; b + 2 <= blocks; b += 2) {
        prefetchStep<2 * R * sizeof(Block)>(w + size_t(r) * stride, b / 2);
        const __m256 d = rowPairHalves<R>(rows, b, &Block::d);
        __m256 o = d;
        if constexpr (Blocks::kMinimum) o = rowPairHalves<R>(rows, b, &Block::m);
        __m512i xq[M];
        __m256 scales[M];
        for (int i = 0; i < M; ++i) {
            const int64_t at = i * blocks + b;
            xq[i] = _mm512_loadu_si512(x.codes + at * kBlock);
            scales[i] = _mm256_mul_ps(d, loadPairs(x.scales + at));
            if constexpr (kOffset) offsets[i] = _mm256_fmadd_ps(o, loadPairs(x.sums + at), offsets[i]);
        }
        add(xq, scales, [&](int rr) { return pairCodes<Blocks>(rows[rr][b], rows[rr][b + 1]); });
    }
    if (b < blocks) {
        // Row rr's scale in lane 2 rr, zeros in the lanes of the absent second block.
        const __m256i even = _mm256_setr_epi32(0, 4, 1, 4, 2, 4, 3, 4);
        const __m256 d = _mm256_permutevar8x32_ps(_mm256_zextps128_ps256(rowHalves<R>(rows, b, &Block::d)), even);
        __m256 o = d;
        if constexpr (Blocks::kMinimum)
            o = _mm256_permutevar8x32_ps(_mm256_zextps128_ps256(rowHalves<R>(rows, b, &Block::m)), even);
        __m512i xq[M];
        __m256 scales[M];
        for (int i = 0; i < M; ++i) {
            const int64_t at = i * blocks + b;
            xq[i] = _mm512_zextsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x.codes + at * kBlock)));
            scales[i] = _mm256_mul_ps(d, _mm256_set1_ps(x.scales[at]));
            if constexpr (kOffset) offsets[i] = _mm256_fmadd_ps(o, _mm256_set1_ps(x.sums[at]), offsets[i]);
        }
        add(xq, scales, [&](int rr) { return _mm512_zextsi256_si512(Blocks::codes(rows[rr][b])); });
    }
    for (int i = 0; i < M; ++i) {
        // Lanes 2 rr and 2 rr + 1 hold row rr's offsets of the first and the second block of the pairs.
        alignas(32) float offset[8];
        _mm256_store_ps(offset, _mm256_mul_ps(offsets[i], _mm256_set1_ps(Blocks::kMinimum ? 1.0f : -Blocks::kZero)));
        for (int rr = 0; rr < R; ++rr) {
            float& out = y[i * ldy + r + rr];
            const float v = _mm512_reduce_add_ps(acc[rr][i]) + (kOffset ? offset[2 * rr] + offset[2 * rr + 1] : 0.0f) +
                            (bias ? bias[r + rr] : 0.0f);
            out = accumulate ? out + v : v;
        }
    }
}

template <class Dot, class Blocks, int R, int M>
struct BlockPairTile {
    static void run(const uint8_t* w, size_t stride, int64_t blocks, const ActivationBlocks& x, float* y, int64_t ldy,
                    int64_t r, const float* bias, bool accumulate) {
        blockPairTile<Dot, Blocks, R, M>(w, stride, blocks, x, y, ldy, r, bias, accumulate);
    }
};

// The block products of every quantized type with two blocks per vector, and the activation quantizer.
template <class Dot>
void setBlockPairProducts(Kernels& k) {
    k.blockGemv[int(TensorType::Q4_0)] = blockGemv<BlockPairTile, Dot, BlocksQ4_0>;
    k.blockGemv[int(TensorType::Q4_1)] = blockGemv<BlockPairTile, Dot, BlocksQ4_1>;
    k.blockGemv[int(TensorType::Q5_0)] = blockGemv<BlockPairTile, Dot, BlocksQ5_0>;
    k.blockGemv[int(TensorType::Q5_1)] = blockGemv<BlockPairTile, Dot, BlocksQ5_1>;
    k.blockGemv[int(TensorType::Q8_0)] = blockGemv<BlockPairTile, Dot, BlocksQ8_0>;
    k.quantizeActivations = quantizeActivations;
}

}  // namespace

}  // namespace recognizer
