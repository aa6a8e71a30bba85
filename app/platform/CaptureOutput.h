#pragma once

#include <functional>
#include <string>
#include <utility>

#include "platform/CapturedBuffer.h"

// The receiving end of a capture session. The session calls it on its own capture thread, one buffer at a time and in
// capture order; `fail` reports that capture stopped on its own (the device went away or broke) after it had started.
class CaptureOutput {
public:
    using BufferHandler = std::function<void(const CapturedBuffer&)>;
    using FailureHandler = std::function<void(const std::string& reason)>;

    CaptureOutput(BufferHandler onBuffer, FailureHandler onFailure)
        : onBuffer_(std::move(onBuffer)), onFailure_(std::move(onFailure)) {}

    void deliver(const CapturedBuffer& buffer) const {
        if (onBuffer_) onBuffer_(buffer);
    }
    void fail(const std::string& reason) const {
        if (onFailure_) onFailure_(reason);
    }

private:
    BufferHandler onBuffer_;
    FailureHandler onFailure_;
};
