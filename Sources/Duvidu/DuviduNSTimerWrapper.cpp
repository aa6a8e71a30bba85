#include "Duvidu/DuviduNSTimerWrapper.h"

#include "Duvidu/DuviduDispatchQueue.h"
#include "Duvidu/DuviduDispatchQueueWrapper.h"
#include "Duvidu/DuviduMainThreadExecutor.h"

namespace duvidu {

namespace {

DuviduDispatchQueue& schedulerQueue()
{
    static DuviduDispatchQueue* queue = new DuviduDispatchQueue("duvidu-timers");  // lives for the process
    return *queue;
}

struct Firing {
    std::shared_ptr<DuviduTimer> timer;
    std::shared_ptr<std::function<void(DuviduTimer&)>> block;
    std::chrono::nanoseconds interval;
    bool repeats;

    void arm(DuviduDispatchQueue::Clock::time_point deadline) const
    {
        schedulerQueue().asyncAt(deadline, [firing = *this, deadline] {
            if (!firing.timer->isValid()) return;
            DuviduMainThreadExecutor::shared()->post([firing] {
                if (!firing.timer->isValid()) return;
                (*firing.block)(*firing.timer);
                if (!firing.repeats) firing.timer->invalidate();
            });
            if (firing.repeats && firing.interval.count() > 0) firing.arm(deadline + firing.interval);
        });
    }
};

}  // namespace

std::shared_ptr<DuviduTimer> DuviduNSTimerWrapper::scheduledTimerWithTimeInterval(
    double interval, bool repeats, std::function<void(DuviduTimer&)> block)
{
    auto timer = std::make_shared<DuviduTimer>();
    auto delay = std::chrono::nanoseconds(DuviduDispatchQueueWrapper::nanosecondsForDelay(interval));
    Firing firing{timer, std::make_shared<std::function<void(DuviduTimer&)>>(std::move(block)), delay, repeats};
    firing.arm(DuviduDispatchQueue::Clock::now() + delay);
    return timer;
}

}  // namespace duvidu
