#include "Duvidu/DuviduDispatchFactory.h"

namespace duvidu {

std::shared_ptr<DuviduDispatchQueueWrapper> DuviduDispatchFactory::queueWithName(const std::string& name)
{
    return std::make_shared<DuviduDispatchQueueWrapper>(name);
}

std::shared_ptr<DuviduDispatchSourceWrapper> DuviduDispatchFactory::sourceWithInterval(
    uint64_t intervalNs, uint64_t leewayNs, const std::string& queueName, std::function<void()> eventHandler)
{
    return std::make_shared<DuviduDispatchSourceWrapper>(intervalNs, leewayNs, queueWithName(queueName),
                                                         std::move(eventHandler));
}

}  // namespace duvidu
