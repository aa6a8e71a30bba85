#include "platform/QtCaptureBackend.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include "platform/QtCaptureSession.h"

namespace {

CaptureDevice toCaptureDevice(const QAudioDevice& device) {
    return CaptureDevice{device.id().toStdString(), device.description().toStdString()};
}

}  // namespace

std::optional<CaptureDevice> QtCaptureBackend::defaultDevice() {
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) return std::nullopt;
    return toCaptureDevice(device);
}

std::optional<CaptureDevice> QtCaptureBackend::device(const std::string& uniqueID) {
    const QAudioDevice device = QtCaptureSession::findDevice(uniqueID);
    if (device.isNull()) return std::nullopt;
    return toCaptureDevice(device);
}

CaptureBackend::Authorization QtCaptureBackend::authorizationStatus() { return Authorization::authorized; }

bool QtCaptureBackend::requestAccess() { return true; }

std::unique_ptr<CaptureSession> QtCaptureBackend::makeSession() { return std::make_unique<QtCaptureSession>(); }
