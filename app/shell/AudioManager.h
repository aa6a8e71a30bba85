#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/CaptureDevice.h"
#include "platform/Handover.h"
#include "platform/SettingsStore.h"
#include "platform/TaskThreads.h"
#include "shell/AudioDeviceSource.h"

// Keeps the list of audio input devices for the settings page and keeps the stored device choice valid: every 5
// seconds it lists the devices again and, when the chosen device has gone or the user follows the system default,
// stores the default input device as the choice. GUI thread only. Every look-up (the list, a device by id, the default
// device) asks the sound server, which may answer late or not at all: they run on threads of the manager's own, and
// their answers are applied on the GUI thread; a discovery or a validation whose answers are still awaited is not
// started again. A server that cannot be asked changes nothing (the list and the choice stay as they were) and is
// logged once until it answers again. A look-up whose thread the system refuses is skipped (the next tick tries
// again).
class AudioManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString audioInputDevicesUpdatedStamp READ audioInputDevicesUpdatedStamp NOTIFY audioInputDevicesChanged)

public:
    static constexpr const char* selectedDeviceIDSetting = "selectedDeviceID";
    static constexpr const char* useDefaultAudioDeviceSetting = "useDefaultAudioDevice";
    static constexpr int refreshIntervalMs = 5000;
    // How long the end of the manager waits for look-ups still running; a later answer is dropped.
    static constexpr int lookUpEndWaitMs = 300;

    // Seconds since 1970 (UTC), for the stamp.
    using Clock = std::function<std::int64_t()>;

    // Runs the first discovery on the next turn of the event loop and starts the 5-second timer.
    explicit AudioManager(SettingsStore& settings = SettingsStore::standard(),
                          std::shared_ptr<AudioDeviceSource> source = {}, Clock clock = {},
                          QObject* parent = nullptr);
    ~AudioManager() override;

    const std::vector<CaptureDevice>& audioInputDevices() const { return audioInputDevices_; }
    // Whole seconds since 1970 of the last discovery, in decimal; "" before the first.
    const QString& audioInputDevicesUpdatedStamp() const { return audioInputDevicesUpdatedStamp_; }

    std::string selectedDeviceID() const;
    void setSelectedDeviceID(const std::string& id);
    bool useDefaultAudioDevice() const;
    void setUseDefaultAudioDevice(bool value);

    // Schedules a discovery on the GUI thread's event loop and returns at once.
    void refreshAudioInputDevices();
    // Both return at once; their look-ups run on the look-up thread.
    void validateSelectedDevice();
    void selectDefaultAudioDevice();
    // Whether a validation, or a discovery, still awaits an answer of the device source.
    bool isValidating() const { return validating_; }
    bool isDiscovering() const { return discovering_; }

    // What the timer runs: schedules a refresh followed by a validation (which therefore runs before the refresh's
    // discovery).
    void tick();
    const QTimer& timer() const { return timer_; }

signals:
    void audioInputDevicesChanged();

private:
    void discover();
    // What to do with an answer, on the GUI thread.
    using Apply = std::function<void()>;
    // Runs `question` on a look-up thread and what it returns on the GUI thread (while the manager lives); false, and
    // nothing run, when the system refused the thread.
    bool lookUp(std::function<Apply(AudioDeviceSource& source)> question);
    // Runs `then` once the default device is chosen, or could not be.
    void selectDefaultAudioDevice(std::function<void()> then);
    // Whether the server answered; the first answer of an outage is logged.
    bool reached(const std::optional<std::string>& unreachable);

    SettingsStore& settings_;
    std::shared_ptr<AudioDeviceSource> source_;
    Clock clock_;
    std::vector<CaptureDevice> audioInputDevices_;
    QString audioInputDevicesUpdatedStamp_;
    QTimer timer_;
    bool validating_ = false;
    bool discovering_ = false;
    bool outage_ = false;  // the last answer said the server could not be asked
    TaskThreads lookups_;
    std::shared_ptr<Handover> answers_ = Handover::to(this);  // where the look-ups hand their answers over
};
