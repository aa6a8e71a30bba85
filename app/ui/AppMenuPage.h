#pragma once

#include "ui/OnboardingPage.h"

class StyledButton;

// Onboarding page 2: where the application's menu is (the tray icon).
class AppMenuPage : public OnboardingPage {
    Q_OBJECT

public:
    AppMenuPage(Action onComplete, Action onBack, QWidget* parent = nullptr);

    StyledButton* continueButton() const { return button_; }

private:
    Action onComplete_;
    Action onBack_;
    StyledButton* button_;
};
