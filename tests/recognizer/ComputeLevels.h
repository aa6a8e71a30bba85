#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "compute/Kernels.h"

// Runs body once per kernel level this CPU supports (portable, AVX2, AVX-512), so that the SIMD paths a smaller
// machine would take are checked here too. The best level is back in place afterwards.
template <class F>
void forEachKernelLevel(F&& body) {
    using recognizer::KernelLevel;
    const KernelLevel best = recognizer::supportedKernelLevel();
    for (int l = 0; l <= int(best); ++l) {
        const KernelLevel level = recognizer::selectKernelLevel(KernelLevel(l));
        SCOPED_TRACE(testing::Message() << "kernel level " << l);
        body(level);
    }
    recognizer::selectKernelLevel(best);
}
