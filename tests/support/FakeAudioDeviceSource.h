#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "shell/AudioDeviceSource.h"

namespace vctest {

// A device list that a test or a developer tool sets up itself: none by default; with devices, the first is the
// system default unless defaultIndex says otherwise (-1: no default device).
class FakeAudioDeviceSource : public AudioDeviceSource {
public:
    FakeAudioDeviceSource() = default;
    explicit FakeAudioDeviceSource(std::vector<CaptureDevice> list)
        : devices(std::move(list)), defaultIndex(devices.empty() ? -1 : 0) {}

    std::vector<CaptureDevice> inputDevices() override { return devices; }
    std::optional<CaptureDevice> device(const std::string& id) override {
        for (const CaptureDevice& d : devices)
            if (d.uniqueID == id) return d;
        return std::nullopt;
    }
    std::optional<CaptureDevice> defaultDevice() override {
        if (defaultIndex < 0) return std::nullopt;
        return devices.at(static_cast<size_t>(defaultIndex));
    }

    std::vector<CaptureDevice> devices;
    int defaultIndex = -1;
};

}  // namespace vctest
