#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Runs tasks each on a thread of its own and counts those still running. Unlike a thread pool, which keeps a task whose
// thread the system refused (and counts it as running for good), it says at once when a task cannot start. The threads
// are not joined: a task that outlives its TaskThreads runs to its end, so it must own, or hold shares of, what it
// uses. Any thread.
class TaskThreads {
public:
    TaskThreads();

    // Starts `task` on a new thread; false, with the task dropped, when the system refuses the thread.
    bool start(std::function<void()> task);
    // Waits until every task started has ended or `timeout` has passed; whether they all ended.
    bool waitForDone(std::chrono::milliseconds timeout) const;

private:
    struct Running {
        std::mutex mutex;
        std::condition_variable ended;
        int count = 0;  // guarded by mutex
    };
    std::shared_ptr<Running> running_;
};
