#pragma once

#include <functional>
#include <vector>

#include "core/DecoderBackend.h"

namespace rectest {

// A network stand-in for the decoding rules: the script fills the logits for a token sequence (prompt plus the
// tokens generated so far), and every call is recorded.
class ScriptedBackend : public recognizer::DecoderBackend {
public:
    struct Query {
        int64_t seek;
        std::vector<int> prompt;     // the prompt of the current decode (up to the row asked for)
        std::vector<int> generated;  // tokens appended after the prompt
        bool sotRow;                 // logits after sot, used for the no-speech probability
    };
    using Script = std::function<void(const Query&, float* logits)>;

    ScriptedBackend(int nVocab, Script script) : nVocab_(nVocab), script_(std::move(script)) {}

    bool encode(int64_t seek) override {
        seek_ = seek;
        encodes.push_back(seek);
        return true;
    }
    bool prompt(const int* tokens, int n, int sotIndex, float* sotLogits, float* lastLogits) override {
        prompt_.assign(tokens, tokens + n);
        prompts.push_back(prompt_);
        ask({seek_, std::vector<int>(tokens, tokens + sotIndex + 1), {}, true}, sotLogits);
        ask({seek_, prompt_, {}, false}, lastLogits);
        generated_.assign(1, {});
        return true;
    }
    void fork(int count, int) override {
        forks.push_back(count);
        generated_.assign(count, {});
    }
    bool step(const int* decoders, const int* tokens, int n, int position, float* logits) override {
        for (int i = 0; i < n; ++i) {
            auto& g = generated_[decoders[i]];
            g.resize(position - prompt_.size());  // a decoder restarting after the prompt overwrites its old tokens
            g.push_back(tokens[i]);
            ask({seek_, prompt_, g, false}, logits + static_cast<size_t>(i) * nVocab_);
        }
        ++steps;
        return true;
    }

    std::vector<int64_t> encodes;
    std::vector<std::vector<int>> prompts;
    std::vector<int> forks;
    int steps = 0;

private:
    void ask(const Query& q, float* logits) {
        std::fill(logits, logits + nVocab_, -10.0f);
        script_(q, logits);
    }

    int nVocab_;
    Script script_;
    int64_t seek_ = 0;
    std::vector<int> prompt_;
    std::vector<std::vector<int>> generated_{1};
};

}  // namespace rectest
