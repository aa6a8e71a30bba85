#pragma once

#include <cstdint>
#include <memory>

#include "Duvidu/DuviduCurrentDateProvider.h"

namespace duvidu {

// The SDK's replaceable clock. Until a provider is set, the first read installs the machine's clock.
class DuviduCurrentDate {
public:
    DuviduCurrentDate() = delete;

    static DuviduDate date();
    static uint64_t dispatchTimeNow();
    static uint64_t systemTime();
    // nullptr puts the machine's clock back on the next read.
    static void setCurrentDateProvider(std::shared_ptr<DuviduCurrentDateProvider> provider);
    // The provider currently set; nullptr before the first read.
    static std::shared_ptr<DuviduCurrentDateProvider> getCurrentDateProvider();
};

}  // namespace duvidu
