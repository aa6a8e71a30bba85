// Thread inspection and debug images: microseconds per call of listing the threads (with the calling thread's stack)
// with 10 and 60 threads in the process, of every thread's stack with 10 threads, and of the debug images those
// stacks point into.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "Duvidu/DuviduDebugImageProvider.h"
#include "Duvidu/DuviduThreadInspector.h"

using namespace duvidu;

namespace {

// Threads parked on a condition variable for as long as the object lives; with the calling thread, `total` threads.
class ParkedThreads {
public:
    explicit ParkedThreads(int total)
    {
        for (int i = 1; i < total; ++i) threads_.emplace_back([this] {
            std::unique_lock lock(mutex_);
            released_.wait(lock, [this] { return done_; });
        });
    }
    ~ParkedThreads()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        released_.notify_all();
        for (auto& thread : threads_) thread.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool done_ = false;
    std::vector<std::thread> threads_;
};

DuviduThreadInspector& inspector()
{
    static DuviduThreadInspector instance{DuviduOptions()};
    return instance;
}

void BM_GetCurrentThreads(benchmark::State& state)
{
    ParkedThreads threads(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(inspector().getCurrentThreads());
}
BENCHMARK(BM_GetCurrentThreads)->Arg(10)->Arg(60)->Unit(benchmark::kMicrosecond);

void BM_GetCurrentThreadsWithStackTrace(benchmark::State& state)
{
    ParkedThreads threads(static_cast<int>(state.range(0)));
    size_t frames = 0;
    for (auto _ : state) {
        auto inspected = inspector().getCurrentThreadsWithStackTrace();
        frames = 0;
        for (const auto& thread : inspected) frames += thread.stacktrace ? thread.stacktrace->frames.size() : 0;
    }
    state.counters["frames"] = static_cast<double>(frames);
}
BENCHMARK(BM_GetCurrentThreadsWithStackTrace)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_GetDebugImagesForThreads(benchmark::State& state)
{
    ParkedThreads threads(static_cast<int>(state.range(0)));
    auto inspected = inspector().getCurrentThreadsWithStackTrace();
    DuviduDebugImageProvider provider;
    size_t images = 0;
    for (auto _ : state) images = provider.getDebugImagesForThreads(inspected, false).size();
    state.counters["images"] = static_cast<double>(images);
}
BENCHMARK(BM_GetDebugImagesForThreads)->Arg(10)->Unit(benchmark::kMicrosecond);

}  // namespace
