#include "shell/AppWindows.h"

#include "ui/OnboardingView.h"
#include "ui/SettingsView.h"

namespace {

AppWindow* makeWindow(QWidget* root, bool freeWhenClosed) {
    auto* window = new AppWindow(root);
    window->setAttribute(Qt::WA_DeleteOnClose, freeWhenClosed);
    window->bringToFront();
    return window;
}

}  // namespace

AppWindow* makeSettingsWindow(SettingsView* view) { return makeWindow(view, false); }

AppWindow* makeOnboardingWindow(OnboardingView* view) {
    AppWindow* window = makeWindow(view, true);
    view->setCloseAction(window->closeAction());
    return window;
}

AppWindow* makeHistoryWindow(QWidget* contentView) { return makeWindow(contentView, true); }

AppWindows::AppWindows(KeyboardManager& keyboardManager, AudioManager& audioManager, SettingsStore& settings)
    : keyboardManager_(keyboardManager), audioManager_(audioManager), settings_(settings) {}

AppWindows::~AppWindows() { delete settingsWindow_.data(); }

void AppWindows::showSettings() {
    if (!settingsWindow_) {
        settingsWindow_ = makeSettingsWindow(new SettingsView(keyboardManager_, audioManager_, settings_));
        return;
    }
    settingsWindow_->bringToFront();
}

AppWindow* AppWindows::showOnboarding(TrustCheck trustCheck) {
    return makeOnboardingWindow(new OnboardingView(4, std::move(trustCheck)));
}
