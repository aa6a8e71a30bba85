#pragma once

#include <QWidget>
#include <map>
#include <string>

#include "platform/SettingsStore.h"
#include "ui/Binding.h"

class AudioManager;
class KeyboardManager;
class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;

// The "Settings" page: completion sound and volume, microphone, the dictation hot key, the recording-window and paste
// behaviour, launch at login and error reporting. Every control writes its settings key as soon as it changes; the
// page redraws whenever one of its keys changes, whoever wrote it. A change of the hot key registers it again at once;
// a change of the microphone is also handed to the audio manager.
class ConfigurationView : public QWidget {
    Q_OBJECT

public:
    ConfigurationView(KeyboardManager& keyboardManager, AudioManager& audioManager, Binding<bool> navigationDisabled,
                      SettingsStore& settings = SettingsStore::standard(), QWidget* parent = nullptr);

    // "Volume (70%)" for 0.7: the volume in percent, rounded to a whole number.
    static QString volumeLabelText(double volume);

    QCheckBox* soundToggle() const { return sound_; }
    QLabel* volumeLabel() const { return volumeLabel_; }
    QSlider* volumeSlider() const { return volume_; }
    QComboBox* devicePicker() const { return devices_; }
    QCheckBox* defaultDeviceToggle() const { return useDefault_; }
    QComboBox* modifierPicker() const { return modifier_; }
    QComboBox* keyPicker() const { return key_; }
    QCheckBox* recordingViewToggle() const { return recordingView_; }
    QCheckBox* realtimeToggle() const { return realtime_; }
    QCheckBox* closeRecordingViewToggle() const { return closeRecordingView_; }
    QCheckBox* autoPasteToggle() const { return autoPaste_; }
    QCheckBox* launchOnLoginToggle() const { return launchOnLogin_; }
    QCheckBox* errorLoggingToggle() const { return errorLogging_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool boolSetting(const char* key) const;
    std::string stringSetting(const char* key) const;
    QCheckBox* toggle(const QString& title, const char* key);
    void redraw();
    void rebuildDevicePicker();
    void keyChanged(const QString& key);
    void refreshDevicesOnAppear();

    KeyboardManager& keyboardManager_;
    AudioManager& audioManager_;
    Binding<bool> navigationDisabled_;  // kept for the window; this page never locks it
    SettingsStore& settings_;
    std::map<std::string, SettingsStore::Value> seen_;  // the last value of each key the handlers acted on
    QString deviceStamp_;

    QCheckBox* sound_;
    QLabel* volumeLabel_;
    QSlider* volume_;
    QComboBox* devices_;
    QCheckBox* useDefault_;
    QComboBox* modifier_;
    QComboBox* key_;
    QCheckBox* recordingView_;
    QCheckBox* realtime_;
    QCheckBox* closeRecordingView_;
    QCheckBox* autoPaste_;
    QCheckBox* launchOnLogin_;
    QCheckBox* errorLogging_;
};
