#include "shell/AppWindows.h"

#include "shell/AudioManager.h"
#include "shell/KeyboardManager.h"
#include "support/FakeAudioDeviceSource.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMenu>
#include <QPointer>

#include <vector>

namespace {

// Contents that record what the openers asked for; the onboarding content keeps its close action.
class FakeContents : public WindowFactory {
public:
    QWidget* makeSettingsView(KeyboardManager& keyboard, AudioManager& audio) override {
        managers.emplace_back(&keyboard, &audio);
        ++settingsMade;
        return new QWidget;
    }
    QWidget* makeOnboardingView(CloseAction closeAction) override {
        close = std::move(closeAction);
        return new QWidget;
    }
    QWidget* makeContentView(KeyboardManager& keyboard, AudioManager& audio) override {
        managers.emplace_back(&keyboard, &audio);
        auto* view = new QWidget;
        histories.push_back(view);
        return view;
    }

    int settingsMade = 0;
    CloseAction close;
    std::vector<QPointer<QWidget>> histories;
    std::vector<std::pair<KeyboardManager*, AudioManager*>> managers;
};

class AppWindowsTest : public testing::Test {
protected:
    vctest::TempHome home;
    KeyboardManager keyboard;
    AudioManager audio{SettingsStore::standard(), std::make_shared<vctest::FakeAudioDeviceSource>()};
    FakeContents contents;
    QMenu statusMenu;
    AppWindows windows{keyboard, audio, contents, statusMenu};
};

}  // namespace

TEST_F(AppWindowsTest, SettingsContentIsMadeOnceAndItsWindowKeptWhenClosed) {
    windows.showSettings();
    AppWindow* window = windows.settingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    windows.showSettings();
    EXPECT_EQ(windows.settingsWindow(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(contents.settingsMade, 1);
    EXPECT_EQ(contents.managers.front(), std::make_pair(&keyboard, &audio));
}

TEST_F(AppWindowsTest, EveryHistoryOpeningIsANewWindowFreedWhenClosed) {
    QPointer<AppWindow> first = windows.presentContentView();
    QPointer<AppWindow> second = windows.presentContentView();
    EXPECT_NE(first, second);
    ASSERT_EQ(contents.histories.size(), 2u);
    EXPECT_EQ(first->root(), contents.histories[0]);
    first->close();
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(contents.histories[1].isNull());
}

TEST_F(AppWindowsTest, OnboardingContentClosesItsOwnWindow) {
    QPointer<AppWindow> window = windows.showOnboarding();
    ASSERT_TRUE(contents.close);
    EXPECT_TRUE(window->isVisible());
    contents.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    contents.close();  // the window is gone: nothing happens
}
