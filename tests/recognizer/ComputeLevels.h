#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "compute/Kernels.h"

// Runs body once per kernel level this CPU supports (portable, AVX2, AVX-512), so that the SIMD paths a smaller
// machine would take are checked here too; with `vnni` also at the VNNI levels, which differ from the others only in
// the products of quantized weights. The best level is back in place afterwards.
template <class F>
void forEachKernelLevel(F&& body, bool vnni = false) {
    using recognizer::KernelLevel;
    for (KernelLevel level : {KernelLevel::Portable, KernelLevel::Avx2, KernelLevel::AvxVnni, KernelLevel::Avx512,
                              KernelLevel::Avx512Vnni}) {
        const bool dotProducts = level == KernelLevel::AvxVnni || level == KernelLevel::Avx512Vnni;
        if (!recognizer::kernelLevelSupported(level) || (dotProducts && !vnni)) continue;
        recognizer::selectKernelLevel(level);
        SCOPED_TRACE(testing::Message() << "kernel level " << recognizer::kernelLevelName(level));
        body(level);
    }
    recognizer::selectKernelLevel(recognizer::supportedKernelLevel());
}
