#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace duvidu {

// A timer scheduled on the main thread by DuviduNSTimerWrapper. Invalidating it stops later firings.
class DuviduTimer {
public:
    void invalidate() { valid_.store(false); }
    bool isValid() const { return valid_.load(); }

private:
    std::atomic<bool> valid_{true};
};

}  // namespace duvidu
