#include "Duvidu/DuviduAppStartMeasurement.h"

namespace duvidu {

DuviduAppStartMeasurement::DuviduAppStartMeasurement(uint64_t type, bool isPreWarmed, DuviduDate appStartTimestamp,
                                                     double duration, DuviduDate runtimeInitTimestamp,
                                                     DuviduDate moduleInitializationTimestamp,
                                                     DuviduDate didFinishLaunchingTimestamp)
    : type_(type),
      isPreWarmed_(isPreWarmed),
      duration_(duration),
      appStartTimestamp_(appStartTimestamp),
      runtimeInitTimestamp_(runtimeInitTimestamp),
      moduleInitializationTimestamp_(moduleInitializationTimestamp),
      didFinishLaunchingTimestamp_(didFinishLaunchingTimestamp)
{
}

DuviduAppStartMeasurement::DuviduAppStartMeasurement(uint64_t type, DuviduDate appStartTimestamp, double duration,
                                                     DuviduDate runtimeInitTimestamp,
                                                     DuviduDate didFinishLaunchingTimestamp)
    : DuviduAppStartMeasurement(type, false, appStartTimestamp, duration, runtimeInitTimestamp, DuviduDate{},
                                didFinishLaunchingTimestamp)
{
}

}  // namespace duvidu
