// The C functions of include/whisper.h.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <new>
#include <system_error>
#include <thread>

#include "compute/TensorType.h"
#include "core/Log.h"
#include "core/ModelLoader.h"
#include "core/whisper_context.h"
#include "whisper.h"

using recognizer::logError;
using recognizer::logInfo;

namespace {

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char* modelName(const recognizer::Hparams& hp) {
    switch (hp.n_audio_layer) {
        case 4: return "tiny";
        case 6: return "base";
        case 12: return "small";
        case 24: return "medium";
        case 32: return hp.n_vocab == 51866 ? "large v3" : "large";
        default: return "unknown";
    }
}

}  // namespace

extern "C" {

struct whisper_context* whisper_init_from_file(const char* path_model) {
    if (!path_model) {
        logError("whisper_init_from_file", "model path is NULL");
        return nullptr;
    }
    const int64_t start = nowUs();
    std::string error;
    std::unique_ptr<recognizer::Model> model = recognizer::ModelLoader::load(path_model, error);
    if (!model) {
        logError("whisper_init_from_file", "failed to load model: %s", error.c_str());
        return nullptr;
    }
    const recognizer::Hparams& hp = model->hparams;
    logInfo("whisper_init_from_file",
            "loaded '%s': %s%s, n_vocab %d, d %d, %d+%d layers, %d mels, %s weights, %.1f MB", path_model,
            modelName(hp), model->vocab.multilingual() ? "" : ".en", hp.n_vocab, hp.n_audio_state, hp.n_audio_layer,
            hp.n_text_layer, hp.n_mels, recognizer::tensorTypeName(model->tokenEmbedding.type),
            model->fileBytes / 1e6);
    whisper_context* ctx = nullptr;
    try {
        ctx = new whisper_context(std::move(model));
    } catch (const std::bad_alloc&) {
        logError("whisper_init_from_file", "not enough memory for the model's working buffers");
        return nullptr;
    }
    ctx->timings.loadMs = (nowUs() - start) / 1000.0;
    ctx->timings.startUs = nowUs();
    return ctx;
}

void whisper_free(struct whisper_context* ctx) { delete ctx; }

struct whisper_full_params whisper_full_default_params(enum whisper_sampling_strategy strategy) {
    whisper_full_params p{};
    p.strategy = strategy;
    p.n_threads = static_cast<int>(std::min(4u, std::max(1u, std::thread::hardware_concurrency())));
    p.n_max_text_ctx = 16384;
    p.offset_ms = 0;
    p.duration_ms = 0;
    p.translate = false;
    p.no_context = true;
    p.no_timestamps = false;
    p.single_segment = false;
    p.print_special = false;
    p.print_progress = true;
    p.print_realtime = false;
    p.print_timestamps = true;
    p.token_timestamps = false;
    p.thold_pt = 0.01f;
    p.thold_ptsum = 0.01f;
    p.max_len = 0;
    p.split_on_word = false;
    p.max_tokens = 0;
    p.speed_up = false;
    p.debug_mode = false;
    p.audio_ctx = 0;
    p.tdrz_enable = false;
    p.suppress_regex = nullptr;
    p.initial_prompt = nullptr;
    p.prompt_tokens = nullptr;
    p.prompt_n_tokens = 0;
    p.language = "en";
    p.detect_language = false;
    p.suppress_blank = true;
    p.suppress_nst = false;
    p.temperature = 0.0f;
    p.max_initial_ts = 1.0f;
    p.length_penalty = -1.0f;
    p.temperature_inc = 0.2f;
    p.entropy_thold = 2.4f;
    p.logprob_thold = -1.0f;
    p.no_speech_thold = 0.6f;
    p.greedy.best_of = 5;
    p.beam_search.beam_size = strategy == WHISPER_SAMPLING_BEAM_SEARCH ? 5 : -1;
    p.beam_search.patience = -1.0f;
    p.grammar_penalty = 100.0f;
    return p;
}

int whisper_full(struct whisper_context* ctx, struct whisper_full_params params, const float* samples,
                 int n_samples) {
    if (!ctx) {
        logError("whisper_full", "context is NULL");
        return -1;
    }
    bool idle = false;
    if (!ctx->busy.compare_exchange_strong(idle, true)) {
        logError("whisper_full", "another whisper_full is running on this context");
        return -1;
    }
    struct Release {
        std::atomic<bool>& flag;
        ~Release() { flag = false; }
    } release{ctx->busy};

    ctx->transcriber.clearResults();
    if (n_samples < 0) {
        logError("whisper_full", "negative sample count %d", n_samples);
        return -1;
    }
    if (n_samples == 0) {
        logError("whisper_full", "no audio samples");
        return -1;
    }
    if (!samples) {
        logError("whisper_full", "samples pointer is NULL");
        return -1;
    }
    for (int i = 0; i < n_samples; ++i) {
        if (!std::isfinite(samples[i])) {
            logError("whisper_full", "sample %d is not a finite number", i);
            return -2;
        }
    }
    const int audioCtx = ctx->model->hparams.n_audio_ctx;
    if (params.audio_ctx > audioCtx) {
        logError("whisper_full", "audio_ctx %d is larger than the model's %d", params.audio_ctx, audioCtx);
        return -5;
    }
    if (params.audio_ctx > 0 && params.audio_ctx < audioCtx)
        logInfo("whisper_full", "a reduced audio_ctx is not supported; using the full window of %d", audioCtx);
    if (params.strategy == WHISPER_SAMPLING_BEAM_SEARCH)
        logInfo("whisper_full", "beam search is not supported; decoding greedily");
    if (params.speed_up) logInfo("whisper_full", "speed_up is not supported; ignored");

    const int threads = std::clamp(params.n_threads, 1, 256);
    try {
        ctx->pool.resize(threads);
        const int64_t melStart = nowUs();
        const recognizer::Model& model = *ctx->model;
        ctx->mel.compute(samples, n_samples, model.filters.data(), model.hparams.n_mels, ctx->pool);
        ctx->timings.melMs += (nowUs() - melStart) / 1000.0;
        ctx->backend.setMel(&ctx->mel);
        std::function<bool()> aborted;
        if (params.abort_callback) {
            aborted = [callback = params.abort_callback, data = params.abort_callback_user_data] {
                return callback(data);
            };
        }
        ctx->backend.setAbortCheck(std::move(aborted));

        return ctx->transcriber.run(params, ctx->mel.framesOfAudio(), ctx->backend, ctx->timings, ctx);
    } catch (const std::bad_alloc&) {
        ctx->transcriber.clearResults();
        logError("whisper_full", "not enough memory for %d samples", n_samples);
        return -6;
    } catch (const std::system_error& e) {
        // The system refused one of the pool's threads.
        ctx->transcriber.clearResults();
        logError("whisper_full", "could not start a pool of %d threads: %s", threads, e.what());
        return -7;
    }
}

int whisper_full_n_segments(struct whisper_context* ctx) {
    return ctx ? static_cast<int>(ctx->transcriber.segments().size()) : 0;
}

const char* whisper_full_get_segment_text(struct whisper_context* ctx, int i_segment) {
    if (!ctx || i_segment < 0 || i_segment >= whisper_full_n_segments(ctx)) return "";
    return ctx->transcriber.segments()[i_segment].text.c_str();
}

void whisper_reset_timings(struct whisper_context* ctx) {
    if (!ctx) return;
    recognizer::Timings& t = ctx->timings;
    t.startUs = nowUs();
    t.melMs = t.sampleMs = t.encodeMs = t.decodeMs = t.batchdMs = t.promptMs = 0;
    t.nSample = t.nEncode = t.nDecode = t.nBatchd = t.nPrompt = 0;
}

void whisper_print_timings(struct whisper_context* ctx) {
    if (!ctx) return;
    const recognizer::Timings& t = ctx->timings;
    static constexpr const char* where = "whisper_print_timings";
    auto line = [](const char* label, double ms, int runs) {
        runs = std::max(1, runs);
        recognizer::logInfo(where, "%13s = %8.2f ms / %5d runs (%8.2f ms per run)", label, ms, runs, ms / runs);
    };
    recognizer::logLine(GGML_LOG_LEVEL_INFO, "");
    recognizer::logInfo(where, "    load time = %8.2f ms", t.loadMs);
    recognizer::logInfo(where, "    fallbacks = %3d p / %3d h", t.nFailP, t.nFailH);
    recognizer::logInfo(where, "     mel time = %8.2f ms", t.melMs);
    line("sample time", t.sampleMs, t.nSample);
    line("encode time", t.encodeMs, t.nEncode);
    line("decode time", t.decodeMs, t.nDecode);
    line("batchd time", t.batchdMs, t.nBatchd);
    line("prompt time", t.promptMs, t.nPrompt);
    recognizer::logInfo(where, "   total time = %8.2f ms", (nowUs() - t.startUs) / 1000.0);
}

void whisper_log_set(ggml_log_callback log_callback, void* user_data) {
    recognizer::setLogCallback(log_callback, user_data);
}

}  // extern "C"
