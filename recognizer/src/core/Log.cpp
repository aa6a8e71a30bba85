#include "core/Log.h"

#include <cstdarg>
#include <cstdio>

namespace recognizer {

namespace {

void write(const char* where, const char* format, va_list args) {
    char line[1024];
    vsnprintf(line, sizeof line, format, args);
    fprintf(stderr, "%s: %s\n", where, line);
}

}  // namespace

void logError(const char* where, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write(where, format, args);
    va_end(args);
}

void logInfo(const char* where, const char* format, ...) {
    va_list args;
    va_start(args, format);
    write(where, format, args);
    va_end(args);
}

}  // namespace recognizer
