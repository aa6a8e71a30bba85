#include "platform/QtPoolThreads.h"

#include <QThreadPool>

#include <condition_variable>
#include <memory>
#include <mutex>

bool QtPoolThreads::start(std::chrono::milliseconds timeout) {
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(1);
    pool->setExpiryTimeout(-1);
    struct Arrival {
        std::mutex mutex;
        std::condition_variable changed;
        bool arrived = false;  // guarded by mutex
    };
    const auto arrival = std::make_shared<Arrival>();
    pool->start([arrival] {
        std::lock_guard lock(arrival->mutex);
        arrival->arrived = true;
        arrival->changed.notify_all();
    });
    std::unique_lock lock(arrival->mutex);
    return arrival->changed.wait_for(lock, timeout, [&arrival] { return arrival->arrived; });
}
