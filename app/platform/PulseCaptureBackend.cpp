#include "platform/PulseCaptureBackend.h"

#include "platform/AppLog.h"
#include "platform/PulseCaptureSession.h"
#include "platform/PulseConnection.h"

CaptureBackend::Lookup PulseCaptureBackend::findSource(const std::optional<std::string>& name) {
    std::string error;
    Lookup found;
    if (const auto connection = PulseConnection::open("soundServerQuery", error)) {
        const std::optional<std::string> sourceName = name ? name : connection->defaultSourceName();
        const auto source = sourceName ? connection->source(*sourceName) : std::nullopt;
        if (source) found.device = CaptureDevice{source->name, source->description};
        const PulseConnection::Lock lock(*connection);
        if (connection->unreachable()) error = connection->lastError();
    }
    noteFailure(error);
    if (!error.empty()) found.unreachable = error;
    return found;
}

void PulseCaptureBackend::noteFailure(const std::string& reason) {
    std::lock_guard lock(mutex_);
    if (!reason.empty() && reason != lastFailure_) {
        AppLog::error("The audio input devices cannot be looked up: " + reason);
    }
    lastFailure_ = reason;
}

CaptureBackend::Lookup PulseCaptureBackend::defaultDevice() { return findSource(std::nullopt); }

CaptureBackend::Lookup PulseCaptureBackend::device(const std::string& uniqueID) {
    if (uniqueID.empty()) return {};
    return findSource(uniqueID);
}

CaptureBackend::Authorization PulseCaptureBackend::authorizationStatus() { return Authorization::authorized; }

bool PulseCaptureBackend::requestAccess() { return true; }

std::unique_ptr<CaptureSession> PulseCaptureBackend::makeSession() { return std::make_unique<PulseCaptureSession>(); }
