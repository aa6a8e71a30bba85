#include "platform/TaskThreads.h"

#include <system_error>
#include <thread>

TaskThreads::TaskThreads() : shared_(std::make_shared<Shared>()) {}

bool TaskThreads::start(std::function<void()> task) {
    {
        std::lock_guard lock(shared_->mutex);
        ++shared_->running;
        if (shared_->waiting > int(shared_->handedOver.size())) {
            shared_->handedOver.push_back(std::move(task));
            shared_->changed.notify_all();
            return true;
        }
    }
    try {
        std::thread(&TaskThreads::work, shared_, std::move(task)).detach();
        return true;
    } catch (const std::system_error&) {
        std::lock_guard lock(shared_->mutex);
        --shared_->running;
        shared_->changed.notify_all();
        return false;
    }
}

void TaskThreads::work(const std::shared_ptr<Shared>& shared, std::function<void()> task) {
    for (;;) {
        task();
        task = nullptr;  // what the task holds goes before it counts as ended
        std::unique_lock lock(shared->mutex);
        --shared->running;
        ++shared->waiting;
        shared->changed.notify_all();
        const bool handedOver =
            shared->changed.wait_for(lock, idleExpiry, [&shared] { return !shared->handedOver.empty(); });
        --shared->waiting;
        if (!handedOver) return;
        task = std::move(shared->handedOver.front());
        shared->handedOver.pop_front();
    }
}

void TaskThreads::waitForDone() const {
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait(lock, [this] { return shared_->running == 0; });
}

bool TaskThreads::waitForDone(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, timeout, [this] { return shared_->running == 0; });
}
