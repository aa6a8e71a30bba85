#pragma once

#include "platform/CaptureBackend.h"
#include "platform/SharedPulseConnection.h"

#include <memory>
#include <string>

// Capture from the sound server (PulseAudio, or PipeWire through its PulseAudio interface): the devices are its
// sources, identified by their stable source names. The questions about devices go over a connection shared with the
// application's other requests (a server that was restarted breaks it, and the next question opens a new one); every
// session opens a connection of its own, so a server that was restarted serves the next recording. Desktop sessions
// have no per-application microphone permission, so access always counts as granted. A question the server cannot
// answer (it is not running, or does not answer within a second) finds no device and says why. Safe from any thread
// but the GUI thread, as the questions may wait for the server.
class PulseCaptureBackend : public CaptureBackend {
public:
    explicit PulseCaptureBackend(
        std::shared_ptr<SharedPulseConnection> connection = SharedPulseConnection::application());

    Lookup defaultDevice() override;
    Lookup device(const std::string& uniqueID) override;
    Authorization authorizationStatus() override;
    bool requestAccess() override;
    std::unique_ptr<CaptureSession> makeSession() override;

    // The sources that are microphones, in the server's order.
    CaptureDeviceList inputDevices();

private:
    // The source of that name, or of the server's default source when the name is none.
    Lookup findSource(const std::optional<std::string>& name);

    std::shared_ptr<SharedPulseConnection> connection_;
};
