#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <fstream>

#include "PictureWriter.h"
#include "Snapshots.h"
#include "engine/FileDownloader.h"
#include "engine/Model.h"
#include "shell/AppWindows.h"
#include "shell/AudioManager.h"
#include "shell/KeyboardManager.h"
#include "ui/AccessibilityPage.h"
#include "ui/IconButtonStyle.h"
#include "ui/InfoPopoverView.h"
#include "ui/ModelConfigView.h"
#include "ui/OnboardingView.h"
#include "ui/PrimaryButtonLargeStyle.h"
#include "ui/PrimaryButtonStyle.h"
#include "ui/SecondaryButtonStyle.h"
#include "ui/SettingsView.h"
#include "ui/SlidingPageHost.h"
#include "ui/StyledButton.h"
#include "ui/TertiaryButtonStyle.h"
#include "ui/WindowContents.h"
#include "support/FakeAudioDeviceSource.h"
#include "support/WaitFor.h"

namespace {

void renderButtons(PictureWriter& out) {
    QWidget gallery;
    gallery.setAutoFillBackground(true);
    auto* grid = new QGridLayout(&gallery);
    grid->setSpacing(16);
    grid->setContentsMargins(20, 20, 20, 20);
    const char* states[] = {"rest", "disabled", "pressed"};
    for (int column = 0; column < 3; ++column) grid->addWidget(new QLabel(states[column]), 0, column + 1);
    const auto row = [&](int index, const QString& title, auto make) {
        grid->addWidget(new QLabel(title), index, 0);
        for (int column = 0; column < 3; ++column) {
            StyledButton* button = make(column == 1);
            button->setDown(column == 2);
            grid->addWidget(button, index, column + 1, Qt::AlignCenter);
        }
    };
    row(1, "Primary", [](bool d) { return StyledButton::make<PrimaryButtonStyle>("Download", d); });
    row(2, "PrimaryLarge", [](bool d) { return StyledButton::make<PrimaryButtonLargeStyle>("Continue", d); });
    row(3, "Secondary", [](bool d) { return StyledButton::make<SecondaryButtonStyle>("Cancel", d); });
    row(4, "Tertiary", [](bool d) { return StyledButton::make<TertiaryButtonStyle>("Copy", d); });
    row(5, "Icon", [](bool d) {
        auto* button = StyledButton::make<IconButtonStyle>(QString(), d);
        button->setIcon(QIcon(":/info.circle.svg"));
        button->setIconSize(QSize(28, 28));
        return button;
    });
    out.save(&gallery, "buttons");
}

void renderSettings(PictureWriter& out) {
    SettingsStore& settings = SettingsStore::standard();
    std::ofstream(modelsFolderURL() / modelFileName("small", "en")) << "model";
    KeyboardManager keyboard(settings, [](KeyboardManager::Action) {});
    AudioManager audio(settings, std::make_shared<vctest::FakeAudioDeviceSource>(std::vector<CaptureDevice>{
                                          // Two microphones, so that the device picker has something to show.
                                          {"alsa_input.pci-0000_00_1f.3.analog-stereo", "Built-in Audio Analog Stereo"},
                                          {"alsa_input.usb-headset.mono", "USB Headset Mono"}}));
    // The first discovery, then a tick that stores the default device as the choice; their look-ups run on threads.
    const auto settle = [&audio] {
        QCoreApplication::processEvents();
        vctest::waitFor([&audio] { return !audio.isDiscovering() && !audio.isValidating(); });
    };
    settle();
    audio.tick();
    settle();

    WindowContents contents(settings);
    const QMenu statusMenu;
    AppWindows windows(keyboard, audio, contents, statusMenu);
    windows.showSettings();
    AppWindow* window = windows.settingsWindow();
    auto* view = qobject_cast<SettingsView*>(window->root());
    out.save(window, "settings-ai-model");

    auto* model = qobject_cast<ModelConfigView*>(view->page());
    settings.setString("activePrompt", "I am Ngozi Okafor-Lindqvist, I work at Brindlefox Analytics in Tromsø, with "
                                       "Siobhán and Grzegorz.");
    out.save(window, "settings-ai-model-prompt");
    settings.setString("activePrompt", "");
    model->chooseModel("medium");
    out.save(window, "settings-ai-model-download-waiting");
    emit model->fileDownloader()->downloadProgressChanged(0.5f);
    out.save(window, "settings-ai-model-downloading");
    emit model->fileDownloader()->downloadProgressChanged(1.0f);
    out.save(window, "settings-ai-model-download-complete");
    model->cancelModelDownload();
    model->chooseModel("medium");
    emit model->fileDownloader()->downloadFailed("Could not resolve host: huggingface.co");
    out.save(window, "settings-ai-model-download-failed");
    model->cancelModelDownload();

    view->setSelectedTab(1);
    out.save(window, "settings-settings");
    view->setSelectedTab(2);
    out.save(window, "settings-about");

    InfoPopoverView popover("You can use the prompt to give unique spelling of names, set tone or context, or "
                            "location based spelling.\n\nWe recommend giving it proper nouns (people, companies, "
                            "places, etc) you commonly use.\n\nFor example: 'I am First Last, I work at Company, in "
                            "Place.'");
    out.save(&popover, "info-popover");
}

void renderOnboarding(PictureWriter& out) {
    KeyboardManager keyboard(SettingsStore::standard(), [](KeyboardManager::Action) {});
    AudioManager audio(SettingsStore::standard(), std::make_shared<vctest::FakeAudioDeviceSource>());
    WindowContents missing(SettingsStore::standard(), TrustCheck([] { return false; }));
    const QMenu statusMenu;
    AppWindow* window = AppWindows(keyboard, audio, missing, statusMenu).showOnboarding();
    auto* view = qobject_cast<OnboardingView*>(window->root());
    out.save(window, "onboarding-0-accessibility");
    if (auto* page = qobject_cast<AccessibilityPage*>(view->page())) page->openAccessibilitySettings();
    out.save(window, "onboarding-0-accessibility-confirm");
    const char* names[] = {"onboarding-1-dictation", "onboarding-2-app-menu", "onboarding-3-settings"};
    for (const char* name : names) {
        view->nextOnboardingPage();
        out.save(window, name);
    }
    window->close();

    // A session that has what pasting needs.
    WindowContents present(SettingsStore::standard(), TrustCheck([] { return true; }));
    AppWindow* found = AppWindows(keyboard, audio, present, statusMenu).showOnboarding();
    out.save(found, "onboarding-0-accessibility-found");
    found->close();
}

}  // namespace

int renderSettingsSnapshots(const QString& outDir) {
    SlidingPageHost::animationsEnabled = false;
    PictureWriter out(outDir);
    renderButtons(out);
    renderSettings(out);
    renderOnboarding(out);
    return out.written();
}
