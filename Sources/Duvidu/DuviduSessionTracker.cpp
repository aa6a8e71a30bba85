#include "Duvidu/DuviduSessionTracker.h"

#include <chrono>

#include "Duvidu/DuviduHub.h"
#include "Duvidu/DuviduSDK.h"

namespace duvidu {

namespace {

std::shared_ptr<DuviduFileManager> fileManagerOf(const std::shared_ptr<DuviduHub>& hub)
{
    auto client = hub->getClient();
    return client ? client->fileManager() : nullptr;
}

}  // namespace

DuviduSessionTracker::DuviduSessionTracker(std::shared_ptr<const DuviduOptions> options,
                                           std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider,
                                           std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenter)
    : options_(std::move(options)), currentDateProvider_(std::move(currentDateProvider)),
      notificationCenter_(std::move(notificationCenter))
{
}

DuviduSessionTracker::~DuviduSessionTracker()
{
    notificationCenter_->removeObserver(this);
}

void DuviduSessionTracker::start()
{
    auto hub = DuviduSDK::currentHub();
    auto fileManager = fileManagerOf(hub);
    hub->closeCachedSessionWithTimestamp(fileManager ? fileManager->readTimestampLastInForeground() : std::nullopt);
    if (fileManager) fileManager->deleteTimestampLastInForeground();

    // A handler already handed out by a posting thread may run after stop; it then finds no tracker.
    auto observe = [this, weak = weak_from_this()](const std::string& name, void (DuviduSessionTracker::*handler)()) {
        notificationCenter_->addObserver(
            this,
            [weak, handler](const DuviduNotification&) {
                if (auto tracker = weak.lock()) ((*tracker).*handler)();
            },
            name);
    };
    observe(DuviduNSNotificationCenterWrapper::didBecomeActiveNotificationName(),
            &DuviduSessionTracker::didBecomeActive);
    observe(DuviduNSNotificationCenterWrapper::willResignActiveNotificationName(),
            &DuviduSessionTracker::willResignActive);
    observe(DuviduNSNotificationCenterWrapper::willTerminateNotificationName(), &DuviduSessionTracker::willTerminate);
}

void DuviduSessionTracker::stop()
{
    notificationCenter_->removeObserver(this);
    std::lock_guard lock(mutex_);
    wasDidBecomeActiveCalled_ = false;
    lastInForeground_.reset();
}

void DuviduSessionTracker::didBecomeActive()
{
    std::lock_guard lock(mutex_);
    auto hub = DuviduSDK::currentHub();
    if (!wasDidBecomeActiveCalled_) {
        wasDidBecomeActiveCalled_ = true;
        hub->startSession();
    } else if (lastInForeground_) {
        auto inBackground = currentDateProvider_->date() - *lastInForeground_;
        if (inBackground >= std::chrono::milliseconds(options_->sessionTrackingIntervalMillis)) {
            hub->endSessionWithTimestamp(*lastInForeground_);
            hub->startSession();
        }
    }
    lastInForeground_.reset();
    if (auto fileManager = fileManagerOf(hub)) fileManager->deleteTimestampLastInForeground();
}

void DuviduSessionTracker::willResignActive()
{
    std::lock_guard lock(mutex_);
    lastInForeground_ = currentDateProvider_->date();
    if (auto fileManager = fileManagerOf(DuviduSDK::currentHub()))
        fileManager->storeTimestampLastInForeground(*lastInForeground_);
}

void DuviduSessionTracker::willTerminate()
{
    std::lock_guard lock(mutex_);
    auto hub = DuviduSDK::currentHub();
    hub->endSessionWithTimestamp(lastInForeground_.value_or(currentDateProvider_->date()));
    if (auto fileManager = fileManagerOf(hub)) fileManager->deleteTimestampLastInForeground();
    lastInForeground_.reset();
    wasDidBecomeActiveCalled_ = false;
}

}  // namespace duvidu
