#pragma once

#include <sys/types.h>

#include <cstdint>

namespace duvidu {

// Reads the stacks of other threads of this process. A real-time signal interrupts each thread; its handler walks
// the thread's own stack into a slot reserved for it beforehand, wakes the sampler and returns, so a thread is held
// only while it walks its own stack. The sampler waits for the answers until a deadline: a thread that blocks the
// signal, has ended or does not answer in time keeps no stack. The handler allocates nothing, takes no lock of its
// own and leaves errno as it found it.
class DuviduCrashThreadSampler {
public:
    static constexpr int kMaxThreads = 100;
    static constexpr int kMaxAddresses = 150;

    DuviduCrashThreadSampler() = delete;

    // One sampling at a time in the process: the lock is held from before the sampling until its addresses have
    // been read.
    static void lock();
    static void unlock();
    static bool isHeldByCallingThread();

    // With the lock held: interrupts every listed thread except the caller at the same time (at most kMaxThreads)
    // and keeps what each one's stack holds, until the next sampling.
    static void sampleThreads(const pid_t* threads, int count);
    // With the lock held: the return addresses the last sampling kept for the thread, innermost first, starting with
    // the interrupted instruction; returns how many were written (0 when none were kept).
    static int addressesOfThread(pid_t thread, uintptr_t* addresses, int capacity);

    // The real-time signal the sampler sends; 0 when no free one was found.
    static int signalNumber();
};

}  // namespace duvidu
