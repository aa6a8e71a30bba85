#pragma once

#include <cstdint>

#include "compute/TensorType.h"

namespace recognizer {

float fp16ToFp32(uint16_t h);
uint16_t fp32ToFp16(float f);  // round to nearest even
void convertFp16ToFp32(const uint16_t* src, float* dst, int64_t n);
void convertFp32ToFp16(const float* src, uint16_t* dst, int64_t n);

// Expands n values (a whole number of blocks) of any type to f32.
void dequantizeRow(TensorType type, const void* src, float* dst, int64_t n);
// Stores n f32 values in `type` with the reference quantizers (used to write model files and in tests).
void quantizeRow(TensorType type, const float* src, void* dst, int64_t n);

}  // namespace recognizer
