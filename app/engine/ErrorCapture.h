#pragma once

#include <cstdint>
#include <string>
#include <system_error>

// Hands an error to the reporting SDK. Callers log it with AppLog::error first; the SDK sends nothing until it has
// been started, so these are called whether error logging is on or off.

// One of the application's own error enumerations: domain "vellumcaster.<type>" (e.g. "vellumcaster.RecorderError"),
// code = the case's index, text = the case's user-facing text.
void captureAppError(const std::string& type, std::int64_t caseIndex, const std::string& text);

// An operating-system error (a failed file operation): domain "NSPOSIXErrorDomain", code = errno, with `description`
// as its localized description.
void captureSystemError(const std::error_code& code, const std::string& description);
