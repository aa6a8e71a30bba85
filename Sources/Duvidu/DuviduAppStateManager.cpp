#include "Duvidu/DuviduAppStateManager.h"

#include <sys/utsname.h>

namespace duvidu {

DuviduAppStateManager::DuviduAppStateManager(
    std::shared_ptr<const DuviduOptions> options, std::shared_ptr<DuviduCrashWrapper> crashWrapper,
    std::shared_ptr<DuviduFileManager> fileManager, std::shared_ptr<DuviduSysctl> sysctl,
    std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenterWrapper)
    : options_(std::move(options)), crashWrapper_(std::move(crashWrapper)), fileManager_(std::move(fileManager)),
      sysctl_(std::move(sysctl)), notificationCenter_(std::move(notificationCenterWrapper))
{
}

DuviduAppStateManager::~DuviduAppStateManager()
{
    notificationCenter_->removeObserver(this);
}

std::string DuviduAppStateManager::osVersion()
{
    struct utsname name {};
    return uname(&name) == 0 ? name.release : "";
}

DuviduAppState DuviduAppStateManager::buildCurrentAppState() const
{
    return DuviduAppState(options_->releaseName, osVersion(), crashWrapper_->isBeingTraced(),
                          sysctl_->systemBootTimestamp());
}

void DuviduAppStateManager::start()
{
    {
        std::lock_guard lock(mutex_);
        if (started_) return;
        started_ = true;
        fileManager_->storeAppState(buildCurrentAppState());
    }
    // A handler already handed out by a posting thread may run after the manager is gone; it then does nothing.
    auto observe = [this, weak = weak_from_this()](const std::string& name,
                                                   std::function<void(DuviduAppState&)> change) {
        notificationCenter_->addObserver(
            this,
            [weak, change](const DuviduNotification&) {
                if (auto manager = weak.lock()) manager->updateAppState(change);
            },
            name);
    };
    observe(DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName(),
            [](DuviduAppState& state) { state.isActive = true; });
    observe(DuviduNSNotificationCenterWrapper::willResignActiveNotificationName(),
            [](DuviduAppState& state) { state.isActive = false; });
    observe(DuviduNSNotificationCenterWrapper::willTerminateNotificationName(),
            [](DuviduAppState& state) { state.wasTerminated = true; });
}

void DuviduAppStateManager::stop()
{
    notificationCenter_->removeObserver(this);
    std::lock_guard lock(mutex_);
    started_ = false;
}

void DuviduAppStateManager::updateAppState(const std::function<void(DuviduAppState&)>& change)
{
    std::lock_guard lock(mutex_);
    auto state = fileManager_->readAppState();
    if (!state) return;
    change(*state);
    fileManager_->storeAppState(*state);
}

}  // namespace duvidu
