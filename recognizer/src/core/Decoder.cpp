#include "core/Decoder.h"

#include <cmath>
#include <cstring>

#include "compute/FewRowAttention.h"
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
    const Sizes s = sizes(model.hparams);
    for (auto* b : {&x_, &ln_, &q_, &k_, &v_, &att_}) b->resize(s.row);
    hidden_.resize(s.hidden);
    scores_.resize(s.scores);
    reserveSlots(1);
}

Decoder::Sizes Decoder::sizes(const Hparams& hp) {
    const size_t rows = hp.n_text_ctx, d = hp.n_text_state;
    // Scores of every row and head over the encoder positions (also enough for the self-attention).
    const size_t keys = std::max<size_t>(hp.n_audio_ctx, rows);
    return Sizes{rows * d, rows * 4 * d, rows * hp.n_text_head * keys, static_cast<size_t>(hp.n_text_layer) * rows * d};
}

size_t Decoder::workingBytes(const Hparams& hp, int slots) {
    const Sizes s = sizes(hp);
    return sizeof(float) * (6 * s.row + s.hidden + s.scores + 2 * s.slotCache * slots);
}

void Decoder::reserveSlots(int slots) {
    if (slots <= slots_) return;
    const size_t perSlot = sizes(model_.hparams).slotCache;
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

bool Decoder::run(const Row* rows, int n, const Encoder& encoder, const int* logitRows, int nLogitRows,
                  float* logits, ThreadPool& pool, const std::function<bool()>& aborted) {
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
    for (int l = 0; l < layers_; ++l) {
        // A long prompt through a large model takes seconds: a stop does not wait for all of it.
        if (aborted && aborted()) return false;
        const DecoderLayer& layer = model_.decoder[l];
        const AttentionWeights& self = layer.attn;
        const RowProduct qkv[] = {{self.query, q_.data(), d, self.queryBias},
                                  {self.key, k_.data(), d},
                                  {self.value, v_.data(), d, self.valueBias}};
        project(x_.data(), n, &layer.attnLn, qkv, 3, pool);
        for (int r = 0; r < n; ++r) {
            memcpy(cacheK(rows[r].slot, l, rows[r].position), k_.data() + r * d, sizeof(float) * d);
            memcpy(cacheV(rows[r].slot, l, rows[r].position), v_.data() + r * d, sizeof(float) * d);
        }
        selfAttention(l, rows, n, pool);
        const RowProduct selfOut{self.out, x_.data(), d, self.outBias, true};
        project(att_.data(), n, nullptr, &selfOut, 1, pool);

        const RowProduct crossQuery{layer.cross.query, q_.data(), d, layer.cross.queryBias};
        project(x_.data(), n, &layer.crossLn, &crossQuery, 1, pool);
        crossAttention(l, encoder, n, pool);
        const RowProduct crossOut{layer.cross.out, x_.data(), d, layer.cross.outBias, true};
        project(att_.data(), n, nullptr, &crossOut, 1, pool);

        const RowProduct fc1{layer.mlp.fc1, hidden_.data(), 4 * d, layer.mlp.fc1Bias, false, true};
        project(x_.data(), n, &layer.mlpLn, &fc1, 1, pool);
        const RowProduct fc2{layer.mlp.fc2, x_.data(), d, layer.mlp.fc2Bias, true};
        project(hidden_.data(), n, nullptr, &fc2, 1, pool);
    }
    // Only the requested rows go through the final norm and the output projection.
    for (int i = 0; i < nLogitRows; ++i) {
        layerNormRow(x_.data() + static_cast<int64_t>(logitRows[i]) * d, d, model_.decoderLn.weight,
                     model_.decoderLn.bias, kLnEps, ln_.data() + i * d);
    }
    if (nLogitRows > 0) matmul(pool, emb, ln_.data(), nLogitRows, d, logits, vocab_, nullptr);
    return true;
}

// A few rows (a decoder step) take one pool run per group of products, with the norm, the GELU and the residual
// addition done inside it. More rows go through the blocked products after a pass of their own for the norm, which
// then uses ln_: `in` must not be ln_ then.
void Decoder::project(const float* in, int n, const LayerNormWeights* norm, const RowProduct* products, int count,
                      ThreadPool& pool) {
    const int64_t cols = products[0].w.cols;
    if (n < kBatchAttentionRows) {
        const RowNorm rowNorm{norm ? norm->weight : nullptr, norm ? norm->bias : nullptr, kLnEps};
        matmulRows(pool, in, n, cols, norm ? &rowNorm : nullptr, products, count);
        return;
    }
    if (norm) {
        parallelRanges(pool, n, cols, [&](int64_t b, int64_t e) {
            for (int64_t r = b; r < e; ++r)
                layerNormRow(in + r * cols, cols, norm->weight, norm->bias, kLnEps, ln_.data() + r * cols);
        });
        in = ln_.data();
    }
    for (int p = 0; p < count; ++p) matmul(pool, in, n, cols, products[p]);
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

// A few rows attend in one run over blocks of positions. More rows take three passes, each spread over all threads
// whatever the number of heads: scores by ranges of encoder positions, the softmax by rows, the weighted values by
// ranges of channels. Inside a pool task a product runs on that thread.
void Decoder::crossAttention(int l, const Encoder& encoder, int n, ThreadPool& pool) {
    const int64_t d = d_, hd = d_ / heads_, keys = encoder.positions(), heads = heads_;
    const int64_t ld = heads * keys;  // scores are [row][head][position]
    const float scale = 1.0f / std::sqrt(static_cast<float>(hd));
    if (n < kBatchAttentionRows) {
        attendFewRows(pool, n, keys, heads, hd, scale, q_.data(), d,
                      static_cast<const uint16_t*>(encoder.crossKeys(l, 0).data),
                      static_cast<const uint16_t*>(encoder.crossValues(l).data), att_.data(), d);
        return;
    }
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
