#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/AppLog.h"

namespace capturetest {

// Collects the app log's error lines while it lives.
class CapturedLog {
public:
    CapturedLog() {
        AppLog::setSink([this](const std::string& category, const std::string& message) {
            std::lock_guard lock(mutex_);
            if (category == "errors") lines_.push_back(message);
        });
    }
    ~CapturedLog() { AppLog::setSink({}); }

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace capturetest
