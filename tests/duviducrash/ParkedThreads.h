#pragma once

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace duviducrashtest {

// Worker threads that each run a body and then wait, in the body or after it, until the object is destroyed.
class ParkedThreads {
public:
    // Each body is called with this object once its thread is named; it returns when parked() says so.
    using Body = std::function<void(ParkedThreads&)>;

    ~ParkedThreads() { release(); }

    void start(const std::string& name, Body body)
    {
        threads_.emplace_back([this, name, body = std::move(body)] {
            pthread_setname_np(pthread_self(), name.c_str());
            {
                std::lock_guard lock(mutex_);
                ids_.push_back(static_cast<pid_t>(syscall(SYS_gettid)));
            }
            body(*this);
        });
    }

    // Called by a body: counts it as parked and waits until the release.
    void park()
    {
        std::unique_lock lock(mutex_);
        ++parked_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
    }

    // Called by a body that waits in its own way: counts it as parked.
    void arrived()
    {
        std::lock_guard lock(mutex_);
        ++parked_;
        changed_.notify_all();
    }

    void waitUntilParked()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return parked_ == static_cast<int>(threads_.size()); });
    }

    bool released()
    {
        std::lock_guard lock(mutex_);
        return released_;
    }

    // Wakes every worker and joins them; a body that waits in its own way looks at released().
    void release()
    {
        {
            std::lock_guard lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
        for (auto& thread : threads_) thread.join();
        threads_.clear();
    }

    std::vector<pid_t> ids()
    {
        std::lock_guard lock(mutex_);
        return ids_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int parked_ = 0;
    bool released_ = false;
    std::vector<pid_t> ids_;
    std::vector<std::thread> threads_;
};

}  // namespace duviducrashtest
