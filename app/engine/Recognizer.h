#pragma once

#include "whisper.h"

// The recognizer library's functions that the engine calls, behind an interface so that tests can put a recognizer
// with known answers in its place. Recognizer::library() calls the real library.
class Recognizer {
public:
    virtual ~Recognizer() = default;

    virtual whisper_context* initFromFile(const char* pathModel) = 0;
    virtual void free(whisper_context* context) = 0;
    virtual whisper_full_params fullDefaultParams(whisper_sampling_strategy strategy) = 0;
    virtual void resetTimings(whisper_context* context) = 0;
    virtual int full(whisper_context* context, whisper_full_params params, const float* samples, int count) = 0;
    virtual void printTimings(whisper_context* context) = 0;
    virtual int fullSegmentCount(whisper_context* context) = 0;
    virtual const char* fullSegmentText(whisper_context* context, int segment) = 0;

    static Recognizer& library();
};
