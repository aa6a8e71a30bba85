#pragma once

#include <functional>
#include <utility>

#include "platform/CaptureFailure.h"
#include "platform/CapturedBuffer.h"

// The receiving end of a capture session. The session calls it on its own capture thread, one buffer at a time and in
// capture order; `fail` reports that capture stopped on its own (the device or the sound server went away) after it had
// started.
class CaptureOutput {
public:
    using BufferHandler = std::function<void(const CapturedBuffer&)>;
    using FailureHandler = std::function<void(const CaptureFailure& failure)>;

    CaptureOutput(BufferHandler onBuffer, FailureHandler onFailure)
        : onBuffer_(std::move(onBuffer)), onFailure_(std::move(onFailure)) {}

    void deliver(const CapturedBuffer& buffer) const {
        if (onBuffer_) onBuffer_(buffer);
    }
    void fail(const CaptureFailure& failure) const {
        if (onFailure_) onFailure_(failure);
    }

private:
    BufferHandler onBuffer_;
    FailureHandler onFailure_;
};
