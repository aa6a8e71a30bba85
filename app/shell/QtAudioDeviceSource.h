#pragma once

#include "platform/PulseCaptureBackend.h"
#include "shell/AudioDeviceSource.h"

// The sound server's input devices through Qt Multimedia, with the ids the capture backend opens.
class QtAudioDeviceSource : public AudioDeviceSource {
public:
    std::vector<CaptureDevice> inputDevices() override;
    std::optional<CaptureDevice> device(const std::string& uniqueID) override {
        return backend_.device(uniqueID).device;
    }
    std::optional<CaptureDevice> defaultDevice() override { return backend_.defaultDevice().device; }

private:
    PulseCaptureBackend backend_;
};
