#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QSlider>

#include "shell/AudioManager.h"
#include "shell/DictationControl.h"
#include "shell/FakeHotKeyBackend.h"
#include "shell/KeyboardManager.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"
#include "ui/ConfigurationView.h"
#include "support/FakeAudioDeviceSource.h"

namespace {

class ConfigurationTest : public testing::Test {
protected:

    int registrations() const {
        return static_cast<int>(std::count_if(backend->calls.begin(), backend->calls.end(),
                                              [](const auto& call) { return call.op == "register"; }));
    }

    // Runs the discovery scheduled on the event loop to its end (the list is asked on a thread of the manager's).
    void discover() {
        QCoreApplication::processEvents();
        ASSERT_TRUE(vctest::waitFor([this] { return !audio.isDiscovering(); }));
    }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster/settings.json"};
    std::shared_ptr<FakeHotKeyBackend> backend = FakeHotKeyBackend::install();
    KeyboardManager keyboard{settings, [](KeyboardManager::Action) {}};
    std::shared_ptr<vctest::FakeAudioDeviceSource> devices = std::make_shared<vctest::FakeAudioDeviceSource>(
        std::vector<CaptureDevice>{{"mic-a", "Built-in Microphone"}, {"mic-b", "USB Headset"}});
    std::int64_t now = 1700000000;
    AudioManager audio{settings, devices, [this] { return now; }};
    bool navigationDisabled = false;
    // Made after the audio manager's first discovery, as in the application.
    int discovered = (discover(), 0);
    ConfigurationView page{keyboard, audio,
                           Binding<bool>([this] { return navigationDisabled; },
                                         [this](const bool& v) { navigationDisabled = v; }),
                           settings};
};

TEST(ConfigurationVolume, LabelIsTheRoundedPercentage) {
    EXPECT_EQ(ConfigurationView::volumeLabelText(0.7), "Volume (70%)");
    EXPECT_EQ(ConfigurationView::volumeLabelText(0.30000000000000004), "Volume (30%)");
    EXPECT_EQ(ConfigurationView::volumeLabelText(1.0), "Volume (100%)");
    EXPECT_EQ(ConfigurationView::volumeLabelText(0.0), "Volume (0%)");
}

// What the page shows for the completion sound is what the shell does at the end of a dictation.
TEST_F(ConfigurationTest, CompletionSoundFollowsWhatThePageShows) {
    std::vector<float> played;
    DictationControl::Environment env;
    env.playSound = [&played](const QString&, float volume) { played.push_back(volume); };
    DictationControl dictation(settings, std::move(env));

    ASSERT_FALSE(settings.contains("enableSoundEffects"));
    EXPECT_TRUE(page.soundToggle()->isChecked());
    dictation.playSound("recording-complete", "wav");
    EXPECT_EQ(played, std::vector<float>{1.0f});

    page.soundToggle()->click();
    EXPECT_FALSE(page.soundToggle()->isChecked());
    dictation.playSound("recording-complete", "wav");
    EXPECT_EQ(played.size(), 1u);

    page.soundToggle()->click();
    dictation.playSound("recording-complete", "wav");
    EXPECT_EQ(played.size(), 2u);
}

TEST_F(ConfigurationTest, NothingStoredShowsThePageDefaults) {
    EXPECT_TRUE(page.soundToggle()->isChecked());
    EXPECT_EQ(page.volumeLabel()->text(), "Volume (100%)");
    EXPECT_TRUE(page.volumeSlider()->isEnabled());
    EXPECT_TRUE(page.defaultDeviceToggle()->isChecked());
    EXPECT_FALSE(page.devicePicker()->isEnabled());
    EXPECT_EQ(page.modifierPicker()->currentText(), "Alt");
    EXPECT_EQ(page.keyPicker()->currentText(), "Space");
    EXPECT_TRUE(page.recordingViewToggle()->isChecked());
    EXPECT_TRUE(page.autoPasteToggle()->isChecked());
    EXPECT_FALSE(page.realtimeToggle()->isChecked());
    EXPECT_FALSE(page.closeRecordingViewToggle()->isChecked());
    EXPECT_FALSE(page.launchOnLoginToggle()->isChecked());
    EXPECT_FALSE(page.errorLoggingToggle()->isChecked());
    EXPECT_TRUE(settings.value("enableSoundEffects") == std::nullopt);  // showing writes nothing
}

TEST_F(ConfigurationTest, TogglesAndSliderWriteTheirKeys) {
    const std::pair<QCheckBox*, const char*> toggles[] = {
        {page.soundToggle(), "enableSoundEffects"},          {page.defaultDeviceToggle(), "useDefaultAudioDevice"},
        {page.realtimeToggle(), "realtimeResultsEnabled"},   {page.closeRecordingViewToggle(), "closeRecordingViewEnabled"},
        {page.autoPasteToggle(), "autoPasteEnabled"},        {page.launchOnLoginToggle(), "launchOnLogin"},
        {page.errorLoggingToggle(), "errorLoggingEnabled"},  {page.recordingViewToggle(), "recordingViewEnabled"},
    };
    for (const auto& [toggle, key] : toggles) {
        const bool before = toggle->isChecked();
        toggle->click();
        EXPECT_EQ(settings.storedBool(key), !before) << key;
    }
    // Sound off disables the slider and keeps the volume; recording window off disables two toggles, keeps values.
    EXPECT_FALSE(page.volumeSlider()->isEnabled());
    EXPECT_FALSE(page.realtimeToggle()->isEnabled());
    EXPECT_FALSE(page.closeRecordingViewToggle()->isEnabled());
    EXPECT_EQ(settings.storedBool("realtimeResultsEnabled"), true);

    page.soundToggle()->click();
    page.volumeSlider()->setValue(3);
    EXPECT_DOUBLE_EQ(*settings.storedNumber("soundEffectVolume"), 0.3);
    EXPECT_EQ(page.volumeLabel()->text(), "Volume (30%)");
}

TEST_F(ConfigurationTest, HotKeyIsRegisteredAgainOnlyOnARealChange) {
    const int before = registrations();
    page.modifierPicker()->activated(page.modifierPicker()->findData("control"));
    EXPECT_EQ(settings.storedString("selectedModifierKey"), "control");
    EXPECT_EQ(registrations(), before + 1);
    page.modifierPicker()->activated(page.modifierPicker()->findData("control"));
    EXPECT_EQ(registrations(), before + 1);
    page.keyPicker()->activated(page.keyPicker()->findData("k"));
    EXPECT_EQ(settings.storedString("selectedPrimaryKey"), "k");
    EXPECT_EQ(registrations(), before + 2);
    // A write from elsewhere counts as a change too.
    settings.setString("selectedPrimaryKey", "tab");
    EXPECT_EQ(registrations(), before + 3);
    EXPECT_EQ(page.keyPicker()->currentText(), "Tab");
}

TEST_F(ConfigurationTest, ModifierPickerShowsLinuxNamesAndStoresTheKnownIds) {
    const std::pair<const char*, const char*> rows[] = {
        {"Super", "command"}, {"Ctrl", "control"}, {"Shift", "shift"}, {"Alt", "option"}};
    ASSERT_EQ(page.modifierPicker()->count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(page.modifierPicker()->itemText(i), rows[i].first);
        EXPECT_EQ(page.modifierPicker()->itemData(i).toString(), rows[i].second);
    }
    // A stored file of an earlier version keeps its meaning.
    settings.setString("selectedModifierKey", "command");
    EXPECT_EQ(page.modifierPicker()->currentText(), "Super");
}

TEST_F(ConfigurationTest, MicrophonePickerListsTheDevicesAndWritesTheChoice) {
    ASSERT_EQ(page.devicePicker()->count(), 2);
    EXPECT_EQ(page.devicePicker()->itemText(1), "USB Headset");
    page.defaultDeviceToggle()->click();
    EXPECT_TRUE(page.devicePicker()->isEnabled());
    EXPECT_EQ(page.devicePicker()->currentIndex(), -1);  // nothing stored yet
    page.devicePicker()->activated(1);
    EXPECT_EQ(settings.storedString("selectedDeviceID"), "mic-b");
    EXPECT_EQ(audio.selectedDeviceID(), "mic-b");
    EXPECT_EQ(page.devicePicker()->currentIndex(), 1);

    // A device that appears shows up at the next redraw after a key change.
    devices->setDevices({{"mic-a", "Built-in Microphone"}, {"mic-b", "USB Headset"}, {"mic-c", "Webcam"}});
    now += 5;
    audio.refreshAudioInputDevices();
    discover();
    EXPECT_EQ(page.devicePicker()->count(), 2);
    settings.setBool("autoPasteEnabled", false);
    EXPECT_EQ(page.devicePicker()->count(), 3);
}

}  // namespace
