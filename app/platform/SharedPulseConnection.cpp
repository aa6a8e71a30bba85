#include "platform/SharedPulseConnection.h"

#include <chrono>
#include <string>
#include <utility>

SharedPulseConnection::SharedPulseConnection(std::string threadName) : threadName_(std::move(threadName)) {}

std::shared_ptr<SharedPulseConnection> SharedPulseConnection::application() {
    static const auto* const shared = new std::shared_ptr<SharedPulseConnection>(
        std::make_shared<SharedPulseConnection>());
    return *shared;
}

std::optional<PulseConnection::Failure> SharedPulseConnection::use(
    const std::function<void(PulseConnection&)>& request) {
    const auto deadline =
        PulseConnection::Clock::now() + std::chrono::milliseconds(PulseConnection::answerTimeoutMs);
    {
        std::unique_lock lock(mutex_);
        if (!released_.wait_until(lock, deadline, [this] { return !busy_; })) {
            return PulseConnection::Failure{false, "the sound server did not answer within " +
                                                       std::to_string(PulseConnection::answerTimeoutMs) +
                                                       " ms (an earlier request still waits for it)"};
        }
        busy_ = true;
    }
    struct Release {
        SharedPulseConnection& shared;
        ~Release() {
            {
                std::lock_guard lock(shared.mutex_);
                shared.busy_ = false;
            }
            shared.released_.notify_one();
        }
    } release{*this};
    // A server that hangs keeps its connection: its requests run out of time until it answers again.
    if (connection_ && [this] {
            const PulseConnection::Lock connectionLock(*connection_);
            return connection_->broken();
        }()) {
        connection_.reset();
    }
    if (!connection_) {
        PulseConnection::Failure failure;
        connection_ = PulseConnection::open(threadName_, failure, deadline);
        if (!connection_) return failure;
    }
    {
        const PulseConnection::Lock connectionLock(*connection_);
        connection_->endWaitsBy(deadline);
    }
    request(*connection_);
    return std::nullopt;
}
