#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "compute/Kernels.h"

// Runs body once per kernel level this CPU supports (portable, AVX2, AVX-512 and their VNNI variants), so that the
// SIMD paths a smaller machine would take are checked here too. The best level is back in place afterwards.
template <class F>
void forEachKernelLevel(F&& body) {
    using recognizer::KernelLevel;
    for (KernelLevel level : {KernelLevel::Portable, KernelLevel::Avx2, KernelLevel::AvxVnni, KernelLevel::Avx512,
                              KernelLevel::Avx512Vnni}) {
        if (!recognizer::kernelLevelSupported(level)) continue;
        recognizer::selectKernelLevel(level);
        SCOPED_TRACE(testing::Message() << "kernel level " << recognizer::kernelLevelName(level));
        body(level);
    }
    recognizer::selectKernelLevel(recognizer::supportedKernelLevel());
}
