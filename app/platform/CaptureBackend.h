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

    // The answer to a question about a device: the device, or none; when the sound server could not be asked (it is
    // not running, did not answer, or the system refused the thread to ask it, as `threadRefused` tells), why.
    struct Lookup {
        std::optional<CaptureDevice> device;
        std::optional<std::string> unreachable;
        bool threadRefused = false;
    };

    virtual ~CaptureBackend() = default;

    virtual Lookup defaultDevice() = 0;
    virtual Lookup device(const std::string& uniqueID) = 0;
    virtual Authorization authorizationStatus() = 0;
    // Asks for access and waits for the answer. Asks the user only when the status is not determined.
    virtual bool requestAccess() = 0;
    virtual std::unique_ptr<CaptureSession> makeSession() = 0;
};
