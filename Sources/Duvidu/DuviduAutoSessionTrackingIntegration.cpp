#include "Duvidu/DuviduAutoSessionTrackingIntegration.h"

#include "Duvidu/DuviduDefaultCurrentDateProvider.h"
#include "Duvidu/DuviduDependencyContainer.h"

namespace duvidu {

bool DuviduAutoSessionTrackingIntegration::installWithOptions(const std::shared_ptr<const DuviduOptions>& options)
{
    if (!options->enableAutoSessionTracking) return false;
    tracker_ = std::make_shared<DuviduSessionTracker>(
        options, DuviduDefaultCurrentDateProvider::sharedInstance(),
        DuviduDependencyContainer::sharedInstance()->notificationCenterWrapper());
    tracker_->start();
    return true;
}

void DuviduAutoSessionTrackingIntegration::uninstall()
{
    if (tracker_) tracker_->stop();
}

}  // namespace duvidu
