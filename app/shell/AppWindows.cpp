#include "shell/AppWindows.h"

#include <memory>

namespace {

AppWindow* makeWindow(QWidget* root, bool freeWhenClosed) {
    auto* window = new AppWindow(root);
    window->setAttribute(Qt::WA_DeleteOnClose, freeWhenClosed);
    window->bringToFront();
    return window;
}

}  // namespace

AppWindow* makeSettingsWindow(QWidget* view) { return makeWindow(view, false); }

AppWindow* makeOnboardingWindow(const std::function<QWidget*(WindowFactory::CloseAction)>& makeView) {
    // The view is made before its window, so its close action finds the window once there is one.
    auto window = std::make_shared<QPointer<AppWindow>>();
    QWidget* view = makeView([window] {
        if (*window) (*window)->close();
    });
    *window = makeWindow(view, true);
    return *window;
}

AppWindow* makeHistoryWindow(QWidget* contentView) { return makeWindow(contentView, true); }

AppWindows::AppWindows(KeyboardManager& keyboardManager, AudioManager& audioManager, WindowFactory& factory)
    : keyboardManager_(keyboardManager), audioManager_(audioManager), factory_(factory) {}

AppWindows::~AppWindows() { delete settingsWindow_.data(); }

void AppWindows::showSettings() {
    if (!settingsWindow_) {
        settingsWindow_ = makeSettingsWindow(factory_.makeSettingsView(keyboardManager_, audioManager_));
        return;
    }
    settingsWindow_->bringToFront();
}

AppWindow* AppWindows::showOnboarding() {
    return makeOnboardingWindow([this](WindowFactory::CloseAction close) { return factory_.makeOnboardingView(close); });
}

AppWindow* AppWindows::presentContentView() {
    return makeHistoryWindow(factory_.makeContentView(keyboardManager_, audioManager_));
}
