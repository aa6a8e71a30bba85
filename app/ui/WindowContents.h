#pragma once

#include "platform/SettingsStore.h"
#include "platform/TrustCheck.h"
#include "shell/WindowFactory.h"
#include "ui/ModelConfigView.h"

// The contents of the shell's windows, made by this subsystem: the settings view, the onboarding view and the history
// view. `settings` is the store the settings pages show; `trustCheck` is what the onboarding's first page checks;
// `makeDownloader` gives the model page's downloaders (the real one when empty).
class WindowContents : public WindowFactory {
public:
    explicit WindowContents(SettingsStore& settings = SettingsStore::standard(), TrustCheck trustCheck = TrustCheck(),
                            ModelConfigView::DownloaderFactory makeDownloader = {});

    QWidget* makeSettingsView(KeyboardManager& keyboardManager, AudioManager& audioManager) override;
    QWidget* makeOnboardingView(CloseAction closeAction) override;
    QWidget* makeContentView(KeyboardManager& keyboardManager, AudioManager& audioManager) override;

private:
    SettingsStore& settings_;
    TrustCheck trustCheck_;
    ModelConfigView::DownloaderFactory makeDownloader_;
};
