#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace recognizer {

// Grow-only float storage aligned to a cache line. Kept per thread, so that steady-state products allocate nothing.
class ScratchBuffer {
public:
    ScratchBuffer() = default;
    ~ScratchBuffer() { std::free(data_); }
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;

    // At least n floats; the contents are unspecified after growth.
    float* get(size_t n) {
        if (n > capacity_) {
            std::free(data_);
            data_ = nullptr;
            const size_t bytes = (n * sizeof(float) + 63) / 64 * 64;
            data_ = static_cast<float*>(std::aligned_alloc(64, bytes));
            if (!data_) {
                capacity_ = 0;
                throw std::bad_alloc();
            }
            capacity_ = bytes / sizeof(float);
        }
        return data_;
    }

private:
    float* data_ = nullptr;
    size_t capacity_ = 0;
};

}  // namespace recognizer
