#pragma once

#include "engine/Recognizer.h"
#include "platform/OutputWriter.h"

// The recognizer of recognizer/, called straight through its C API. Its diagnostics (the timings of each run) go out
// through the OutputWriter, so that a reader that takes nothing never stops a dictation.
class WhisperLibrary : public Recognizer {
public:
    WhisperLibrary() {
        whisper_log_set(
            [](ggml_log_level, const char* text, void*) { OutputWriter::write(OutputWriter::Stream::error, text); },
            nullptr);
    }

    whisper_context* initFromFile(const char* pathModel) override { return whisper_init_from_file(pathModel); }
    void free(whisper_context* context) override { whisper_free(context); }
    whisper_full_params fullDefaultParams(whisper_sampling_strategy strategy) override {
        return whisper_full_default_params(strategy);
    }
    void resetTimings(whisper_context* context) override { whisper_reset_timings(context); }
    int full(whisper_context* context, whisper_full_params params, const float* samples, int count) override {
        return whisper_full(context, params, samples, count);
    }
    void printTimings(whisper_context* context) override { whisper_print_timings(context); }
    int fullSegmentCount(whisper_context* context) override { return whisper_full_n_segments(context); }
    const char* fullSegmentText(whisper_context* context, int segment) override {
        return whisper_full_get_segment_text(context, segment);
    }
};
