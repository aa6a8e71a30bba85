#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "shell/AudioDeviceSource.h"

namespace vctest {

// A device list that a test or a developer tool sets up itself: none by default; with devices, the first is the
// system default unless the default index says otherwise (-1: no default device). A sound server that cannot be
// asked is played by setUnreachable. The list is asked on the device manager's look-up threads while a test changes
// it, so it is guarded: the sanitizer then sees the hand-over, which a queued call's does not show it.
class FakeAudioDeviceSource : public AudioDeviceSource {
public:
    FakeAudioDeviceSource() = default;
    explicit FakeAudioDeviceSource(std::vector<CaptureDevice> list)
        : devices_(std::move(list)), defaultIndex_(devices_.empty() ? -1 : 0) {}

    CaptureDeviceList inputDevices() override {
        std::lock_guard lock(mutex_);
        if (unreachable_) return {{}, unreachable_};
        return {devices_, std::nullopt};
    }
    CaptureBackend::Lookup device(const std::string& id) override {
        std::lock_guard lock(mutex_);
        if (unreachable_) return {std::nullopt, unreachable_};
        for (const CaptureDevice& d : devices_)
            if (d.uniqueID == id) return {d, std::nullopt};
        return {};
    }
    CaptureBackend::Lookup defaultDevice() override {
        std::lock_guard lock(mutex_);
        if (unreachable_) return {std::nullopt, unreachable_};
        if (defaultIndex_ < 0) return {};
        return {devices_.at(static_cast<size_t>(defaultIndex_)), std::nullopt};
    }

    void setDevices(std::vector<CaptureDevice> list) {
        std::lock_guard lock(mutex_);
        devices_ = std::move(list);
    }
    void setDefaultIndex(int index) {
        std::lock_guard lock(mutex_);
        defaultIndex_ = index;
    }
    // Every question is answered with this reason until it is set back to none.
    void setUnreachable(std::optional<std::string> reason) {
        std::lock_guard lock(mutex_);
        unreachable_ = std::move(reason);
    }

private:
    std::mutex mutex_;
    std::vector<CaptureDevice> devices_;  // guarded by mutex_
    int defaultIndex_ = -1;               // guarded by mutex_
    std::optional<std::string> unreachable_;  // guarded by mutex_
};

}  // namespace vctest
