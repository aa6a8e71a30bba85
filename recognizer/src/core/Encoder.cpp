#include "core/Encoder.h"

#include <cmath>
#include <cstring>

#include "compute/Attention.h"
#include "compute/MatMul.h"
#include "compute/Quantization.h"
#include "compute/ThreadPool.h"
#include "compute/VectorOps.h"
#include "core/MelSpectrogram.h"
#include "core/RowOps.h"

namespace recognizer {

namespace {

constexpr float kLnEps = 1e-5f;

void layerNormRows(ThreadPool& pool, const float* x, float* out, int64_t rows, int64_t d, const LayerNormWeights& w) {
    parallelRanges(pool, rows, d, [&](int64_t b, int64_t e) {
        for (int64_t r = b; r < e; ++r) layerNormRow(x + r * d, d, w.weight, w.bias, kLnEps, out + r * d);
    });
}

void addRows(ThreadPool& pool, float* y, const float* x, int64_t n) {
    parallelRanges(pool, (n + 1023) / 1024, 1024, [&](int64_t b, int64_t e) {
        const int64_t end = std::min(n, e * 1024);
        addInPlace(y + b * 1024, x + b * 1024, end - b * 1024);
    });
}

}  // namespace

Encoder::Encoder(const Model& model)
    : model_(model),
      d_(model.hparams.n_audio_state),
      ctx_(model.hparams.n_audio_ctx),
      heads_(model.hparams.n_audio_head),
      frames_(2 * model.hparams.n_audio_ctx),
      textHeads_(model.hparams.n_text_head) {}

WeightView Encoder::crossKeys(int layer, int head) const {
    const int64_t hd = d_ / textHeads_;
    const size_t offset = (static_cast<size_t>(layer) * textHeads_ + head) * ctx_ * hd;
    return WeightView{TensorType::F16, ctx_, hd, crossK_.data() + offset};
}

WeightView Encoder::crossValues(int layer) const {
    return WeightView{TensorType::F16, d_, ctx_, crossV_.data() + static_cast<size_t>(layer) * ctx_ * d_};
}

Encoder::Sizes Encoder::sizes(const Hparams& hp) {
    const size_t d = hp.n_audio_state, n = hp.n_audio_ctx, frames = 2 * n, nMel = hp.n_mels;
    return Sizes{std::max(frames * 3 * nMel, n * 3 * d), frames * d, n * d, n * 4 * d,
                 static_cast<size_t>(hp.n_text_layer) * n * d};
}

size_t Encoder::workingBytes(const Hparams& hp) {
    const Sizes s = sizes(hp);
    return sizeof(float) * (s.cols + s.conv1Out + 6 * s.row + s.hidden) + 2 * sizeof(uint16_t) * s.cross;
}

void Encoder::allocate() {
    // The last buffer sized says all are: an allocation that failed half-way is completed by the next window.
    if (!crossV_.empty()) return;
    const Sizes s = sizes(model_.hparams);
    cols_.resize(s.cols);
    conv1Out_.resize(s.conv1Out);
    for (auto* b : {&x_, &ln_, &q_, &k_, &v_, &att_}) b->resize(s.row);
    hidden_.resize(s.hidden);
    crossK_.resize(s.cross);
    crossV_.resize(s.cross);
}

bool Encoder::encode(const MelSpectrogram& mel, int64_t seek, ThreadPool& pool, const std::function<bool()>& aborted) {
    allocate();
    const int64_t d = d_, n = ctx_, nMel = model_.hparams.n_mels;
    const int64_t total = mel.frames();
    // conv1 (kernel 3, stride 1, zero padding 1) as one product over the unrolled input windows.
    parallelRanges(pool, frames_, 3 * nMel, [&](int64_t b, int64_t e) {
        for (int64_t t = b; t < e; ++t) {
            float* row = cols_.data() + t * 3 * nMel;
            for (int64_t i = 0; i < nMel; ++i) {
                const float* band = mel.band(static_cast<int>(i));
                for (int k = 0; k < 3; ++k) {
                    const int64_t f = t + k - 1;
                    row[i * 3 + k] = (f >= 0 && f < frames_ && seek + f < total) ? band[seek + f] : 0.0f;
                }
            }
        }
    });
    matmul(pool, cols_.data(), frames_, 3 * nMel, {model_.conv1, conv1Out_.data(), d, model_.conv1Bias, false, true});
    // conv2 (kernel 3, stride 2, zero padding 1).
    parallelRanges(pool, n, 3 * d, [&](int64_t b, int64_t e) {
        for (int64_t t = b; t < e; ++t) {
            float* row = cols_.data() + t * 3 * d;
            for (int k = 0; k < 3; ++k) {
                const int64_t f = 2 * t + k - 1;
                const float* src = (f >= 0 && f < frames_) ? conv1Out_.data() + f * d : nullptr;
                for (int64_t i = 0; i < d; ++i) row[i * 3 + k] = src ? src[i] : 0.0f;
            }
        }
    });
    matmul(pool, cols_.data(), n, 3 * d, {model_.conv2, x_.data(), d, model_.conv2Bias, false, true});
    addRows(pool, x_.data(), model_.encoderPositions, n * d);

    for (const EncoderLayer& layer : model_.encoder) {
        // A layer of a large model takes a good part of a second: a stop does not wait for the whole window.
        if (aborted && aborted()) return false;
        layerNormRows(pool, x_.data(), ln_.data(), n, d, layer.attnLn);
        attention(layer.attn, pool);
        layerNormRows(pool, x_.data(), ln_.data(), n, d, layer.mlpLn);
        matmul(pool, ln_.data(), n, d, {layer.mlp.fc1, hidden_.data(), 4 * d, layer.mlp.fc1Bias, false, true});
        matmul(pool, hidden_.data(), n, 4 * d, {layer.mlp.fc2, x_.data(), d, layer.mlp.fc2Bias, true});
    }
    layerNormRows(pool, x_.data(), x_.data(), n, d, model_.lnPost);

    // Cross-attention keys and values for every decoder layer, kept in f16 in the layouts the decoder reads: keys
    // per head as [position][channel], values transposed as [channel][position].
    const int64_t heads = textHeads_, hd = d / heads;
    for (size_t l = 0; l < model_.decoder.size(); ++l) {
        if (aborted && aborted()) return false;
        const AttentionWeights& cross = model_.decoder[l].cross;
        matmul(pool, cross.key, x_.data(), n, d, k_.data(), d, nullptr);
        matmul(pool, cross.value, x_.data(), n, d, v_.data(), d, cross.valueBias);
        uint16_t* keys = crossK_.data() + l * n * d;
        uint16_t* values = crossV_.data() + l * n * d;
        parallelRanges(pool, heads * n, hd, [&](int64_t b, int64_t e) {
            for (int64_t i = b; i < e; ++i) {
                const int64_t h = i / n, t = i % n;
                convertFp32ToFp16(k_.data() + t * d + h * hd, keys + (h * n + t) * hd, hd);
            }
        });
        // The values are transposed in f32 (into q_, which is free by now) and then converted row by row.
        parallelRanges(pool, d, n, [&](int64_t b, int64_t e) {
            transposeRows(v_.data() + b, d, n, e - b, q_.data() + b * n);
            convertFp32ToFp16(q_.data() + b * n, values + b * n, (e - b) * n);
        });
    }
    return true;
}

// Self-attention over all positions (no mask); reads the normalised input from ln_ and adds the projected output to
// x_.
void Encoder::attention(const AttentionWeights& w, ThreadPool& pool) {
    const int64_t d = d_, n = ctx_, hd = d_ / heads_;
    matmul(pool, w.query, ln_.data(), n, d, q_.data(), d, w.queryBias);
    matmul(pool, w.key, ln_.data(), n, d, k_.data(), d, nullptr);
    matmul(pool, w.value, ln_.data(), n, d, v_.data(), d, w.valueBias);
    const float scale = 1.0f / std::sqrt(static_cast<float>(hd));
    recognizer::attention(pool, n, n, heads_, hd, scale, q_.data(), d, k_.data(), d, v_.data(), d, att_.data(), d);
    matmul(pool, att_.data(), n, d, {w.out, x_.data(), d, w.outBias, true});
}

}  // namespace recognizer
