#pragma once

#include <string>

// The start of error reporting at launch, when the user has switched error logging on. An empty DSN starts nothing,
// so nothing can be sent.
class ErrorReporting {
public:
    ErrorReporting() = delete;

    static void start(const std::string& dsn);
    // VC_DUVIDU_DSN of the build, replaced by DUVIDU_DSN from the environment when that is set.
    static std::string configuredDsn(const std::string& builtIn);
};
