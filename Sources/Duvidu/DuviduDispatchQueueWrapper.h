#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "Duvidu/DuviduDispatchBlock.h"
#include "Duvidu/DuviduDispatchQueue.h"

namespace duvidu {

// The SDK's access to a serial queue and to the main queue; tests put an inline fake in its place.
class DuviduDispatchQueueWrapper {
public:
    // A serial queue named "duvidu-default".
    DuviduDispatchQueueWrapper();
    explicit DuviduDispatchQueueWrapper(std::string name);
    virtual ~DuviduDispatchQueueWrapper() = default;

    virtual void dispatchAsyncWithBlock(std::function<void()> block);
    virtual void dispatchAsyncOnMainQueue(std::function<void()> block);
    // At once when the caller is on the main thread, else waits for the block on the main queue.
    virtual void dispatchSyncOnMainQueue(const std::function<void()>& block);
    // Runs the block on this queue after the delay in seconds (whole nanoseconds; a negative or NaN delay is 0).
    virtual void dispatchAfter(double delaySeconds, std::function<void()> block);
    virtual void dispatchCancel(const DuviduDispatchBlock& block);
    // Runs the block once per predicate; a predicate at -1 is done and skips the call.
    virtual void dispatchOnce(std::atomic<long>& predicate, const std::function<void()>& block);
    virtual DuviduDispatchBlock createDispatchBlock(std::function<void()> block);

    const std::shared_ptr<DuviduDispatchQueue>& queue() const { return queue_; }

    // The delay of dispatchAfter in nanoseconds.
    static int64_t nanosecondsForDelay(double delaySeconds);

private:
    std::shared_ptr<DuviduDispatchQueue> queue_;
};

}  // namespace duvidu
