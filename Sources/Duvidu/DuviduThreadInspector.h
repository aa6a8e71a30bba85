#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Duvidu/DuviduCrashMachineContextWrapper.h"
#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduStacktraceBuilder.h"
#include "Duvidu/DuviduThread.h"

namespace duvidu {

// Lists the process's threads for events, with the calling thread's stack or with every thread's stack.
class DuviduThreadInspector {
public:
    // At most this many threads are walked by getCurrentThreadsWithStackTrace; with more it gives no threads.
    static constexpr int kMaxThreadsToSuspend = 70;
    static constexpr int kMaxFramesPerThread = 100;
    static constexpr int kThreadNameLength = 128;

    // ObjC: -[DuviduThreadInspector initWithStacktraceBuilder:andMachineContextWrapper:]
    DuviduThreadInspector(std::shared_ptr<const DuviduStacktraceBuilder> stacktraceBuilder,
                          std::shared_ptr<DuviduCrashMachineContextWrapper> machineContextWrapper);
    // ObjC: -[DuviduThreadInspector initWithOptions:] — in-app logic from the options, the default machine context.
    explicit DuviduThreadInspector(const DuviduOptions& options);

    // ObjC: -[DuviduThreadInspector stacktraceForCurrentThreadAsyncUnsafe]
    DuviduStacktrace stacktraceForCurrentThreadAsyncUnsafe() const;
    // ObjC: -[DuviduThreadInspector getCurrentThreads] — every thread, the main thread first; only the calling thread
    // has a stack trace. Nothing is interrupted.
    std::vector<DuviduThread> getCurrentThreads();
    // ObjC: -[DuviduThreadInspector getCurrentThreadsWithStackTrace] — every thread with its stack trace, the main
    // thread first; none at all when the process has more than 70 threads. One caller at a time.
    std::vector<DuviduThread> getCurrentThreadsWithStackTrace();
    // ObjC: -[DuviduThreadInspector getThreadName:] — the empty text when the name cannot be read or is not UTF-8.
    std::string getThreadName(pid_t thread);

private:
    struct SavedThread {
        pid_t thread;
        DuviduCrashStackEntry stackEntries[kMaxFramesPerThread];
        int stackLength;
    };

    int getStackEntriesFromThread(pid_t thread, DuviduCrashMachineContext* context, DuviduCrashStackEntry* buffer,
                                  int capacity) const;
    static void placeThread(std::vector<DuviduThread>& threads, DuviduThread thread);

    std::shared_ptr<const DuviduStacktraceBuilder> stacktraceBuilder_;
    std::shared_ptr<DuviduCrashMachineContextWrapper> machineContextWrapper_;
    std::mutex mutex_;
    // Room for every thread that may be walked, made before the first walk and kept; guarded by mutex_.
    std::unique_ptr<SavedThread[]> savedThreads_;
};

}  // namespace duvidu
