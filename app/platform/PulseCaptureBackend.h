#pragma once

#include "platform/CaptureBackend.h"

// Capture from the sound server (PulseAudio, or PipeWire through its PulseAudio interface): the devices are its
// sources, identified by their stable source names. Every question and every session asks the server afresh, so a
// server that was restarted serves the next recording. Desktop sessions have no per-application microphone
// permission, so access always counts as granted.
class PulseCaptureBackend : public CaptureBackend {
public:
    std::optional<CaptureDevice> defaultDevice() override;
    std::optional<CaptureDevice> device(const std::string& uniqueID) override;
    Authorization authorizationStatus() override;
    bool requestAccess() override;
    std::unique_ptr<CaptureSession> makeSession() override;
};
