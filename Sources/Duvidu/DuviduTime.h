#pragma once

#include <cstdint>

namespace duvidu {

// Nanoseconds of the raw monotonic clock, which does not advance while the machine sleeps.
uint64_t getUptimeNs();

}  // namespace duvidu
