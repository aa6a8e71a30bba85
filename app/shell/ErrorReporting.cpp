#include "shell/ErrorReporting.h"

#include "platform/AppLog.h"

#include <cstdlib>

void ErrorReporting::start(const std::string& dsn) {
    if (dsn.empty()) {
        AppLog::info("Error logging is on, but this build has no DSN: no reports are sent");
        return;
    }
    // The SDK's hub and client, which take the options (this DSN, its own log off, every trace sampled, no app-hang
    // tracking) and send the reports, are not part of this build yet.
    AppLog::info("Error logging is on, but this build does not send error reports yet");
}

std::string ErrorReporting::configuredDsn(const std::string& builtIn) {
    if (const char* fromEnvironment = std::getenv("DUVIDU_DSN")) return fromEnvironment;
    return builtIn;
}
