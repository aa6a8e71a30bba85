#pragma once

#include <chrono>
#include <functional>
#include <memory>

// A timer that runs a block on the GUI thread at a fixed interval until stopped.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;

    // Starts (or restarts) the timer with a new block.
    virtual void start(std::chrono::milliseconds interval, std::function<void()> block) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

    using Factory = std::function<std::unique_ptr<RepeatingTimer>()>;
};
