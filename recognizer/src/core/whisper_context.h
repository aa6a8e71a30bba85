#pragma once

#include <atomic>
#include <memory>

#include "compute/ThreadPool.h"
#include "core/MelSpectrogram.h"
#include "core/Model.h"
#include "core/ModelBackend.h"
#include "core/Timings.h"
#include "core/Transcriber.h"

// The context behind the C API's opaque pointer: the model, the thread pool, the last spectrogram and results.
struct whisper_context {
    explicit whisper_context(std::unique_ptr<recognizer::Model> m)
        : model(std::move(m)),
          pool(1),
          backend(*model, pool, timings),
          transcriber(model->vocab, model->hparams.n_text_ctx, model->hparams.n_audio_ctx) {}

    std::unique_ptr<recognizer::Model> model;
    recognizer::ThreadPool pool;
    recognizer::Timings timings;
    recognizer::MelSpectrogram mel;
    recognizer::ModelBackend backend;
    recognizer::Transcriber transcriber;
    std::atomic<bool> busy{false};  // calls on one context must not overlap
};
