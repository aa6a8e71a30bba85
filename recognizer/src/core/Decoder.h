#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/Model.h"

namespace recognizer {

class Encoder;
class ThreadPool;

// The text decoder with one key/value cache per parallel decoder ("slot"). All buffers are sized when the decoder is
// made (or when more slots are reserved), so decoding a token allocates nothing.
class Decoder {
public:
    struct Row {
        int token;
        int position;
        int slot;
    };

    explicit Decoder(const Model& model);

    // Bytes of the buffers a decoder keeps for a model with these hyperparameters once `slots` slots are reserved.
    static size_t workingBytes(const Hparams& hp, int slots);

    void reserveSlots(int slots);
    // Copies the first `positions` cache entries of slot `from` into slot `to`.
    void copySlot(int from, int to, int positions);

    // Runs the rows (at most n_text_ctx) through the decoder, writing their keys and values into their slots; a row
    // attends to the positions up to its own in its slot. Writes the logits of the rows listed in `logitRows` to
    // logits[i * n_vocab]. `aborted`, when given, is asked before every layer: false as soon as it answers true, and
    // the logits are then not written.
    bool run(const Row* rows, int n, const Encoder& encoder, const int* logitRows, int nLogitRows, float* logits,
             ThreadPool& pool, const std::function<bool()>& aborted);

private:
    // Element counts of the buffers: each of the row buffers, the hidden layer, the scores, one slot's cache.
    struct Sizes {
        size_t row, hidden, scores, slotCache;
    };
    static Sizes sizes(const Hparams& hp);
    // products[i].y (+)= products[i].w * (norm ? layerNorm(in) : in) for n rows of `in`, then GELU where asked; the
    // row stride of `in` is the weights' width.
    void project(const float* in, int n, const LayerNormWeights* norm, const RowProduct* products, int count,
                 ThreadPool& pool);
    void selfAttention(int layer, const Row* rows, int n, ThreadPool& pool);
    void crossAttention(int layer, const Encoder& encoder, int n, ThreadPool& pool);
    float* cacheK(int slot, int layer, int pos);
    float* cacheV(int slot, int layer, int pos);

    const Model& model_;
    int d_, heads_, layers_, textCtx_, vocab_, slots_ = 0;
    std::vector<float> x_, ln_, q_, k_, v_, att_, hidden_, scores_;
    std::vector<float> cacheK_, cacheV_;

};

}  // namespace recognizer
