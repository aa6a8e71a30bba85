#pragma once

#include <memory>

#include "Duvidu/DuviduCrashWrapper.h"
#include "Duvidu/DuviduCurrentDateProvider.h"
#include "Duvidu/DuviduDispatchQueueWrapper.h"
#include "Duvidu/DuviduThreadWrapper.h"

namespace duvidu {

// The app-hang tracker: made once per container, with the timeout after which an unresponsive main thread counts
// as hanging and the services it watches with.
class DuviduANRTracker {
public:
    // ObjC: -[DuviduANRTracker initWithTimeoutInterval:currentDateProvider:crashWrapper:dispatchQueueWrapper:
    // threadWrapper:]
    DuviduANRTracker(double timeoutInterval, std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider,
                     std::shared_ptr<DuviduCrashWrapper> crashWrapper,
                     std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper,
                     std::shared_ptr<DuviduThreadWrapper> threadWrapper);

    // Seconds.
    double timeoutInterval() const { return timeoutInterval_; }
    const std::shared_ptr<DuviduCurrentDateProvider>& currentDateProvider() const { return currentDateProvider_; }
    const std::shared_ptr<DuviduCrashWrapper>& crashWrapper() const { return crashWrapper_; }
    const std::shared_ptr<DuviduDispatchQueueWrapper>& dispatchQueueWrapper() const { return dispatchQueueWrapper_; }
    const std::shared_ptr<DuviduThreadWrapper>& threadWrapper() const { return threadWrapper_; }

private:
    double timeoutInterval_;
    std::shared_ptr<DuviduCurrentDateProvider> currentDateProvider_;
    std::shared_ptr<DuviduCrashWrapper> crashWrapper_;
    std::shared_ptr<DuviduDispatchQueueWrapper> dispatchQueueWrapper_;
    std::shared_ptr<DuviduThreadWrapper> threadWrapper_;
};

}  // namespace duvidu
