#include "ui/OnboardingView.h"

#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/AccessibilityPage.h"
#include "ui/AppMenuPage.h"
#include "ui/CirclePageIndicator.h"
#include "ui/DictationPage.h"
#include "ui/SettingsPage.h"
#include "ui/SlidingPageHost.h"

OnboardingView::OnboardingView(int pageCount, TrustCheck trustCheck, QWidget* parent)
    : QWidget(parent), trustCheck_(std::move(trustCheck)), pageCount_(pageCount), pages_(new SlidingPageHost(600, -600, this)) {
    indicator_ = new CirclePageIndicator(pageCount_, Binding<int>([this] { return selectedTab_; },
                                                                  [this](const int& tab) { setSelectedTab(tab); }),
                                         this);

    brandRow_ = new QWidget(this);
    auto* brand = new QHBoxLayout(brandRow_);
    brand->setContentsMargins(0, 10, 0, 20);
    auto* icon = new QLabel(brandRow_);
    const QIcon appIcon(":/Icon.svg");
    icon->setPixmap(appIcon.pixmap(QSize(24, 24), devicePixelRatioF()));
    auto* name = new QLabel(QCoreApplication::translate("OnboardingView", "vellumcaster"), brandRow_);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    brand->addStretch();
    brand->addWidget(icon);
    brand->addWidget(name);
    brand->addStretch();
    auto* opacity = new QGraphicsOpacityEffect(brandRow_);
    opacity->setOpacity(0.75);
    brandRow_->setGraphicsEffect(opacity);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(10);
    stack->addStretch();
    auto* padded = new QVBoxLayout;
    padded->setContentsMargins(20, 20, 20, 20);
    padded->addWidget(pages_);
    stack->addLayout(padded);
    stack->addStretch();
    stack->addWidget(indicator_, 0, Qt::AlignHCenter);
    stack->addWidget(brandRow_);
    setFixedSize(600, 600);

    pages_->setPage(onboardingPageContent());
    indicator_->setVisible(false);
    brandRow_->setVisible(false);
}

QWidget* OnboardingView::page() const { return pages_->page(); }

QWidget* OnboardingView::onboardingPageContent() {
    const auto next = [this] { nextOnboardingPage(); };
    const auto back = [this] { previousOnboardingPage(); };
    switch (selectedTab_) {
        case 0: return new AccessibilityPage(next, trustCheck_);
        case 1: return new DictationPage(next, back);
        case 2: return new AppMenuPage(next, back);
        case 3: return new SettingsPage(next, back);
        default: return nullptr;
    }
}

void OnboardingView::setSelectedTab(int tab) {
    if (tab == selectedTab_) return;
    selectedTab_ = tab;
    // A page's button runs this: the page is only deleted once its slide-out has ended.
    pages_->setPage(onboardingPageContent());
    indicator_->setVisible(selectedTab_ > 0);
    brandRow_->setVisible(selectedTab_ > 0);
    indicator_->update();
    emit selectedTabChanged(selectedTab_);
}

void OnboardingView::nextOnboardingPage() {
    // pageCount 0 makes the last index -1, so every step closes.
    if (selectedTab_ >= pageCount_ - 1) {
        if (closeAction_) closeAction_();
        return;
    }
    setSelectedTab(selectedTab_ + 1);
}

void OnboardingView::previousOnboardingPage() {
    if (selectedTab_ != 0) setSelectedTab(selectedTab_ - 1);
}
