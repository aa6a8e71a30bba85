#pragma once

#include "ui/OnboardingPage.h"

class StyledButton;

// Onboarding page 1: how to start and stop a dictation with the hot key, and Escape to cancel.
class DictationPage : public OnboardingPage {
    Q_OBJECT

public:
    DictationPage(Action onComplete, Action onBack, QWidget* parent = nullptr);

    StyledButton* continueButton() const { return button_; }

private:
    Action onComplete_;
    Action onBack_;
    StyledButton* button_;
};
