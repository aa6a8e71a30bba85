#pragma once

#include <cstdint>

#include "Duvidu/Value.h"

namespace duvidu {

// The SDK's clock; tests install a fake through DuviduCurrentDate.
class DuviduCurrentDateProvider {
public:
    virtual ~DuviduCurrentDateProvider() = default;
    virtual DuviduDate date() const = 0;
    // Nanoseconds of the clock that the dispatch queues schedule on.
    virtual uint64_t dispatchTimeNow() const = 0;
    // Seconds east of UTC of the local time zone.
    virtual int64_t timezoneOffset() const = 0;
    // Nanoseconds of the raw monotonic clock.
    virtual uint64_t systemTime() const = 0;
};

}  // namespace duvidu
