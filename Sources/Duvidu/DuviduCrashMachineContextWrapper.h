#pragma once

#include <sys/types.h>

#include <cstddef>

#include "DuviduCrash/Recording/Tools/DuviduCrashMachineContext.h"

namespace duvidu {

// How the thread inspector reaches the crash core's machine context; tests put fixed thread lists in its place.
class DuviduCrashMachineContextWrapper {
public:
    virtual ~DuviduCrashMachineContextWrapper() = default;

    // ObjC: -fillContextForCurrentThread: — the calling thread's context with the list of the process's threads.
    virtual void fillContextForCurrentThread(DuviduCrashMachineContext* context) = 0;
    // ObjC: -getThreadCount:
    virtual int getThreadCount(const DuviduCrashMachineContext* context) = 0;
    // ObjC: -getThread:withIndex:
    virtual pid_t getThread(const DuviduCrashMachineContext* context, int index) = 0;
    // ObjC: -getThreadName:andBuffer:andBufLength: — the name, NUL-terminated; false, with the buffer untouched,
    // when it cannot be read.
    virtual bool getThreadName(pid_t thread, char* buffer, int bufLength) = 0;
    // ObjC: -isMainThread:
    virtual bool isMainThread(pid_t thread) = 0;
};

}  // namespace duvidu
