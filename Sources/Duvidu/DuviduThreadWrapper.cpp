#include "Duvidu/DuviduThreadWrapper.h"

#include <chrono>
#include <thread>

#include "Duvidu/DuviduDispatchQueueWrapper.h"

namespace duvidu {

void DuviduThreadWrapper::sleepForTimeInterval(double seconds)
{
    std::this_thread::sleep_for(std::chrono::nanoseconds(DuviduDispatchQueueWrapper::nanosecondsForDelay(seconds)));
}

void DuviduThreadWrapper::threadStarted(const DuviduId&) {}

void DuviduThreadWrapper::threadFinished(const DuviduId&) {}

}  // namespace duvidu
