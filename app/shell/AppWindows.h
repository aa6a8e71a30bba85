#pragma once

#include <QPointer>
#include <functional>

#include "shell/AppWindow.h"
#include "shell/WindowFactory.h"

class AudioManager;
class KeyboardManager;

// The window builders, each showing its new window in front and handing it to the caller.
// The settings window is kept for the life of the process and only hidden when closed.
AppWindow* makeSettingsWindow(QWidget* view);
// Onboarding and history windows are referenced by nobody, so they free themselves when closed. The onboarding view is
// made by `makeView`, given the action that closes its window.
AppWindow* makeOnboardingWindow(const std::function<QWidget*(WindowFactory::CloseAction)>& makeView);
AppWindow* makeHistoryWindow(QWidget* contentView);

// The openers behind the status menu and start-up, over the contents that `factory` makes: the settings window is made
// on first use and reused afterwards (with its state, e.g. the selected tab); every onboarding opening is a new window
// at page 0, every history opening a new window with a new content.
class AppWindows {
public:
    AppWindows(KeyboardManager& keyboardManager, AudioManager& audioManager, WindowFactory& factory);
    ~AppWindows();

    void showSettings();
    AppWindow* showOnboarding();
    AppWindow* presentContentView();

    AppWindow* settingsWindow() const { return settingsWindow_; }

private:
    KeyboardManager& keyboardManager_;
    AudioManager& audioManager_;
    WindowFactory& factory_;
    QPointer<AppWindow> settingsWindow_;
};
