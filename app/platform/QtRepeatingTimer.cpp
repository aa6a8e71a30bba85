#include "platform/QtRepeatingTimer.h"

QtRepeatingTimer::QtRepeatingTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
        if (block_) block_();
    });
}

void QtRepeatingTimer::start(std::chrono::milliseconds interval, std::function<void()> block) {
    block_ = std::move(block);
    timer_.start(interval);
}
