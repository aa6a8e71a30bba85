#include "shell/ErrorReporting.h"

#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduSDK.h"
#include "platform/AppLog.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <type_traits>

namespace {

template <typename T>
duvidu::DuviduOptions& optionsOf(T& options) {
    if constexpr (std::is_pointer_v<T> || requires { options.get(); })
        return *options;
    else
        return options;
}

// The SDK's start entry point and two of its option setters arrive with the SDK's own development; this start
// compiles against either state of it and uses what is there.
template <typename SDK = duvidu::DuviduSDK>
bool startSdk(const std::string& dsn) {
    const auto configure = [dsn](auto&& given) -> void {
        auto& options = optionsOf(given);
        options.setDsn(dsn);
        if constexpr (requires { options.setDebug(false); }) options.setDebug(false);
        options.setTracesSampleRate(1.0);
        if constexpr (requires { options.setEnableAppHangTracking(false); }) options.setEnableAppHangTracking(false);
    };
    if constexpr (requires { SDK::startWithConfigureOptions(configure); }) {
        SDK::startWithConfigureOptions(configure);
        return true;
    } else {
        return false;
    }
}

}  // namespace

void ErrorReporting::start(const std::string& dsn) {
    if (dsn.empty()) {
        AppLog::info("Error logging is on, but this build has no DSN: no reports are sent");
        return;
    }
    if (!startSdk(dsn)) AppLog::info("Error logging is on, but this build cannot start the reporting SDK");
}

std::string ErrorReporting::configuredDsn(const std::string& builtIn) {
    if (const char* fromEnvironment = std::getenv("DUVIDU_DSN")) return fromEnvironment;
    return builtIn;
}
