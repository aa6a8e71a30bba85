// The dictation hot key taken by another program (most window managers bind Alt+Space): the user is told and the menu
// does not claim the shortcut until another one is registered. With the real X11 backend on the test's X server.

#include "ScriptedController.h"
#include "platform/AppLog.h"
#include "platform/SettingsStore.h"
#include "shell/AppDelegate.h"
#include "shell/hotkey/HotKeysController.h"
#include "shell/hotkey/X11HotKeyBackend.h"
#include "support/FakeAudioDeviceSource.h"
#include "support/HostProgram.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"
#include "ui/ConfigurationView.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QProcess>

#include <cstdlib>
#include <functional>

// Last: Xlib's macros clash with names in the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

using testing::HasSubstr;

namespace {

int grabErrors = 0;
int countGrabError(Display*, XErrorEvent*) {
    ++grabErrors;
    return 0;
}

// Another program on the desktop, which takes a combination before the application does.
class OtherProgram {
public:
    OtherProgram() : display_(XOpenDisplay(nullptr)) {}
    ~OtherProgram() {
        if (display_) XCloseDisplay(display_);
    }
    // Whether the grab was accepted (nobody held the combination).
    bool grab(KeySym sym, unsigned int modifiers) {
        XSync(display_, False);
        const int before = grabErrors;
        XGrabKey(display_, XKeysymToKeycode(display_, sym), modifiers, DefaultRootWindow(display_), False,
                 GrabModeAsync, GrabModeAsync);
        XSync(display_, False);
        return grabErrors == before;
    }
    unsigned int alt() const { return XkbKeysymToModifiers(display_, XK_Alt_L); }

private:
    Display* display_;
};

class HotKeyNoticeTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the x11 layer needs an X server";
        XSetErrorHandler(countGrabError);
    }

    void SetUp() override {
        HotKeysController::setBackend(std::make_shared<X11HotKeyBackend>());
        AppLog::setSink([this](const std::string& category, const std::string& message) {
            logs.push_back(category + ": " + message);
        });
        ASSERT_TRUE(other.grab(XK_space, other.alt()));
    }
    void TearDown() override {
        app.reset();
        AppLog::setSink({});
        if (tray.state() != QProcess::NotRunning) {
            tray.terminate();
            tray.waitForFinished(5000);
        }
    }

    void launch() {
        AppDelegate::Services s;
        s.isTrusted = [] { return true; };
        s.loginItemEnabled = [] { return false; };
        s.setLoginItemEnabled = [](bool) {};
        s.downloadModel = [](const std::string&, const std::filesystem::path&) {};
        s.makeController = [](Recorder&, AppDelegate::Task) { return std::make_shared<ScriptedController>(); };
        s.audioDevices = std::make_shared<vctest::FakeAudioDeviceSource>();
        s.spawn = [this](AppDelegate::Task) { ++toggles; };
        app = std::make_unique<AppDelegate>(settings, std::move(s));
        app->applicationDidFinishLaunching();
    }

    // The user picks Tab as the key on the settings page.
    void chooseTabInSettings() {
        ConfigurationView page(app->keyboardManager(), app->audioManager(),
                               Binding<bool>([] { return false; }, [](const bool&) {}), settings);
        page.keyPicker()->activated(page.keyPicker()->findData("tab"));
    }

    void expectMenuClaimsNoShortcut() {
        QAction* start = app->startDictatingMenuItem();
        ASSERT_NE(start, nullptr);
        EXPECT_EQ(start->text(), "Start dictating (Alt+Space unavailable)");
    }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster/settings.json"};
    OtherProgram other;
    QProcess tray;
    std::unique_ptr<AppDelegate> app;
    std::vector<std::string> logs;
    int toggles = 0;
};

const char* const noticeText =
    "Could not register Alt+Space as the hot key for dictation: another program may be using it. Choose another "
    "shortcut in Settings... > Settings > Shortcut.";

TEST_F(HotKeyNoticeTest, WithoutATrayADialogTellsAndAnotherShortcutClearsIt) {
    launch();
    ASSERT_FALSE(app->statusItem().hasButton());
    QMessageBox* notice = app->hotKeyNotice();
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->text(), "Hot key Alt+Space unavailable");
    EXPECT_EQ(notice->informativeText(), noticeText);
    EXPECT_THAT(logs, testing::Contains(std::string("errors: ") + noticeText));
    expectMenuClaimsNoShortcut();

    chooseTabInSettings();
    EXPECT_TRUE(vctest::waitFor([this] { return app->hotKeyNotice() == nullptr; }));
    EXPECT_EQ(app->startDictatingMenuItem()->text(), "Start dictating\tAlt+Tab");
    ASSERT_EQ(std::system((vctest::hostProgram("xdotool") + " key alt+Tab").c_str()), 0);
    EXPECT_TRUE(vctest::waitFor([this] { return toggles == 1; }));

    // Quitting releases every grab: the other program can now take the combination and Escape.
    app->keyboardManager().registerEscapeHotKey(Key::escape, {});
    EXPECT_FALSE(other.grab(XK_Tab, other.alt()));
    app.reset();
    EXPECT_TRUE(other.grab(XK_Tab, other.alt()));
    EXPECT_TRUE(other.grab(XK_Escape, 0));
}

TEST_F(HotKeyNoticeTest, WithATrayTheIconNotifies) {
    tray.start(QString::fromStdString(vctest::hostProgram("trayer")), {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
    ASSERT_TRUE(tray.waitForStarted()) << "the tray host trayer did not start";
    ASSERT_TRUE(vctest::waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
    launch();
    EXPECT_EQ(app->hotKeyNotice(), nullptr);
    const auto balloon = [] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && widget->inherits("QBalloonTip")) return widget;
        return static_cast<QWidget*>(nullptr);
    };
    EXPECT_TRUE(vctest::waitFor([&] { return balloon() != nullptr; }));
    EXPECT_THAT(logs, testing::Contains(std::string("errors: ") + noticeText));
    expectMenuClaimsNoShortcut();
}

}  // namespace
