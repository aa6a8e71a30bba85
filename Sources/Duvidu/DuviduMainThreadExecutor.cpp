#include "Duvidu/DuviduMainThreadExecutor.h"

#include <mutex>

#include "Duvidu/DuviduDispatchQueue.h"

namespace duvidu {

namespace {

class QueueExecutor : public DuviduMainThreadExecutor {
public:
    void post(std::function<void()> block) override { queue_.async(std::move(block)); }
    bool isMainThread() const override { return queue_.isCurrent(); }

private:
    DuviduDispatchQueue queue_{"duvidu-main"};
};

std::mutex& slotMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<DuviduMainThreadExecutor>& slot()
{
    static std::shared_ptr<DuviduMainThreadExecutor> executor;
    return executor;
}

}  // namespace

std::shared_ptr<DuviduMainThreadExecutor> DuviduMainThreadExecutor::shared()
{
    std::lock_guard lock(slotMutex());
    if (!slot()) slot() = std::make_shared<QueueExecutor>();
    return slot();
}

void DuviduMainThreadExecutor::setShared(std::shared_ptr<DuviduMainThreadExecutor> executor)
{
    std::lock_guard lock(slotMutex());
    slot() = std::move(executor);
}

}  // namespace duvidu
