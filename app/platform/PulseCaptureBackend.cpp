#include "platform/PulseCaptureBackend.h"

#include "platform/AppLog.h"
#include "platform/PulseCaptureSession.h"
#include "platform/PulseConnection.h"

std::optional<CaptureDevice> PulseCaptureBackend::findSource(const std::optional<std::string>& name) {
    std::string error;
    std::optional<CaptureDevice> found;
    if (const auto connection = PulseConnection::open("soundServerQuery", error)) {
        const std::optional<std::string> sourceName = name ? name : connection->defaultSourceName();
        const auto source = sourceName ? connection->source(*sourceName) : std::nullopt;
        if (source) found = CaptureDevice{source->name, source->description};
        if (connection->stalled()) error = connection->lastError();
    }
    noteFailure(error);
    return found;
}

void PulseCaptureBackend::noteFailure(const std::string& reason) {
    std::lock_guard lock(mutex_);
    if (!reason.empty() && reason != lastFailure_) {
        AppLog::error("The audio input devices cannot be looked up: " + reason);
    }
    lastFailure_ = reason;
}

std::optional<CaptureDevice> PulseCaptureBackend::defaultDevice() { return findSource(std::nullopt); }

std::optional<CaptureDevice> PulseCaptureBackend::device(const std::string& uniqueID) {
    if (uniqueID.empty()) return std::nullopt;
    return findSource(uniqueID);
}

CaptureBackend::Authorization PulseCaptureBackend::authorizationStatus() { return Authorization::authorized; }

bool PulseCaptureBackend::requestAccess() { return true; }

std::unique_ptr<CaptureSession> PulseCaptureBackend::makeSession() { return std::make_unique<PulseCaptureSession>(); }
