#pragma once

#include <memory>

#include "Duvidu/DuviduAppStateManager.h"
#include "Duvidu/DuviduBaseIntegration.h"
#include "Duvidu/DuviduWatchdogTerminationScopeObserver.h"

namespace duvidu {

// Keeps on disk what the next launch needs to tell a termination by the system from a normal quit: the application
// state and the scope's breadcrumbs. Installs while enableWatchdogTerminationTracking is on and a client is bound.
class DuviduWatchdogTerminationTrackingIntegration : public DuviduBaseIntegration {
public:
    bool installWithOptions(const std::shared_ptr<const DuviduOptions>& options) override;
    void uninstall() override;

private:
    std::shared_ptr<DuviduWatchdogTerminationScopeObserver> scopeObserver_;
    std::shared_ptr<DuviduAppStateManager> appStateManager_;
};

}  // namespace duvidu
