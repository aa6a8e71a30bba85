#pragma once

namespace recognizer {

// Diagnostics of the recognizer go to stderr, one line each, prefixed with the reporting function.
void logError(const char* where, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logInfo(const char* where, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace recognizer
