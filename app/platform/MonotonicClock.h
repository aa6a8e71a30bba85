#pragma once

#include <cstdint>

// Milliseconds of the monotonic clock (CLOCK_MONOTONIC): unaffected by changes of the wall time, for intervals only.
class MonotonicClock {
public:
    MonotonicClock() = delete;
    static std::uint64_t nowMilliseconds();
};
