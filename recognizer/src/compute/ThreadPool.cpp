#include "compute/ThreadPool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "compute/CpuRelax.h"

namespace recognizer {

namespace {

// How long a waiting thread stays awake before it sleeps: long enough to bridge the gaps between the many short runs
// of one decoder step, short enough not to burn a core while the caller does something else. The first part is a
// tight spin; after it the thread yields between checks, so that a busy machine (more runnable threads than cores)
// still gets to run the thread that is being waited for.
constexpr auto kAwakeTime = std::chrono::microseconds(200);
constexpr int kTightSpins = 2000;

// Set while a thread executes a task, so that a task which itself calls run() gets an inline, single-thread run
// instead of a deadlock.
thread_local bool tInsideTask = false;

// Waits until value != old: spins, then yields, then sleeps on the value. `sleepers` tells the notifier whether a
// wake-up call is needed at all.
template <class T>
void awaitChange(const std::atomic<T>& value, T old, std::atomic<int>& sleepers) {
    for (int i = 0; i < kTightSpins; ++i) {
        if (value.load(std::memory_order_acquire) != old) return;
        cpuRelax();
    }
    const auto deadline = std::chrono::steady_clock::now() + kAwakeTime;
    while (std::chrono::steady_clock::now() < deadline) {
        if (value.load(std::memory_order_acquire) != old) return;
        std::this_thread::yield();
    }
    sleepers.fetch_add(1, std::memory_order_seq_cst);
    while (value.load(std::memory_order_seq_cst) == old) value.wait(old, std::memory_order_seq_cst);
    sleepers.fetch_sub(1, std::memory_order_relaxed);
}

template <class T>
void wake(std::atomic<T>& value, std::atomic<int>& sleepers) {
    if (sleepers.load(std::memory_order_seq_cst) > 0) value.notify_all();
}

}  // namespace

// A run is announced by a new generation. Workers join it by raising the count in `ticket` (generation in the high
// half, a closed flag and the count of joined workers in the low half), run the task and count themselves out in
// `finished`. The caller waits until every worker that joined has finished: for a plain run that is every worker,
// for a dynamic run the caller first closes the ticket, so that late workers stay out.
struct ThreadPool::Impl {
    static constexpr uint64_t kClosed = uint64_t(1) << 31;
    static constexpr uint64_t kCount = kClosed - 1;

    std::atomic<int> nThreads{1};  // read by size() from any thread
    std::vector<std::thread> workers;
    std::mutex runMutex;  // one run at a time when several threads share a pool

    Task task = nullptr;  // read by a worker only after it joined the run
    void* context = nullptr;
    // Read by every worker at every new generation, including workers left out of a dynamic run that are still
    // looking at it while the pool is being stopped.
    std::atomic<bool> stopping{false};

    alignas(64) std::atomic<uint32_t> generation{0};
    alignas(64) std::atomic<uint64_t> ticket{0};
    alignas(64) std::atomic<int> workerSleepers{0};
    alignas(64) std::atomic<int> finished{0};
    alignas(64) std::atomic<int> callerSleepers{0};

    // The first exception of the run, from any thread; `failed` is claimed once, so that exactly one thread writes
    // `failure`, which the caller reads only after every thread of the run has counted itself out.
    std::atomic<bool> failed{false};
    std::exception_ptr failure;

    void capture(std::exception_ptr e) {
        if (!failed.exchange(true, std::memory_order_relaxed)) failure = std::move(e);
    }

    // A thread the system refuses leaves the pool with the caller alone, and the refusal (std::system_error, or
    // std::bad_alloc) goes to the caller.
    void start(int n) {
        stopping.store(false, std::memory_order_relaxed);  // no worker runs yet
        const uint32_t first = generation.load();
        try {
            workers.reserve(size_t(std::max(1, n) - 1));
            for (int i = 1; i < n; ++i) workers.emplace_back([this, i, first] { workerLoop(i, first); });
        } catch (...) {
            stop();
            nThreads = 1;
            throw;
        }
        nThreads = std::max(1, n);
    }

    void stop() {
        if (workers.empty()) return;
        stopping.store(true, std::memory_order_release);
        generation.fetch_add(1, std::memory_order_seq_cst);
        generation.notify_all();
        for (auto& w : workers) w.join();
        workers.clear();
    }

    bool join(uint32_t gen) {
        uint64_t t = ticket.load(std::memory_order_acquire);
        while ((t >> 32) == gen && !(t & kClosed)) {
            if (ticket.compare_exchange_weak(t, t + 1, std::memory_order_acq_rel)) return true;
        }
        return false;
    }

    void workerLoop(int ith, uint32_t seen) {
        for (;;) {
            awaitChange(generation, seen, workerSleepers);
            seen = generation.load(std::memory_order_acquire);
            if (stopping.load(std::memory_order_acquire)) return;
            if (!join(seen)) continue;
            tInsideTask = true;
            try {
                task(context, ith, nThreads);
            } catch (...) {
                capture(std::current_exception());
            }
            tInsideTask = false;
            finished.fetch_add(1, std::memory_order_seq_cst);
            wake(finished, callerSleepers);
        }
    }
};

ThreadPool::ThreadPool(int nThreads) : impl_(std::make_unique<Impl>()) {
    impl_->start(nThreads);
}

ThreadPool::~ThreadPool() {
    impl_->stop();
}

int ThreadPool::size() const {
    return impl_->nThreads.load(std::memory_order_relaxed);
}

void ThreadPool::resize(int nThreads) {
    std::lock_guard lock(impl_->runMutex);
    if (std::max(1, nThreads) == impl_->nThreads.load()) return;
    impl_->stop();
    impl_->start(nThreads);
}

void ThreadPool::runRaw(Task task, void* context) {
    dispatch(task, context, false);
}

void ThreadPool::runDynamicRaw(Task task, void* context) {
    dispatch(task, context, true);
}

void ThreadPool::dispatch(Task task, void* context, bool dynamic) {
    Impl& p = *impl_;
    struct InsideTask {
        bool outer = tInsideTask;
        InsideTask() { tInsideTask = true; }
        ~InsideTask() { tInsideTask = outer; }
    };
    if (tInsideTask) {
        InsideTask inside;
        task(context, 0, 1);
        return;
    }
    std::lock_guard lock(p.runMutex);
    if (p.nThreads == 1) {
        InsideTask inside;
        task(context, 0, 1);
        return;
    }
    p.task = task;
    p.context = context;
    const uint32_t gen = p.generation.load(std::memory_order_relaxed) + 1;
    p.ticket.store(uint64_t(gen) << 32, std::memory_order_relaxed);
    p.generation.store(gen, std::memory_order_seq_cst);
    wake(p.generation, p.workerSleepers);

    // The workers use the caller's context until they are done, so even a throwing task waits for them first; then
    // the first exception of any thread leaves run() on the calling thread.
    try {
        InsideTask inside;
        task(context, 0, p.nThreads);
    } catch (...) {
        p.capture(std::current_exception());
    }
    const int joined = dynamic ? int(p.ticket.fetch_or(Impl::kClosed, std::memory_order_acq_rel) & Impl::kCount)
                               : p.nThreads - 1;
    for (int done = p.finished.load(std::memory_order_acquire); done != joined;
         done = p.finished.load(std::memory_order_acquire)) {
        awaitChange(p.finished, done, p.callerSleepers);
    }
    p.finished.store(0, std::memory_order_relaxed);
    if (p.failed.load(std::memory_order_relaxed)) {
        const std::exception_ptr failure = std::move(p.failure);
        p.failure = nullptr;
        p.failed.store(false, std::memory_order_relaxed);
        std::rethrow_exception(failure);
    }
}

}  // namespace recognizer
