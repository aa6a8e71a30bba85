#pragma once

#include <QPointer>
#include <functional>

#include "shell/AppWindow.h"
#include "shell/WindowFactory.h"

class AudioManager;
class KeyboardManager;
class QMenu;

// The window builders, each showing its new window in front and handing it to the caller.
// The settings window is kept for the life of the process and only hidden when closed.
AppWindow* makeSettingsWindow(QWidget* view);
// Onboarding and history windows are referenced by nobody, so they free themselves when closed. The onboarding view is
// made by `makeView`, given the action that closes its window.
AppWindow* makeOnboardingWindow(const std::function<QWidget*(WindowFactory::CloseAction)>& makeView);
AppWindow* makeHistoryWindow(QWidget* contentView);

// The openers behind the status menu and start-up, over the contents that `factory` makes: the settings window is made
// on first use and reused afterwards (with its state, e.g. the selected tab); every onboarding opening is a new window
// at page 0, every history opening a new window with a new content. The shortcuts of the status menu's items
// ("Settings..." Ctrl+,, "Quit" Ctrl+Q) work in every window made here, the only places the desktop hands them to the
// application.
class AppWindows {
public:
    AppWindows(KeyboardManager& keyboardManager, AudioManager& audioManager, WindowFactory& factory,
               const QMenu& statusMenu);
    ~AppWindows();

    void showSettings();
    AppWindow* showOnboarding();
    AppWindow* presentContentView();

    AppWindow* settingsWindow() const { return settingsWindow_; }

private:
    AppWindow* withMenuShortcuts(AppWindow* window) const;

    KeyboardManager& keyboardManager_;
    AudioManager& audioManager_;
    WindowFactory& factory_;
    const QMenu& statusMenu_;
    QPointer<AppWindow> settingsWindow_;
};
