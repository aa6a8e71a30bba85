#include "platform/SharedPulseConnection.h"

#include <utility>

SharedPulseConnection::SharedPulseConnection(std::string threadName) : threadName_(std::move(threadName)) {}

std::shared_ptr<SharedPulseConnection> SharedPulseConnection::application() {
    static const auto* const shared = new std::shared_ptr<SharedPulseConnection>(
        std::make_shared<SharedPulseConnection>());
    return *shared;
}

std::optional<PulseConnection::Failure> SharedPulseConnection::use(
    const std::function<void(PulseConnection&)>& request) {
    std::lock_guard lock(mutex_);
    // A server that hangs keeps its connection: its requests run out of time until it answers again.
    if (connection_ && [this] {
            const PulseConnection::Lock connectionLock(*connection_);
            return connection_->broken();
        }()) {
        connection_.reset();
    }
    if (!connection_) {
        PulseConnection::Failure failure;
        connection_ = PulseConnection::open(threadName_, failure);
        if (!connection_) return failure;
    }
    request(*connection_);
    return std::nullopt;
}
