#pragma once

// The ways `duvidu-cli crash` ends the process, one function each, kept out of line and unchanged by the optimiser
// (no clones with other names), so that each is the innermost frame of its crash report under its own name. The
// crash tests' helper program uses them too.

#include <signal.h>
#include <sys/mman.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

// GCC may clone a function under another name unless told noipa; clang does not clone, and knows only noinline.
#if defined(__clang__)
#define DUVIDU_CLI_FAULT __attribute__((noinline))
#else
#define DUVIDU_CLI_FAULT __attribute__((noipa))
#endif

extern "C" {

// A store to a page without access: the optimiser may drop a plain null store, or turn it into a trap.
inline DUVIDU_CLI_FAULT void duviduCliFaultSegv()
{
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 42;
}

inline DUVIDU_CLI_FAULT void duviduCliFaultAbort()
{
    std::abort();
}

// Uncaught, it ends the process through std::terminate.
inline DUVIDU_CLI_FAULT void duviduCliFaultThrow()
{
    throw std::runtime_error("duvidu-cli gave up");
}

// A breakpoint trap: SIGTRAP.
inline DUVIDU_CLI_FAULT void duviduCliFaultTrap()
{
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("int3");
#elif defined(__aarch64__)
    asm volatile("brk #0");
#else
    raise(SIGTRAP);
#endif
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winfinite-recursion"
// Recurses until the stack is gone.
inline DUVIDU_CLI_FAULT int duviduCliFaultOverflow(int depth)
{
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    // Adding after the call keeps it from becoming a loop.
    return duviduCliFaultOverflow(depth + 1) + frame[0];
}
#pragma GCC diagnostic pop

}  // extern "C"

// Faults as named: segv, abort, terminate, overflow or trap. Returns false, doing nothing, for any other name.
inline bool duviduCliFault(const std::string& how)
{
    if (how == "segv") duviduCliFaultSegv();
    else if (how == "abort") duviduCliFaultAbort();
    else if (how == "terminate") duviduCliFaultThrow();
    else if (how == "overflow") duviduCliFaultOverflow(0);
    else if (how == "trap") duviduCliFaultTrap();
    else return false;
    return true;
}
