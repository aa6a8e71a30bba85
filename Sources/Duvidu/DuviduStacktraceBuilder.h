#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>

#include "Duvidu/DuviduCrashStackEntryMapper.h"
#include "Duvidu/DuviduStacktrace.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashMachineContext.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashStackCursor.h"

namespace duvidu {

// Builds stack traces from the crash core's cursors and saved entries: outermost call first, the SDK's own frames
// taken off the inner end, no registers.
class DuviduStacktraceBuilder {
public:
    static constexpr int kMaxStackDepth = 100;

    // ObjC: -[DuviduStacktraceBuilder initWithCrashStackEntryMapper:]
    explicit DuviduStacktraceBuilder(std::shared_ptr<const DuviduCrashStackEntryMapper> crashStackEntryMapper);

    const std::shared_ptr<const DuviduCrashStackEntryMapper>& crashStackEntryMapper() const
    {
        return crashStackEntryMapper_;
    }

    // ObjC: -[DuviduStacktraceBuilder retrieveStacktraceFromCursor:] — every entry that symbolicates becomes a frame,
    // named from its image's file (DuviduCrashProcessSymbols); the asynchronous-task marker makes none but marks the
    // frame before it as a stack start. Cursors walk this process's stacks.
    DuviduStacktrace retrieveStacktraceFromCursor(DuviduCrashStackCursor stackCursor) const;
    // ObjC: -[DuviduStacktraceBuilder buildStackTraceFromStackEntries:amount:] — the same over entries that were
    // symbolicated (and named) when they were saved.
    DuviduStacktrace buildStackTraceFromStackEntries(const DuviduCrashStackEntry* entries, size_t amount) const;
    // ObjC: -[DuviduStacktraceBuilder buildStacktraceForThread:context:]
    DuviduStacktrace buildStacktraceForThread(pid_t thread, DuviduCrashMachineContext* context) const;
    // ObjC: -[DuviduStacktraceBuilder buildStacktraceForCurrentThread] — safe to symbolicate anywhere.
    DuviduStacktrace buildStacktraceForCurrentThread() const;
    // ObjC: -[DuviduStacktraceBuilder buildStacktraceForCurrentThreadAsyncUnsafe] — names every exported symbol
    // through the dynamic linker; never from a signal handler.
    DuviduStacktrace buildStacktraceForCurrentThreadAsyncUnsafe() const;

private:
    DuviduStacktrace stacktraceFromInnermostFrames(std::vector<DuviduFrame> frames) const;

    std::shared_ptr<const DuviduCrashStackEntryMapper> crashStackEntryMapper_;
};

}  // namespace duvidu
