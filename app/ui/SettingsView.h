#pragma once

#include <QWidget>
#include <array>

#include "platform/SettingsStore.h"
#include "ui/ModelConfigView.h"

class AudioManager;
class KeyboardManager;
class SlidingPageHost;
class TabButton;

// The settings window's content: the tabs "AI Model", "Settings" and "About" across the top, a divider, and the
// selected page, which slides in when the tab changes. While a page sets `navigationDisabled` (the model page with a
// download pending) the tabs take no clicks.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    SettingsView(KeyboardManager& keyboardManager, AudioManager& audioManager,
                 SettingsStore& settings = SettingsStore::standard(),
                 ModelConfigView::DownloaderFactory makeDownloader = {}, QWidget* parent = nullptr);

    int selectedTab() const { return selectedTab_; }
    void setSelectedTab(int tab);
    bool navigationDisabled() const { return navigationDisabled_; }
    void setNavigationDisabled(bool disabled);

    // The page area's minimum height (padding included) for a tab: 350, 500, 250; 350 for anything else.
    static int contentMinHeight(int tab);
    static constexpr int contentMinWidth = 500;

    // The page shown, or null.
    QWidget* page() const;
    QWidget* pageArea() const;
    TabButton* tabButton(int index) const { return tabs_.at(index); }
    QWidget* tabBar() const { return tabBar_; }

private:
    QWidget* makePage();

    KeyboardManager& keyboardManager_;
    AudioManager& audioManager_;
    SettingsStore& settings_;
    ModelConfigView::DownloaderFactory makeDownloader_;
    bool navigationDisabled_ = false;
    int selectedTab_ = 0;
    QWidget* tabBar_;
    std::array<TabButton*, 3> tabs_{};
    SlidingPageHost* pages_;
};
