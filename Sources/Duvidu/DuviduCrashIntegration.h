#pragma once

#include <memory>

#include "Duvidu/DuviduBaseIntegration.h"
#include "Duvidu/DuviduNSNotificationCenterWrapper.h"

namespace duvidu {

// Crash capture for the SDK: installs the crash monitors, describes the system in the scope's "os", "device" and
// "app" contexts, keeps the crash handler's copy of the scope current, ends the session of a crashed launch as
// crashed, sends the crash reports earlier launches stored as crash events, and tells the crash state when the
// application is active. Declines when enableCrashHandler is off or no client is bound.
class DuviduCrashIntegration : public DuviduBaseIntegration {
public:
    ~DuviduCrashIntegration() override;

    bool installWithOptions(const std::shared_ptr<const DuviduOptions>& options) override;
    // Takes the crash monitors out: the handlers they replaced come back.
    void uninstall() override;

private:
    void observeApplicationState();

    std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenter_;
};

}  // namespace duvidu
