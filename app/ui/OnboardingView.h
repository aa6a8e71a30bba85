#pragma once

#include <QWidget>
#include <functional>

#include "platform/TrustCheck.h"

class CirclePageIndicator;
class SlidingPageHost;

// The first-run window's content: four pages shown one at a time (sliding in from the right), and from the second
// page on the page dots and the brand row under them. Moving past the last page closes the window through
// `closeAction`.
class OnboardingView : public QWidget {
    Q_OBJECT

public:
    using Action = std::function<void()>;

    explicit OnboardingView(int pageCount = 4, TrustCheck trustCheck = TrustCheck(), QWidget* parent = nullptr);

    // Set by the window that hosts the view; empty outside a window.
    void setCloseAction(Action closeAction) { closeAction_ = std::move(closeAction); }

    int selectedTab() const { return selectedTab_; }
    int pageCount() const { return pageCount_; }
    QWidget* page() const;
    CirclePageIndicator* indicator() const { return indicator_; }
    QWidget* brandRow() const { return brandRow_; }

    void nextOnboardingPage();
    void previousOnboardingPage();

signals:
    void selectedTabChanged(int selectedTab);

private:
    void setSelectedTab(int tab);
    QWidget* onboardingPageContent();

    Action closeAction_;
    TrustCheck trustCheck_;
    int selectedTab_ = 0;
    int pageCount_;
    SlidingPageHost* pages_;
    CirclePageIndicator* indicator_;
    QWidget* brandRow_;
};
