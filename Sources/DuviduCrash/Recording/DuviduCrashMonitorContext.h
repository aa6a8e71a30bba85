#pragma once

#include <sys/types.h>

#include <cstdint>

namespace duvidu {

enum class DuviduCrashType {
    // A fatal signal: a bad memory access, an illegal instruction, an abort, a trap.
    Signal,
    // An uncaught C++ exception; the process then ends by SIGABRT.
    CPPException,
};

// What a monitor knows of a crash when it hands it to the report writer. Texts and addresses are borrowed for the
// duration of the call.
struct DuviduCrashMonitorContext {
    DuviduCrashType crashType = DuviduCrashType::Signal;
    pid_t crashedThread = 0;
    // The signal that ends the process, with its si_code and the faulting address (0 when none).
    int signal = 0;
    int signalCode = 0;
    uintptr_t faultAddress = 0;
    // For C++ exceptions: the demangled type and what() (either may be missing).
    const char* exceptionType = nullptr;
    const char* exceptionReason = nullptr;
    // The crashed thread's stack, innermost first. The first address is exact (an interrupted instruction) or,
    // like the others, a return address.
    const uintptr_t* backtrace = nullptr;
    int backtraceLength = 0;
    bool firstAddressIsExact = false;
};

}  // namespace duvidu
