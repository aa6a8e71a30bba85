#include "shell/QtAudioDeviceSource.h"

#include <QAudioDevice>
#include <QMediaDevices>

std::vector<CaptureDevice> QtAudioDeviceSource::inputDevices() {
    std::vector<CaptureDevice> devices;
    for (const QAudioDevice& device : QMediaDevices::audioInputs()) {
        // The sound server also lists a monitor of every output as an input; the picker offers microphones only.
        if (device.id().endsWith(".monitor")) continue;
        devices.push_back(CaptureDevice{device.id().toStdString(), device.description().toStdString()});
    }
    return devices;
}
