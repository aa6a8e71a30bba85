#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include "Duvidu/DuviduCurrentDateProvider.h"
#include "Duvidu/DuviduNSNotificationCenterWrapper.h"
#include "Duvidu/DuviduOptions.h"

namespace duvidu {

// Automatic release-health sessions, driven by the application's lifecycle notifications and carried out by the
// current hub. The first become-active starts a session; resign-active remembers (also on disk) when the application
// left the foreground; a become-active after at least sessionTrackingIntervalMillis in the background ends the
// session at that moment and starts a new one; will-terminate ends the session at the moment the application left
// the foreground, or now. A tray application posts become-active once at start and will-terminate at quit, so its
// session is the process's life.
class DuviduSessionTracker : public std::enable_shared_from_this<DuviduSessionTracker> {
public:
    DuviduSessionTracker(std::shared_ptr<const DuviduOptions> options,
                         std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider,
                         std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenter);
    ~DuviduSessionTracker();
    DuviduSessionTracker(const DuviduSessionTracker&) = delete;
    DuviduSessionTracker& operator=(const DuviduSessionTracker&) = delete;

    // Closes the session the previous run left stored (exited when it left the foreground at a known time, else
    // abnormal), then follows the lifecycle notifications.
    void start();
    // Stops following them; the running session is left as it is.
    void stop();

private:
    void didBecomeActive();
    void willResignActive();
    void willTerminate();

    const std::shared_ptr<const DuviduOptions> options_;
    const std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider_;
    const std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenter_;
    // Orders the handlers, which may be posted from any thread. Held while the hub runs; the hub never calls back.
    std::mutex mutex_;
    bool wasDidBecomeActiveCalled_ = false;
    std::optional<DuviduDate> lastInForeground_;
};

}  // namespace duvidu
