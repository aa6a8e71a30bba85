#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "Duvidu/DuviduDispatchQueueWrapper.h"

namespace duvidu {

// A repeating timer on a queue: first fires one interval after creation, then every interval (counted from the
// start, so it does not drift) until cancelled or destroyed. An interval of 0 fires once.
class DuviduDispatchSourceWrapper {
public:
    // The leeway is accepted for the callers' sake; this timer is exact to the scheduler.
    DuviduDispatchSourceWrapper(uint64_t intervalNs, uint64_t leewayNs,
                                std::shared_ptr<DuviduDispatchQueueWrapper> queueWrapper,
                                std::function<void()> eventHandler);
    virtual ~DuviduDispatchSourceWrapper();
    DuviduDispatchSourceWrapper(const DuviduDispatchSourceWrapper&) = delete;
    DuviduDispatchSourceWrapper& operator=(const DuviduDispatchSourceWrapper&) = delete;

    virtual void cancel();
    const std::shared_ptr<DuviduDispatchQueueWrapper>& queueWrapper() const { return queueWrapper_; }

private:
    struct Timer;
    std::shared_ptr<DuviduDispatchQueueWrapper> queueWrapper_;
    std::shared_ptr<Timer> timer_;
};

}  // namespace duvidu
