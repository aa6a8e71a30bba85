#pragma once

#include <optional>
#include <string>

#include "Duvidu/DuviduNotificationCenter.h"

namespace duvidu {

// The SDK's access to the process's default notification center; tests record and post through a fake.
class DuviduNSNotificationCenterWrapper {
public:
    virtual ~DuviduNSNotificationCenterWrapper() = default;

    // The application lifecycle names, posted by the application shell.
    static std::string didBecomeActiveNotificationName();
    static std::string willResignActiveNotificationName();
    static std::string willTerminateNotificationName();

    virtual void addObserver(const void* observer, DuviduNotificationCenter::Handler handler,
                             const std::string& name, const void* object = nullptr);
    virtual void removeObserver(const void* observer, const std::string& name, const void* object = nullptr);
    // Every registration of the observer.
    virtual void removeObserver(const void* observer);
    virtual void postNotificationName(const std::string& name, const void* object = nullptr);
};

}  // namespace duvidu
