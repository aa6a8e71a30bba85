#include "shell/KeyboardManager.h"
#include "shell/hotkey/HotKey.h"
#include "shell/hotkey/HotKeysController.h"
#include "shell/hotkey/X11HotKeyBackend.h"

#include "platform/AppLog.h"
#include "platform/SettingsStore.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// Last: Xlib's macros (None, Bool, KeyPress) clash with names in the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

// Errors of the test's own raw connections (the backend's are handled by the backend).
int rawErrors = 0;
int countRawError(Display*, XErrorEvent*) {
    ++rawErrors;
    return 0;
}

// A second X client, as another application on the desktop would be.
class RawClient {
public:
    RawClient() : display_(XOpenDisplay(nullptr)) {}
    ~RawClient() {
        if (display_) XCloseDisplay(display_);
    }
    Display* get() const { return display_; }
    KeyCode keycode(KeySym sym) const { return XKeysymToKeycode(display_, sym); }
    unsigned int modifierOf(KeySym sym) const { return XkbKeysymToModifiers(display_, sym); }

    // True when the grab was accepted.
    bool grab(KeySym sym, unsigned int modifiers) {
        XSync(display_, False);
        const int before = rawErrors;
        XGrabKey(display_, keycode(sym), modifiers, DefaultRootWindow(display_), False, GrabModeAsync, GrabModeAsync);
        XSync(display_, False);
        return rawErrors == before;
    }

    void lockModifiers(unsigned int mask, bool on) {
        XkbLockModifiers(display_, XkbUseCoreKbd, mask, on ? mask : 0);
        XSync(display_, False);
    }

private:
    Display* display_;
};

void xdotool(const std::string& args) {
    ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
}

// Serves events until a key of its own, sent after the ones before, has arrived: X delivers the keys in the order
// they were sent, so whatever the earlier ones cause has arrived by then.
void settle() {
    int marks = 0;
    HotKey marker(Key::f12, ModifierFlags(), {}, [&marks] { ++marks; });
    ASSERT_EQ(std::system("xdotool key F12"), 0);
    ASSERT_TRUE(vctest::waitFor([&marks] { return marks == 1; }));
}

class HotKeyX11Test : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the x11 layer needs an X server";
        // Before any backend: the backend chains errors of other connections to the handler it found.
        XSetErrorHandler(countRawError);
        // The shortcut and the lock keys must exist in the server's keymap; Xvfb's default has them, but say so.
        RawClient client;
        ASSERT_NE(client.get(), nullptr);
        for (KeySym sym : {XK_space, XK_Escape, XK_Tab, XK_Alt_L, XK_F12}) ASSERT_NE(client.keycode(sym), 0);
        ASSERT_NE(client.modifierOf(XK_Alt_L), 0u);
        ASSERT_NE(client.modifierOf(XK_Num_Lock), 0u);
        // A quick repeat, so that holding a key for half a second repeats it many times.
        XAutoRepeatOn(client.get());
        XkbSetAutoRepeatRate(client.get(), XkbUseCoreKbd, 100, 20);
        XSync(client.get(), False);
    }

    void SetUp() override {
        HotKeysController::setBackend(backend);
        ASSERT_TRUE(backend->isConnected());
        AppLog::setSink([this](const std::string& category, const std::string& message) {
            logs.push_back(category + ": " + message);
        });
    }
    void TearDown() override {
        AppLog::setSink({});
        settle();
    }

    std::shared_ptr<X11HotKeyBackend> backend = std::make_shared<X11HotKeyBackend>();
    std::vector<std::string> logs;
    int downs = 0;
    int ups = 0;
};

TEST_F(HotKeyX11Test, AltSpacePressAndReleaseIsOnePressAndOneRelease) {
    HotKey hotKey(Key::space, ModifierFlags::option(), [this] { ++downs; }, [this] { ++ups; });
    xdotool("keydown Alt_L keydown space");
    EXPECT_TRUE(vctest::waitFor([&] { return downs == 1; }));
    EXPECT_EQ(ups, 0);
    xdotool("keyup space keyup Alt_L");
    EXPECT_TRUE(vctest::waitFor([&] { return ups == 1; }));
    settle();
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
    EXPECT_TRUE(logs.empty());
}

TEST_F(HotKeyX11Test, HeldKeyWithAutoRepeatIsStillOnePressAndOneRelease) {
    HotKey hotKey(Key::space, ModifierFlags::option(), [this] { ++downs; }, [this] { ++ups; });
    xdotool("keydown Alt_L keydown space sleep 0.6 keyup space keyup Alt_L");
    EXPECT_TRUE(vctest::waitFor([&] { return ups == 1; }));
    settle();
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
}

TEST_F(HotKeyX11Test, ReleaseIsMatchedEvenWhenTheModifierGoesFirst) {
    HotKey hotKey(Key::space, ModifierFlags::option(), {}, [this] { ++ups; });
    xdotool("keydown Alt_L keydown space keyup Alt_L keyup space");
    EXPECT_TRUE(vctest::waitFor([&] { return ups == 1; }));
    settle();
    EXPECT_EQ(ups, 1);
}

TEST_F(HotKeyX11Test, FiresWithNumLockAndCapsLockOn) {
    HotKey hotKey(Key::space, ModifierFlags::option(), {}, [this] { ++ups; });
    RawClient client;
    const unsigned int numLock = client.modifierOf(XK_Num_Lock);
    client.lockModifiers(numLock, true);
    xdotool("keydown Alt_L keydown space keyup space keyup Alt_L");
    EXPECT_TRUE(vctest::waitFor([&] { return ups == 1; }));
    client.lockModifiers(numLock | LockMask, true);
    xdotool("keydown Alt_L keydown space keyup space keyup Alt_L");
    EXPECT_TRUE(vctest::waitFor([&] { return ups == 2; }));
    client.lockModifiers(numLock | LockMask, false);
}

TEST_F(HotKeyX11Test, OtherModifiersDoNotFireTheCombination) {
    HotKey hotKey(Key::space, ModifierFlags::option(), {}, [this] { ++ups; });
    xdotool("key space key ctrl+space key alt+shift+space");
    settle();
    EXPECT_EQ(ups, 0);
}

TEST_F(HotKeyX11Test, EscapeFiresOnlyWhileRegistered) {
    auto escape = std::make_unique<HotKey>(Key::escape, ModifierFlags(), nullptr, [this] { ++ups; });
    xdotool("key Escape");
    EXPECT_TRUE(vctest::waitFor([&] { return ups == 1; }));
    escape.reset();
    xdotool("key Escape");
    settle();
    EXPECT_EQ(ups, 1);
    // The grab is really gone: another client may now take Escape.
    RawClient other;
    EXPECT_TRUE(other.grab(XK_Escape, 0));
}

TEST_F(HotKeyX11Test, ComboHeldByAnotherClientFailsWithALogLineAndTheProcessLives) {
    // A handler set after the backend started (as a toolkit may do) must not hide the refusal.
    XSetErrorHandler(countRawError);
    RawClient other;
    ASSERT_TRUE(other.grab(XK_space, other.modifierOf(XK_Alt_L)));
    {
        HotKey refused(Key::space, ModifierFlags::option(), {}, [this] { ++ups; });
        ASSERT_EQ(logs.size(), 1u);
        EXPECT_EQ(logs[0], "info: Could not register hot key Alt+Space: another application already uses it");
        xdotool("key alt+space");
        settle();
        EXPECT_EQ(ups, 0);
    }
    // Errors of other connections still reach their own handler.
    EXPECT_FALSE(RawClient().grab(XK_space, other.modifierOf(XK_Alt_L)));
    // A combination nobody holds still registers on the same connection.
    HotKey tab(Key::tab, ModifierFlags::option(), {}, [this] { ++ups; });
    xdotool("key alt+Tab");
    EXPECT_TRUE(vctest::waitFor([&] { return ups == 1; }));
    EXPECT_EQ(logs.size(), 1u);
}

TEST_F(HotKeyX11Test, TwoRegistrationsOfOneComboDoNotUndoEachOther) {
    auto first = std::make_unique<HotKey>(Key::space, ModifierFlags::option(), nullptr, [this] { ++downs; });
    HotKey second(Key::space, ModifierFlags::option(), {}, [this] { ++ups; });
    first.reset();
    xdotool("key alt+space");
    EXPECT_TRUE(vctest::waitFor([&] { return ups == 1; }));
    EXPECT_EQ(downs, 0);
}

TEST_F(HotKeyX11Test, KeyboardManagerTogglesOnReleaseAndKeepsTheComboAcrossReRegistration) {
    vctest::TempHome home;
    SettingsStore settings(home.config() / "vellumcaster/settings.json");
    int toggles = 0;
    KeyboardManager manager(settings, [](KeyboardManager::Action task) { task(); });
    manager.toggleRecord = [&] { ++toggles; };
    manager.registerHotKey();
    manager.registerHotKey();  // the same choice again: the grab must survive
    xdotool("key alt+space");
    EXPECT_TRUE(vctest::waitFor([&] { return toggles == 1; }));

    settings.setString("selectedPrimaryKey", "tab");
    manager.registerHotKey();
    xdotool("key alt+space key alt+Tab");
    EXPECT_TRUE(vctest::waitFor([&] { return toggles == 2; }));
    settle();
    EXPECT_EQ(toggles, 2);
}

}  // namespace
