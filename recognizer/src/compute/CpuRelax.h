#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#else
#include <thread>
#endif

namespace recognizer {

// One step of a spin loop that waits for another thread: lets the core's other hardware thread run and keeps the loop
// from flooding the memory system with loads of the awaited value.
inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace recognizer
