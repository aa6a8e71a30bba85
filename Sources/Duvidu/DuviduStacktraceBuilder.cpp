#include "Duvidu/DuviduStacktraceBuilder.h"

#include <algorithm>

#include "Duvidu/DuviduFrameRemover.h"
#include "DuviduCrash/Recording/DuviduCrashBinaryImageCache.h"
#include "DuviduCrash/Reporting/DuviduCrashProcessSymbols.h"

namespace duvidu {

DuviduStacktraceBuilder::DuviduStacktraceBuilder(
    std::shared_ptr<const DuviduCrashStackEntryMapper> crashStackEntryMapper)
    : crashStackEntryMapper_(std::move(crashStackEntryMapper))
{
}

DuviduStacktrace DuviduStacktraceBuilder::retrieveStacktraceFromCursor(DuviduCrashStackCursor stackCursor) const
{
    std::vector<DuviduFrame> frames;
    while (stackCursor.advanceCursor(&stackCursor)) {
        // The last frame made is the one before the marker; an entry that does not symbolicate makes none.
        if (stackCursor.stackEntry.address == kDuviduCrashAsyncMarkerAddress) {
            if (!frames.empty()) frames.back().stackStart = true;
        } else if (stackCursor.symbolicate(&stackCursor)) {
            DuviduCrashProcessSymbols::nameEntry(stackCursor.stackEntry, duviducrashsc_isExact(&stackCursor));
            frames.push_back(crashStackEntryMapper_->mapStackEntryWithCursor(stackCursor));
        }
    }
    return stacktraceFromInnermostFrames(std::move(frames));
}

DuviduStacktrace DuviduStacktraceBuilder::buildStackTraceFromStackEntries(const DuviduCrashStackEntry* entries,
                                                                          size_t amount) const
{
    std::vector<DuviduFrame> frames;
    frames.reserve(amount);
    for (size_t i = 0; i < amount; ++i) {
        if (entries[i].address == kDuviduCrashAsyncMarkerAddress) {
            if (!frames.empty()) frames.back().stackStart = true;
        } else {
            frames.push_back(crashStackEntryMapper_->duviduCrashStackEntryToDuviduFrame(entries[i]));
        }
    }
    return stacktraceFromInnermostFrames(std::move(frames));
}

DuviduStacktrace DuviduStacktraceBuilder::buildStacktraceForThread(pid_t thread,
                                                                  DuviduCrashMachineContext* context) const
{
    DuviduCrashBinaryImageCache::refresh();
    duviducrashmc_getContextForThread(thread, context, false);
    DuviduCrashStackCursor cursor;
    duviducrashsc_initWithMachineContext(&cursor, kMaxStackDepth, context);
    return retrieveStacktraceFromCursor(cursor);
}

DuviduStacktrace DuviduStacktraceBuilder::buildStacktraceForCurrentThread() const
{
    DuviduCrashBinaryImageCache::refresh();
    DuviduCrashStackCursor cursor;
    duviducrashsc_initSelfThread(&cursor, 1);
    return retrieveStacktraceFromCursor(cursor);
}

DuviduStacktrace DuviduStacktraceBuilder::buildStacktraceForCurrentThreadAsyncUnsafe() const
{
    DuviduCrashBinaryImageCache::refresh();
    DuviduCrashStackCursor cursor;
    duviducrashsc_initSelfThread(&cursor, 1);
    cursor.symbolicate = duviducrashsc_symbolicateAsyncUnsafe;
    return retrieveStacktraceFromCursor(cursor);
}

DuviduStacktrace DuviduStacktraceBuilder::stacktraceFromInnermostFrames(std::vector<DuviduFrame> frames) const
{
    frames = DuviduFrameRemover::removeNonSdkFrames(frames);
    std::reverse(frames.begin(), frames.end());
    return DuviduStacktrace(std::move(frames), {});
}

}  // namespace duvidu
