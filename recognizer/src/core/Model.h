#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "compute/MatMul.h"
#include "core/Hparams.h"
#include "core/Vocabulary.h"

namespace recognizer {

// Weights of one attention: the key has no bias.
struct AttentionWeights {
    WeightView query, key, value, out;
    const float* queryBias = nullptr;
    const float* valueBias = nullptr;
    const float* outBias = nullptr;
};

struct LayerNormWeights {
    const float* weight = nullptr;
    const float* bias = nullptr;
};

struct MlpWeights {
    WeightView fc1, fc2;  // d -> 4d, 4d -> d
    const float* fc1Bias = nullptr;
    const float* fc2Bias = nullptr;
};

struct EncoderLayer {
    LayerNormWeights attnLn, mlpLn;
    AttentionWeights attn;
    MlpWeights mlp;
};

struct DecoderLayer {
    LayerNormWeights attnLn, crossLn, mlpLn;
    AttentionWeights attn, cross;
    MlpWeights mlp;
};

// A loaded model: weights stay in the type the file stores them in, in one aligned arena.
struct Model {
    Model(const Hparams& hp, std::vector<float> melFilters, std::vector<std::string> tokens)
        : hparams(hp), filters(std::move(melFilters)), vocab(hp.n_vocab, std::move(tokens)) {}
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    Hparams hparams;
    std::vector<float> filters;  // [n_mels][201]
    Vocabulary vocab;

    WeightView conv1{};  // rows d, cols 3 * n_mels (input channel major, tap minor)
    const float* conv1Bias = nullptr;
    WeightView conv2{};  // rows d, cols 3 * d
    const float* conv2Bias = nullptr;
    const float* encoderPositions = nullptr;  // [n_audio_ctx][d]
    std::vector<EncoderLayer> encoder;
    LayerNormWeights lnPost;

    const float* decoderPositions = nullptr;  // [n_text_ctx][d]
    WeightView tokenEmbedding{};              // rows n_vocab, cols d; also the output projection
    std::vector<DecoderLayer> decoder;
    LayerNormWeights decoderLn;

    struct ArenaFree {
        void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t(64)); }
    };
    std::unique_ptr<uint8_t[], ArenaFree> arena;
    std::deque<std::vector<float>> expanded;  // f16 vectors widened to f32 at load
    int64_t fileBytes = 0;
};

}  // namespace recognizer
