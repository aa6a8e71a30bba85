#include "platform/PulseCaptureBackend.h"

#include "platform/PulseCaptureSession.h"
#include "platform/PulseConnection.h"

namespace {

// The source of that name, or of the server's default source when the name is none.
std::optional<CaptureDevice> findSource(const std::optional<std::string>& name) {
    std::string error;
    const auto connection = PulseConnection::open("soundServerQuery", error);
    if (!connection) return std::nullopt;
    const std::optional<std::string> sourceName = name ? name : connection->defaultSourceName();
    if (!sourceName) return std::nullopt;
    const auto source = connection->source(*sourceName);
    if (!source) return std::nullopt;
    return CaptureDevice{source->name, source->description};
}

}  // namespace

std::optional<CaptureDevice> PulseCaptureBackend::defaultDevice() { return findSource(std::nullopt); }

std::optional<CaptureDevice> PulseCaptureBackend::device(const std::string& uniqueID) {
    if (uniqueID.empty()) return std::nullopt;
    return findSource(uniqueID);
}

CaptureBackend::Authorization PulseCaptureBackend::authorizationStatus() { return Authorization::authorized; }

bool PulseCaptureBackend::requestAccess() { return true; }

std::unique_ptr<CaptureSession> PulseCaptureBackend::makeSession() { return std::make_unique<PulseCaptureSession>(); }
