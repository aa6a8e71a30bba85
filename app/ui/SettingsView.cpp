#include "ui/SettingsView.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLayout>
#include <QVBoxLayout>

#include "ui/AboutView.h"
#include "ui/ConfigurationView.h"
#include "ui/SlidingPageHost.h"
#include "ui/TabButton.h"

namespace {

struct Tab {
    const char* name;
    const char* icon;
};
constexpr Tab tabList[] = {{"AI Model", "brain"}, {"Settings", "gear"}, {"About", "info.circle"}};
constexpr int pagePadding = 20;

}  // namespace

int SettingsView::contentMinHeight(int tab) {
    switch (tab) {
        case 1: return 500;
        case 2: return 250;
        default: return 350;
    }
}

SettingsView::SettingsView(KeyboardManager& keyboardManager, AudioManager& audioManager, SettingsStore& settings,
                           ModelConfigView::DownloaderFactory makeDownloader, QWidget* parent)
    : QWidget(parent),
      keyboardManager_(keyboardManager),
      audioManager_(audioManager),
      settings_(settings),
      makeDownloader_(std::move(makeDownloader)),
      tabBar_(new QWidget(this)),
      pages_(new SlidingPageHost(-contentMinWidth, contentMinWidth, this)) {
    auto* bar = new QHBoxLayout(tabBar_);
    bar->setContentsMargins(0, 0, 0, 0);
    for (int index = 0; index < 3; ++index) {
        // Tab captions are shown as they are, not translated.
        tabs_[index] = new TabButton(QString::fromLatin1(tabList[index].name), QString::fromLatin1(tabList[index].icon),
                                     index == selectedTab_, [this, index] { setSelectedTab(index); }, tabBar_);
        bar->addWidget(tabs_[index]);
    }
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    auto* pageArea = new QWidget(this);
    pageArea->setObjectName("pageArea");
    auto* padded = new QVBoxLayout(pageArea);
    padded->setContentsMargins(pagePadding, pagePadding, pagePadding, pagePadding);
    padded->addWidget(pages_);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 8, 0, 0);
    stack->addWidget(tabBar_, 0, Qt::AlignHCenter);
    stack->addWidget(divider);
    stack->addWidget(pageArea, 1);

    pages_->setPage(makePage());
    pageArea->setMinimumSize(contentMinWidth, contentMinHeight(selectedTab_));
}

QWidget* SettingsView::page() const { return pages_->page(); }

QWidget* SettingsView::pageArea() const { return findChild<QWidget*>("pageArea"); }

QWidget* SettingsView::makePage() {
    switch (selectedTab_) {
        case 0:
            return new ModelConfigView(
                Binding<bool>([this] { return navigationDisabled_; },
                              [this](const bool& disabled) { setNavigationDisabled(disabled); }),
                makeDownloader_, settings_);
        case 1:
            return new ConfigurationView(keyboardManager_, audioManager_,
                                         Binding<bool>([this] { return navigationDisabled_; },
                                                       [this](const bool& disabled) { setNavigationDisabled(disabled); }),
                                         settings_);
        case 2: return new AboutView;
        default: return nullptr;
    }
}

void SettingsView::setSelectedTab(int tab) {
    // The tab buttons are disabled while navigation is; this guards callers that are not buttons as well.
    if (tab == selectedTab_ || navigationDisabled_) return;
    selectedTab_ = tab;
    for (int index = 0; index < 3; ++index) tabs_[index]->setSelected(index == selectedTab_);
    pages_->setPage(makePage());
    pageArea()->setMinimumSize(contentMinWidth, contentMinHeight(selectedTab_));
    // The hosting window takes its size from this view: let it follow the new page now.
    for (QWidget* w = this; w; w = w->parentWidget()) {
        if (w->layout()) w->layout()->activate();
    }
}

void SettingsView::setNavigationDisabled(bool disabled) {
    if (disabled == navigationDisabled_) return;
    navigationDisabled_ = disabled;
    tabBar_->setEnabled(!disabled);
}
