#pragma once

#include "platform/CaptureBackend.h"

// Capture through Qt Multimedia: the devices are the sound server's sources (PulseAudio, or PipeWire through its
// PulseAudio interface), identified by their stable source names. Desktop sessions have no per-application
// microphone permission, so access always counts as granted.
class QtCaptureBackend : public CaptureBackend {
public:
    std::optional<CaptureDevice> defaultDevice() override;
    std::optional<CaptureDevice> device(const std::string& uniqueID) override;
    Authorization authorizationStatus() override;
    bool requestAccess() override;
    std::unique_ptr<CaptureSession> makeSession() override;
};
