#pragma once

#include <string>

#include "platform/CaptureBackend.h"
#include "platform/CaptureDevice.h"

// Where AudioManager finds the audio input devices: the sound server in the application, a fake in tests. Every
// question may wait for the server (within its deadlines), so none is asked on the GUI thread; an answer says when the
// server could not be asked, which is not the same as a device that is not there.
class AudioDeviceSource {
public:
    virtual ~AudioDeviceSource() = default;

    // The microphones the user can choose from, in the sound server's order.
    virtual CaptureDeviceList inputDevices() = 0;
    // The input device with this id, or none (also for "").
    virtual CaptureBackend::Lookup device(const std::string& uniqueID) = 0;
    // The system's default input device, or none.
    virtual CaptureBackend::Lookup defaultDevice() = 0;
};
