#pragma once

#include <cstdint>

#include "DuviduCrash/Recording/Tools/DuviduCrashMachineContext.h"

namespace duvidu {

// One frame of a walked stack.
struct DuviduCrashStackEntry {
    uint64_t address;
    const char* imageName;
    uint64_t imageAddress;
    const char* symbolName;
    uint64_t symbolAddress;
};

// The address that separates the frames of an asynchronous task from those of the code that started it; never a
// frame itself.
constexpr uint64_t kDuviduCrashAsyncMarkerAddress = static_cast<uint64_t>(int64_t{-1235});

// A walk over a stack, one entry at a time. It owns no memory and is passed by value; a cursor over a machine
// context reads that context, which must outlive it.
struct DuviduCrashStackCursor {
    DuviduCrashStackEntry stackEntry;
    struct {
        int32_t currentDepth;
        bool hasGivenUp;
    } state;
    // Back to the first entry.
    bool (*resetCursor)(DuviduCrashStackCursor*);
    // To the next entry; false at the end of the stack or at the depth limit.
    bool (*advanceCursor)(DuviduCrashStackCursor*);
    // Fills the image and symbol of the current entry; false when the address lies in no known image.
    bool (*symbolicate)(DuviduCrashStackCursor*);
    void* context[100];
};

// Whether the calling thread's backtrace stitches in the frames of the asynchronous tasks that led to it. Linux has
// no task-aware backtrace, so the flag is kept for the integration that sets it and changes no walk.
void duviducrashsc_setSwiftAsyncStitching(bool enabled);
bool duviducrashsc_swiftAsyncStitching();

// A cursor over the calling thread's stack, at most 97 return addresses, the cursor's own frame and skipEntries more
// left out. Its symbolication is the signal-safe one.
void duviducrashsc_initSelfThread(DuviduCrashStackCursor* cursor, int skipEntries);

// A cursor over the stack saved in the context, up to maxStackDepth entries, with the signal-safe symbolication.
void duviducrashsc_initWithMachineContext(DuviduCrashStackCursor* cursor, int maxStackDepth,
                                          const DuviduCrashMachineContext* machineContext);

// Whether the current entry's address is where its thread stands, not a return address: the first entry of a walk
// over another thread's context.
bool duviducrashsc_isExact(const DuviduCrashStackCursor* cursor);

// Symbolication from the crash core's image list: the image from its mapped span, the symbol from its exported
// functions. Safe in a signal handler; the list is brought up to date by DuviduCrashBinaryImageCache::refresh.
bool duviducrashsc_symbolicate(DuviduCrashStackCursor* cursor);

// Symbolication through the dynamic linker's own lookup; it takes the linker's lock, so it is never for a signal
// handler. False when the linker knows no image for the address.
bool duviducrashsc_symbolicateAsyncUnsafe(DuviduCrashStackCursor* cursor);

}  // namespace duvidu
