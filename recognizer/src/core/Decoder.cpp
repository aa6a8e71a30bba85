#include "core/Decoder.h"

#include <cmath>
#include <cstring>

#include "compute/MatMul.h"
#include "compute/Quantization.h"
#include "compute/ThreadPool.h"
#include "compute/VectorOps.h"
#include "core/Encoder.h"
#include "core/RowOps.h"

namespace recognizer {

namespace {

constexpr float kLnEps = 1e-5f;
// From this many rows on, attention goes through matrix products instead of per-row dot products.
constexpr int kBatchAttentionRows = 16;

// out[c] = sum_j p[j] * v[j * stride + c] for c < hd.
void weightedSum(const float* p, int64_t n, const float* v, int64_t stride, int64_t hd, float* out) {
    for (int64_t c = 0; c < hd; ++c) out[c] = 0.0f;
    for (int64_t j = 0; j < n; ++j) {
        const float w = p[j];
        const float* row = v + j * stride;
        for (int64_t c = 0; c < hd; ++c) out[c] += w * row[c];
    }
}

}  // namespace

Decoder::Decoder(const Model& model)
    : model_(model),
      d_(model.hparams.n_text_state),
      heads_(model.hparams.n_text_head),
      layers_(model.hparams.n_text_layer),
      textCtx_(model.hparams.n_text_ctx),
      vocab_(model.hparams.n_vocab) {
    const size_t rows = textCtx_, d = d_;
    for (auto* b : {&x_, &ln_, &q_, &k_, &v_, &att_}) b->resize(rows * d);
    hidden_.resize(rows * 4 * d);
    // Scores of every row and head over the encoder positions (also enough for the self-attention).
    const size_t keys = std::max<size_t>(model.hparams.n_audio_ctx, rows);
    scores_.resize(rows * heads_ * keys);
    reserveSlots(1);
}

void Decoder::reserveSlots(int slots) {
    if (slots <= slots_) return;
    const size_t perSlot = static_cast<size_t>(layers_) * textCtx_ * d_;
    cacheK_.resize(perSlot * slots);
    cacheV_.resize(perSlot * slots);
    slots_ = slots;
}

float* Decoder::cacheK(int slot, int layer, int pos) {
    return cacheK_.data() + ((static_cast<size_t>(slot) * layers_ + layer) * textCtx_ + pos) * d_;
}

float* Decoder::cacheV(int slot, int layer, int pos) {
    return cacheV_.data() + ((static_cast<size_t>(slot) * layers_ + layer) * textCtx_ + pos) * d_;
}

void Decoder::copySlot(int from, int to, int positions) {
    if (from == to) return;
    for (int l = 0; l < layers_; ++l) {
        memcpy(cacheK(to, l, 0), cacheK(from, l, 0), sizeof(float) * positions * d_);
        memcpy(cacheV(to, l, 0), cacheV(from, l, 0), sizeof(float) * positions * d_);
    }
}

void Decoder::run(const Row* rows, int n, const Encoder& encoder, const int* logitRows, int nLogitRows,
                  float* logits, ThreadPool& pool) {
    const int64_t d = d_;
    const WeightView& emb = model_.tokenEmbedding;
    const size_t embRow = rowBytes(emb.type, d);
    parallelRanges(pool, n, d, [&](int64_t b, int64_t e) {
        for (int64_t r = b; r < e; ++r) {
            float* x = x_.data() + r * d;
            dequantizeRow(emb.type, static_cast<const uint8_t*>(emb.data) + embRow * rows[r].token, x, d);
            addInPlace(x, model_.decoderPositions + static_cast<int64_t>(rows[r].position) * d, d);
        }
    });
    auto layerNorm = [&](const float* in, float* out, int64_t count, const LayerNormWeights& w) {
        parallelRanges(pool, count, d, [&](int64_t b, int64_t e) {
            for (int64_t r = b; r < e; ++r) layerNormRow(in + r * d, d, w.weight, w.bias, kLnEps, out + r * d);
        });
    };
    auto addResidual = [&](int64_t count) {
        parallelRanges(pool, count, d, [&](int64_t b, int64_t e) {
            addInPlace(x_.data() + b * d, ln_.data() + b * d, (e - b) * d);
        });
    };
    for (int l = 0; l < layers_; ++l) {
        const DecoderLayer& layer = model_.decoder[l];
        layerNorm(x_.data(), ln_.data(), n, layer.attnLn);
        projectQkv(layer.attn, n, pool);
        for (int r = 0; r < n; ++r) {
            memcpy(cacheK(rows[r].slot, l, rows[r].position), k_.data() + r * d, sizeof(float) * d);
            memcpy(cacheV(rows[r].slot, l, rows[r].position), v_.data() + r * d, sizeof(float) * d);
        }
        selfAttention(l, rows, n, pool);
        matmul(pool, layer.attn.out, att_.data(), n, d, ln_.data(), d, layer.attn.outBias);
        addResidual(n);

        layerNorm(x_.data(), ln_.data(), n, layer.crossLn);
        matmul(pool, layer.cross.query, ln_.data(), n, d, q_.data(), d, layer.cross.queryBias);
        crossAttention(l, encoder, n, pool);
        matmul(pool, layer.cross.out, att_.data(), n, d, ln_.data(), d, layer.cross.outBias);
        addResidual(n);

        layerNorm(x_.data(), ln_.data(), n, layer.mlpLn);
        matmul(pool, layer.mlp.fc1, ln_.data(), n, d, hidden_.data(), 4 * d, layer.mlp.fc1Bias);
        parallelRanges(pool, n, 4 * d, [&](int64_t b, int64_t e) {
            geluInPlace(hidden_.data() + b * 4 * d, (e - b) * 4 * d);
        });
        matmul(pool, layer.mlp.fc2, hidden_.data(), n, 4 * d, ln_.data(), d, layer.mlp.fc2Bias);
        addResidual(n);
    }
    // Only the requested rows go through the final norm and the output projection.
    for (int i = 0; i < nLogitRows; ++i) {
        layerNormRow(x_.data() + static_cast<int64_t>(logitRows[i]) * d, d, model_.decoderLn.weight,
                     model_.decoderLn.bias, kLnEps, ln_.data() + i * d);
    }
    if (nLogitRows > 0) matmul(pool, emb, ln_.data(), nLogitRows, d, logits, vocab_, nullptr);
}

// Query, key and value of a few rows in one pass over the pool: each thread takes the same share of the rows of all
// three matrices (inside a pool task a product runs on that thread). Prompts use the blocked products instead.
void Decoder::projectQkv(const AttentionWeights& w, int n, ThreadPool& pool) {
    const int64_t d = d_;
    if (n >= kBatchAttentionRows) {
        matmul(pool, w.query, ln_.data(), n, d, q_.data(), d, w.queryBias);
        matmul(pool, w.key, ln_.data(), n, d, k_.data(), d, nullptr);
        matmul(pool, w.value, ln_.data(), n, d, v_.data(), d, w.valueBias);
        return;
    }
    pool.run([&](int ith, int nth) {
        const int64_t r0 = d * ith / nth, r1 = d * (ith + 1) / nth;
        if (r0 == r1) return;
        const std::pair<const WeightView*, std::pair<float*, const float*>> parts[] = {
            {&w.query, {q_.data(), w.queryBias}}, {&w.key, {k_.data(), nullptr}}, {&w.value, {v_.data(), w.valueBias}}};
        for (const auto& [weights, out] : parts) {
            WeightView slice = *weights;
            slice.data = static_cast<const uint8_t*>(slice.data) + rowBytes(slice.type, d) * r0;
            slice.rows = r1 - r0;
            matmul(pool, slice, ln_.data(), n, d, out.first + r0, d, out.second ? out.second + r0 : nullptr);
        }
    });
}

void Decoder::selfAttention(int l, const Row* rows, int n, ThreadPool& pool) {
    const int64_t d = d_, hd = d_ / heads_;
    const float scale = 1.0f / std::sqrt(static_cast<float>(hd));
    bool consecutive = n >= kBatchAttentionRows;
    for (int r = 1; consecutive && r < n; ++r)
        consecutive = rows[r].slot == rows[0].slot && rows[r].position == rows[0].position + r;
    if (consecutive) {
        // A prompt: one product per head over the cache, then the causal mask.
        const int64_t keys = rows[n - 1].position + 1;
        const float* kc = cacheK(rows[0].slot, l, 0);
        const float* vc = cacheV(rows[0].slot, l, 0);
        for (int h = 0; h < heads_; ++h) {
            sgemm(pool, true, n, keys, hd, scale, q_.data() + h * hd, d, kc + h * hd, d, 0.0f, scores_.data(), keys);
            parallelRanges(pool, n, keys, [&](int64_t b, int64_t e) {
                for (int64_t r = b; r < e; ++r) {
                    float* s = scores_.data() + r * keys;
                    for (int64_t j = rows[r].position + 1; j < keys; ++j) s[j] = -INFINITY;
                    softmaxInPlace(s, keys, 1.0f);
                }
            });
            sgemm(pool, false, n, hd, keys, 1.0f, scores_.data(), keys, vc + h * hd, d, 0.0f, att_.data() + h * hd, d);
        }
        return;
    }
    const int64_t tasks = static_cast<int64_t>(n) * heads_;
    parallelRanges(pool, tasks, rows[0].position * hd * 2 + 1, [&](int64_t b, int64_t e) {
        for (int64_t task = b; task < e; ++task) {
            const int r = static_cast<int>(task / heads_), h = static_cast<int>(task % heads_);
            const int64_t keys = rows[r].position + 1;
            float* s = scores_.data() + task * textCtx_;
            const float* q = q_.data() + r * d + h * hd;
            const float* kc = cacheK(rows[r].slot, l, 0) + h * hd;
            for (int64_t j = 0; j < keys; ++j) s[j] = dot(q, kc + j * d, hd);
            softmaxInPlace(s, keys, scale);
            weightedSum(s, keys, cacheV(rows[r].slot, l, 0) + h * hd, d, hd, att_.data() + r * d + h * hd);
        }
    });
}

// Three passes, each spread over all threads whatever the number of heads: scores by ranges of encoder positions,
// the softmax by rows, the weighted values by ranges of channels. Inside a pool task a product runs on that thread.
void Decoder::crossAttention(int l, const Encoder& encoder, int n, ThreadPool& pool) {
    const int64_t d = d_, hd = d_ / heads_, keys = encoder.positions(), heads = heads_;
    const int64_t ld = heads * keys;  // scores are [row][head][position]
    const float scale = 1.0f / std::sqrt(static_cast<float>(hd));
    pool.run([&](int ith, int nth) {
        const int64_t k0 = keys * ith / nth, k1 = keys * (ith + 1) / nth;
        if (k0 == k1) return;
        for (int64_t h = 0; h < heads; ++h) {
            WeightView k = encoder.crossKeys(l, static_cast<int>(h));
            k.data = static_cast<const uint16_t*>(k.data) + k0 * hd;
            k.rows = k1 - k0;
            matmul(pool, k, q_.data() + h * hd, n, d, scores_.data() + h * keys + k0, ld, nullptr);
        }
    });
    parallelRanges(pool, n * heads, keys * 4, [&](int64_t b, int64_t e) {
        for (int64_t i = b; i < e; ++i) softmaxInPlace(scores_.data() + i * keys, keys, scale);
    });
    const WeightView values = encoder.crossValues(l);
    pool.run([&](int ith, int nth) {
        const int64_t c0 = d * ith / nth, c1 = d * (ith + 1) / nth;
        for (int64_t c = c0; c < c1;) {
            const int64_t h = c / hd, end = std::min(c1, (h + 1) * hd);
            const WeightView v{values.type, end - c, keys, static_cast<const uint16_t*>(values.data) + c * keys};
            matmul(pool, v, scores_.data() + h * keys, n, ld, att_.data() + c, d, nullptr);
            c = end;
        }
    });
}

}  // namespace recognizer
