#pragma once

#include <functional>
#include <vector>

#include "core/Decoder.h"
#include "core/DecoderBackend.h"
#include "core/Encoder.h"

namespace recognizer {

class MelSpectrogram;
class ThreadPool;
struct Timings;

// The real network behind the decoding rules: the encoder over a window of the mel spectrogram, the decoder with
// its caches. Re-encoding the window already encoded is skipped.
class ModelBackend : public DecoderBackend {
public:
    ModelBackend(const Model& model, ThreadPool& pool, Timings& timings);

    // Sets the spectrogram for the next run; the window encoded so far is forgotten.
    void setMel(const MelSpectrogram* mel);
    // Asked between the encoder's and the decoder's layers: an encode, prompt or step that it stops fails (none: never
    // stopped).
    void setAbortCheck(std::function<bool()> aborted) { aborted_ = std::move(aborted); }

    bool encode(int64_t seek) override;
    bool prompt(const int* tokens, int n, int sotIndex, float* sotLogits, float* lastLogits) override;
    void fork(int count, int length) override;
    bool step(const int* decoders, const int* tokens, int n, int position, float* logits) override;

private:
    const Model& model_;
    ThreadPool& pool_;
    Timings& timings_;
    Encoder encoder_;
    Decoder decoder_;
    const MelSpectrogram* mel_ = nullptr;
    int64_t encodedSeek_ = -1;
    std::function<bool()> aborted_;
    std::vector<Decoder::Row> rows_;
    std::vector<float> twoRows_;
};

}  // namespace recognizer
