#include "ui/WindowContents.h"

#include "ui/ContentView.h"
#include "ui/OnboardingView.h"
#include "ui/SettingsView.h"

WindowContents::WindowContents(SettingsStore& settings, TrustCheck trustCheck,
                               ModelConfigView::DownloaderFactory makeDownloader)
    : settings_(settings), trustCheck_(std::move(trustCheck)), makeDownloader_(std::move(makeDownloader)) {}

QWidget* WindowContents::makeSettingsView(KeyboardManager& keyboardManager, AudioManager& audioManager) {
    return new SettingsView(keyboardManager, audioManager, settings_, makeDownloader_);
}

QWidget* WindowContents::makeOnboardingView(CloseAction closeAction) {
    // Four pages, from the first.
    auto* view = new OnboardingView(4, trustCheck_);
    view->setCloseAction(std::move(closeAction));
    return view;
}

QWidget* WindowContents::makeContentView(KeyboardManager& keyboardManager, AudioManager& audioManager) {
    return new ContentView(keyboardManager, audioManager);
}
