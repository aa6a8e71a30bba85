#include "FakeHotKeyBackend.h"
#include "ScriptedController.h"
#include "engine/Model.h"
#include "platform/AppLog.h"
#include "platform/SettingsStore.h"
#include "shell/AppDelegate.h"
#include "shell/AudioDeviceSource.h"
#include "shell/LaunchOnLogin.h"
#include "shell/MenuWindow.h"
#include "shell/RecordingView.h"
#include "shell/RecordingWindow.h"
#include "support/TempHome.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMessageBox>

#include <malloc.h>

#include <fstream>
#include "support/FakeAudioDeviceSource.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// An application delegate whose outside services record what start-up asks of them, in order.
class AppDelegateTest : public testing::Test {
protected:
    AppDelegateTest() { AppLog::setSink([](const std::string&, const std::string&) {}); }
    ~AppDelegateTest() override { AppLog::setSink({}); }

    std::unique_ptr<AppDelegate> make() {
        AppDelegate::Services s;
        s.dsn = "https://key@127.0.0.1/1";
        s.startErrorReporting = [this](const std::string& dsn) { steps.push_back("sdk " + dsn); };
        s.isTrusted = [this] {
            steps.push_back("trust");
            return trusted;
        };
        s.showOnboarding = [this] { steps.push_back("onboarding"); };
        s.showSettings = [this] { steps.push_back("settings"); };
        s.presentContentView = [this] { steps.push_back("history"); };
        if (!realLoginItem) {
            s.loginItemEnabled = [this] { return loginItem; };
            s.setLoginItemEnabled = [this](bool on) { steps.push_back(on ? "login on" : "login off"); };
        }
        s.downloadModel = [this](const std::string& url, const std::filesystem::path& destination) {
            steps.push_back("download " + url + " -> " + destination.string());
            hotKeysAtDownload = hotKeys->calls.size();
        };
        s.makeController = [this](Recorder&, AppDelegate::Task onComplete) {
            auto made = std::make_shared<ScriptedController>();
            made->loaded = "small";
            made->failStart = failStart;
            completion = std::move(onComplete);
            controller = made;
            return made;
        };
        s.audioDevices = std::make_shared<vctest::FakeAudioDeviceSource>();
        s.spawn = [this](AppDelegate::Task task) {
            ++spawned;
            if (runTasks) task();
        };
        return std::make_unique<AppDelegate>(settings, std::move(s));
    }

    static void drain() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    vctest::TempHome home;
    std::shared_ptr<FakeHotKeyBackend> hotKeys = FakeHotKeyBackend::install();
    SettingsStore settings{home.config() / "vellumcaster/settings.json"};
    std::vector<std::string> steps;
    bool trusted = true;
    bool loginItem = false;
    bool realLoginItem = false;  // the autostart entry in the temporary config folder
    std::string failStart;
    bool runTasks = false;
    int spawned = 0;
    std::size_t hotKeysAtDownload = 0;
    std::shared_ptr<ScriptedController> controller;
    AppDelegate::Task completion;
};

TEST_F(AppDelegateTest, FirstLaunchWithEmptySettings) {
    auto app = make();
    EXPECT_TRUE(hotKeys->calls.empty());
    app->applicationDidFinishLaunching();

    const std::string file = modelFileName("small", "en");
    EXPECT_THAT(steps, ElementsAre("trust", "download " + modelRepositoryBaseURL() + file + " -> " +
                                                (modelsFolderURL() / file).string()));
    EXPECT_EQ(settings.storedString("activeModelKey"), "small");
    EXPECT_EQ(settings.storedBool("hasLaunchedBefore"), true);
    EXPECT_FALSE(settings.contains("launchOnLogin"));
    EXPECT_EQ(app->statusItem().imageName(), "Icon");

    // The dictation hot key (Option+Space by default) is registered last, after the model fetch started.
    EXPECT_EQ(hotKeysAtDownload, 0u);
    ASSERT_EQ(hotKeys->calls.size(), 1u);
    EXPECT_EQ(hotKeys->calls[0].op, "register");
    EXPECT_EQ(hotKeys->calls[0].combo, KeyCombo(49, 2048));
}

TEST_F(AppDelegateTest, StoredSettingsDriveTheOtherStartUpSteps) {
    settings.setBool("errorLoggingEnabled", true);
    settings.setBool("launchOnLogin", true);
    settings.setString("activeModelKey", "medium.en");
    trusted = false;
    std::filesystem::create_directories(modelsFolderURL());
    std::ofstream(modelsFolderURL() / modelFileName("small", "en")) << "model";

    auto app = make();
    app->applicationDidFinishLaunching();
    EXPECT_THAT(steps, ElementsAre("sdk https://key@127.0.0.1/1", "login on", "trust", "onboarding"));
    EXPECT_EQ(settings.storedString("activeModelKey"), "medium");
}

TEST_F(AppDelegateTest, LoginItemFollowsTheSettingBothWaysAndTextFlagsCountAsOff) {
    loginItem = true;
    settings.setString("errorLoggingEnabled", "true");
    auto app = make();
    app->applicationDidFinishLaunching();  // an enabled login item with the setting absent is switched off
    settings.setBool("launchOnLogin", true);
    app->setUpLaunchAtLogin();
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps[0], "login off");  // no "sdk": a flag stored as text is not a stored true
    EXPECT_EQ(steps[1], "trust");
    EXPECT_THAT(steps, testing::Not(testing::Contains("login on")));
}

TEST_F(AppDelegateTest, LaunchOnStartTakesEffectWhenSwitched) {
    realLoginItem = true;
    auto app = make();
    app->applicationDidFinishLaunching();
    EXPECT_FALSE(std::filesystem::exists(LaunchOnLogin::autostartFile()));
    settings.setBool("launchOnLogin", true);  // as the settings page stores a tick
    EXPECT_TRUE(LaunchOnLogin::isEnabled());
    settings.setBool("launchOnLogin", false);
    EXPECT_FALSE(std::filesystem::exists(LaunchOnLogin::autostartFile()));
}

TEST_F(AppDelegateTest, ErrorAlertsComeOneAtATime) {
    runTasks = true;
    failStart = "The microphone is not available";
    auto app = make();
    app->applicationDidFinishLaunching();
    for (int press = 0; press < 3; ++press) app->dictation().toggleRecording();
    drain();
    int shown = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(widget) && widget->isVisible()) ++shown;
    }
    EXPECT_EQ(shown, 1);
    ASSERT_NE(app->alert(), nullptr);
    EXPECT_EQ(app->alert()->text(), "Could not start recording");
    EXPECT_EQ(app->alert()->informativeText(), "The microphone is not available");

    // Once it is answered, the next error has a new alert.
    QMessageBox* first = app->alert();
    first->close();
    app->dictation().toggleRecording();
    drain();
    ASSERT_NE(app->alert(), nullptr);
    EXPECT_NE(app->alert(), first);
    EXPECT_TRUE(app->alert()->isVisible());
    app->alert()->close();
}

TEST_F(AppDelegateTest, ModelKeyMigrationRemovesEveryEnInOnePass) {
    auto app = make();
    for (const auto& [stored, migrated] : std::vector<std::pair<std::string, std::string>>{
             {"small.en", "small"}, {"base", "base"}, {"a.enb", "ab"}, {"s.e.enn", "s.en"}, {"", ""}}) {
        settings.setString("activeModelKey", stored);
        app->migrateModelKeys();
        EXPECT_EQ(settings.storedString("activeModelKey"), migrated) << stored;
    }
}

TEST_F(AppDelegateTest, StatusMenuModel) {
    auto app = make();
    app->buildStatusMenu();
    const auto actions = app->menu().actions();
    ASSERT_EQ(actions.size(), 8);
    std::vector<std::string> titles;
    for (QAction* a : actions) titles.push_back(a->isSeparator() ? "--" : a->text().toStdString());
    EXPECT_THAT(titles, ElementsAre("Start dictating", "View dictation history", "--",
                                    testing::MatchesRegex("Version [0-9]+\\.[0-9]+\\.[0-9]+"), "Check for Updates...",
                                    "Settings...", "--", "Quit"));
    // The hot key is global: the menu shows it once it is registered, under its Linux name.
    EXPECT_TRUE(actions[0]->shortcut().isEmpty());
    app->keyboardManager().registerHotKey();
    EXPECT_EQ(actions[0]->text(), "Start dictating\tAlt+Space");
    EXPECT_EQ(actions[5]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(actions[7]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_FALSE(actions[3]->isEnabled());
    EXPECT_EQ(app->checkForUpdatesMenuItem(), actions[4]);

    actions[1]->trigger();
    actions[5]->trigger();
    EXPECT_THAT(steps, ElementsAre("history", "settings"));
    actions[0]->trigger();
    EXPECT_EQ(spawned, 1);
}

// Without a tray the menu is a window at the screen's right edge, which stays whole on the screen when its text grows
// (a hot key that another program holds is told in a longer line).
TEST_F(AppDelegateTest, TheMenuWindowKeepsItsRightEdgeWhenItsTextGrows) {
    hotKeys->accept = false;
    auto app = make();
    app->buildStatusMenu();
    MenuWindow window(app->menu(), app->statusItem(), app->keyboardManager());
    window.present();
    drain();
    const QRect before = window.geometry();
    app->keyboardManager().registerHotKey();
    drain();
    EXPECT_GT(window.width(), before.width());
    EXPECT_EQ(window.geometry().right(), before.right());
}

TEST_F(AppDelegateTest, ClickRouting) {
    using R = StatusItem::ClickResult;
    EXPECT_EQ(StatusItem::route(QSystemTrayIcon::Context, Qt::NoModifier), R::OpenMenu);
    EXPECT_EQ(StatusItem::route(QSystemTrayIcon::Trigger, Qt::ControlModifier), R::OpenMenu);
    EXPECT_EQ(StatusItem::route(QSystemTrayIcon::Trigger, Qt::NoModifier), R::Toggle);
    EXPECT_EQ(StatusItem::route(QSystemTrayIcon::Trigger, Qt::AltModifier), R::Toggle);
    EXPECT_EQ(StatusItem::route(QSystemTrayIcon::Trigger, Qt::MetaModifier | Qt::ShiftModifier), R::Toggle);
    EXPECT_EQ(StatusItem::route(QSystemTrayIcon::DoubleClick, Qt::NoModifier), R::Toggle);
    EXPECT_EQ(StatusItem::route(QSystemTrayIcon::DoubleClick, Qt::ControlModifier), R::OpenMenu);
    // Only the left and right buttons act on the icon.
    EXPECT_EQ(StatusItem::route(QSystemTrayIcon::MiddleClick, Qt::NoModifier), R::Ignore);
    EXPECT_EQ(StatusItem::route(QSystemTrayIcon::Unknown, Qt::NoModifier), R::Ignore);

    auto app = make();
    app->applicationDidFinishLaunching();
    app->statusItem().click(QSystemTrayIcon::Trigger, Qt::NoModifier);
    EXPECT_EQ(spawned, 1);
    app->statusItem().click(QSystemTrayIcon::MiddleClick, Qt::NoModifier);
    EXPECT_EQ(spawned, 1);
    EXPECT_FALSE(app->menu().isVisible());
    app->statusItem().click(QSystemTrayIcon::Context, Qt::NoModifier);
    EXPECT_EQ(spawned, 1);
    EXPECT_TRUE(app->menu().isVisible());
    app->menu().hide();
}

TEST_F(AppDelegateTest, DictationReachesTheIconEscapeAndOneReusedRecordingWindow) {
    runTasks = true;
    auto app = make();
    app->applicationDidFinishLaunching();
    app->dictation().toggleRecording();
    drain();
    EXPECT_EQ(app->statusItem().imageName(), "IconRecording");
    EXPECT_NE(app->keyboardManager().hotKeyEscape(), nullptr);
    RecordingWindow* window = app->recordingWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());

    // Controller changes reach the view on the GUI thread.
    emit controller->changed();
    drain();
    EXPECT_EQ(app->recordingView()->state(), RecordingState::recording);

    app->dictation().toggleRecording();
    completion();
    drain();
    EXPECT_EQ(app->statusItem().imageName(), "IconComplete");
    EXPECT_EQ(app->keyboardManager().hotKeyEscape(), nullptr);
    EXPECT_FALSE(window->isVisible());

    controller->state = RecordingState::ready;
    app->dictation().toggleRecording();
    drain();
    EXPECT_EQ(app->recordingWindow(), window);
    EXPECT_TRUE(window->isVisible());
}

// Without a tray the status images are shown in the menu window. A long run of dictations holds no more memory than
// a short one: each change of state shows one of the same few images again.
TEST_F(AppDelegateTest, DictationsOneAfterAnotherHoldNoMoreMemory) {
    runTasks = true;
    // Hundreds of completion sounds a second would still be playing (with a sound server) when the heap is measured.
    settings.setBool("enableSoundEffects", false);
    auto app = make();
    app->applicationDidFinishLaunching();
    const auto dictate = [&] {
        app->dictation().toggleRecording();
        app->dictation().toggleRecording();
        completion();
        drain();
    };
    for (int i = 0; i < 5; ++i) dictate();
    ASSERT_EQ(app->statusItem().imageName(), "IconComplete");
    const std::size_t before = mallinfo2().uordblks;
    for (int i = 0; i < 300; ++i) dictate();
    const std::size_t after = mallinfo2().uordblks;
    // Rendering the images afresh at every showing held three pixmaps of 32 by 32 pixels a dictation, over 12 kB. What
    // is left is under a kilobyte: the timers that bring back the resting icon, which have not run yet, and the fake
    // hot-key backend's record of the Escape key's grabs.
    EXPECT_LT(after, before + 300 * 4096) << "held " << (after - before) / 300 << " bytes per dictation";
}

}  // namespace
