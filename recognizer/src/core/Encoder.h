#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/Model.h"

namespace recognizer {

class MelSpectrogram;
class ThreadPool;

// Runs the audio encoder over one 30 s window of the mel spectrogram and keeps, for every decoder layer, the
// cross-attention keys and values of that window (they are the same for every token decoded in it).
class Encoder {
public:
    explicit Encoder(const Model& model);

    // Bytes of the buffers an encoder keeps for a model with these hyperparameters (allocated at its first window).
    static size_t workingBytes(const Hparams& hp);

    // Window starting at mel frame `seek`; frames past the end of the spectrogram read as zero. `aborted`, when given, is
    // asked before every layer (and every decoder layer's keys and values): false as soon as it answers true, and the
    // window is then not encoded.
    bool encode(const MelSpectrogram& mel, int64_t seek, ThreadPool& pool, const std::function<bool()>& aborted);

    int positions() const { return ctx_; }
    // Cross-attention keys of one decoder layer and head: positions() rows of head-size values, in f16.
    WeightView crossKeys(int layer, int head) const;
    // Cross-attention values of one decoder layer, transposed: one row of positions() values per channel (heads in
    // order, so that rows h * headSize ... belong to head h), in f16.
    WeightView crossValues(int layer) const;

private:
    // Element counts of the buffers.
    struct Sizes {
        size_t cols, conv1Out, row, hidden, cross;
    };
    static Sizes sizes(const Hparams& hp);
    void allocate();
    void attention(const AttentionWeights& w, ThreadPool& pool);

    const Model& model_;
    int d_, ctx_, heads_, frames_;
    std::vector<float> cols_, conv1Out_, x_, ln_, q_, k_, v_, att_, hidden_;
    int textHeads_;
    std::vector<uint16_t> crossK_, crossV_;
};

}  // namespace recognizer
