#pragma once

#include <memory>
#include <mutex>

#include "Duvidu/DuviduCrashWrapper.h"
#include "Duvidu/DuviduDebugImageProvider.h"
#include "Duvidu/DuviduDispatchQueueWrapper.h"
#include "Duvidu/DuviduNSNotificationCenterWrapper.h"
#include "Duvidu/DuviduNSProcessInfoWrapper.h"
#include "Duvidu/DuviduRandomProtocol.h"
#include "Duvidu/DuviduThreadWrapper.h"

namespace duvidu {

// The process-wide services of the SDK, each made on first read unless a setter stored one before; tests store fakes.
// One re-entrant process-wide lock guards the shared instance, reset and every member, setters included (an
// unguarded store would race with a concurrent first read).
class DuviduDependencyContainer {
public:
    static std::shared_ptr<DuviduDependencyContainer> sharedInstance();
    // Drops the shared instance; the next sharedInstance is a fresh container with no members made yet. Holders of
    // the old container keep it.
    static void reset();

    std::shared_ptr<DuviduCrashWrapper> crashWrapper();
    void setCrashWrapper(std::shared_ptr<DuviduCrashWrapper> crashWrapper);
    std::shared_ptr<DuviduThreadWrapper> threadWrapper();
    void setThreadWrapper(std::shared_ptr<DuviduThreadWrapper> threadWrapper);
    std::shared_ptr<DuviduRandomProtocol> random();
    void setRandom(std::shared_ptr<DuviduRandomProtocol> random);
    // A serial queue named "duvidu-default".
    std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper();
    void setDispatchQueueWrapper(std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper);
    std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenterWrapper();
    void setNotificationCenterWrapper(std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenterWrapper);
    std::shared_ptr<DuviduDebugImageProvider> debugImageProvider();
    void setDebugImageProvider(std::shared_ptr<DuviduDebugImageProvider> debugImageProvider);
    // A new wrapper of its own, not the shared one.
    std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper();
    void setProcessInfoWrapper(std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper);

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

    std::shared_ptr<DuviduCrashWrapper> crashWrapper_;
    std::shared_ptr<DuviduThreadWrapper> threadWrapper_;
    std::shared_ptr<DuviduRandomProtocol> random_;
    std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper_;
    std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenterWrapper_;
    std::shared_ptr<DuviduDebugImageProvider> debugImageProvider_;
    std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper_;
};

}  // namespace duvidu
