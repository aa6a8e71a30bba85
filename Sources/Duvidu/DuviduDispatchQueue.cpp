#include "Duvidu/DuviduDispatchQueue.h"

#include <pthread.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace duvidu {

// Shared with the worker thread, so that a queue destroyed from one of its own blocks stays valid until the worker
// has left.
struct DuviduDispatchQueue::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void()>> ready;
    std::multimap<Clock::time_point, std::function<void()>> delayed;
    bool stopping = false;
    bool running = false;
    std::thread::id workerId;

    bool isIdle() const
    {
        return !running && ready.empty() && (delayed.empty() || delayed.begin()->first > Clock::now());
    }

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            auto now = Clock::now();
            while (!delayed.empty() && delayed.begin()->first <= now) {
                ready.push_back(std::move(delayed.begin()->second));
                delayed.erase(delayed.begin());
            }
            if (!ready.empty()) {
                auto block = std::move(ready.front());
                ready.pop_front();
                running = true;
                lock.unlock();
                block();
                block = nullptr;  // captured objects die outside the lock
                lock.lock();
                running = false;
                if (isIdle()) idle.notify_all();
                continue;
            }
            if (stopping) return;
            if (delayed.empty()) wake.wait(lock);
            else {
                // A copy: the entry may be gone by the time the wait looks at its deadline again.
                const auto deadline = delayed.begin()->first;
                wake.wait_until(lock, deadline);
            }
        }
    }
};

DuviduDispatchQueue::DuviduDispatchQueue(std::string name) : name_(std::move(name)), state_(std::make_shared<State>())
{
    std::thread worker([state = state_] { state->run(); });
    // Thread names are limited to 15 characters.
    pthread_setname_np(worker.native_handle(), name_.substr(0, 15).c_str());
    {
        std::lock_guard lock(state_->mutex);
        state_->workerId = worker.get_id();
    }
    worker.detach();
}

DuviduDispatchQueue::~DuviduDispatchQueue()
{
    std::multimap<Clock::time_point, std::function<void()>> dropped;  // their captured objects die outside the lock
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->delayed);
    }
    state_->wake.notify_all();
}

// Both take their own reference to the state first: once the block is queued it may run and destroy this queue.
void DuviduDispatchQueue::async(std::function<void()> block)
{
    auto state = state_;
    {
        std::lock_guard lock(state->mutex);
        state->ready.push_back(std::move(block));
    }
    state->wake.notify_all();
}

void DuviduDispatchQueue::asyncAt(Clock::time_point deadline, std::function<void()> block)
{
    auto state = state_;
    {
        std::lock_guard lock(state->mutex);
        state->delayed.emplace(deadline, std::move(block));
    }
    state->wake.notify_all();
}

void DuviduDispatchQueue::sync(const std::function<void()>& block)
{
    if (isCurrent()) {
        block();
        return;
    }
    std::promise<void> finished;
    auto done = finished.get_future();
    async([&] {
        block();
        finished.set_value();
    });
    done.wait();
}

bool DuviduDispatchQueue::waitUntilIdle(Clock::duration timeout)
{
    std::unique_lock lock(state_->mutex);
    if (std::this_thread::get_id() == state_->workerId) return false;
    auto now = Clock::now();
    auto deadline = timeout < Clock::time_point::max() - now ? now + timeout : Clock::time_point::max();
    return state_->idle.wait_until(lock, deadline, [this] { return state_->isIdle(); });
}

bool DuviduDispatchQueue::isCurrent() const
{
    std::lock_guard lock(state_->mutex);
    return std::this_thread::get_id() == state_->workerId;
}

}  // namespace duvidu
