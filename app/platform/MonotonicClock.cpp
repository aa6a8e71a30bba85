#include "platform/MonotonicClock.h"

#include <time.h>

std::uint64_t MonotonicClock::nowMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u;
}
