#pragma once

#include <memory>

#include "Duvidu/DuviduCurrentDateProvider.h"

namespace duvidu {

// The real clocks of the machine.
class DuviduDefaultCurrentDateProvider : public DuviduCurrentDateProvider {
public:
    static std::shared_ptr<DuviduDefaultCurrentDateProvider> sharedInstance();

    DuviduDate date() const override;
    uint64_t dispatchTimeNow() const override;
    int64_t timezoneOffset() const override;
    uint64_t systemTime() const override;
};

}  // namespace duvidu
