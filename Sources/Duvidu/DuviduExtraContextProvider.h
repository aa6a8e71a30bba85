#pragma once

#include <memory>

#include "Duvidu/DuviduCrashWrapper.h"
#include "Duvidu/DuviduNSProcessInfoWrapper.h"
#include "Duvidu/Value.h"

namespace duvidu {

// Measurements of the machine and the process that the client merges into the "device" and "app" contexts of every
// event. Keeps no state; each call measures anew.
class DuviduExtraContextProvider {
public:
    // ObjC: +[DuviduExtraContextProvider sharedInstance]
    static std::shared_ptr<DuviduExtraContextProvider> sharedInstance();

    // ObjC: -[DuviduExtraContextProvider init] — the shared crash wrapper and the container's process info.
    DuviduExtraContextProvider();
    // ObjC: -[DuviduExtraContextProvider initWithCrashWrapper:deviceWrapper:processInfoWrapper:] (the device
    // wrapper is read by no measurement on this platform)
    DuviduExtraContextProvider(std::shared_ptr<DuviduCrashWrapper> crashWrapper,
                               std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper);

    // ObjC: -getExtraContext — {"device": getExtraDeviceContext, "app": getExtraAppContext}.
    Value::Object getExtraContext() const;
    // ObjC: -getExtraDeviceContext — "free_memory", "free_storage" (bytes, 0 when unknown), "processor_count".
    Value::Object getExtraDeviceContext() const;
    // ObjC: -getExtraAppContext — "app_memory" (bytes, 0 when unknown).
    Value::Object getExtraAppContext() const;

private:
    std::shared_ptr<DuviduCrashWrapper> crashWrapper_;
    std::shared_ptr<DuviduNSProcessInfoWrapper> processInfoWrapper_;
};

}  // namespace duvidu
