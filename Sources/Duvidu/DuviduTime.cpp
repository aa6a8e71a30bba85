#include "Duvidu/DuviduTime.h"

#include <time.h>

namespace duvidu {

uint64_t getUptimeNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ULL + static_cast<uint64_t>(now.tv_nsec);
}

}  // namespace duvidu
