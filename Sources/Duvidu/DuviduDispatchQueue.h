#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace duvidu {

// A serial queue: one thread that runs blocks one at a time in submission order, and delayed blocks when their time
// comes (in deadline order, ties in submission order). Destroying the queue returns at once: the blocks already due
// still run on its thread afterwards, the delayed ones that are not due are dropped. A block may wait for the main
// thread while the main thread drops the queue, so dropping never waits; flush and close use waitUntilIdle.
class DuviduDispatchQueue {
public:
    using Clock = std::chrono::steady_clock;

    explicit DuviduDispatchQueue(std::string name);
    ~DuviduDispatchQueue();
    DuviduDispatchQueue(const DuviduDispatchQueue&) = delete;
    DuviduDispatchQueue& operator=(const DuviduDispatchQueue&) = delete;

    void async(std::function<void()> block);
    void asyncAt(Clock::time_point deadline, std::function<void()> block);
    // Runs the block on the queue and waits for it; on the queue's own thread it runs at once instead of
    // deadlocking.
    void sync(const std::function<void()>& block);
    // Waits at most the timeout until no block is running or due; true when the queue went idle in time. On the
    // queue's own thread it cannot wait for itself and gives false at once.
    bool waitUntilIdle(Clock::duration timeout);
    // Whether the calling thread is this queue's thread.
    bool isCurrent() const;
    const std::string& name() const { return name_; }

private:
    struct State;
    std::string name_;
    std::shared_ptr<State> state_;
};

}  // namespace duvidu
