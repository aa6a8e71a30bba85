#pragma once

#include <memory>

#include "Duvidu/DuviduOptions.h"

namespace duvidu {

// Base class of the integrations that the SDK installs by name when it starts. Each is made by its default
// constructor and then asked to install itself.
class DuviduBaseIntegration {
public:
    virtual ~DuviduBaseIntegration() = default;

    // ObjC: -[DuviduBaseIntegration installWithOptions:] — whether it installed; one that declines is dropped and
    // not registered.
    virtual bool installWithOptions(const std::shared_ptr<const DuviduOptions>& options) = 0;
    // ObjC: -[DuviduBaseIntegration uninstall] — undoes the installation when the SDK closes; nothing by default.
    virtual void uninstall() {}
};

}  // namespace duvidu
