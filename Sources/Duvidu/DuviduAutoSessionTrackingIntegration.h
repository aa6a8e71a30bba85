#pragma once

#include <memory>

#include "Duvidu/DuviduBaseIntegration.h"
#include "Duvidu/DuviduSessionTracker.h"

namespace duvidu {

// Tracks release-health sessions automatically while enableAutoSessionTracking is on.
class DuviduAutoSessionTrackingIntegration : public DuviduBaseIntegration {
public:
    bool installWithOptions(const std::shared_ptr<const DuviduOptions>& options) override;
    void uninstall() override;

private:
    std::shared_ptr<DuviduSessionTracker> tracker_;
};

}  // namespace duvidu
