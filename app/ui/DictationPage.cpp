#include "ui/DictationPage.h"

#include <QCoreApplication>
#include <QHBoxLayout>

#include "ui/PrimaryButtonLargeStyle.h"
#include "ui/StyledButton.h"

DictationPage::DictationPage(Action onComplete, Action onBack, QWidget* parent)
    : OnboardingPage(tr("To start & stop dictating"),
                     {{tr("Use the keyboard shortcut shown below.\n Once you're done recording hit it again."),
                       FontRole::Title2},
                      {tr("You can cancel a recording by pressing the Escape key."), std::nullopt}},
                     "OnboardingShortcut", 400, availableWidth, parent),
      onComplete_(std::move(onComplete)),
      onBack_(std::move(onBack)),
      button_(addButton(StyledButton::make<PrimaryButtonLargeStyle>(tr("Continue"), false, this), onComplete_)) {}
