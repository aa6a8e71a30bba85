#pragma once

#include <string>

// Starts the error-reporting SDK for this run with the application's options: the DSN, the SDK's own log off, every
// trace sampled, no app-hang tracking. An empty DSN starts nothing, so nothing can be sent.
class ErrorReporting {
public:
    ErrorReporting() = delete;

    static void start(const std::string& dsn);
    // VC_DUVIDU_DSN of the build, replaced by DUVIDU_DSN from the environment when that is set.
    static std::string configuredDsn(const std::string& builtIn);
};
