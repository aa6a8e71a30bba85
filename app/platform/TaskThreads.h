#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Runs tasks on threads of its own and counts those still running: a task goes to a thread that has finished an
// earlier one and waits for more, or else to a new thread. Unlike Qt's thread pool, which keeps a task whose thread the
// system refused (and counts it as running, for good), it says at once when a task cannot start. A waiting thread ends
// after `idleExpiry`. The threads are not joined: a task that outlives its TaskThreads runs to its end, so it must own,
// or hold shares of, what it uses. Any thread.
class TaskThreads {
public:
    static constexpr std::chrono::seconds idleExpiry{30};

    TaskThreads();

    // Starts `task`; false, with the task dropped, when it needed a new thread and the system refused it.
    bool start(std::function<void()> task);
    // Waits until every task started has ended or `timeout` has passed; whether they all ended.
    bool waitForDone(std::chrono::milliseconds timeout) const;
    // Waits until every task started has ended: for an owner whose tasks use it and end by themselves, once a wait
    // with a deadline has found that they did.
    void waitForDone() const;

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;                // a task was handed over, or one ended
        std::deque<std::function<void()>> handedOver;  // guarded by mutex: tasks for waiting threads
        int waiting = 0;                                // guarded by mutex: threads waiting for a task
        int running = 0;                                // guarded by mutex: tasks started and not ended
    };
    // A thread's life: `task`, then those handed over to it, until none comes for `idleExpiry`.
    static void work(const std::shared_ptr<Shared>& shared, std::function<void()> task);

    std::shared_ptr<Shared> shared_;
};
