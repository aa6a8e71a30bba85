#pragma once

#include "platform/PulseCaptureBackend.h"
#include "shell/AudioDeviceSource.h"

// The sound server's microphones, with the ids the capture backend opens, asked over the connection that the
// application's requests share.
class PulseAudioDeviceSource : public AudioDeviceSource {
public:
    CaptureDeviceList inputDevices() override { return backend_.inputDevices(); }
    CaptureBackend::Lookup device(const std::string& uniqueID) override { return backend_.device(uniqueID); }
    CaptureBackend::Lookup defaultDevice() override { return backend_.defaultDevice(); }

private:
    PulseCaptureBackend backend_;
};
