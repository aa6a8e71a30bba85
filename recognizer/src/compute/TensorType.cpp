#include "compute/TensorType.h"

namespace recognizer {

bool isKnownTensorType(int32_t id) {
    switch (id) {
        case 0: case 1: case 2: case 3: case 6: case 7: case 8:
            return true;
        default:
            return false;
    }
}

const char* tensorTypeName(TensorType type) {
    switch (type) {
        case TensorType::F32: return "f32";
        case TensorType::F16: return "f16";
        case TensorType::Q4_0: return "q4_0";
        case TensorType::Q4_1: return "q4_1";
        case TensorType::Q5_0: return "q5_0";
        case TensorType::Q5_1: return "q5_1";
        case TensorType::Q8_0: return "q8_0";
    }
    return "unknown";
}

bool isQuantized(TensorType type) {
    return type != TensorType::F32 && type != TensorType::F16;
}

int64_t blockElements(TensorType type) {
    return isQuantized(type) ? 32 : 1;
}

size_t blockBytes(TensorType type) {
    switch (type) {
        case TensorType::F32: return 4;
        case TensorType::F16: return 2;
        case TensorType::Q4_0: return 18;
        case TensorType::Q4_1: return 20;
        case TensorType::Q5_0: return 22;
        case TensorType::Q5_1: return 24;
        case TensorType::Q8_0: return 34;
    }
    return 0;
}

size_t rowBytes(TensorType type, int64_t elements) {
    return static_cast<size_t>(elements / blockElements(type)) * blockBytes(type);
}

}  // namespace recognizer
