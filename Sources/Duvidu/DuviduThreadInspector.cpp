#include "Duvidu/DuviduThreadInspector.h"

#include "Duvidu/DuviduCrashDefaultMachineContextWrapper.h"
#include "Duvidu/DuviduUTF8.h"
#include "DuviduCrash/Recording/DuviduCrashBinaryImageCache.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashThread.h"
#include "DuviduCrash/Reporting/DuviduCrashProcessSymbols.h"

namespace duvidu {

DuviduThreadInspector::DuviduThreadInspector(std::shared_ptr<const DuviduStacktraceBuilder> stacktraceBuilder,
                                             std::shared_ptr<DuviduCrashMachineContextWrapper> machineContextWrapper)
    : stacktraceBuilder_(std::move(stacktraceBuilder)), machineContextWrapper_(std::move(machineContextWrapper))
{
}

DuviduThreadInspector::DuviduThreadInspector(const DuviduOptions& options)
    : DuviduThreadInspector(
          std::make_shared<DuviduStacktraceBuilder>(std::make_shared<DuviduCrashStackEntryMapper>(
              std::make_shared<DuviduInAppLogic>(options.inAppIncludes(), options.inAppExcludes()))),
          std::make_shared<DuviduCrashDefaultMachineContextWrapper>())
{
}

DuviduStacktrace DuviduThreadInspector::stacktraceForCurrentThreadAsyncUnsafe() const
{
    return stacktraceBuilder_->buildStacktraceForCurrentThreadAsyncUnsafe();
}

void DuviduThreadInspector::placeThread(std::vector<DuviduThread>& threads, DuviduThread thread)
{
    if (thread.isMain.value_or(false))
        threads.insert(threads.begin(), std::move(thread));
    else
        threads.push_back(std::move(thread));
}

std::vector<DuviduThread> DuviduThreadInspector::getCurrentThreads()
{
    DuviduCrashMachineContext context;
    machineContextWrapper_->fillContextForCurrentThread(&context);
    const int count = machineContextWrapper_->getThreadCount(&context);
    const pid_t self = duviducrashthread_self();
    std::vector<DuviduThread> threads;
    threads.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const pid_t thread = machineContextWrapper_->getThread(&context, i);
        DuviduThread value(i);
        value.isMain = machineContextWrapper_->isMainThread(thread);
        value.name = getThreadName(thread);
        value.crashed = false;
        value.current = thread == self;
        if (thread == self) value.stacktrace = stacktraceBuilder_->buildStacktraceForCurrentThread();
        placeThread(threads, std::move(value));
    }
    return threads;
}

std::vector<DuviduThread> DuviduThreadInspector::getCurrentThreadsWithStackTrace()
{
    std::lock_guard lock(mutex_);
    // Everything the walk needs is made before any thread is interrupted.
    if (!savedThreads_) savedThreads_ = std::make_unique<SavedThread[]>(kMaxThreadsToSuspend);
    DuviduCrashBinaryImageCache::refresh();
    DuviduCrashMachineContext context;
    const pid_t self = duviducrashthread_self();

    pid_t* suspended = nullptr;
    int count = 0;
    duviducrashmc_suspendEnvironment_upToMaxSupportedThreads(&suspended, &count, kMaxThreadsToSuspend);
    for (int i = 0; i < count; ++i) {
        SavedThread& saved = savedThreads_[i];
        saved.thread = suspended[i];
        saved.stackLength = saved.thread == self ? 0
                                                 : getStackEntriesFromThread(saved.thread, &context,
                                                                             saved.stackEntries, kMaxFramesPerThread);
    }
    duviducrashmc_resumeEnvironment(suspended, count);
    // Named from the images' files only now: that may read files and take locks. The first saved entry is where its
    // thread was interrupted.
    for (int i = 0; i < count; ++i) {
        for (int k = 0; k < savedThreads_[i].stackLength; ++k)
            DuviduCrashProcessSymbols::nameEntry(savedThreads_[i].stackEntries[k], k == 0);
    }

    std::vector<DuviduThread> threads;
    threads.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const SavedThread& saved = savedThreads_[i];
        DuviduThread value(i);
        // Main by the same test that places it first, so that the two never disagree.
        value.isMain = machineContextWrapper_->isMainThread(saved.thread);
        value.name = getThreadName(saved.thread);
        value.crashed = false;
        value.current = saved.thread == self;
        value.stacktrace =
            saved.thread == self
                ? stacktraceBuilder_->buildStacktraceForCurrentThread()
                : stacktraceBuilder_->buildStackTraceFromStackEntries(saved.stackEntries,
                                                                       static_cast<size_t>(saved.stackLength));
        placeThread(threads, std::move(value));
    }
    return threads;
}

int DuviduThreadInspector::getStackEntriesFromThread(pid_t thread, DuviduCrashMachineContext* context,
                                                     DuviduCrashStackEntry* buffer, int capacity) const
{
    duviducrashmc_getContextForThread(thread, context, false);
    DuviduCrashStackCursor cursor;
    duviducrashsc_initWithMachineContext(&cursor, DuviduStacktraceBuilder::kMaxStackDepth, context);
    if (capacity <= 0 || !cursor.advanceCursor(&cursor)) return 0;
    int count = 0;
    do {
        if (cursor.symbolicate(&cursor)) buffer[count++] = cursor.stackEntry;
    } while (count < capacity && cursor.advanceCursor(&cursor));
    return count;
}

std::string DuviduThreadInspector::getThreadName(pid_t thread)
{
    char buffer[kThreadNameLength] = {};
    if (!machineContextWrapper_->getThreadName(thread, buffer, kThreadNameLength)) return "";
    buffer[kThreadNameLength - 1] = '\0';
    return duvidu_isValidUTF8(buffer) ? std::string(buffer) : std::string();
}

}  // namespace duvidu
