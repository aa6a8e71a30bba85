#include "ui/AccessibilityPage.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QUrl>

#include "ui/PrimaryButtonStyle.h"
#include "ui/SecondaryButtonStyle.h"
#include "ui/StyledButton.h"
#include "ui/TextBlock.h"

AccessibilityPage::AccessibilityPage(Action onComplete, TrustCheck trustCheck, QWidget* parent)
    : OnboardingPage(tr("Turn on Pasting"),
                     {{tr("To paste results, you will need a session that lets applications type.\n"),
                       FontRole::Title2},
                      {tr("An X11 session with the XTEST extension"), FontRole::Title2, true}},
                     foundImage, 425, 450, parent),
      onComplete_(std::move(onComplete)),
      trustCheck_(std::move(trustCheck)),
      status_(addText({QString(), std::nullopt})),
      learnMore_(StyledButton::make<SecondaryButtonStyle>(tr("Learn more"), false, this)),
      primary_(StyledButton::make<PrimaryButtonStyle>(tr("Check Again"), false, this)) {
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
    // A 450 x 500 frame with the default padding around it, the page's stack centred in it. (Fifty more points on
    // either side would not fit the 600-point onboarding window with its own padding.)
    constexpr int padding = 8;
    setContentsMargins(padding, padding, padding, padding);
    setFixedSize(450 + 2 * padding, 500 + 2 * padding);
}

QString AccessibilityPage::trustStatus() const { return status_->text(); }

void AccessibilityPage::showTrustStatus() {
    // The picture shows what the text says.
    const bool trusted = trustCheck_.isTrusted();
    status_->setText(trusted ? tr("Found: this session has an X11 display with XTEST.")
                             : tr("Not found: log in to an X11 session with XTEST."));
    setIllustration(trusted ? foundImage : missingImage);
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
