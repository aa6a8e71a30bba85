#pragma once

#include "ui/OnboardingPage.h"

class StyledButton;

// Onboarding page 3, the last: the settings window is where the model and the rest are configured.
class SettingsPage : public OnboardingPage {
    Q_OBJECT

public:
    SettingsPage(Action onComplete, Action onBack, QWidget* parent = nullptr);

    StyledButton* doneButton() const { return button_; }

private:
    Action onComplete_;
    Action onBack_;
    StyledButton* button_;
};
