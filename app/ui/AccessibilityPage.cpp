#include "ui/AccessibilityPage.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>

#include "ui/PrimaryButtonStyle.h"
#include "ui/SecondaryButtonStyle.h"
#include "ui/StyledButton.h"

AccessibilityPage::AccessibilityPage(Action onComplete, TrustCheck trustCheck, QWidget* parent)
    : OnboardingPage(tr("Turn on Accessibility"),
                     {{tr("To paste results, you will need to enable Accessibility.\n"), FontRole::Title2},
                      {tr("An X11 session with the XTEST extension"), FontRole::Title2, true}},
                     "OnboardingAccessibility", 425, parent),
      onComplete_(std::move(onComplete)),
      trustCheck_(std::move(trustCheck)),
      status_(addText({QString(), std::nullopt})),
      learnMore_(StyledButton::make<SecondaryButtonStyle>(tr("Learn more"), false, this)),
      primary_(StyledButton::make<PrimaryButtonStyle>(tr("Open Accessibility Preferences"), false, this)) {
    showTrustStatus();
    buttonRow()->addWidget(learnMore_);
    buttonRow()->addWidget(primary_);
    connect(learnMore_, &QAbstractButton::clicked, this, &AccessibilityPage::openAccessibilityHelp);
    connect(primary_, &QAbstractButton::clicked, this, [this] {
        if (hasClickedOpen_) {
            if (onComplete_) onComplete_();
        } else {
            openAccessibilitySettings();
        }
    });
    // A 450 x 500 frame with the default padding around it. (Fifty more points on either side would not fit the
    // 600-point onboarding window with its own padding, and would only push the buttons off the page.)
    constexpr int padding = 8;
    setContentsMargins(padding, padding, padding, padding);
    setFixedSize(450 + 2 * padding, 500 + 2 * padding);
}

QString AccessibilityPage::trustStatus() const { return status_->text(); }

void AccessibilityPage::showTrustStatus() {
    status_->setText(trustCheck_.isTrusted()
                         ? tr("Found: this session has an X11 display with XTEST.")
                         : tr("Not found: log in to an X11 session with XTEST."));
}

void AccessibilityPage::openAccessibilitySettings() {
    // A desktop session has no switch to turn this on: the check is run again, whatever the result the page moves on
    // to "Confirm enabled".
    showTrustStatus();
    hasClickedOpen_ = true;
    primary_->setText(tr("Confirm enabled"));
    primary_->updateGeometry();
}

void AccessibilityPage::openAccessibilityHelp() { QDesktopServices::openUrl(QUrl(helpURL)); }
