#include "platform/PulseCaptureBackend.h"

#include "platform/PulseCaptureSession.h"

#include <utility>

PulseCaptureBackend::PulseCaptureBackend(std::shared_ptr<SharedPulseConnection> connection)
    : connection_(std::move(connection)) {}

CaptureBackend::Lookup PulseCaptureBackend::findSource(const std::optional<std::string>& name) {
    Lookup found;
    const auto failure = connection_->use([&](PulseConnection& connection) {
        const std::optional<std::string> sourceName = name ? name : connection.defaultSourceName();
        const auto source = sourceName ? connection.source(*sourceName) : std::nullopt;
        if (source) found.device = CaptureDevice{source->name, source->description};
        const PulseConnection::Lock lock(connection);
        if (connection.unreachable()) found.unreachable = connection.lastError();
    });
    if (failure) {
        found.unreachable = failure->reason;
        found.threadRefused = failure->threadRefused;
    }
    return found;
}

CaptureDeviceList PulseCaptureBackend::inputDevices() {
    CaptureDeviceList list;
    const auto failure = connection_->use([&](PulseConnection& connection) {
        for (const PulseConnection::Source& source : connection.inputSources()) {
            list.devices.push_back(CaptureDevice{source.name, source.description});
        }
        const PulseConnection::Lock lock(connection);
        if (connection.unreachable()) list.unreachable = connection.lastError();
    });
    if (failure) list.unreachable = failure->reason;
    return list;
}

CaptureBackend::Lookup PulseCaptureBackend::defaultDevice() { return findSource(std::nullopt); }

CaptureBackend::Lookup PulseCaptureBackend::device(const std::string& uniqueID) {
    if (uniqueID.empty()) return {};
    return findSource(uniqueID);
}

CaptureBackend::Authorization PulseCaptureBackend::authorizationStatus() { return Authorization::authorized; }

bool PulseCaptureBackend::requestAccess() { return true; }

std::unique_ptr<CaptureSession> PulseCaptureBackend::makeSession() { return std::make_unique<PulseCaptureSession>(); }
