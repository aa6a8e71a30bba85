#pragma once

#include <chrono>
#include <string>

// Error reporting for the application, started at launch when the user has switched error logging on: the SDK with
// the DSN, its own log off, every trace sampled and no app-hang tracking; then crashes are caught, application errors
// and sessions are sent. An empty DSN starts nothing, so nothing can be sent. Without a start nothing is installed,
// stored or sent.
class ErrorReporting {
public:
    ErrorReporting() = delete;

    // Starts the SDK and tells it that the application became active (its session starts).
    static void start(const std::string& dsn);
    // At quit: tells the SDK that the application terminates (its session ends) and closes it, which sends what is
    // pending for at most `within`; what is not sent by then stays stored for the next start. Nothing when it was not
    // started.
    static void stop(std::chrono::milliseconds within);
    // VC_DUVIDU_DSN of the build, replaced by DUVIDU_DSN from the environment when that is set.
    static std::string configuredDsn(const std::string& builtIn);
};
