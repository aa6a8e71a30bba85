#include "shell/hotkey/X11HotKeyBackend.h"

#include "platform/AppLog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

// Without an X server (a Wayland session without XWayland) the backend must say so and refuse, never fail hard.
class HotKeyX11BackendWithoutServer : public testing::Test {
protected:
    void SetUp() override {
        if (const char* display = std::getenv("DISPLAY")) saved = display;
        AppLog::setSink([this](const std::string& category, const std::string& message) {
            logs.push_back(category + ": " + message);
        });
    }
    void TearDown() override {
        AppLog::setSink({});
        if (saved) setenv("DISPLAY", saved->c_str(), 1);
    }

    std::optional<std::string> saved;
    std::vector<std::string> logs;
};

TEST_F(HotKeyX11BackendWithoutServer, NoDisplaySetRefusesEveryRegistrationWithALogLine) {
    unsetenv("DISPLAY");
    X11HotKeyBackend backend;
    EXPECT_FALSE(backend.isConnected());
    EXPECT_FALSE(backend.registerHotKey(KeyCombo(Key::space, ModifierFlags::option()), 1, 1));
    backend.unregisterHotKey(1);  // harmless
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[0], "info: Global hot keys are unavailable: no X display (DISPLAY is not set; Wayland sessions "
                       "need XWayland)");
    EXPECT_EQ(logs[1], "info: Could not register hot key Alt+Space: no X display");
}

TEST_F(HotKeyX11BackendWithoutServer, UnreachableDisplayRefusesWithALogLine) {
    X11HotKeyBackend backend(":219");
    EXPECT_FALSE(backend.isConnected());
    EXPECT_FALSE(backend.registerHotKey(KeyCombo(Key::escape, ModifierFlags()), 1, 1));
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[0], "info: Global hot keys are unavailable: cannot open X display :219");
}

}  // namespace
