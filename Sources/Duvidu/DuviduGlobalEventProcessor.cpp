#include "Duvidu/DuviduGlobalEventProcessor.h"

namespace duvidu {

DuviduGlobalEventProcessor::DuviduGlobalEventProcessor() : processors_(std::make_shared<const Processors>()) {}

DuviduGlobalEventProcessor& DuviduGlobalEventProcessor::shared()
{
    static DuviduGlobalEventProcessor instance;
    return instance;
}

void DuviduGlobalEventProcessor::addEventProcessor(EventProcessor processor)
{
    std::lock_guard lock(mutex_);
    auto next = std::make_shared<Processors>(*processors_);
    next->push_back(std::move(processor));
    processors_ = std::move(next);
}

void DuviduGlobalEventProcessor::removeAllProcessors()
{
    std::lock_guard lock(mutex_);
    processors_ = std::make_shared<const Processors>();
}

std::shared_ptr<const DuviduGlobalEventProcessor::Processors> DuviduGlobalEventProcessor::processors() const
{
    std::lock_guard lock(mutex_);
    return processors_;
}

}  // namespace duvidu
