// The application's own task threads in a process held at the tasks it has (a pids control group, which binds root
// too): a task that needs a new thread is refused at once and never counted as running, a thread waiting for work
// takes the next task without asking the system, and the waits end when the tasks do or at their deadline.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/TaskThreads.h"
#include "support/PidsCgroup.h"

namespace {

using namespace std::chrono_literals;

// A task that runs until it is let go.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;         // guarded by mutex
    int arrivals = 0;          // guarded by mutex
    std::thread::id ranOn;     // guarded by mutex

    std::function<void()> task() {
        return [this] {
            std::unique_lock lock(mutex);
            ++arrivals;
            ranOn = std::this_thread::get_id();
            changed.notify_all();
            changed.wait(lock, [this] { return open; });
        };
    }
    bool awaitArrivals(int count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 30s, [&] { return arrivals >= count; });
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

TEST(TaskThreads, ARefusedTaskIsToldAtOnceAndAWaitingThreadTakesTheNextOne) {
    vctest::PidsCgroup tasks("vellumcaster-platform-" + std::to_string(::getpid()));
    ASSERT_TRUE(tasks.usable()) << "no pids control group could be made on this machine";
    ASSERT_TRUE(tasks.add(::getpid()));

    TaskThreads threads;
    Gate first;
    ASSERT_TRUE(threads.start(first.task()));
    ASSERT_TRUE(first.awaitArrivals(1));
    EXPECT_FALSE(threads.waitForDone(50ms));

    // The running task holds its thread: the next one needs another, which the system refuses.
    ASSERT_TRUE(tasks.limit(tasks.current()));
    Gate second;
    EXPECT_FALSE(threads.start(second.task()));
    EXPECT_GE(tasks.refusals(), 1);
    first.release();
    // The refused task is not waited for.
    EXPECT_TRUE(threads.waitForDone(30s));

    // The first thread now waits for work and takes the next task, which needs nothing of the system.
    Gate third;
    ASSERT_TRUE(threads.start(third.task()));
    ASSERT_TRUE(third.awaitArrivals(1));
    {
        std::scoped_lock lock(first.mutex, second.mutex, third.mutex);
        EXPECT_EQ(third.ranOn, first.ranOn);
        EXPECT_EQ(second.arrivals, 0);
    }
    third.release();
    EXPECT_TRUE(threads.waitForDone(30s));
    ASSERT_TRUE(tasks.limit(-1));
}

}  // namespace
