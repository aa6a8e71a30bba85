#pragma once

#include <QPointer>

#include "platform/SettingsStore.h"
#include "platform/TrustCheck.h"
#include "shell/AppWindow.h"

class AudioManager;
class KeyboardManager;
class OnboardingView;
class SettingsView;

// The window builders, each showing its new window in front and handing it to the caller.
// The settings window is kept for the life of the process and only hidden when closed.
AppWindow* makeSettingsWindow(SettingsView* view);
// Onboarding and history windows are referenced by nobody, so they free themselves when closed.
AppWindow* makeOnboardingWindow(OnboardingView* view);
AppWindow* makeHistoryWindow(QWidget* contentView);

// The openers behind the status menu and start-up: the settings window is made on first use and reused afterwards
// (with its state, e.g. the selected tab); every onboarding opening is a new window at page 0.
class AppWindows {
public:
    AppWindows(KeyboardManager& keyboardManager, AudioManager& audioManager,
               SettingsStore& settings = SettingsStore::standard());
    ~AppWindows();

    void showSettings();
    // Opens onboarding at its first page; `trustCheck` is what its accessibility page checks.
    AppWindow* showOnboarding(TrustCheck trustCheck = TrustCheck());

    AppWindow* settingsWindow() const { return settingsWindow_; }

private:
    KeyboardManager& keyboardManager_;
    AudioManager& audioManager_;
    SettingsStore& settings_;
    QPointer<AppWindow> settingsWindow_;
};
