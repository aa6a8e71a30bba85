#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/AppLog.h"
#include "shell/AudioManager.h"
#include "support/TempHome.h"
#include "support/FakeAudioDeviceSource.h"
#include "support/WaitFor.h"

namespace {

class AudioManagerTest : public testing::Test {
protected:
    void SetUp() override {
        AppLog::setSink([this](const std::string& category, const std::string& message) {
            logs.push_back(category + ": " + message);
        });
    }
    void TearDown() override { AppLog::setSink({}); }

    std::unique_ptr<AudioManager> make() {
        auto manager = std::make_unique<AudioManager>(settings, source, [this] { return now; });
        settle(*manager);  // the first discovery
        logs.clear();
        return manager;
    }
    // Runs one tick to its end: the device look-ups run on the manager's own thread.
    void tick(AudioManager& manager) {
        manager.tick();
        settle(manager);
    }
    // Waits for the look-ups scheduled so far.
    static void settle(AudioManager& manager) {
        QCoreApplication::processEvents();
        ASSERT_TRUE(vctest::waitFor([&] { return !manager.isValidating() && !manager.isDiscovering(); }));
    }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster/settings.json"};
    std::shared_ptr<vctest::FakeAudioDeviceSource> source = std::make_shared<vctest::FakeAudioDeviceSource>(
        std::vector<CaptureDevice>{{"mic-a", "Built-in Microphone"}, {"mic-b", "USB Headset"}});
    std::int64_t now = 1700000000;
    std::vector<std::string> logs;
};

TEST_F(AudioManagerTest, FirstStartStoresTheDefaultDeviceWithoutCallingAnythingUnavailable) {
    auto manager = make();
    EXPECT_EQ(manager->audioInputDevices().size(), 2u);
    EXPECT_EQ(manager->audioInputDevicesUpdatedStamp(), "1700000000");
    EXPECT_EQ(manager->timer().interval(), 5000);
    EXPECT_TRUE(manager->timer().isActive());
    tick(*manager);
    EXPECT_EQ(logs, (std::vector<std::string>{"info: Updating to default device mic-a"}));
    EXPECT_EQ(settings.storedString("selectedDeviceID"), "mic-a");
}

TEST_F(AudioManagerTest, AlreadyTheDefaultLogsAndWritesNothing) {
    settings.setString("selectedDeviceID", "mic-a");
    auto manager = make();
    int writes = 0;
    QObject::connect(&settings, &SettingsStore::valueChanged, [&] { ++writes; });
    tick(*manager);
    EXPECT_TRUE(logs.empty());
    EXPECT_EQ(writes, 0);
}

TEST_F(AudioManagerTest, OwnChoiceStaysWhilePresentAndFollowsTheDefaultWhenUnplugged) {
    settings.setString("selectedDeviceID", "mic-b");
    settings.setBool("useDefaultAudioDevice", false);
    auto manager = make();
    tick(*manager);
    EXPECT_TRUE(logs.empty());
    EXPECT_EQ(settings.storedString("selectedDeviceID"), "mic-b");

    source->setDevices({{"mic-a", "Built-in Microphone"}});  // mic-b unplugged
    tick(*manager);
    EXPECT_EQ(logs, (std::vector<std::string>{"info: selectedDevice not available, updating to default",
                                              "info: Updating to default device mic-a"}));
    EXPECT_EQ(settings.storedString("selectedDeviceID"), "mic-a");
}

TEST_F(AudioManagerTest, FollowingTheDefaultReplacesAPresentChoice) {
    settings.setString("selectedDeviceID", "mic-b");
    auto manager = make();
    tick(*manager);
    EXPECT_EQ(logs, (std::vector<std::string>{"info: Updating to default device mic-a"}));
    EXPECT_EQ(settings.storedString("selectedDeviceID"), "mic-a");
}

TEST_F(AudioManagerTest, NoDefaultDeviceStoresNothing) {
    source->setDefaultIndex(-1);
    auto manager = make();
    tick(*manager);
    EXPECT_TRUE(logs.empty());
    EXPECT_FALSE(settings.contains("selectedDeviceID"));
}

TEST_F(AudioManagerTest, StampIsWholeSecondsAndTheTickValidatesBeforeItsDiscovery) {
    auto manager = make();
    source->setDevices({{"mic-a", "Built-in Microphone"}, {"mic-b", "USB Headset"}, {"mic-c", "Webcam"}});
    manager->refreshAudioInputDevices();
    EXPECT_EQ(manager->audioInputDevices().size(), 2u);  // only scheduled
    settle(*manager);
    EXPECT_EQ(manager->audioInputDevices().size(), 3u);
    EXPECT_EQ(manager->audioInputDevicesUpdatedStamp(), "1700000000");  // same second, same stamp

    // Validation looks the device up at the source, not in the published list.
    source->setDevices({{"mic-z", "New"}});
    source->setDefaultIndex(0);
    now = 1700000007;
    manager->tick();
    QCoreApplication::sendPostedEvents(manager.get());  // runs the tick's block only
    EXPECT_TRUE(manager->isValidating());
    EXPECT_EQ(manager->audioInputDevices().size(), 3u);
    settle(*manager);
    EXPECT_EQ(settings.storedString("selectedDeviceID"), "mic-z");
    EXPECT_EQ(manager->audioInputDevices().size(), 1u);
    EXPECT_EQ(manager->audioInputDevicesUpdatedStamp(), "1700000007");
}

}  // namespace
