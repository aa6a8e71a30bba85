#include "Duvidu/DuviduDependencyContainer.h"

#include "Duvidu/DuviduRandom.h"

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

std::shared_ptr<DuviduNSProcessInfoWrapper> DuviduDependencyContainer::processInfoWrapper()
{
    return lazily(processInfoWrapper_, [] { return std::make_shared<DuviduNSProcessInfoWrapper>(); });
}

void DuviduDependencyContainer::setProcessInfoWrapper(std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper)
{
    store(processInfoWrapper_, std::move(processInfoWrapper));
}

}  // namespace duvidu
