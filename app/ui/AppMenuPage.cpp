#include "ui/AppMenuPage.h"

#include <QCoreApplication>
#include <QHBoxLayout>

#include "ui/PrimaryButtonLargeStyle.h"
#include "ui/StyledButton.h"

AppMenuPage::AppMenuPage(Action onComplete, Action onBack, QWidget* parent)
    : OnboardingPage(tr("To open the app menu"),
                     {{tr("Right click on the vellumcaster logo in the system tray.\nFrom here  you can click to open the "
                          "settings menu."),
                       FontRole::Title2}},
                     "OnboardingAppMenu", 400, availableWidth, parent),
      onComplete_(std::move(onComplete)),
      onBack_(std::move(onBack)),
      button_(addButton(StyledButton::make<PrimaryButtonLargeStyle>(tr("Continue"), false, this), onComplete_)) {}
