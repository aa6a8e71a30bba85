#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace duvidu {

// A serial queue: one thread that runs blocks one at a time in submission order, and delayed blocks when their time
// comes (in deadline order, ties in submission order). Destroying the queue lets the blocks already due finish and
// drops the delayed ones that are not.
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
    // Whether the calling thread is this queue's thread.
    bool isCurrent() const;
    const std::string& name() const { return name_; }

private:
    struct State;
    std::string name_;
    std::shared_ptr<State> state_;
};

}  // namespace duvidu
