#include "Duvidu/DuviduDispatchSourceWrapper.h"

#include <atomic>

namespace duvidu {

struct DuviduDispatchSourceWrapper::Timer : std::enable_shared_from_this<Timer> {
    std::atomic<bool> cancelled{false};
    DuviduDispatchQueue::Clock::time_point start;
    std::chrono::nanoseconds interval;
    std::function<void()> handler;
    std::weak_ptr<DuviduDispatchQueue> queue;

    void schedule(uint64_t firing)
    {
        auto target = queue.lock();
        if (!target) return;
        auto deadline = start + interval * static_cast<int64_t>(firing);
        target->asyncAt(deadline, [weak = weak_from_this(), firing] {
            auto self = weak.lock();
            if (!self || self->cancelled.load()) return;
            self->handler();
            if (self->interval.count() == 0 || self->cancelled.load()) return;
            // Firings that were missed while the queue was busy are coalesced into this one.
            auto elapsed = DuviduDispatchQueue::Clock::now() - self->start;
            uint64_t next = std::max<uint64_t>(firing + 1, static_cast<uint64_t>(elapsed / self->interval) + 1);
            self->schedule(next);
        });
    }
};

DuviduDispatchSourceWrapper::DuviduDispatchSourceWrapper(uint64_t intervalNs, uint64_t leewayNs,
                                                         std::shared_ptr<DuviduDispatchQueueWrapper> queueWrapper,
                                                         std::function<void()> eventHandler)
    : queueWrapper_(std::move(queueWrapper)), timer_(std::make_shared<Timer>())
{
    (void)leewayNs;
    timer_->start = DuviduDispatchQueue::Clock::now();
    timer_->interval = std::chrono::nanoseconds(static_cast<int64_t>(std::min<uint64_t>(intervalNs, INT64_MAX / 4)));
    timer_->handler = std::move(eventHandler);
    timer_->queue = queueWrapper_->queue();
    timer_->schedule(1);
}

DuviduDispatchSourceWrapper::~DuviduDispatchSourceWrapper()
{
    cancel();
}

void DuviduDispatchSourceWrapper::cancel()
{
    timer_->cancelled.store(true);
}

}  // namespace duvidu
