#include "Duvidu/DuviduANRTracker.h"

#include <utility>

namespace duvidu {

DuviduANRTracker::DuviduANRTracker(double timeoutInterval,
                                   std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider,
                                   std::shared_ptr<DuviduCrashWrapper> crashWrapper,
                                   std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper,
                                   std::shared_ptr<DuviduThreadWrapper> threadWrapper)
    : timeoutInterval_(timeoutInterval),
      currentDateProvider_(std::move(currentDateProvider)),
      crashWrapper_(std::move(crashWrapper)),
      dispatchQueueWrapper_(std::move(dispatchQueueWrapper)),
      threadWrapper_(std::move(threadWrapper))
{
}

}  // namespace duvidu
