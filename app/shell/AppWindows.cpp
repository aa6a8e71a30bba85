#include "shell/AppWindows.h"

#include <QMenu>

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

AppWindows::AppWindows(KeyboardManager& keyboardManager, AudioManager& audioManager, WindowFactory& factory,
                       const QMenu& statusMenu)
    : keyboardManager_(keyboardManager), audioManager_(audioManager), factory_(factory), statusMenu_(statusMenu) {}

AppWindows::~AppWindows() { delete settingsWindow_.data(); }

AppWindow* AppWindows::withMenuShortcuts(AppWindow* window) const {
    // A shortcut of an item in a menu of its own works only while that menu is open; the window's own list makes it
    // work while the window is active.
    for (QAction* item : statusMenu_.actions()) {
        if (!item->shortcut().isEmpty()) window->addAction(item);
    }
    return window;
}

void AppWindows::showSettings() {
    if (!settingsWindow_) {
        settingsWindow_ =
            withMenuShortcuts(makeSettingsWindow(factory_.makeSettingsView(keyboardManager_, audioManager_)));
        return;
    }
    settingsWindow_->bringToFront();
}

AppWindow* AppWindows::showOnboarding() {
    return withMenuShortcuts(makeOnboardingWindow(
        [this](WindowFactory::CloseAction close) { return factory_.makeOnboardingView(close); }));
}

AppWindow* AppWindows::presentContentView() {
    return withMenuShortcuts(makeHistoryWindow(factory_.makeContentView(keyboardManager_, audioManager_)));
}
