#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/CaptureDevice.h"

// Where AudioManager finds the audio input devices: the sound server in the application, a fake in tests.
class AudioDeviceSource {
public:
    virtual ~AudioDeviceSource() = default;

    // The microphones the user can choose from, in the sound server's order.
    virtual std::vector<CaptureDevice> inputDevices() = 0;
    // The input device with this id, or none (also for "").
    virtual std::optional<CaptureDevice> device(const std::string& uniqueID) = 0;
    // The system's default input device, or none.
    virtual std::optional<CaptureDevice> defaultDevice() = 0;
};
