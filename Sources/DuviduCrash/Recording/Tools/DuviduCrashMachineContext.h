#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace duvidu {

// What the crash core knows of one thread at one moment: its stack as return addresses and, for a crashed context,
// the list of the process's threads. A plain value that callers reserve on their own stack.
struct DuviduCrashMachineContext {
    static constexpr int kMaxThreads = 100;
    static constexpr int kMaxStackDepth = 150;

    pid_t thisThread;
    bool isCurrentThread;
    bool isCrashedContext;
    int threadCount;
    pid_t allThreads[kMaxThreads];
    int backtraceLength;
    uintptr_t backtrace[kMaxStackDepth];
};

size_t duviducrashmc_contextSize();

// Clears the context and records the thread and whether it is the calling thread. The calling thread's stack is
// walked directly; another thread's stack comes from the sampling of the suspended environment when the caller holds
// one, else from a sampling of that thread alone. With isCrashedContext the process's threads are listed too: at
// most 100, more are cut to 100 and logged, the context's own thread always kept.
void duviducrashmc_getContextForThread(pid_t thread, DuviduCrashMachineContext* context, bool isCrashedContext);

// Lists the process's threads into *suspendedThreads (storage that lives until the resume). With at most
// maxSupportedThreads threads every other thread's stack is taken at once, and the environment stays held for the
// caller until duviducrashmc_resumeEnvironment; with more, nothing is taken and the count is 0. A listing that fails
// is logged and gives 0 too.
void duviducrashmc_suspendEnvironment_upToMaxSupportedThreads(pid_t** suspendedThreads, int* numSuspendedThreads,
                                                              int maxSupportedThreads);

// Releases what the suspension holds; with no list or a count of 0 it only logs.
void duviducrashmc_resumeEnvironment(pid_t* threads, int numThreads);

}  // namespace duvidu
