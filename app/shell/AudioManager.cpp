#include "shell/AudioManager.h"

#include <chrono>

#include "platform/AppLog.h"
#include "platform/LimitSetting.h"
#include "shell/PulseAudioDeviceSource.h"

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
      source_(source ? std::move(source) : std::make_shared<PulseAudioDeviceSource>()),
      clock_(clock ? std::move(clock) : Clock(secondsSince1970)) {
    refreshAudioInputDevices();
    // The tests' VELLUMCASTER_DEVICE_CHECK_MS shortens the interval, so that they need not wait out a check.
    static const std::chrono::milliseconds interval =
        limitSetting("VELLUMCASTER_DEVICE_CHECK_MS", std::chrono::milliseconds(refreshIntervalMs));
    timer_.setInterval(interval);
    connect(&timer_, &QTimer::timeout, this, &AudioManager::tick);
    timer_.start();
}

AudioManager::~AudioManager() {
    timer_.stop();
    // A look-up still running ends within the sound server's deadlines; quitting does not wait for all of them.
    lookups_.waitForDone(std::chrono::milliseconds(lookUpEndWaitMs));
    answers_->close();
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
    if (discovering_) return;
    discovering_ = lookUp([this](AudioDeviceSource& source) -> Apply {
        return [this, list = source.inputDevices()] {
            discovering_ = false;
            // Without an answer the list and its stamp stay as they were.
            if (!reached(list.unreachable)) return;
            audioInputDevices_ = list.devices;
            audioInputDevicesUpdatedStamp_ = QString::number(clock_());
            emit audioInputDevicesChanged();
        };
    });
}

bool AudioManager::lookUp(std::function<Apply(AudioDeviceSource&)> question) {
    const bool started = lookups_.start(
        [answers = answers_, source = source_, question = std::move(question)] { answers->post(question(*source)); });
    if (!started) AppLog::error("The audio devices cannot be looked up: the system refused a thread for it");
    return started;
}

bool AudioManager::reached(const std::optional<std::string>& unreachable) {
    if (!unreachable) {
        outage_ = false;
        return true;
    }
    if (!outage_) AppLog::error("The audio input devices cannot be looked up: " + *unreachable);
    outage_ = true;
    return false;
}

void AudioManager::validateSelectedDevice() {
    if (validating_) return;
    const std::string selected = selectedDeviceID();
    validating_ = lookUp([this, selected](AudioDeviceSource& source) -> Apply {
        return [this, selected, found = source.device(selected)] {
            // A server that cannot be asked says nothing about the device: the choice stays. (No device has the
            // empty id: that question is not asked.)
            if (!selected.empty() && !reached(found.unreachable)) {
                validating_ = false;
                return;
            }
            const bool present = found.device.has_value();
            // Before any device is stored (until the first check of a first start) nothing has gone missing: the
            // default device simply becomes the choice.
            if (!present && !selected.empty()) AppLog::info("selectedDevice not available, updating to default");
            if (!present || useDefaultAudioDevice()) {
                selectDefaultAudioDevice([this] { validating_ = false; });
            } else {
                validating_ = false;
            }
        };
    });
}

void AudioManager::selectDefaultAudioDevice() {
    selectDefaultAudioDevice([] {});
}

void AudioManager::selectDefaultAudioDevice(std::function<void()> then) {
    const bool started = lookUp([this, then](AudioDeviceSource& source) -> Apply {
        return [this, then, found = source.defaultDevice()] {
            if (reached(found.unreachable) && found.device && found.device->uniqueID != selectedDeviceID()) {
                AppLog::info("Updating to default device " + found.device->uniqueID);
                setSelectedDeviceID(found.device->uniqueID);
            }
            then();
        };
    });
    if (!started) then();
}
