#pragma once

#include <sys/types.h>

#include <cstddef>

namespace duvidu {

// A thread of this process is named by its kernel thread id. Everything here is safe in a signal handler: plain
// system calls on /proc, no allocation, no lock.

// The calling thread's id.
pid_t duviducrashthread_self();

// True for the process's main thread, the one whose id is the process id.
bool duviducrashthread_isMainThread(pid_t thread);

// Writes up to capacity thread ids of this process, in the kernel's order (the main thread first), and returns how
// many threads there are, which may be more than were written (a capacity of 0 only counts them); -1 when the list
// cannot be read.
int duviducrashthread_listThreads(pid_t* threads, int capacity);

// Writes the thread's name (at most 15 bytes), NUL-terminated; false, leaving the buffer as it was, when it cannot be
// read or does not fit.
bool duviducrashthread_getThreadName(pid_t thread, char* buffer, size_t length);

// True when the thread would not run a handler for the signal now: it blocks the signal, the signal is already
// pending for it, or its state cannot be read (it has ended).
bool duviducrashthread_isSignalHeldOff(pid_t thread, int signal);

}  // namespace duvidu
