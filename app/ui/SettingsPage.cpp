#include "ui/SettingsPage.h"

#include <QCoreApplication>
#include <QHBoxLayout>

#include "ui/PrimaryButtonLargeStyle.h"
#include "ui/StyledButton.h"

SettingsPage::SettingsPage(Action onComplete, Action onBack, QWidget* parent)
    : OnboardingPage(tr("Settings"),
                     {{tr("From the settings window you can configure the AI model,\n adjust system/app settings."),
                       FontRole::Title2}},
                     "OnboardingSettings", 400, availableWidth, parent),
      onComplete_(std::move(onComplete)),
      onBack_(std::move(onBack)),
      button_(addButton(StyledButton::make<PrimaryButtonLargeStyle>(tr("Done"), false, this), onComplete_)) {}
