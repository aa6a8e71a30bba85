#pragma once

#include "engine/Recognizer.h"

// The recognizer of recognizer/, called straight through its C API.
class WhisperLibrary : public Recognizer {
public:
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
