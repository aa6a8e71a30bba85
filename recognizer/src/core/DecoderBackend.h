#pragma once

#include <cstdint>

namespace recognizer {

// What the decoding rules need from the network: encode a window, then logits for token sequences. The model
// implements it; tests script it.
class DecoderBackend {
public:
    virtual ~DecoderBackend() = default;

    // Encodes the 30 s window that starts at mel frame `seek`.
    virtual bool encode(int64_t seek) = 0;
    // Decodes `tokens` from position 0 in decoder 0, and writes the logits after token `sotIndex` and after the last
    // token (each n_vocab floats).
    virtual bool prompt(const int* tokens, int n, int sotIndex, float* sotLogits, float* lastLogits) = 0;
    // Decoders 1 ... count - 1 start from a copy of decoder 0's first `length` positions.
    virtual void fork(int count, int length) = 0;
    // Appends tokens[i] at `position` to decoder decoders[i] and writes its next logits to logits[i * n_vocab].
    virtual bool step(const int* decoders, const int* tokens, int n, int position, float* logits) = 0;
};

}  // namespace recognizer
