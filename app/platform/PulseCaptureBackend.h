#pragma once

#include "platform/CaptureBackend.h"

#include <mutex>
#include <string>

// Capture from the sound server (PulseAudio, or PipeWire through its PulseAudio interface): the devices are its
// sources, identified by their stable source names. Every question and every session asks the server afresh, so a
// server that was restarted serves the next recording. Desktop sessions have no per-application microphone
// permission, so access always counts as granted. A question the server cannot answer (it is not running, or it does
// not answer within a second) finds no device, says why, and is logged once per new reason. Safe from any thread.
class PulseCaptureBackend : public CaptureBackend {
public:
    Lookup defaultDevice() override;
    Lookup device(const std::string& uniqueID) override;
    Authorization authorizationStatus() override;
    bool requestAccess() override;
    std::unique_ptr<CaptureSession> makeSession() override;

private:
    // The source of that name, or of the server's default source when the name is none.
    Lookup findSource(const std::optional<std::string>& name);
    void noteFailure(const std::string& reason);

    std::mutex mutex_;
    std::string lastFailure_;  // under mutex_: the reason the last question failed, "" after one that was answered
};
