#pragma once

#include <cstdint>

#include "Duvidu/Value.h"

namespace duvidu {

// One measured application start; immutable.
class DuviduAppStartMeasurement {
public:
    // ObjC: -initWithType:isPreWarmed:appStartTimestamp:duration:runtimeInitTimestamp:
    //        moduleInitializationTimestamp:didFinishLaunchingTimestamp:
    DuviduAppStartMeasurement(uint64_t type, bool isPreWarmed, DuviduDate appStartTimestamp, double duration,
                              DuviduDate runtimeInitTimestamp, DuviduDate moduleInitializationTimestamp,
                              DuviduDate didFinishLaunchingTimestamp);
    // ObjC: -initWithType:appStartTimestamp:duration:runtimeInitTimestamp:didFinishLaunchingTimestamp: — not
    // pre-warmed, module initialisation at 1970-01-01 00:00:00 UTC.
    DuviduAppStartMeasurement(uint64_t type, DuviduDate appStartTimestamp, double duration,
                              DuviduDate runtimeInitTimestamp, DuviduDate didFinishLaunchingTimestamp);

    // The kind of start, as the app-start tracking numbers them.
    uint64_t type() const { return type_; }
    bool isPreWarmed() const { return isPreWarmed_; }
    // Seconds.
    double duration() const { return duration_; }
    DuviduDate appStartTimestamp() const { return appStartTimestamp_; }
    DuviduDate runtimeInitTimestamp() const { return runtimeInitTimestamp_; }
    DuviduDate moduleInitializationTimestamp() const { return moduleInitializationTimestamp_; }
    DuviduDate didFinishLaunchingTimestamp() const { return didFinishLaunchingTimestamp_; }

private:
    uint64_t type_;
    bool isPreWarmed_;
    double duration_;
    DuviduDate appStartTimestamp_;
    DuviduDate runtimeInitTimestamp_;
    DuviduDate moduleInitializationTimestamp_;
    DuviduDate didFinishLaunchingTimestamp_;
};

}  // namespace duvidu
