#pragma once

#include <cstddef>
#include <cstdint>

namespace recognizer {

// Element types of model tensors, numbered as they are stored in model files.
enum class TensorType : int32_t { F32 = 0, F16 = 1, Q4_0 = 2, Q4_1 = 3, Q5_0 = 6, Q5_1 = 7, Q8_0 = 8 };

bool isKnownTensorType(int32_t id);
const char* tensorTypeName(TensorType type);
bool isQuantized(TensorType type);
// Elements per storage block: 1 for f32 and f16, 32 for the quantized types.
int64_t blockElements(TensorType type);
size_t blockBytes(TensorType type);
// Bytes of a row of `elements` values; `elements` must be a whole number of blocks.
size_t rowBytes(TensorType type, int64_t elements);

}  // namespace recognizer
