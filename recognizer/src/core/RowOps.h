#pragma once

#include <algorithm>
#include <cstdint>

#include "compute/ThreadPool.h"

namespace recognizer {

// Runs fn(begin, end) over [0, n) split into contiguous ranges on the pool; small jobs stay on the calling thread,
// where waking the workers would cost more than the work.
template <class F>
void parallelRanges(ThreadPool& pool, int64_t n, int64_t costPerItem, F&& fn) {
    if (n <= 0) return;
    if (n * costPerItem < 65536 || pool.size() == 1) {
        fn(int64_t{0}, n);
        return;
    }
    pool.run([&](int ith, int nth) {
        const int64_t chunk = (n + nth - 1) / nth;
        const int64_t begin = std::min(n, ith * chunk), end = std::min(n, begin + chunk);
        if (begin < end) fn(begin, end);
    });
}

}  // namespace recognizer
