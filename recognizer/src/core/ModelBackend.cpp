#include "core/ModelBackend.h"

#include <chrono>
#include <cstring>

#include "core/MelSpectrogram.h"
#include "core/Timings.h"

namespace recognizer {

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

ModelBackend::ModelBackend(const Model& model, ThreadPool& pool, Timings& timings)
    : model_(model), pool_(pool), timings_(timings), encoder_(model), decoder_(model) {
    rows_.resize(model.hparams.n_text_ctx);
    twoRows_.resize(2 * static_cast<size_t>(model.hparams.n_vocab));
}

void ModelBackend::setMel(const MelSpectrogram* mel) {
    mel_ = mel;
    encodedSeek_ = -1;
}

bool ModelBackend::encode(int64_t seek) {
    if (!mel_) return false;
    if (seek == encodedSeek_) return true;
    const auto start = std::chrono::steady_clock::now();
    encodedSeek_ = -1;
    if (!encoder_.encode(*mel_, seek, pool_, aborted_)) return false;
    encodedSeek_ = seek;
    timings_.encodeMs += msSince(start);
    ++timings_.nEncode;
    return true;
}

bool ModelBackend::prompt(const int* tokens, int n, int sotIndex, float* sotLogits, float* lastLogits) {
    if (n <= 0 || n > model_.hparams.n_text_ctx || sotIndex < 0 || sotIndex >= n) return false;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) rows_[i] = {tokens[i], i, 0};
    const int vocab = model_.hparams.n_vocab;
    if (sotIndex == n - 1) {
        const int last = n - 1;
        if (!decoder_.run(rows_.data(), n, encoder_, &last, 1, lastLogits, pool_, aborted_)) return false;
        memcpy(sotLogits, lastLogits, sizeof(float) * vocab);
    } else {
        const int wanted[2] = {sotIndex, n - 1};
        if (!decoder_.run(rows_.data(), n, encoder_, wanted, 2, twoRows_.data(), pool_, aborted_)) return false;
        memcpy(sotLogits, twoRows_.data(), sizeof(float) * vocab);
        memcpy(lastLogits, twoRows_.data() + vocab, sizeof(float) * vocab);
    }
    timings_.addDecode(n, msSince(start));
    return true;
}

void ModelBackend::fork(int count, int length) {
    decoder_.reserveSlots(count);
    for (int i = 1; i < count; ++i) decoder_.copySlot(0, i, length);
}

bool ModelBackend::step(const int* decoders, const int* tokens, int n, int position, float* logits) {
    if (n <= 0 || position >= model_.hparams.n_text_ctx) return false;
    const auto start = std::chrono::steady_clock::now();
    int wanted[16];
    if (n > 16) return false;
    for (int i = 0; i < n; ++i) {
        rows_[i] = {tokens[i], position, decoders[i]};
        wanted[i] = i;
    }
    if (!decoder_.run(rows_.data(), n, encoder_, wanted, n, logits, pool_, aborted_)) return false;
    timings_.addDecode(n, msSince(start));
    return true;
}

}  // namespace recognizer
