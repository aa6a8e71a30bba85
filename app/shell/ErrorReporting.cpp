#include "shell/ErrorReporting.h"

#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduLog.h"
#include "Duvidu/DuviduSDK.h"
#include "platform/AppLog.h"
#include "platform/OutputWriter.h"

#include <atomic>
#include <cstdlib>
#include <memory>

namespace {

std::atomic<bool> started{false};

// The SDK's own lines go out through the writer that never waits on a reader.
class WriterLogOutput : public duvidu::DuviduLogOutput {
public:
    void log(const std::string& line) override { OutputWriter::write(OutputWriter::Stream::error, line); }
};

void post(const std::string& notification) {
    duvidu::DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper()->postNotificationName(
        notification);
}

}  // namespace

void ErrorReporting::start(const std::string& dsn) {
    if (dsn.empty()) {
        AppLog::info("Error logging is on, but this build has no DSN: no reports are sent");
        return;
    }
    duvidu::DuviduLog::setLogOutput(std::make_shared<WriterLogOutput>());
    duvidu::DuviduSDK::startWithConfigureOptions([&dsn](duvidu::DuviduOptions& options) {
        options.setDsn(dsn);
        options.debug = false;
        options.setTracesSampleRate(1.0);
        options.enableAppHangTracking = false;
    });
    started = true;
    post(duvidu::DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName());
}

void ErrorReporting::stop(std::chrono::milliseconds within) {
    if (!started.exchange(false)) return;
    post(duvidu::DuviduNSNotificationCenterWrapper::willTerminateNotificationName());
    duvidu::DuviduSDK::close(std::chrono::duration<double>(within).count());
}

std::string ErrorReporting::configuredDsn(const std::string& builtIn) {
    if (const char* fromEnvironment = std::getenv("DUVIDU_DSN")) return fromEnvironment;
    return builtIn;
}
