#include "Duvidu/DuviduDependencyContainer.h"

#include "Duvidu/DuviduAppStateManager.h"
#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduHub.h"
#include "Duvidu/DuviduRandom.h"
#include "Duvidu/DuviduSDK.h"

namespace duvidu {

namespace {
std::shared_ptr<DuviduDependencyContainer>& sharedSlot()
{
    static std::shared_ptr<DuviduDependencyContainer> instance;
    return instance;
}
}  // namespace

std::recursive_mutex& DuviduDependencyContainer::lock()
{
    static auto* mutex = new std::recursive_mutex;  // never destroyed: SDK threads may still log at exit
    return *mutex;
}

std::shared_ptr<DuviduDependencyContainer> DuviduDependencyContainer::sharedInstance()
{
    std::lock_guard guard(lock());
    if (!sharedSlot()) sharedSlot() = std::make_shared<DuviduDependencyContainer>();
    return sharedSlot();
}

void DuviduDependencyContainer::reset()
{
    std::shared_ptr<DuviduDependencyContainer> old;
    {
        std::lock_guard guard(lock());
        old.swap(sharedSlot());
    }
    // The old members are released outside the lock.
}

namespace {
// The running client, read before the container's lock is taken (see the lock order in the header).
std::shared_ptr<DuviduClient> currentClient()
{
    return DuviduSDK::currentHub()->getClient();
}
}  // namespace

std::shared_ptr<DuviduFileManager> DuviduDependencyContainer::fileManager()
{
    {
        std::lock_guard guard(lock());
        if (fileManager_) return fileManager_;
    }
    auto client = currentClient();
    std::lock_guard guard(lock());
    if (!fileManager_ && client) fileManager_ = client->fileManager();
    return fileManager_;
}

void DuviduDependencyContainer::setFileManager(std::shared_ptr<DuviduFileManager> fileManager)
{
    store(fileManager_, std::move(fileManager));
}

std::shared_ptr<DuviduAppStateManager> DuviduDependencyContainer::appStateManager()
{
    {
        std::lock_guard guard(lock());
        if (appStateManager_) return appStateManager_;
    }
    auto client = currentClient();
    auto fileManager = this->fileManager();
    std::lock_guard guard(lock());
    if (!appStateManager_ && client && fileManager) {
        appStateManager_ = std::make_shared<DuviduAppStateManager>(
            client->options(), crashWrapper(), fileManager, std::make_shared<DuviduSysctl>(),
            notificationCenterWrapper());
    }
    return appStateManager_;
}

void DuviduDependencyContainer::setAppStateManager(std::shared_ptr<DuviduAppStateManager> appStateManager)
{
    store(appStateManager_, std::move(appStateManager));
}

std::shared_ptr<DuviduCrashWrapper> DuviduDependencyContainer::crashWrapper()
{
    return lazily(crashWrapper_, [] { return DuviduCrashWrapper::sharedInstance(); });
}

void DuviduDependencyContainer::setCrashWrapper(std::shared_ptr<DuviduCrashWrapper> crashWrapper)
{
    store(crashWrapper_, std::move(crashWrapper));
}

std::shared_ptr<DuviduThreadWrapper> DuviduDependencyContainer::threadWrapper()
{
    return lazily(threadWrapper_, [] { return std::make_shared<DuviduThreadWrapper>(); });
}

void DuviduDependencyContainer::setThreadWrapper(std::shared_ptr<DuviduThreadWrapper> threadWrapper)
{
    store(threadWrapper_, std::move(threadWrapper));
}

std::shared_ptr<DuviduRandomProtocol> DuviduDependencyContainer::random()
{
    return lazily(random_, []() -> std::shared_ptr<DuviduRandomProtocol> { return std::make_shared<DuviduRandom>(); });
}

void DuviduDependencyContainer::setRandom(std::shared_ptr<DuviduRandomProtocol> random)
{
    store(random_, std::move(random));
}

std::shared_ptr<DuviduSwizzleWrapper> DuviduDependencyContainer::swizzleWrapper()
{
    return lazily(swizzleWrapper_, [] { return DuviduSwizzleWrapper::sharedInstance(); });
}

void DuviduDependencyContainer::setSwizzleWrapper(std::shared_ptr<DuviduSwizzleWrapper> swizzleWrapper)
{
    store(swizzleWrapper_, std::move(swizzleWrapper));
}

std::shared_ptr<DuviduDispatchQueueWrapper> DuviduDependencyContainer::dispatchQueueWrapper()
{
    return lazily(dispatchQueueWrapper_, [] { return std::make_shared<DuviduDispatchQueueWrapper>(); });
}

void DuviduDependencyContainer::setDispatchQueueWrapper(std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper)
{
    store(dispatchQueueWrapper_, std::move(dispatchQueueWrapper));
}

std::shared_ptr<DuviduNSNotificationCenterWrapper> DuviduDependencyContainer::notificationCenterWrapper()
{
    return lazily(notificationCenterWrapper_, [] { return std::make_shared<DuviduNSNotificationCenterWrapper>(); });
}

void DuviduDependencyContainer::setNotificationCenterWrapper(
    std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenterWrapper)
{
    store(notificationCenterWrapper_, std::move(notificationCenterWrapper));
}

std::shared_ptr<DuviduDebugImageProvider> DuviduDependencyContainer::debugImageProvider()
{
    return lazily(debugImageProvider_, [] { return std::make_shared<DuviduDebugImageProvider>(); });
}

void DuviduDependencyContainer::setDebugImageProvider(std::shared_ptr<DuviduDebugImageProvider> debugImageProvider)
{
    store(debugImageProvider_, std::move(debugImageProvider));
}

std::shared_ptr<DuviduANRTracker> DuviduDependencyContainer::getANRTracker(double timeoutInterval)
{
    return lazily(anrTracker_, [&] {
        return std::make_shared<DuviduANRTracker>(timeoutInterval, DuviduDefaultCurrentDateProvider::sharedInstance(),
                                                  crashWrapper(), dispatchQueueWrapper(), threadWrapper());
    });
}

std::shared_ptr<DuviduANRTracker> DuviduDependencyContainer::anrTracker()
{
    std::lock_guard guard(lock());
    return anrTracker_;
}

void DuviduDependencyContainer::setAnrTracker(std::shared_ptr<DuviduANRTracker> anrTracker)
{
    store(anrTracker_, std::move(anrTracker));
}

std::shared_ptr<DuviduNSProcessInfoWrapper> DuviduDependencyContainer::processInfoWrapper()
{
    return lazily(processInfoWrapper_, [] { return std::make_shared<DuviduNSProcessInfoWrapper>(); });
}

void DuviduDependencyContainer::setProcessInfoWrapper(std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper)
{
    store(processInfoWrapper_, std::move(processInfoWrapper));
}

std::shared_ptr<DuviduMXManager> DuviduDependencyContainer::metricKitManager()
{
    return lazily(metricKitManager_, [] { return std::make_shared<DuviduMXManager>(true); });
}

void DuviduDependencyContainer::setMetricKitManager(std::shared_ptr<DuviduMXManager> metricKitManager)
{
    store(metricKitManager_, std::move(metricKitManager));
}

}  // namespace duvidu
