#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "ui/FontRole.h"

class QHBoxLayout;
class QLabel;
class StyledButton;

// What every onboarding page shares: a text block (bold title, then further texts), an illustration clipped to a
// rounded rectangle, and a row of buttons, stacked and centred 20 points apart.
class OnboardingPage : public QWidget {
    Q_OBJECT

public:
    using Action = std::function<void()>;

    struct Text {
        QString text;
        std::optional<FontRole> role;  // empty: the default font
        bool bold = false;
    };

    // The texts shown, in order (the title first).
    QStringList texts() const;

protected:
    OnboardingPage(const QString& title, const std::vector<Text>& texts, const QString& image, int imageWidth,
                   QWidget* parent);

    QHBoxLayout* buttonRow() const { return buttonRow_; }
    // Puts `button` at the end of the button row, running `action` (when set) at every click; returns the button.
    StyledButton* addButton(StyledButton* button, Action action);
    QLabel* addText(const Text& text);

private:
    QWidget* textBlock_;
    QHBoxLayout* buttonRow_;
    std::vector<QLabel*> labels_;
};
