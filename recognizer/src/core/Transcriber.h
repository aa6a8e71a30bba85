#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "whisper.h"

namespace recognizer {

class DecoderBackend;
class Vocabulary;
struct Timings;

// The decoding rules of whisper_full: language, prompt, temperature fallback, logit filters, greedy or sampled
// tokens, timestamps, segments and the seek over windows. The network sits behind a DecoderBackend.
class Transcriber {
public:
    struct Segment {
        int64_t t0 = 0;  // 10 ms units
        int64_t t1 = 0;
        std::string text;
        std::vector<whisper_token_data> tokens;
    };

    static constexpr int kMaxDecoders = 8;

    Transcriber(const Vocabulary& vocab, int nTextCtx, int nAudioCtx);

    // Transcribes frames [offset, end) of an audio of `audioFrames` mel frames; 0 on success, a negative code
    // otherwise. `ctx` is handed to the callbacks.
    int run(const whisper_full_params& params, int64_t audioFrames, DecoderBackend& backend, Timings& timings,
            whisper_context* ctx);

    void clearResults() { segments_.clear(); }
    const std::vector<Segment>& segments() const { return segments_; }
    int languageId() const { return langId_; }
    // Text of earlier windows and calls, given to the next window as context.
    const std::vector<int>& promptPast() const { return promptPast_; }

private:
    struct DecoderState {
        std::vector<whisper_token_data> tokens;
        int seekDelta = 0;
        int resultLen = 0;
        bool hasTs = false;
        bool failed = false;
        bool completed = false;
        double sumLogprobs = 0, avgLogprobs = 0, score = 0, entropy = 0;
        const float* logits = nullptr;
    };

    int detectLanguage(DecoderBackend& backend);
    void buildSuppression(const whisper_full_params& params);
    // Applies the filters to `raw` for decoder `dec` and leaves logits, log probabilities and probabilities in the
    // work buffers.
    void filterLogits(const whisper_full_params& params, const DecoderState& dec, const float* raw, float temperature,
                      whisper_context* ctx);
    whisper_token_data sample(bool greedy, int decoderIndex);
    void emitSegments(const whisper_full_params& params, const std::vector<whisper_token_data>& tokens, int64_t seek,
                      int64_t seekDelta, int64_t seekEnd, whisper_context* ctx);

    const Vocabulary& vocab_;
    int nTextCtx_, nAudioCtx_, nVocab_;
    int langId_ = -1;
    int space_ = -1;
    std::vector<Segment> segments_;
    std::vector<int> promptPast_;
    std::vector<char> suppressed_;
    std::vector<float> sotLogits_, lastLogits_, stepLogits_, logits_, logprobs_, probs_;
    DecoderState decoders_[kMaxDecoders];
    std::mt19937 rng_[kMaxDecoders];
};

}  // namespace recognizer
