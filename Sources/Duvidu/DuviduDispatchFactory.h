#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Duvidu/DuviduDispatchQueueWrapper.h"
#include "Duvidu/DuviduDispatchSourceWrapper.h"

namespace duvidu {

// Makes queues and timers, so that tests can hand out fakes instead.
class DuviduDispatchFactory {
public:
    virtual ~DuviduDispatchFactory() = default;
    virtual std::shared_ptr<DuviduDispatchQueueWrapper> queueWithName(const std::string& name);
    // A timer on a new queue of that name.
    virtual std::shared_ptr<DuviduDispatchSourceWrapper> sourceWithInterval(uint64_t intervalNs, uint64_t leewayNs,
                                                                            const std::string& queueName,
                                                                            std::function<void()> eventHandler);
};

}  // namespace duvidu
