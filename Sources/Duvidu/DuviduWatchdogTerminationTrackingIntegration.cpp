#include "Duvidu/DuviduWatchdogTerminationTrackingIntegration.h"

#include "Duvidu/DuviduDependencyContainer.h"
#include "Duvidu/DuviduHub.h"
#include "Duvidu/DuviduSDK.h"

namespace duvidu {

bool DuviduWatchdogTerminationTrackingIntegration::installWithOptions(
    const std::shared_ptr<const DuviduOptions>& options)
{
    if (!options->enableWatchdogTerminationTracking) return false;
    auto hub = DuviduSDK::currentHub();
    auto client = hub->getClient();
    auto appStateManager = DuviduDependencyContainer::sharedInstance()->appStateManager();
    if (!client || !appStateManager) return false;

    const auto& fileManager = client->fileManager();
    scopeObserver_ = std::make_shared<DuviduWatchdogTerminationScopeObserver>(
        options->scopeBreadcrumbCap(), fileManager->breadcrumbsFilePathOne(), fileManager->breadcrumbsFilePathTwo());
    hub->configureScope([this](DuviduScope& scope) { scope.addObserver(scopeObserver_); });
    appStateManager_ = std::move(appStateManager);
    appStateManager_->start();
    return true;
}

void DuviduWatchdogTerminationTrackingIntegration::uninstall()
{
    if (appStateManager_) appStateManager_->stop();
}

}  // namespace duvidu
