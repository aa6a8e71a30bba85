#pragma once

#include <functional>

class AudioManager;
class KeyboardManager;
class QWidget;

// Makes the contents of the windows that the shell opens (settings, onboarding, history). The windows show the
// shell's managers and so depend on the shell; the shell depends only on this interface, which the application's
// composition (main) provides. Each call returns a new widget for the caller to own.
class WindowFactory {
public:
    using CloseAction = std::function<void()>;

    virtual ~WindowFactory() = default;

    virtual QWidget* makeSettingsView(KeyboardManager& keyboardManager, AudioManager& audioManager) = 0;
    // Onboarding at its first page; `closeAction` closes the window that hosts it, which the view calls after its
    // last page.
    virtual QWidget* makeOnboardingView(CloseAction closeAction) = 0;
    virtual QWidget* makeContentView(KeyboardManager& keyboardManager, AudioManager& audioManager) = 0;
};
