#include "Duvidu/DuviduDispatchQueueWrapper.h"

#include <cmath>
#include <future>
#include <mutex>

#include "Duvidu/DuviduMainThreadExecutor.h"

namespace duvidu {

DuviduDispatchQueueWrapper::DuviduDispatchQueueWrapper() : DuviduDispatchQueueWrapper("duvidu-default") {}

DuviduDispatchQueueWrapper::DuviduDispatchQueueWrapper(std::string name)
    : queue_(std::make_shared<DuviduDispatchQueue>(std::move(name)))
{
}

void DuviduDispatchQueueWrapper::dispatchAsyncWithBlock(std::function<void()> block)
{
    queue_->async(std::move(block));
}

void DuviduDispatchQueueWrapper::dispatchAsyncOnMainQueue(std::function<void()> block)
{
    DuviduMainThreadExecutor::shared()->post(std::move(block));
}

void DuviduDispatchQueueWrapper::dispatchSyncOnMainQueue(const std::function<void()>& block)
{
    auto executor = DuviduMainThreadExecutor::shared();
    if (executor->isMainThread()) {
        block();
        return;
    }
    std::promise<void> finished;
    auto done = finished.get_future();
    executor->post([&] {
        block();
        finished.set_value();
    });
    done.wait();
}

int64_t DuviduDispatchQueueWrapper::nanosecondsForDelay(double delaySeconds)
{
    double nanoseconds = delaySeconds * 1e9;
    if (!(nanoseconds > 0)) return 0;
    if (nanoseconds >= 9.2e18) return INT64_MAX;
    return static_cast<int64_t>(nanoseconds);
}

void DuviduDispatchQueueWrapper::dispatchAfter(double delaySeconds, std::function<void()> block)
{
    auto now = DuviduDispatchQueue::Clock::now();
    // A delay beyond the clock's range means "never in practice"; adding it as is would overflow into the past.
    auto room = DuviduDispatchQueue::Clock::time_point::max() - now;
    auto delay = std::chrono::nanoseconds(nanosecondsForDelay(delaySeconds));
    queue_->asyncAt(delay < room ? now + delay : DuviduDispatchQueue::Clock::time_point::max(), std::move(block));
}

void DuviduDispatchQueueWrapper::dispatchCancel(const DuviduDispatchBlock& block)
{
    block.cancel();
}

void DuviduDispatchQueueWrapper::dispatchOnce(std::atomic<long>& predicate, const std::function<void()>& block)
{
    if (predicate.load(std::memory_order_acquire) == -1) return;
    // Re-entrant, so that a once-block may itself use another predicate.
    static std::recursive_mutex onceMutex;
    std::lock_guard lock(onceMutex);
    if (predicate.load(std::memory_order_relaxed) == -1) return;
    block();
    predicate.store(-1, std::memory_order_release);
}

DuviduDispatchBlock DuviduDispatchQueueWrapper::createDispatchBlock(std::function<void()> block)
{
    return DuviduDispatchBlock(std::move(block));
}

}  // namespace duvidu
