#pragma once

#include <memory>
#include <optional>

#include "platform/CaptureDevice.h"
#include "platform/CaptureFailure.h"
#include "platform/CaptureOutput.h"

// Capture from one device into one output. Set up in order: makeInput, addInput, addOutput, startRunning.
// Destroying a running session stops it; it must not be destroyed from its own capture thread.
class CaptureSession {
public:
    virtual ~CaptureSession() = default;

    // Prepares an input on `device`: nullopt, or why no input can be made for it.
    virtual std::optional<CaptureFailure> makeInput(const CaptureDevice& device) = 0;
    // Attaches the prepared input; false when there is none or the device offers no format that can be captured.
    virtual bool addInput() = 0;
    // Attaches the output that receives the buffers; false without an input or when an output is already attached.
    virtual bool addOutput(std::shared_ptr<CaptureOutput> output) = 0;
    // Starts capture: nullopt once buffers are on their way, else why it did not start.
    virtual std::optional<CaptureFailure> startRunning() = 0;
    // Stops capture; no buffer is delivered after it returns.
    virtual void stopRunning() = 0;
    virtual bool isRunning() const = 0;
};
