#include "DuviduCrash/Recording/Tools/DuviduCrashStackCursor.h"

#include <dlfcn.h>

#include <atomic>
#include <cstring>

#include "DuviduCrash/Recording/DuviduCrashBinaryImageCache.h"
#include "DuviduCrash/Recording/Tools/DuviduCrashBacktrace.h"

namespace duvidu {

namespace {

// The context words of a cursor over a list of addresses. The list lies either in the cursor itself (the calling
// thread's, so that a copy of the cursor stays whole) or in a machine context.
enum Word { kList = 0, kLength = 1, kIndex = 2, kMaxDepth = 3, kFirstIsExact = 4, kInline = 3 };
constexpr int kInlineCapacity = 100 - kInline;  // 97

const char* const kAsyncMarkerSymbol = "__duviducrash__async_marker__";

uintptr_t word(const DuviduCrashStackCursor* cursor, Word index)
{
    return reinterpret_cast<uintptr_t>(cursor->context[index]);
}

void setWord(DuviduCrashStackCursor* cursor, Word index, uintptr_t value)
{
    cursor->context[index] = reinterpret_cast<void*>(value);
}

bool resetCursor(DuviduCrashStackCursor* cursor)
{
    std::memset(&cursor->stackEntry, 0, sizeof cursor->stackEntry);
    cursor->state.currentDepth = 0;
    cursor->state.hasGivenUp = false;
    setWord(cursor, kIndex, 0);
    return true;
}

bool advanceCursor(DuviduCrashStackCursor* cursor)
{
    const uintptr_t index = word(cursor, kIndex);
    const auto* list = reinterpret_cast<const uintptr_t*>(cursor->context[kList]);
    const uintptr_t maxDepth = list ? word(cursor, kMaxDepth) : kInlineCapacity;
    if (index >= word(cursor, kLength) || index >= maxDepth) return false;
    const uintptr_t address = list ? list[index] : reinterpret_cast<uintptr_t>(cursor->context[kInline + index]);
    std::memset(&cursor->stackEntry, 0, sizeof cursor->stackEntry);
    cursor->stackEntry.address = address;
    cursor->state.currentDepth++;
    setWord(cursor, kIndex, index + 1);
    return true;
}

// The address to name: a return address points just past its call, which may already be the next function.
uintptr_t lookupAddress(const DuviduCrashStackCursor* cursor)
{
    const uintptr_t address = cursor->stackEntry.address;
    return duviducrashsc_isExact(cursor) || address == 0 ? address : address - 1;
}

bool symbolicateAsyncMarker(DuviduCrashStackCursor* cursor)
{
    if (cursor->stackEntry.address != kDuviduCrashAsyncMarkerAddress) return false;
    cursor->stackEntry.symbolName = kAsyncMarkerSymbol;
    return true;
}

void initCursor(DuviduCrashStackCursor* cursor)
{
    std::memset(cursor, 0, sizeof *cursor);
    cursor->resetCursor = resetCursor;
    cursor->advanceCursor = advanceCursor;
    cursor->symbolicate = duviducrashsc_symbolicate;
}

}  // namespace

namespace {
std::atomic<bool> swiftAsyncStitching{false};
}  // namespace

void duviducrashsc_setSwiftAsyncStitching(bool enabled)
{
    swiftAsyncStitching.store(enabled);
}

bool duviducrashsc_swiftAsyncStitching()
{
    return swiftAsyncStitching.load();
}

__attribute__((noinline)) void duviducrashsc_initSelfThread(DuviduCrashStackCursor* cursor, int skipEntries)
{
    initCursor(cursor);
    uintptr_t addresses[kInlineCapacity];
    int count = duviducrashbt_backtraceSelf(addresses, kInlineCapacity);
    // The walk's first entry is the return address into this function.
    int skip = (skipEntries < 0 ? 0 : skipEntries) + 1;
    int kept = 0;
    for (int i = skip; i < count; ++i) cursor->context[kInline + kept++] = reinterpret_cast<void*>(addresses[i]);
    setWord(cursor, kLength, static_cast<uintptr_t>(kept));
}

void duviducrashsc_initWithMachineContext(DuviduCrashStackCursor* cursor, int maxStackDepth,
                                          const DuviduCrashMachineContext* machineContext)
{
    initCursor(cursor);
    cursor->context[kList] = const_cast<uintptr_t*>(machineContext->backtrace);
    setWord(cursor, kLength, static_cast<uintptr_t>(machineContext->backtraceLength));
    setWord(cursor, kMaxDepth, maxStackDepth < 0 ? 0 : static_cast<uintptr_t>(maxStackDepth));
    // Another thread's stack begins where the signal interrupted it, not at a return address.
    setWord(cursor, kFirstIsExact, machineContext->isCurrentThread ? 0 : 1);
}

bool duviducrashsc_isExact(const DuviduCrashStackCursor* cursor)
{
    return cursor->state.currentDepth == 1 && word(cursor, kFirstIsExact) != 0;
}

bool duviducrashsc_symbolicate(DuviduCrashStackCursor* cursor)
{
    if (symbolicateAsyncMarker(cursor)) return true;
    const uintptr_t address = lookupAddress(cursor);
    const auto* image = DuviduCrashBinaryImageCache::imageContaining(DuviduCrashBinaryImageCache::current(), address);
    if (!image) return false;
    cursor->stackEntry.imageName = image->record.name;
    cursor->stackEntry.imageAddress = image->record.address;
    const char* name = nullptr;
    uintptr_t start = 0;
    if (DuviduCrashBinaryImageCache::symbolContaining(*image, address, &name, &start)) {
        cursor->stackEntry.symbolName = name;
        cursor->stackEntry.symbolAddress = start;
    }
    return true;
}

bool duviducrashsc_symbolicateAsyncUnsafe(DuviduCrashStackCursor* cursor)
{
    if (symbolicateAsyncMarker(cursor)) return true;
    const uintptr_t address = lookupAddress(cursor);
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(address), &info) == 0) return false;
    // The image as the image list names it, so that frames and debug images agree; the linker's name for the main
    // program is only how it was started.
    const auto* image = DuviduCrashBinaryImageCache::imageContaining(DuviduCrashBinaryImageCache::current(), address);
    cursor->stackEntry.imageName = image ? image->record.name : info.dli_fname;
    cursor->stackEntry.imageAddress = image ? image->record.address : reinterpret_cast<uintptr_t>(info.dli_fbase);
    cursor->stackEntry.symbolName = info.dli_sname;
    cursor->stackEntry.symbolAddress = reinterpret_cast<uintptr_t>(info.dli_saddr);
    return true;
}

}  // namespace duvidu
