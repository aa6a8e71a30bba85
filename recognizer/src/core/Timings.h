#pragma once

#include <cstdint>

namespace recognizer {

// Time spent per phase (ms) and number of runs, for whisper_print_timings.
struct Timings {
    double loadMs = 0;
    int64_t startUs = 0;
    double melMs = 0, sampleMs = 0, encodeMs = 0, decodeMs = 0, batchdMs = 0, promptMs = 0;
    int nSample = 0, nEncode = 0, nDecode = 0, nBatchd = 0, nPrompt = 0;
    // Fallbacks to a higher temperature: by log probability, by entropy. Never reset, like the model's lifetime.
    int nFailP = 0, nFailH = 0;

    // Counts a decoder call of `tokens` tokens in the decode, batchd or prompt bucket.
    void addDecode(int tokens, double ms) {
        if (tokens == 1) {
            decodeMs += ms;
            ++nDecode;
        } else if (tokens < 16) {
            batchdMs += ms;
            nBatchd += tokens;
        } else {
            promptMs += ms;
            nPrompt += tokens;
        }
    }
};

}  // namespace recognizer
