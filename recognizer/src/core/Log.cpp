#include "core/Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace recognizer {

namespace {

struct Target {
    ggml_log_callback callback = nullptr;
    void* userData = nullptr;
};

std::mutex targetMutex;
Target target;  // guarded by targetMutex

void write(ggml_log_level level, const char* where, const char* format, va_list args) {
    char message[1024];
    vsnprintf(message, sizeof message, format, args);
    char line[1200];
    snprintf(line, sizeof line, "%s: %s", where, message);
    logLine(level, line);
}

}  // namespace

void logError(const char* where, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write(GGML_LOG_LEVEL_ERROR, where, format, args);
    va_end(args);
}

void logInfo(const char* where, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write(GGML_LOG_LEVEL_INFO, where, format, args);
    va_end(args);
}

void logLine(ggml_log_level level, const char* line) {
    Target current;
    {
        std::lock_guard lock(targetMutex);
        current = target;
    }
    if (current.callback) {
        current.callback(level, line, current.userData);
    } else {
        fprintf(stderr, "%s\n", line);
    }
}

void setLogCallback(ggml_log_callback callback, void* userData) {
    std::lock_guard lock(targetMutex);
    target = {callback, userData};
}

}  // namespace recognizer
