#pragma once

#include "platform/RepeatingTimer.h"

#include <QTimer>

// A RepeatingTimer on QTimer, firing on the thread that created it.
class QtRepeatingTimer : public RepeatingTimer {
public:
    QtRepeatingTimer();

    static std::unique_ptr<RepeatingTimer> make() { return std::make_unique<QtRepeatingTimer>(); }

    void start(std::chrono::milliseconds interval, std::function<void()> block) override;
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> block_;
};
