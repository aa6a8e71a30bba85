#pragma once

#include <cstdint>

namespace recognizer {

// Activation rows quantized to 8 bits for products with quantized weights, so that those products multiply integers.
// Every block of 32 values becomes 32 codes in [-127, 127] and a scale (value ~ code * scale), plus the block's sum
// (scale * the sum of its codes), which carries the weights' offsets. Rows of `cols` values, a whole number of blocks:
// row i's codes start at codes + i * cols, its scales and sums at scales + i * cols / 32 and sums + i * cols / 32.
struct ActivationBlocks {
    const int8_t* codes;
    const float* scales;
    const float* sums;
};

}  // namespace recognizer
