#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/CaptureDevice.h"
#include "platform/CaptureSession.h"

// The platform's audio capture: its devices, the permission to record, and sessions.
class CaptureBackend {
public:
    enum class Authorization { notDetermined, restricted, denied, authorized };

    virtual ~CaptureBackend() = default;

    virtual std::optional<CaptureDevice> defaultDevice() = 0;
    virtual std::optional<CaptureDevice> device(const std::string& uniqueID) = 0;
    virtual Authorization authorizationStatus() = 0;
    // Asks for access and waits for the answer. Asks the user only when the status is not determined.
    virtual bool requestAccess() = 0;
    virtual std::unique_ptr<CaptureSession> makeSession() = 0;
};
