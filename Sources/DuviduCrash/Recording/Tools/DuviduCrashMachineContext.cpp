#include "DuviduCrash/Recording/Tools/DuviduCrashMachineContext.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "Duvidu/DuviduLog.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashBacktrace.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashThread.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashThreadSampler.h"

namespace duvidu {

namespace {

// The thread list of a suspended environment; guarded by the sampler's lock.
pid_t g_suspendedThreads[DuviduCrashThreadSampler::kMaxThreads];

void fillThreadList(DuviduCrashMachineContext* context)
{
    constexpr int kMax = DuviduCrashMachineContext::kMaxThreads;
    int total = duviducrashthread_listThreads(context->allThreads, kMax);
    if (total < 0) total = 0;
    if (total > kMax) {
        DUVIDU_LOG_ERROR("Thread count " + std::to_string(total) + " is higher than maximum of " +
                         std::to_string(kMax));
        bool kept = false;
        for (int i = 0; i < kMax && !kept; ++i) kept = context->allThreads[i] == context->thisThread;
        if (!kept) context->allThreads[kMax - 1] = context->thisThread;
        total = kMax;
    }
    context->threadCount = total;
}

}  // namespace

size_t duviducrashmc_contextSize()
{
    return sizeof(DuviduCrashMachineContext);
}

void duviducrashmc_getContextForThread(pid_t thread, DuviduCrashMachineContext* context, bool isCrashedContext)
{
    std::memset(context, 0, sizeof *context);
    context->thisThread = thread;
    context->isCurrentThread = thread == duviducrashthread_self();
    context->isCrashedContext = isCrashedContext;
    constexpr int kDepth = DuviduCrashMachineContext::kMaxStackDepth;
    if (context->isCurrentThread) {
        context->backtraceLength = duviducrashbt_backtraceSelf(context->backtrace, kDepth);
    } else if (DuviduCrashThreadSampler::isHeldByCallingThread()) {
        context->backtraceLength = DuviduCrashThreadSampler::addressesOfThread(thread, context->backtrace, kDepth);
    } else {
        DuviduCrashThreadSampler::lock();
        DuviduCrashThreadSampler::sampleThreads(&thread, 1);
        context->backtraceLength = DuviduCrashThreadSampler::addressesOfThread(thread, context->backtrace, kDepth);
        DuviduCrashThreadSampler::unlock();
    }
    if (isCrashedContext) fillThreadList(context);
}

void duviducrashmc_suspendEnvironment_upToMaxSupportedThreads(pid_t** suspendedThreads, int* numSuspendedThreads,
                                                              int maxSupportedThreads)
{
    *suspendedThreads = nullptr;
    *numSuspendedThreads = 0;
    DuviduCrashThreadSampler::lock();
    int total = duviducrashthread_listThreads(g_suspendedThreads, DuviduCrashThreadSampler::kMaxThreads);
    if (total < 0) {
        int error = errno;
        DuviduCrashThreadSampler::unlock();
        DUVIDU_LOG_ERROR(std::string("task_threads: ") + std::strerror(error));
        return;
    }
    if (total > maxSupportedThreads || total > DuviduCrashThreadSampler::kMaxThreads) {
        DuviduCrashThreadSampler::unlock();
        return;
    }
    DuviduCrashThreadSampler::sampleThreads(g_suspendedThreads, total);
    *suspendedThreads = g_suspendedThreads;
    *numSuspendedThreads = total;
}

void duviducrashmc_resumeEnvironment(pid_t* threads, int numThreads)
{
    if (!threads || numThreads == 0) {
        DUVIDU_LOG_DEBUG("we should call duviducrashmc_suspendEnvironment() first");
        return;
    }
    DuviduCrashThreadSampler::unlock();
}

}  // namespace duvidu
