#pragma once

#include "platform/TrustCheck.h"
#include "ui/OnboardingPage.h"

class StyledButton;
class TextBlock;

// Onboarding page 0: explains what pasting into other applications needs on this desktop (an X11 display with the
// XTEST extension) and shows whether this session has it, in its text and its picture. "Check Again" checks again and
// turns into "Confirm enabled", which moves on without insisting: the user may fix the session later.
class AccessibilityPage : public OnboardingPage {
    Q_OBJECT

public:
    static constexpr const char* helpURL = "https://www.x.org/releases/current/doc/libXtst/xtestlib.html";
    // The pictures of a session that has what pasting needs, and of one that has not.
    static constexpr const char* foundImage = "OnboardingAccessibility";
    static constexpr const char* missingImage = "OnboardingAccessibilityMissing";

    explicit AccessibilityPage(Action onComplete, TrustCheck trustCheck = TrustCheck(), QWidget* parent = nullptr);

    bool hasClickedOpen() const { return hasClickedOpen_; }
    StyledButton* learnMoreButton() const { return learnMore_; }
    // "Check Again", or "Confirm enabled" once it has been pressed.
    StyledButton* primaryButton() const { return primary_; }
    QString trustStatus() const;

    void openAccessibilitySettings();
    void openAccessibilityHelp();

private:
    void showTrustStatus();

    Action onComplete_;
    TrustCheck trustCheck_;
    bool hasClickedOpen_ = false;
    TextBlock* status_;
    StyledButton* learnMore_;
    StyledButton* primary_;
};
