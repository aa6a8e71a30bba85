#include "shell/AudioManager.h"

#include <chrono>

#include "platform/AppLog.h"
#include "shell/QtAudioDeviceSource.h"

namespace {

std::int64_t secondsSince1970() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

AudioManager::AudioManager(SettingsStore& settings, std::shared_ptr<AudioDeviceSource> source, Clock clock,
                           QObject* parent)
    : QObject(parent),
      settings_(settings),
      source_(source ? std::move(source) : std::make_shared<QtAudioDeviceSource>()),
      clock_(clock ? std::move(clock) : Clock(secondsSince1970)),
      receiver_(std::make_shared<Receiver>(this)) {
    refreshAudioInputDevices();
    timer_.setInterval(refreshIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &AudioManager::tick);
    timer_.start();
}

AudioManager::~AudioManager() {
    timer_.stop();
    // A look-up still running ends within the sound server's deadlines; quitting does not wait for all of them.
    lookups_.waitForDone(std::chrono::milliseconds(lookUpEndWaitMs));
    std::lock_guard lock(receiver_->mutex);
    receiver_->manager = nullptr;
}

std::string AudioManager::selectedDeviceID() const { return settings_.stringValue(selectedDeviceIDSetting, ""); }

void AudioManager::setSelectedDeviceID(const std::string& id) { settings_.setString(selectedDeviceIDSetting, id); }

bool AudioManager::useDefaultAudioDevice() const { return settings_.boolValue(useDefaultAudioDeviceSetting, true); }

void AudioManager::setUseDefaultAudioDevice(bool value) { settings_.setBool(useDefaultAudioDeviceSetting, value); }

void AudioManager::refreshAudioInputDevices() {
    QMetaObject::invokeMethod(this, [this] { discover(); }, Qt::QueuedConnection);
}

void AudioManager::tick() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshAudioInputDevices();
            validateSelectedDevice();
        },
        Qt::QueuedConnection);
}

void AudioManager::discover() {
    audioInputDevices_ = source_->inputDevices();
    audioInputDevicesUpdatedStamp_ = QString::number(clock_());
    emit audioInputDevicesChanged();
}

bool AudioManager::lookUp(std::function<std::optional<CaptureDevice>(AudioDeviceSource&)> question, Answer answer) {
    const bool started = lookups_.start(
        [receiver = receiver_, source = source_, question = std::move(question), answer = std::move(answer)] {
            const std::optional<CaptureDevice> device = question(*source);
            std::lock_guard lock(receiver->mutex);
            if (receiver->manager) {
                QMetaObject::invokeMethod(receiver->manager, [device, answer] { answer(device); },
                                          Qt::QueuedConnection);
            }
        });
    if (!started) AppLog::error("The audio devices cannot be looked up: the system refused a thread for it");
    return started;
}

void AudioManager::validateSelectedDevice() {
    if (validating_) return;
    const std::string selected = selectedDeviceID();
    validating_ = lookUp([selected](AudioDeviceSource& source) { return source.device(selected); },
                         [this, selected](const std::optional<CaptureDevice>& device) {
                             const bool found = device.has_value();
                             // Before any device is stored (until the first check of a first start) nothing has gone
                             // missing: the default device simply becomes the choice.
                             if (!found && !selected.empty()) {
                                 AppLog::info("selectedDevice not available, updating to default");
                             }
                             if (!found || useDefaultAudioDevice()) {
                                 selectDefaultAudioDevice(
                                     [this](const std::optional<CaptureDevice>&) { validating_ = false; });
                             } else {
                                 validating_ = false;
                             }
                         });
}

void AudioManager::selectDefaultAudioDevice() {
    selectDefaultAudioDevice([](const std::optional<CaptureDevice>&) {});
}

void AudioManager::selectDefaultAudioDevice(Answer then) {
    const bool started = lookUp([](AudioDeviceSource& source) { return source.defaultDevice(); },
                                [this, then](const std::optional<CaptureDevice>& device) {
                                    if (device && device->uniqueID != selectedDeviceID()) {
                                        AppLog::info("Updating to default device " + device->uniqueID);
                                        setSelectedDeviceID(device->uniqueID);
                                    }
                                    then(device);
                                });
    if (!started) then(std::nullopt);
}
