#include "platform/TaskThreads.h"

#include <system_error>
#include <thread>

TaskThreads::TaskThreads() : running_(std::make_shared<Running>()) {}

bool TaskThreads::start(std::function<void()> task) {
    {
        std::lock_guard lock(running_->mutex);
        ++running_->count;
    }
    try {
        std::thread([running = running_, task = std::move(task)]() mutable {
            task();
            task = nullptr;  // what the task holds goes before it counts as ended
            std::lock_guard lock(running->mutex);
            --running->count;
            running->ended.notify_all();
        }).detach();
        return true;
    } catch (const std::system_error&) {
        std::lock_guard lock(running_->mutex);
        --running_->count;
        running_->ended.notify_all();
        return false;
    }
}

bool TaskThreads::waitForDone(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(running_->mutex);
    return running_->ended.wait_for(lock, timeout, [this] { return running_->count == 0; });
}
