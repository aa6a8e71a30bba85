#pragma once

#include <memory>
#include <mutex>

#include "Duvidu/DuviduANRTracker.h"
#include "Duvidu/DuviduCrashWrapper.h"
#include "Duvidu/DuviduDebugImageProvider.h"
#include "Duvidu/DuviduDispatchQueueWrapper.h"
#include "Duvidu/DuviduMXManager.h"
#include "Duvidu/DuviduNSNotificationCenterWrapper.h"
#include "Duvidu/DuviduNSProcessInfoWrapper.h"
#include "Duvidu/DuviduRandomProtocol.h"
#include "Duvidu/DuviduSwizzleWrapper.h"
#include "Duvidu/DuviduThreadWrapper.h"

namespace duvidu {

class DuviduAppStateManager;
class DuviduFileManager;

// The process-wide services of the SDK, each made on first read unless a setter stored one before; tests store fakes.
// One re-entrant process-wide lock guards the shared instance, reset and every member, setters included (an
// unguarded store would race with a concurrent first read).
//
// Lock order: the SDK facade may take this lock while it holds its own (making the empty hub reads the container),
// so the members made from the running client read the current hub before they take this lock, never inside it.
class DuviduDependencyContainer {
public:
    static std::shared_ptr<DuviduDependencyContainer> sharedInstance();
    // Drops the shared instance; the next sharedInstance is a fresh container with no members made yet. Holders of
    // the old container keep it.
    static void reset();

    // The running client's on-disk cache; unset (and not kept) while the current hub has no client.
    std::shared_ptr<DuviduFileManager> fileManager();
    void setFileManager(std::shared_ptr<DuviduFileManager> fileManager);
    // Made from the running client's options and file manager; unset (and not kept) while there is no client.
    std::shared_ptr<DuviduAppStateManager> appStateManager();
    void setAppStateManager(std::shared_ptr<DuviduAppStateManager> appStateManager);
    std::shared_ptr<DuviduCrashWrapper> crashWrapper();
    void setCrashWrapper(std::shared_ptr<DuviduCrashWrapper> crashWrapper);
    std::shared_ptr<DuviduThreadWrapper> threadWrapper();
    void setThreadWrapper(std::shared_ptr<DuviduThreadWrapper> threadWrapper);
    std::shared_ptr<DuviduRandomProtocol> random();
    void setRandom(std::shared_ptr<DuviduRandomProtocol> random);
    // A serial queue named "duvidu-default".
    std::shared_ptr<DuviduSwizzleWrapper> swizzleWrapper();
    void setSwizzleWrapper(std::shared_ptr<DuviduSwizzleWrapper> swizzleWrapper);
    std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper();
    void setDispatchQueueWrapper(std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper);
    std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenterWrapper();
    void setNotificationCenterWrapper(std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenterWrapper);
    std::shared_ptr<DuviduDebugImageProvider> debugImageProvider();
    void setDebugImageProvider(std::shared_ptr<DuviduDebugImageProvider> debugImageProvider);
    // Made only by getANRTracker, with the timeout of its first call; later timeouts are ignored.
    std::shared_ptr<DuviduANRTracker> getANRTracker(double timeoutInterval);
    std::shared_ptr<DuviduANRTracker> anrTracker();
    void setAnrTracker(std::shared_ptr<DuviduANRTracker> anrTracker);
    // A new wrapper of its own, not the shared one.
    std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper();
    void setProcessInfoWrapper(std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper);
    // Made with crash diagnostics left out.
    std::shared_ptr<DuviduMXManager> metricKitManager();
    void setMetricKitManager(std::shared_ptr<DuviduMXManager> metricKitManager);

private:
    static std::recursive_mutex& lock();

    template <typename T, typename Make>
    std::shared_ptr<T> lazily(std::shared_ptr<T>& member, Make make)
    {
        std::lock_guard guard(lock());
        if (!member) member = make();
        return member;
    }
    template <typename T, typename U>
    void store(std::shared_ptr<T>& member, std::shared_ptr<U> value)
    {
        std::lock_guard guard(lock());
        member = std::move(value);
    }

    std::shared_ptr<DuviduFileManager> fileManager_;
    std::shared_ptr<DuviduAppStateManager> appStateManager_;
    std::shared_ptr<DuviduCrashWrapper> crashWrapper_;
    std::shared_ptr<DuviduThreadWrapper> threadWrapper_;
    std::shared_ptr<DuviduRandomProtocol> random_;
    std::shared_ptr<DuviduSwizzleWrapper> swizzleWrapper_;
    std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper_;
    std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenterWrapper_;
    std::shared_ptr<DuviduDebugImageProvider> debugImageProvider_;
    std::shared_ptr<DuviduANRTracker> anrTracker_;
    std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper_;
    std::shared_ptr<DuviduMXManager> metricKitManager_;
};

}  // namespace duvidu
