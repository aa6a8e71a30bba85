#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QMenu>
#include <fstream>

#include "shell/AppWindows.h"
#include "shell/AudioManager.h"
#include "shell/FakeHotKeyBackend.h"
#include "shell/KeyboardManager.h"
#include "support/TempHome.h"
#include "ui/AboutView.h"
#include "ui/ConfigurationView.h"
#include "ui/ModelConfigView.h"
#include "ui/PromptField.h"
#include "ui/SettingsView.h"
#include "ui/SlidingPageHost.h"
#include "ui/TabButton.h"
#include "ui/WindowContents.h"
#include "support/FakeAudioDeviceSource.h"

namespace {

class SettingsWindowTest : public testing::Test {
protected:
    SettingsWindowTest() {
        SlidingPageHost::animationsEnabled = false;
        // The default model is present, so the AI Model page opens without its panel.
        std::ofstream(modelsFolderURL() / modelFileName("small", "en")) << "model";
    }
    ~SettingsWindowTest() override { SlidingPageHost::animationsEnabled = true; }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster/settings.json"};
    std::shared_ptr<FakeHotKeyBackend> backend = FakeHotKeyBackend::install();
    KeyboardManager keyboard{settings, [](KeyboardManager::Action) {}};
    AudioManager audio{settings, std::make_shared<vctest::FakeAudioDeviceSource>()};
};

TEST(SettingsViewHeights, MinimumPageHeightPerTab) {
    EXPECT_EQ(SettingsView::contentMinHeight(0), 350);
    EXPECT_EQ(SettingsView::contentMinHeight(1), 500);
    EXPECT_EQ(SettingsView::contentMinHeight(2), 250);
    EXPECT_EQ(SettingsView::contentMinHeight(7), 350);
}

TEST_F(SettingsWindowTest, TabsSwitchPagesAndSetThePageAreaMinimum) {
    SettingsView view(keyboard, audio, settings);
    view.show();
    EXPECT_NE(qobject_cast<ModelConfigView*>(view.page()), nullptr);
    EXPECT_TRUE(view.tabButton(0)->isSelected());
    EXPECT_FALSE(view.tabButton(1)->isSelected());
    EXPECT_GE(view.pageArea()->height(), 350);
    EXPECT_GE(view.pageArea()->width(), 500);

    view.tabButton(1)->click();
    EXPECT_EQ(view.selectedTab(), 1);
    EXPECT_NE(qobject_cast<ConfigurationView*>(view.page()), nullptr);
    EXPECT_EQ(view.pageArea()->minimumHeight(), 500);
    EXPECT_GE(view.pageArea()->height(), 500);
    EXPECT_TRUE(view.tabButton(1)->isSelected());
    EXPECT_NEAR(view.tabButton(0)->tint().alphaF(), 0.5, 0.01);

    view.tabButton(2)->click();
    EXPECT_NE(qobject_cast<AboutView*>(view.page()), nullptr);
    EXPECT_EQ(view.pageArea()->minimumHeight(), 250);
}

TEST_F(SettingsWindowTest, TabBarIsLockedWhileTheModelPageHasADownloadPending) {
    SettingsView view(keyboard, audio, settings);
    view.show();
    auto* page = qobject_cast<ModelConfigView*>(view.page());
    ASSERT_NE(page, nullptr);
    page->chooseModel("large");
    EXPECT_TRUE(view.navigationDisabled());
    view.tabButton(2)->click();
    EXPECT_EQ(view.selectedTab(), 0);
    EXPECT_EQ(view.page(), page);

    page->cancelModelDownload();
    EXPECT_FALSE(view.navigationDisabled());
    view.tabButton(2)->click();
    EXPECT_EQ(view.selectedTab(), 2);
}

TEST_F(SettingsWindowTest, HoverHighlightsAnyTab) {
    SettingsView view(keyboard, audio, settings);
    view.show();
    TabButton* tab = view.tabButton(0);
    EXPECT_EQ(tab->background().alpha(), 0);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(tab, &enter);
    EXPECT_TRUE(tab->isHovered());
    EXPECT_GT(tab->background().alpha(), 0);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(tab, &leave);
    EXPECT_FALSE(tab->isHovered());
}

TEST_F(SettingsWindowTest, SettingsWindowIsMadeOnceAndKeepsItsTab) {
    WindowContents contents(settings);
    const QMenu statusMenu;
    AppWindows windows(keyboard, audio, contents, statusMenu);
    windows.showSettings();
    AppWindow* first = windows.settingsWindow();
    ASSERT_NE(first, nullptr);
    windows.showSettings();
    EXPECT_EQ(windows.settingsWindow(), first);
    EXPECT_TRUE(first->isVisible());

    auto* view = qobject_cast<SettingsView*>(first->root());
    ASSERT_NE(view, nullptr);
    view->setSelectedTab(2);
    first->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(first->isVisible());
    windows.showSettings();
    EXPECT_EQ(windows.settingsWindow(), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(view->selectedTab(), 2);
    // Not resizable: the window's size is fixed to its content.
    EXPECT_EQ(first->minimumSize(), first->maximumSize());
}

TEST_F(SettingsWindowTest, ReopenedWindowShowsTheActiveModelAndOpensThePanelForAMissingFile) {
    WindowContents contents(settings);
    const QMenu statusMenu;
    AppWindows windows(keyboard, audio, contents, statusMenu);
    windows.showSettings();
    AppWindow* window = windows.settingsWindow();
    auto* view = qobject_cast<SettingsView*>(window->root());
    auto* page = qobject_cast<ModelConfigView*>(view->page());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->modelPicker()->currentData().toString(), "small");

    // While the window is closed the active model changes to one whose file is missing.
    window->close();
    settings.setString("activeModelKey", "medium");
    windows.showSettings();
    EXPECT_EQ(page->modelPicker()->currentData().toString(), "medium");
    EXPECT_TRUE(page->showModelDownloadAlert());
    EXPECT_TRUE(page->downloadPanel()->isVisible());
    EXPECT_TRUE(view->navigationDisabled());
    EXPECT_EQ(settings.storedString("activeModelKey"), "medium");

    // Closed with the panel waiting, and the file is there by the next opening: the page starts afresh.
    window->close();
    std::ofstream(modelsFolderURL() / modelFileName("medium", "en")) << "model";
    windows.showSettings();
    EXPECT_EQ(page->modelPicker()->currentData().toString(), "medium");
    EXPECT_FALSE(page->showModelDownloadAlert());
    EXPECT_FALSE(view->navigationDisabled());
}

TEST_F(SettingsWindowTest, APageThatGrowsGetsItsRoomAtOnce) {
    SettingsView view(keyboard, audio, settings);
    view.show();
    auto* page = qobject_cast<ModelConfigView*>(view.page());
    ASSERT_NE(page, nullptr);
    settings.setString("activePrompt", "A prompt long enough to wrap over three lines of the field: names, places, "
                                       "companies and the spelling of all of them.");
    QCoreApplication::processEvents();
    EXPECT_EQ(page->promptField()->visibleLineCount(), 3);
    // Nothing on the page is squeezed to make room for the taller field.
    EXPECT_GE(page->height(), page->sizeHint().height());
    EXPECT_GE(page->languagePicker()->height(), page->languagePicker()->sizeHint().height());
}

}  // namespace
