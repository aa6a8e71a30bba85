#include "platform/QtPoolThreads.h"

#include <QThreadPool>

#include <condition_variable>
#include <memory>
#include <mutex>

bool QtPoolThreads::startAll(std::chrono::milliseconds timeout) {
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    // Every task waits until all have arrived, so each holds a thread of its own, and the pool starts them all.
    struct Arrivals {
        std::mutex mutex;
        std::condition_variable changed;
        int count = 0;  // guarded by mutex
    };
    const auto arrivals = std::make_shared<Arrivals>();
    const int threads = pool->maxThreadCount();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto allArrived = [arrivals, threads] { return arrivals->count == threads; };
    for (int i = 0; i < threads; ++i) {
        pool->start([arrivals, deadline, allArrived] {
            std::unique_lock lock(arrivals->mutex);
            ++arrivals->count;
            arrivals->changed.notify_all();
            arrivals->changed.wait_until(lock, deadline, allArrived);
        });
    }
    std::unique_lock lock(arrivals->mutex);
    return arrivals->changed.wait_until(lock, deadline, allArrived);
}
