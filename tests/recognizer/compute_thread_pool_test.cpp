#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "compute/ThreadPool.h"
#include "support/PidsCgroup.h"

using namespace recognizer;

TEST(ComputeThreadPool, EveryThreadRunsEachTaskExactlyOnce) {
    for (int threads = 1; threads <= 8; ++threads) {
        ThreadPool pool(threads);
        ASSERT_EQ(pool.size(), threads);
        std::vector<std::atomic<int>> hits(static_cast<size_t>(threads));
        std::atomic<int> wrongCount{0};
        for (int run = 0; run < 500; ++run) {
            pool.run([&](int ith, int nth) {
                if (nth != threads) wrongCount.fetch_add(1);
                hits[size_t(ith)].fetch_add(1);
            });
        }
        EXPECT_EQ(wrongCount.load(), 0);
        for (auto& h : hits) EXPECT_EQ(h.load(), 500);
    }
}

TEST(ComputeThreadPool, RunReturnsOnlyWhenAllWorkIsVisible) {
    ThreadPool pool(6);
    std::vector<int> slots(6);
    for (int run = 1; run <= 3000; ++run) {
        pool.run([&](int ith, int) { slots[size_t(ith)] = run; });
        for (int v : slots) ASSERT_EQ(v, run);
        if (run % 1000 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));  // workers go to sleep
    }
}

TEST(ComputeThreadPool, ResizeAndNestedRuns) {
    ThreadPool pool(2);
    pool.resize(5);
    EXPECT_EQ(pool.size(), 5);
    pool.resize(0);  // at least the caller
    EXPECT_EQ(pool.size(), 1);
    pool.resize(4);
    std::atomic<int> inner{0};
    pool.run([&](int, int) {
        // A task that runs the pool again gets a single-thread run on its own thread instead of a deadlock.
        pool.run([&](int ith, int nth) {
            if (ith == 0 && nth == 1) inner.fetch_add(1);
        });
    });
    EXPECT_EQ(inner.load(), 4);
}

TEST(ComputeThreadPool, TwoCallersShareOnePool) {
    ThreadPool pool(3);
    std::atomic<long> total{0};
    auto caller = [&] {
        for (int i = 0; i < 500; ++i) pool.run([&](int, int) { total.fetch_add(1); });
    };
    std::thread a(caller), b(caller);
    a.join();
    b.join();
    EXPECT_EQ(total.load(), 2 * 500 * 3);
}

TEST(ComputeThreadPool, AThrowingTaskOnTheCallerWaitsForTheWorkersAndRethrows) {
    ThreadPool pool(4);
    std::atomic<int> finished{0};
    EXPECT_THROW(pool.run([&](int ith, int) {
        if (ith == 0) throw std::runtime_error("task failed");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        finished.fetch_add(1);
    }),
                 std::runtime_error);
    EXPECT_EQ(finished.load(), 3);  // the workers were done before the exception left run()
    std::atomic<int> again{0};
    pool.run([&](int, int) { again.fetch_add(1); });
    EXPECT_EQ(again.load(), 4);
}

// A worker's exception (scratch buffers that cannot grow throw std::bad_alloc) reaches the caller once every thread
// is done; when several threads throw, one exception arrives; the pool then runs on as before.
TEST(ComputeThreadPool, AWorkersExceptionReachesTheCallerAndThePoolRunsOn) {
    ThreadPool pool(4);
    for (int round = 0; round < 50; ++round) {
        std::atomic<int> finished{0};
        EXPECT_THROW(pool.run([&](int ith, int nth) {
            if (ith == nth - 1) throw std::bad_alloc();
            finished.fetch_add(1);
        }),
                     std::bad_alloc);
        EXPECT_EQ(finished.load(), 3);
        EXPECT_THROW(pool.run([](int ith, int) {
            if (ith > 0) throw std::runtime_error("worker " + std::to_string(ith));
        }),
                     std::runtime_error);
        std::atomic<int> again{0};
        pool.run([&](int, int) { again.fetch_add(1); });
        pool.runDynamic([&](int, int) { again.fetch_add(1); });
        ASSERT_GE(again.load(), 5);
    }
}

// Work handed out on demand is done exactly once however many workers join, and is visible when the run returns.
TEST(ComputeThreadPool, DynamicRunsFinishAllWorkWithAnyNumberOfJoiners) {
    for (int threads = 1; threads <= 8; ++threads) {
        ThreadPool pool(threads);
        std::vector<int> items(257);
        for (int run = 1; run <= 300; ++run) {
            std::atomic<int> next{0};
            pool.runDynamic([&](int, int) {
                for (int i; (i = next.fetch_add(1)) < int(items.size());) items[size_t(i)] += 1;
            });
            for (int v : items) ASSERT_EQ(v, run) << threads;
            if (run % 100 == 0) pool.run([](int, int) {});  // plain runs in between still reach every thread
        }
    }
}

// Workers that a dynamic run leaves out still look at the pool's state while it is resized or destroyed right after;
// under ThreadSanitizer this shows any unsynchronised access between them and the stopping pool.
TEST(ComputeThreadPool, StoppingRightAfterDynamicRunsIsSafe) {
    for (int round = 0; round < 200; ++round) {
        ThreadPool pool(8);
        std::atomic<int> done{0};
        pool.runDynamic([&](int, int) { done.fetch_add(1); });
        pool.runDynamic([&](int, int) { done.fetch_add(1); });
        pool.resize(3 + round % 4);
        pool.runDynamic([&](int, int) { done.fetch_add(1); });
        ASSERT_GE(done.load(), 3);
    }
}

// In a pids control group (which binds root too) that lets one more thread start, growing to four threads is refused
// partway: the pool is left with the caller alone, so that its next run ends, and grows once threads are given again.
TEST(ComputeThreadPool, AThreadRefusedPartwayLeavesTheCallerAloneAndTheNextRunsEnd) {
    // Not freed when a run never ends: the thread left waiting in it still uses it.
    auto* pool = new ThreadPool(1);
    {
        vctest::PidsCgroup tasks("vellumcaster-recognizer-" + std::to_string(::getpid()));
        ASSERT_TRUE(tasks.usable()) << "no pids control group could be made on this machine";
        ASSERT_TRUE(tasks.add(::getpid()));
        ASSERT_TRUE(tasks.limit(tasks.current() + 1));
        EXPECT_THROW(pool->resize(4), std::system_error);
        EXPECT_GT(tasks.refusals(), 0);
        ASSERT_TRUE(tasks.limit(-1));
    }
    EXPECT_EQ(pool->size(), 1);

    // On a thread of their own, so that runs waiting for workers that never started fail the test instead of holding
    // it.
    std::packaged_task<std::vector<int>()> runs([pool] {
        const auto threadsOfARun = [pool] {
            std::atomic<int> threads{0};
            pool->run([&](int, int) { threads.fetch_add(1); });
            return threads.load();
        };
        std::vector<int> counts{threadsOfARun()};
        pool->resize(4);
        counts.push_back(threadsOfARun());
        return counts;
    });
    std::future<std::vector<int>> counts = runs.get_future();
    std::thread runner(std::move(runs));
    if (counts.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        runner.detach();
        FAIL() << "a run after the refused thread did not end within 30 s";
    }
    runner.join();
    EXPECT_EQ(counts.get(), (std::vector<int>{1, 4}));
    delete pool;
}
