#pragma once

#include "whisper.h"

namespace recognizer {

// Diagnostics of the recognizer, one line each, prefixed with the reporting function, to stderr or to the callback
// that whisper_log_set installed.
void logError(const char* where, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logInfo(const char* where, const char* format, ...) __attribute__((format(printf, 2, 3)));
// One line as it is.
void logLine(ggml_log_level level, const char* line);
void setLogCallback(ggml_log_callback callback, void* userData);

}  // namespace recognizer
