#pragma once

#include <functional>
#include <memory>

#include "Duvidu/DuviduTimer.h"

namespace duvidu {

// Schedules timers whose block runs on the main thread (DuviduMainThreadExecutor); tests fire timers by hand.
class DuviduNSTimerWrapper {
public:
    virtual ~DuviduNSTimerWrapper() = default;
    // Fires after the interval in seconds, and again every interval while repeating and valid. A repeating timer
    // with no positive interval fires once.
    virtual std::shared_ptr<DuviduTimer> scheduledTimerWithTimeInterval(double interval, bool repeats,
                                                                        std::function<void(DuviduTimer&)> block);
};

}  // namespace duvidu
