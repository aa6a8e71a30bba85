#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "Duvidu/DuviduAppState.h"
#include "Duvidu/DuviduCrashWrapper.h"
#include "Duvidu/DuviduFileManager.h"
#include "Duvidu/DuviduNSNotificationCenterWrapper.h"
#include "Duvidu/DuviduOptions.h"
#include "Duvidu/DuviduSysctl.h"

namespace duvidu {

// Keeps "app.state" up to date while the SDK runs: the release, the kernel release as the OS version, whether a
// debugger is attached, the boot time, and whether the application is active or was terminated; the next launch
// compares it with its own to tell how this one ended.
class DuviduAppStateManager : public std::enable_shared_from_this<DuviduAppStateManager> {
public:
    DuviduAppStateManager(std::shared_ptr<const DuviduOptions> options,
                          std::shared_ptr<DuviduCrashWrapper> crashWrapper,
                          std::shared_ptr<DuviduFileManager> fileManager, std::shared_ptr<DuviduSysctl> sysctl,
                          std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenterWrapper);
    ~DuviduAppStateManager();
    DuviduAppStateManager(const DuviduAppStateManager&) = delete;
    DuviduAppStateManager& operator=(const DuviduAppStateManager&) = delete;

    // Stores the current state and follows the lifecycle notifications; a second start does nothing.
    void start();
    void stop();

    DuviduAppState buildCurrentAppState() const;
    // Changes the stored state; nothing when none is stored.
    void updateAppState(const std::function<void(DuviduAppState&)>& change);

    // The release of the running kernel (uname); empty when it cannot be read.
    static std::string osVersion();

private:
    const std::shared_ptr<const DuviduOptions> options_;
    const std::shared_ptr<DuviduCrashWrapper> crashWrapper_;
    const std::shared_ptr<DuviduFileManager> fileManager_;
    const std::shared_ptr<DuviduSysctl> sysctl_;
    const std::shared_ptr<DuviduNSNotificationCenterWrapper> notificationCenter_;
    // Orders the read-change-write of the stored state and start/stop.
    std::mutex mutex_;
    bool started_ = false;
};

}  // namespace duvidu
